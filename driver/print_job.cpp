#include "driver/print_job.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "driver/printer_status_wait.h"
#include "errors/equipment_errors.h"
#include "log/driver_log.h"
#include "printer/ascii_text.h"
#include "printer/tspl_code_page.h"

namespace quorvane {

namespace {

// Reads the decimal number at AText's front (blanks around it allowed) and the character after
// it, which must be ','.
std::optional<std::int64_t> TakeNumberAndComma(std::string_view& AText) {
    auto skipBlanks = [&AText] {
        while (!AText.empty() && AText.front() == ' ') AText.remove_prefix(1);
    };
    skipBlanks();
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
    if (ec != std::errc() || value < 0) return std::nullopt;
    AText.remove_prefix(static_cast<std::size_t>(end - AText.data()));
    skipBlanks();
    if (AText.empty() || AText.front() != ',') return std::nullopt;
    AText.remove_prefix(1);
    return value;
}

// The length of the head "BITMAP x,y,width,height,mode," at ALine's front and the number of data
// bytes it announces; nothing when ALine starts with no such command.
std::optional<std::pair<std::size_t, std::int64_t>> BitmapHead(std::string_view ALine) {
    constexpr std::string_view kBitmap = "BITMAP ";
    if (ALine.size() < kBitmap.size() || !EqualsIgnoringAsciiCase(ALine.substr(0, kBitmap.size()), kBitmap))
        return std::nullopt;
    std::string_view rest = ALine.substr(kBitmap.size());
    std::int64_t numbers[5] = {};
    for (std::int64_t& number : numbers) {
        const auto value = TakeNumberAndComma(rest);
        if (!value) return std::nullopt;
        number = *value;
    }
    const std::int64_t widthBytes = numbers[2];
    const std::int64_t height = numbers[3];
    if (height != 0 && widthBytes > INT64_MAX / height) return std::nullopt;
    return std::make_pair(ALine.size() - rest.size(), widthBytes * height);
}

// The code page a "CODEPAGE x" line switches to.
std::optional<std::string> CodePageOfLine(std::string_view ALine) {
    constexpr std::string_view kCodepage = "CODEPAGE ";
    if (ALine.size() < kCodepage.size() ||
        !EqualsIgnoringAsciiCase(ALine.substr(0, kCodepage.size()), kCodepage))
        return std::nullopt;
    return std::string(TrimControls(ALine.substr(kCodepage.size())));
}

}  // namespace

std::string ScriptLogText(std::string_view AScript) {
    std::string out;
    out.reserve(AScript.size());
    std::string codepage;
    std::size_t pos = 0;
    while (pos < AScript.size()) {
        const std::string_view rest = AScript.substr(pos);
        // Bitmap data is binary and may hold CR LF: it is skipped by the size the command announces.
        if (const auto head = BitmapHead(rest)) {
            const auto [headSize, announced] = *head;
            const std::size_t data =
                std::min<std::size_t>(rest.size() - headSize, static_cast<std::size_t>(announced));
            out.append(rest.substr(0, headSize));
            out += "<данные растра, " + std::to_string(data) + " байт>";
            pos += headSize + data;
            const std::size_t lineEnd = AScript.find("\r\n", pos);
            const std::size_t tail = (lineEnd == std::string_view::npos ? AScript.size() : lineEnd) - pos;
            out += DecodeCodePage(AScript.substr(pos, tail), codepage);
            pos += tail;
        } else {
            const std::size_t lineEnd = rest.find("\r\n");
            const std::string_view line = rest.substr(0, lineEnd);
            out += DecodeCodePage(line, codepage);
            if (const auto next = CodePageOfLine(line)) codepage = *next;
            pos += line.size();
        }
        if (AScript.compare(pos, 2, "\r\n") == 0) {
            out += "\r\n";
            pos += 2;
        }
    }
    return out;
}

void SendLabelScripts(TPortManager& APort, const std::vector<TScriptObject>& AScripts,
                      const TPrintJobOptions& AOptions) {
    SendLabelScripts(
        APort,
        [&](const auto& ASend) {
            for (const TScriptObject& script : AScripts) ASend(TScriptObject(script));
        },
        AScripts.size(), AOptions);
}

void SendLabelScripts(TPortManager& APort, const TLabelScriptSource& ASource, std::size_t ALabelCount,
                      const TPrintJobOptions& AOptions) {
    TPortCloser closer(APort);
    APort.OpenPort();
    std::size_t sent = 0;
    try {
        ASource([&](TScriptObject&& script) {
            WaitUntilPrinterReady(APort, AOptions.Clock);
            APort.WriteToPort(script.FValue);
            ++sent;
            if (AOptions.ExtLogEnabled && GetLogMode() != 0)
                WriteLog("Содержание скрипта", "TSPL\r\n" + ScriptLogText(script.FValue), TLogLevel::llDebug);
            // Other users of a shared device get their turn between labels.
            APort.PassTurn();
        });
    } catch (const std::exception& e) {
        if (sent == 0) throw;
        // Some labels are printed: say how many, so that a reprint of the batch makes no duplicates.
        std::string message = e.what();
        if (!message.empty() && message.back() != '.') message += '.';
        message += " Отправлено на принтер этикеток: " + std::to_string(sent) + " из " +
                   std::to_string(ALabelCount) + ".";
        if (const auto* equipment = dynamic_cast<const EquException*>(&e))
            throw EquException(equipment->Code, message);
        throw std::runtime_error(message);
    }
}

}  // namespace quorvane
