#include "driver/print_job.h"

#include <sched.h>

#include "driver/printer_status_wait.h"
#include "log/driver_log.h"

namespace quorvane {

void SendLabelScripts(TPortManager& APort, const std::vector<TScriptObject>& AScripts,
                      const TPrintJobOptions& AOptions) {
    SendLabelScripts(
        APort,
        [&](const auto& ASend) {
            for (const TScriptObject& script : AScripts) ASend(TScriptObject(script));
        },
        AOptions);
}

void SendLabelScripts(TPortManager& APort, const TLabelScriptSource& ASource,
                      const TPrintJobOptions& AOptions) {
    TPortCloser closer(APort);
    APort.OpenPort();
    ASource([&](TScriptObject&& script) {
        WaitUntilPrinterReady(APort, AOptions.Clock);
        APort.WriteToPort(script.FValue);
        if (AOptions.ExtLogEnabled && GetLogMode() != 0)
            WriteLog("Содержание скрипта", "TSPL\r\n" + script.FValue, TLogLevel::llDebug);
        // Other users of the USB device get their turn between labels.
        if (APort.PortType() == TPortType::ptUSB) sched_yield();
    });
}

}  // namespace quorvane
