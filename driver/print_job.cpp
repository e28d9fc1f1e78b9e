#include "driver/print_job.h"

#include <sched.h>

#include <stdexcept>
#include <string>

#include "driver/printer_status_wait.h"
#include "log/driver_log.h"

namespace quorvane {

void SendLabelScripts(TPortManager& APort, const std::vector<TScriptObject>& AScripts,
                      const TPrintJobOptions& AOptions) {
    TPortCloser closer(APort);
    APort.OpenPort();
    std::size_t sent = 0;
    try {
        for (const TScriptObject& script : AScripts) {
            WaitUntilPrinterReady(APort, AOptions.Clock);
            APort.WriteToPort(script.FValue);
            ++sent;
            if (AOptions.ExtLogEnabled && GetLogMode() != 0)
                WriteLog("Содержание скрипта", "TSPL\r\n" + script.FValue, TLogLevel::llDebug);
            // Other users of the USB device get their turn between labels.
            if (APort.PortType() == TPortType::ptUSB) sched_yield();
        }
    } catch (const std::exception& e) {
        if (sent == 0) throw;
        // Some labels are printed: say how many, so that a reprint of the batch makes no duplicates.
        std::string message = e.what();
        if (!message.empty() && message.back() != '.') message += '.';
        throw std::runtime_error(message + " Отправлено на принтер этикеток: " + std::to_string(sent) + " из " +
                                 std::to_string(AScripts.size()) + ".");
    }
}

}  // namespace quorvane
