// A TSPL job -> the virtual printer's reader and renderer, fed in pieces as a port delivers
// them. The printer never throws on bad input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/printer/printer_journal.h"
#include "tools/printer/printer_options.h"
#include "tools/printer/status_model.h"
#include "tools/printer/virtual_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
    using namespace quorvane;
    if (ASize < 1) return 0;
    PrinterOptions options;
    options.listen = "off";
    static const int kDpi[] = {203, 300, 600};
    options.dpi = kDpi[AData[0] % 3];
    PrinterJournal journal;
    StatusModel status;
    VirtualPrinter printer(options, journal, status);
    // The first byte also cuts the job into pieces of 1 to 64 bytes, or feeds it whole.
    const std::size_t piece = AData[0] & 0x80 ? ASize : (AData[0] >> 2 & 0x3F) + 1;
    const std::string_view job(reinterpret_cast<const char*>(AData + 1), ASize - 1);
    for (std::size_t at = 0; at < job.size(); at += piece) printer.Feed(job.substr(at, piece));
    printer.EndJob();
    return 0;
}
