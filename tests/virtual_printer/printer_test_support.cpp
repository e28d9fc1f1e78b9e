#define ZX_USE_UTF8 1
#include "tests/virtual_printer/printer_test_support.h"

#include <ZXing/ReadBarcode.h>

#include "tools/printer/status_model.h"

namespace quorvane::test {

JobResult RunJob(const std::string& bytes, PrinterOptions options) {
    options.keepLabels = true;
    PrinterJournal journal;
    StatusModel status(options.status, options.statusScript);
    VirtualPrinter printer(options, journal, status);
    JobResult r;
    r.reply = printer.Feed(bytes);
    printer.EndJob();
    r.labels = printer.Labels();
    r.journal = journal.Entries();
    for (const auto& e : r.journal)
        if (e.kind == "problem") r.problems.push_back(e.detail);
    return r;
}

DotRect BlackBounds(const MonoImage& image, DotRect region) {
    if (region.right < 0) region = {0, 0, image.width, image.height};
    DotRect b{image.width, image.height, -1, -1};
    for (long long y = region.top; y < region.bottom; ++y)
        for (long long x = region.left; x < region.right; ++x)
            if (image.At(static_cast<int>(x), static_cast<int>(y))) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x + 1);
                b.bottom = std::max(b.bottom, y + 1);
            }
    return b;
}

long long CountBlack(const MonoImage& image, DotRect region) {
    long long n = 0;
    for (long long y = region.top; y < region.bottom; ++y)
        for (long long x = region.left; x < region.right; ++x)
            n += image.At(static_cast<int>(x), static_cast<int>(y));
    return n;
}

namespace {

ZXing::Result Read(const MonoImage& image, const std::string& format) {
    // Aim the "scanner" at the printed symbol: zxing's Data Matrix detector starts from the
    // middle of the picture, so a symbol in a corner of a large label would be missed.
    DotRect b = BlackBounds(image);
    if (b.right < 0) return {};
    const long long margin = 20;
    int w = static_cast<int>(b.right - b.left + 2 * margin),
        h = static_cast<int>(b.bottom - b.top + 2 * margin);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(w) * h, 255);
    for (long long y = b.top; y < b.bottom; ++y)
        for (long long x = b.left; x < b.right; ++x)
            if (image.At(static_cast<int>(x), static_cast<int>(y)))
                grey[static_cast<std::size_t>(y - b.top + margin) * w + (x - b.left + margin)] = 0;
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormatFromString(format));
    hints.setTryHarder(true);
    hints.setEanAddOnSymbol(ZXing::EanAddOnSymbol::Read);
    ZXing::ImageView view(grey.data(), w, h, ZXing::ImageFormat::Lum);
    return ZXing::ReadBarcode(view, hints);
}

}  // namespace

std::string Decode(const MonoImage& image, const std::string& format) {
    const ZXing::Result result = Read(image, format);
    return result.isValid() ? result.text() : std::string();
}

std::string DecodeWithIdentifier(const MonoImage& image, const std::string& format) {
    const ZXing::Result result = Read(image, format);
    return result.isValid() ? result.symbologyIdentifier() + result.text() : std::string();
}

bool HasProblem(const JobResult& r, const std::string& fragment) {
    for (const auto& p : r.problems)
        if (p.find(fragment) != std::string::npos) return true;
    return false;
}

}  // namespace quorvane::test
