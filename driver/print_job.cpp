#include "driver/print_job.h"

#include <stdexcept>
#include <string>

#include "driver/printer_status_wait.h"
#include "errors/equipment_errors.h"
#include "errors/messages.h"
#include "log/driver_log.h"

namespace quorvane {

bool SendLabelScripts(TPortManager& APort, const TPrinterTypeBase& APrinter,
                      const std::vector<TScriptObject>& AScripts, const TPrintJobOptions& AOptions) {
    return SendLabelScripts(
        APort, APrinter,
        [&](const auto& ASend) {
            for (const TScriptObject& script : AScripts) ASend(TScriptObject(script));
        },
        AScripts.size(), AOptions);
}

bool SendLabelScripts(TPortManager& APort, const TPrinterTypeBase& APrinter,
                      const TLabelScriptSource& ASource, std::size_t ALabelCount,
                      const TPrintJobOptions& AOptions) {
    TPortCloser closer(APort);
    APort.OpenPort();
    std::size_t sent = 0;
    bool answered = true;
    try {
        ASource([&](TScriptObject&& script) {
            if (!WaitUntilPrinterReady(APort, APrinter, AOptions.Clock) && answered) {
                // Written when it happens, so that a job that fails later still says it.
                answered = false;
                WriteLog(MessageText(TMessage::PrinterDidNotAnswer), "", TLogLevel::llWarning);
            }
            APort.WriteToPort(script.FValue);
            ++sent;
            if (AOptions.ExtLogEnabled && GetLogMode() != 0)
                WriteLog(MessageText(TMessage::ScriptLogTitle),
                         std::string(APrinter.Name()) + "\r\n" + APrinter.ScriptLogText(script.FValue),
                         TLogLevel::llDebug, TLogBreaks::lbKeepInDetail);
            // Other users of a shared device get their turn between labels.
            APort.PassTurn();
        });
    } catch (const std::exception& e) {
        if (sent == 0) throw;
        // Some labels are printed: say how many, so that a reprint of the batch makes no duplicates.
        std::string message = e.what();
        if (!message.empty() && message.back() != '.') message += '.';
        message += " " + Message(TMessage::LabelsSent, sent, ALabelCount);
        if (const auto* equipment = dynamic_cast<const EquException*>(&e))
            throw EquException(equipment->Code, equipment->Id(), message);
        if (const auto* known = dynamic_cast<const TMessageError*>(&e))
            throw TMessageError::WithText(known->Id(), message);
        throw std::runtime_error(message);
    }
    return answered;
}

}  // namespace quorvane
