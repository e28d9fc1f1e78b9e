#include "addin/call_trace.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "addin/v8_date.h"
#include "addin/v8_user_object.h"
#include "addin/wide_string.h"
#include "errors/messages.h"

namespace quorvane {

namespace {

// A text beyond 64 KB (a label document with embedded pictures) is cut there, on a character
// boundary, and the record says how long it was: the log stays readable and small.
constexpr std::size_t kMaxTracedText = 64 * 1024;

std::string CutForLog(std::string AText) {
    if (AText.size() <= kMaxTracedText) return AText;
    std::size_t cut = kMaxTracedText;
    while (cut > 0 && (static_cast<unsigned char>(AText[cut]) & 0xC0) == 0x80) --cut;
    const std::size_t length = AText.size();
    AText.resize(cut);
    return AText + Message(TMessage::LogTextCut, length);
}

const char kUnsupported[] = "Unsupported data type";

std::string RenderDouble(double AValue) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", AValue);
    return text;
}

std::string RenderDateTime(double ADate) {
    TDateTimeParts parts = DecodeDateTime(ADate);
    std::tm tm{};
    tm.tm_year = parts.Year - 1900;
    tm.tm_mon = parts.Month - 1;
    tm.tm_mday = parts.Day;
    tm.tm_hour = parts.Hour;
    tm.tm_min = parts.Minute;
    tm.tm_sec = parts.Second;
    // Weekday, which some locales print in %x; day 0 (30 December 1899) was a Saturday.
    long long days = std::isfinite(ADate) && std::fabs(ADate) <= 3.0e6 ? static_cast<long long>(ADate) : 0;
    tm.tm_wday = static_cast<int>((days % 7 + 7 + 6) % 7);
    char text[128];
    std::size_t length = std::strftime(text, sizeof text, "%x %X", &tm);
    return std::string(text, length);
}

}  // namespace

void CheckRenderable(const V8Variant& V) {
    switch (V.vt) {
        case VTYPE_EMPTY:
        case VTYPE_I4:
        case VTYPE_R8:
        case VTYPE_BOOL:
        case VTYPE_PWSTR:
        case VTYPE_INTERFACE:
        case VTYPE_BLOB: return;
        case VTYPE_TM:
            V8GetDate(V);  // an impossible date fails here as when rendering it
            return;
        default: throw std::runtime_error(kUnsupported);
    }
}

std::string RenderValue(const V8Variant& V) {
    switch (V.vt) {
        case VTYPE_EMPTY: return {};
        case VTYPE_I4: return std::to_string(V.VarEnum.lVal);
        case VTYPE_R8: return RenderDouble(V.VarEnum.dblVal);
        case VTYPE_TM: return RenderDateTime(V8GetDate(V));
        case VTYPE_BOOL: return V.VarEnum.bVal ? "True" : "False";
        case VTYPE_PWSTR: return CutForLog(V8GetUtf8String(V));
        case VTYPE_INTERFACE: return "Interface";
        case VTYPE_BLOB: return "BLOB";
        default: throw std::runtime_error(kUnsupported);
    }
}

std::string RenderParams(std::span<const V8Variant> AParams) {
    std::string text = "[";
    for (std::size_t i = 0; i < AParams.size(); ++i) {
        if (i > 0) text += "; ";
        text += RenderValue(AParams[i]);
    }
    return text + "]";
}

}  // namespace quorvane
