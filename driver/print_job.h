#pragma once

#include <functional>
#include <string>
#include <vector>

#include "driver/label_document.h"
#include "driver/wait_clock.h"
#include "transport/port_manager.h"

namespace quorvane {

// Closes the port on every way out of a piece of work, also after a failed open.
class TPortCloser {
public:
    explicit TPortCloser(TPortManager& APort) : FPort(APort) {}
    ~TPortCloser() {
        try {
            FPort.ClosePort();
        } catch (...) {
            // Closing is best effort; the work's own outcome stands.
        }
    }
    TPortCloser(const TPortCloser&) = delete;
    TPortCloser& operator=(const TPortCloser&) = delete;

private:
    TPortManager& FPort;
};

struct TPrintJobOptions {
    // Write each script into the driver log (when the log is on).
    bool ExtLogEnabled = false;
    // What one copy of a label takes the printer (TLabelTemplate::CopyPrintMs); 0: unknown, so
    // the printer is asked at once before each label.
    double CopyPrintMs = 0;
    TWaitClock Clock = TWaitClock::System();
};

// Hands the scripts of a job, in order, to the sender it is given.
using TLabelScriptSource = std::function<void(const std::function<void(TScriptObject&&)>&)>;

// Sends label scripts as ASource produces them, with the port open; as below otherwise.
// ALabelCount is how many ASource will produce, for the count a failure reports.
// Returns false when the printer never answered a status query of the job: the labels went
// out unchecked, which the log says once per job as a warning.
bool SendLabelScripts(TPortManager& APort, const TPrinterTypeBase& APrinter,
                      const TLabelScriptSource& ASource, std::size_t ALabelCount,
                      const TPrintJobOptions& AOptions);

// Sends finished label scripts: opens the port, checks the printer before each label with
// APrinter's status query, writes the label's bytes in one write, and closes the port also when
// a check or a write fails. Labels before a failure have been sent; the failing one and the
// rest are not. While a label prints, the check of the next one starts shortly before its
// expected end (from CopyPrintMs, then from what the labels before it took). False as above.
bool SendLabelScripts(TPortManager& APort, const TPrinterTypeBase& APrinter,
                      const std::vector<TScriptObject>& AScripts, const TPrintJobOptions& AOptions);

}  // namespace quorvane
