#include "driver/print_job.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "driver/printer_status_wait.h"
#include "errors/equipment_errors.h"
#include "errors/messages.h"
#include "log/driver_log.h"

namespace quorvane {

namespace {

// How far what a printer took may move the expectation above the language's reckoning: a
// printer held up once (paused, out of paper and refilled) must not make the next label wait
// long for a printer that is long done.
constexpr double kMostOverReckoning = 2;
// A printer done before the first query is faster than expected, by how much is unknown: halve
// the expectation (a printer without mechanics, a speed above what it can do) and learn again.
constexpr double kEarlyShrink = 0.5;

// The time per copy the next label is expected to take, after the check that followed a label
// sent at ASentAtMs with ACopies copies.
double NextCopyMs(double ACopyMs, double AReckonedMs, const TPrintForecast& AForecast, std::int64_t ASentAtMs,
                  std::int32_t ACopies) {
    if (AForecast.ReadyAtFirstQuery) return std::min(ACopyMs * kEarlyShrink, AReckonedMs);
    // Without a "printing" answer (a silent printer, one idle before the expected end) there is
    // nothing to learn.
    if (AForecast.LastBusyMs == 0) return ACopyMs;
    // At least this long: expecting the end a little early costs a query or two, expecting it
    // late costs the printer's time.
    const double took = static_cast<double>(AForecast.LastBusyMs - ASentAtMs);
    if (took <= 0) return ACopyMs;
    return std::min(took / std::max(ACopies, 1), AReckonedMs * kMostOverReckoning);
}

}  // namespace

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
    // The first label is checked at once; each later one from shortly before the end of the
    // label before it, which it learns from.
    double copyMs = AOptions.CopyPrintMs;
    TPrintForecast forecast;
    std::int64_t sentAt = 0;
    std::int32_t sentCopies = 0;
    try {
        ASource([&](TScriptObject&& script) {
            const bool expected = forecast.DoneAtMs > 0;
            if (!WaitUntilPrinterReady(APort, APrinter, AOptions.Clock, &forecast) && answered) {
                // Written when it happens, so that a job that fails later still says it.
                answered = false;
                WriteLog(MessageText(TMessage::PrinterDidNotAnswer), "", TLogLevel::llWarning);
            }
            if (expected) copyMs = NextCopyMs(copyMs, AOptions.CopyPrintMs, forecast, sentAt, sentCopies);
            APort.WriteToPort(script.FValue);
            sentAt = AOptions.Clock.NowMs();
            sentCopies = script.FQuantity;
            forecast = TPrintForecast{};
            if (copyMs > 0) forecast.DoneAtMs = sentAt + std::llround(copyMs * std::max(script.FQuantity, 1));
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
