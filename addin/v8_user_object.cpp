#include "addin/v8_user_object.h"

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "addin/v8_date.h"
#include "addin/wide_string.h"
#include "errors/messages.h"

namespace quorvane {

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string TrimSpaces(std::string AText) {
    while (!AText.empty() && IsSpace(AText.back())) AText.pop_back();
    std::size_t first = 0;
    while (first < AText.size() && IsSpace(AText[first])) ++first;
    return AText.substr(first);
}

std::int32_t TruncateToInt(double AValue) {
    if (std::isnan(AValue)) return 0;
    // Saturate instead of the undefined conversion of an out-of-range value.
    if (AValue >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (AValue <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(AValue);
}

std::int32_t ParseInt(const std::string& AText) {
    std::string text = TrimSpaces(AText);
    if (text.empty()) return 0;
    std::size_t digits = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (digits == text.size()) return 0;
    for (std::size_t i = digits; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
    }
    errno = 0;
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min()) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

// Decimal notation with the locale's separator only (no hex, no inf or nan).
double ParseDouble(const std::string& AText) {
    std::string text = TrimSpaces(AText);
    if (text.empty()) return 0;
    const char* separator = std::localeconv()->decimal_point;
    std::size_t separatorLength = std::strlen(separator);
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == 'e' || c == 'E') {
            ++i;
        } else if (separatorLength > 0 && text.compare(i, separatorLength, separator) == 0) {
            i += separatorLength;
        } else {
            return 0;
        }
    }
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return 0;
    return value;
}

}  // namespace

void* TV8UserObject::Alloc(std::size_t ASize) {
    if (V8MM == nullptr) return nullptr;
    void* block = nullptr;
    if (!V8MM->AllocMemory(&block, static_cast<unsigned long>(ASize))) return nullptr;
    return block;
}

void TV8UserObject::V8ClearVar(V8Variant& V) {
    switch (V8Type(V)) {
        case VTYPE_PSTR:
        case VTYPE_BLOB:
            if (V.VarEnum.vtRecString.pstrVal != nullptr && V8MM != nullptr) {
                void* block = V.VarEnum.vtRecString.pstrVal;
                V8MM->FreeMemory(&block);
            }
            break;
        case VTYPE_PWSTR:
            if (V.VarEnum.vtRecWideString.pwstrVal != nullptr && V8MM != nullptr) {
                void* block = V.VarEnum.vtRecWideString.pwstrVal;
                V8MM->FreeMemory(&block);
            }
            break;
        default:
            // An interface value is not released: the Linux host hands over no reference-counted
            // interfaces, and calling into an unknown table would be a guess.
            break;
    }
    std::memset(&V, 0, sizeof V);
}

void TV8UserObject::V8SetInt(V8Variant& V, std::int32_t AValue) {
    V8ClearVar(V);
    V.vt = VTYPE_I4;
    V.VarEnum.lVal = AValue;
}

void TV8UserObject::V8SetDouble(V8Variant& V, double AValue) {
    V8ClearVar(V);
    V.vt = VTYPE_R8;
    V.VarEnum.dblVal = AValue;
}

void TV8UserObject::V8SetDate(V8Variant& V, double ADate) {
    V8ClearVar(V);
    V.vt = VTYPE_DATE;
    V.VarEnum.date = ADate;
}

void TV8UserObject::V8SetBool(V8Variant& V, bool AValue) {
    V8ClearVar(V);
    V.vt = VTYPE_BOOL;
    V.VarEnum.bVal = AValue;
}

bool TV8UserObject::V8SetWString(V8Variant& V, std::u16string_view AText) {
    V8ClearVar(V);
    V.vt = VTYPE_PWSTR;
    WCHAR_T* text = V8AllocWString(V8MM, AText);
    if (text == nullptr) return false;
    V.VarEnum.vtRecWideString.pwstrVal = text;
    V.VarEnum.vtRecWideString.wstrLen = static_cast<std::uint32_t>(AText.size());
    return true;
}

bool TV8UserObject::V8SetUtf8String(V8Variant& V, std::string_view AText) {
    return V8SetWString(V, Utf8ToWide(AText));
}

bool TV8UserObject::V8SetPChar(V8Variant& V, const char* AText) {
    if (AText == nullptr) return true;
    return V8SetString(V, AText);
}

bool TV8UserObject::V8SetString(V8Variant& V, std::string_view AText) {
    V8ClearVar(V);
    V.vt = VTYPE_PSTR;
    auto* text = static_cast<char*>(Alloc(AText.size() + 1));
    if (text == nullptr) return false;
    std::memcpy(text, AText.data(), AText.size());
    text[AText.size()] = '\0';
    V.VarEnum.vtRecString.pstrVal = text;
    V.VarEnum.vtRecString.strLen = static_cast<std::uint32_t>(AText.size());
    return true;
}

bool TV8UserObject::V8SetBlob(V8Variant& V, const void* AData, std::size_t ALength) {
    if (AData == nullptr) return true;
    V8ClearVar(V);
    V.vt = VTYPE_BLOB;
    // A zero-length blob still gets a block, so the host never sees a null pointer for success.
    auto* bytes = static_cast<char*>(Alloc(ALength == 0 ? 1 : ALength));
    if (bytes == nullptr) return false;
    std::memcpy(bytes, AData, ALength);
    V.VarEnum.vtRecString.pstrVal = bytes;
    V.VarEnum.vtRecString.strLen = static_cast<std::uint32_t>(ALength);
    return true;
}

bool TV8UserObject::AddError(const std::string& AMessage) {
    if (V8 == nullptr) return false;
    std::u16string descr = Utf8ToWide(AMessage);
    const std::u16string source = Utf8ToWide(MessageText(TMessage::AddInErrorSource));
    return V8->AddError(kAddInErrorCode, ToHostText(source.c_str()), ToHostText(descr.c_str()), kAddInErrorScode);
}

bool TV8UserObject::AddWarning(const std::string& AMessage) {
    if (V8 == nullptr) return false;
    const std::u16string descr = Utf8ToWide(AMessage);
    const std::u16string source = Utf8ToWide(MessageText(TMessage::AddInErrorSource));
    return V8->AddError(kAddInWarningCode, ToHostText(source.c_str()), ToHostText(descr.c_str()), 0);
}

std::uint16_t V8Type(const V8Variant& V) { return V.vt & VTYPE_MASK; }

std::int32_t V8GetInt(const V8Variant& V) { return V8Type(V) == VTYPE_I4 ? V.VarEnum.lVal : V8ToInt(V); }

std::int32_t V8ToInt(const V8Variant& V) {
    switch (V8Type(V)) {
        case VTYPE_I2: return V.VarEnum.shortVal;
        case VTYPE_I4: return V.VarEnum.lVal;
        case VTYPE_R4: return TruncateToInt(V.VarEnum.fltVal);
        case VTYPE_R8: return TruncateToInt(V.VarEnum.dblVal);
        case VTYPE_DATE: return TruncateToInt(V.VarEnum.date);
        case VTYPE_ERROR: return V.VarEnum.errCode;
        case VTYPE_UI1: return V.VarEnum.ui8Val;
        case VTYPE_PWSTR: return ParseInt(V8GetUtf8String(V));
        default: return 0;
    }
}

bool V8GetBool(const V8Variant& V) { return V8Type(V) == VTYPE_BOOL ? V.VarEnum.bVal : V8ToInt(V) != 0; }

double V8GetDouble(const V8Variant& V) {
    switch (V8Type(V)) {
        case VTYPE_R8: return V.VarEnum.dblVal;
        case VTYPE_I2: return V.VarEnum.shortVal;
        case VTYPE_I4: return V.VarEnum.lVal;
        case VTYPE_R4: return V.VarEnum.fltVal;
        case VTYPE_DATE: return V.VarEnum.date;
        case VTYPE_ERROR: return V.VarEnum.errCode;
        case VTYPE_UI1: return V.VarEnum.ui8Val;
        case VTYPE_PWSTR: return ParseDouble(V8GetUtf8String(V));
        default: return 0;
    }
}

double V8GetDate(const V8Variant& V) {
    switch (V8Type(V)) {
        case VTYPE_R8:
        case VTYPE_DATE: return V.VarEnum.dblVal;
        case VTYPE_TM: {
            const TV8tm& tm = V.VarEnum.tmVal;
            TDateTimeParts parts;
            // The host's fields may hold any int; one beyond the range once shifted is no date.
            auto shifted = [](int AValue, int AOffset) {
                const long long value = static_cast<long long>(AValue) + AOffset;
                if (value > std::numeric_limits<int>::max())
                    throw std::invalid_argument("Invalid date or time");
                return static_cast<int>(value);
            };
            parts.Year = shifted(tm.tm_year, 1900);
            parts.Month = shifted(tm.tm_mon, 1);
            parts.Day = tm.tm_mday;
            parts.Hour = tm.tm_hour;
            parts.Minute = tm.tm_min;
            parts.Second = tm.tm_sec;
            return EncodeDateTime(parts);
        }
        default: return 0;
    }
}

namespace {

// A host text is its length's units at most, whether or not a terminator follows them, and
// ends at its first NUL within them.
template <typename Char>
std::basic_string_view<Char> HostText(const Char* AText, std::uint32_t ALength) {
    if (AText == nullptr) return {};
    const std::basic_string_view<Char> text(AText, ALength);
    return text.substr(0, text.find(Char(0)));
}

}  // namespace

std::u16string_view V8WideStringView(const V8Variant& V) {
    if (V8Type(V) != VTYPE_PWSTR) return {};
    return HostText(FromHostText(V.VarEnum.vtRecWideString.pwstrVal), V.VarEnum.vtRecWideString.wstrLen);
}

std::u16string V8GetWString(const V8Variant& V) {
    switch (V8Type(V)) {
        case VTYPE_PWSTR: return std::u16string(V8WideStringView(V));
        case VTYPE_PSTR:
            return Utf8ToWide(HostText(V.VarEnum.vtRecString.pstrVal, V.VarEnum.vtRecString.strLen));
        default: return {};
    }
}

std::string V8GetUtf8String(const V8Variant& V) {
    if (V8Type(V) == VTYPE_PSTR)
        return std::string(HostText(V.VarEnum.vtRecString.pstrVal, V.VarEnum.vtRecString.strLen));
    return WideToUtf8(V8GetWString(V));
}

bool V8IsString(const V8Variant& V) { return V8Type(V) == VTYPE_PSTR || V8Type(V) == VTYPE_PWSTR; }

WCHAR_T* V8AllocWString(TV8MemoryManager* AManager, std::u16string_view AText) {
    if (AManager == nullptr) return nullptr;
    void* block = nullptr;
    std::size_t bytes = (AText.size() + 1) * sizeof(WCHAR_T);
    if (!AManager->AllocMemory(&block, static_cast<unsigned long>(bytes)) || block == nullptr) return nullptr;
    auto* text = static_cast<WCHAR_T*>(block);
    std::memcpy(text, AText.data(), AText.size() * sizeof(WCHAR_T));
    text[AText.size()] = 0;
    return text;
}

}  // namespace quorvane
