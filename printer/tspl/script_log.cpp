#include "printer/tspl/script_log.h"

#include <algorithm>
#include <optional>

#include "errors/messages.h"
#include "printer/tspl/bitmap_command.h"
#include "printer/tspl/code_page.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

// The code page a "CODEPAGE x" line switches to.
std::optional<std::string> CodePageOfLine(std::string_view ALine) {
    constexpr std::string_view kCodepage = "CODEPAGE ";
    if (ALine.size() < kCodepage.size() ||
        !EqualsIgnoringAsciiCase(ALine.substr(0, kCodepage.size()), kCodepage))
        return std::nullopt;
    return std::string(TrimControls(ALine.substr(kCodepage.size())));
}

}  // namespace

std::string TsplScriptLogText(std::string_view AScript) {
    std::string out;
    out.reserve(AScript.size());
    std::string codepage;
    std::size_t pos = 0;
    while (pos < AScript.size()) {
        const std::string_view rest = AScript.substr(pos);
        // Bitmap data is binary and may hold CR LF: it is skipped by the size the command announces.
        if (const auto head = ParseBitmapHead(rest)) {
            const std::size_t data =
                std::min<std::size_t>(rest.size() - head->Size, static_cast<std::size_t>(head->DataBytes));
            out.append(rest.substr(0, head->Size));
            out += Message(TMessage::RasterDataInLog, data);
            pos += head->Size + data;
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

}  // namespace quorvane
