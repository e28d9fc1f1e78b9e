#include "tools/host/host_values.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

#include "addin/wide_string.h"

namespace quorvane::host {

namespace {

V8Variant Zero() {
    V8Variant value;
    std::memset(&value, 0, sizeof value);
    return value;
}

std::string FormatDouble(double AValue) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, AValue);
    return std::string(text, result.ptr);
}

}  // namespace

V8Variant EmptyValue() { return Zero(); }

V8Variant IntValue(std::int32_t AValue) {
    V8Variant value = Zero();
    value.vt = VTYPE_I4;
    value.VarEnum.lVal = AValue;
    return value;
}

V8Variant DoubleValue(double AValue) {
    V8Variant value = Zero();
    value.vt = VTYPE_R8;
    value.VarEnum.dblVal = AValue;
    return value;
}

V8Variant BoolValue(bool AValue) {
    V8Variant value = Zero();
    value.vt = VTYPE_BOOL;
    value.VarEnum.bVal = AValue;
    return value;
}

V8Variant DateValue(double ADate) {
    V8Variant value = Zero();
    value.vt = VTYPE_DATE;
    value.VarEnum.date = ADate;
    return value;
}

V8Variant StringValue(THostMemoryManager& AManager, std::string_view AText) {
    std::u16string text = Utf8ToWide(AText);
    V8Variant value = Zero();
    value.vt = VTYPE_PWSTR;
    void* block = nullptr;
    if (!AManager.AllocMemory(&block, static_cast<unsigned long>((text.size() + 1) * sizeof(WCHAR_T)))) {
        throw std::bad_alloc();
    }
    std::memcpy(block, text.c_str(), (text.size() + 1) * sizeof(WCHAR_T));
    value.VarEnum.vtRecWideString.pwstrVal = static_cast<WCHAR_T*>(block);
    value.VarEnum.vtRecWideString.wstrLen = static_cast<std::uint32_t>(text.size());
    return value;
}

void ReleaseValue(THostMemoryManager& AManager, V8Variant& AValue) {
    switch (AValue.vt & VTYPE_MASK) {
        case VTYPE_PSTR:
        case VTYPE_BLOB: {
            void* block = AValue.VarEnum.vtRecString.pstrVal;
            AManager.FreeMemory(&block);
            break;
        }
        case VTYPE_PWSTR: {
            void* block = AValue.VarEnum.vtRecWideString.pwstrVal;
            AManager.FreeMemory(&block);
            break;
        }
        default: break;
    }
    AValue = Zero();
}

V8Variant ParseTypedValue(THostMemoryManager& AManager, std::string_view AText) {
    if (AText.size() >= 2 && AText[1] == ':') {
        std::string_view body = AText.substr(2);
        switch (AText[0]) {
            case 'i': {
                std::int32_t number = 0;
                auto result = std::from_chars(body.data(), body.data() + body.size(), number);
                if (result.ec != std::errc() || result.ptr != body.data() + body.size()) {
                    throw std::invalid_argument("not an integer: " + std::string(AText));
                }
                return IntValue(number);
            }
            case 'd': {
                double number = 0;
                auto result = std::from_chars(body.data(), body.data() + body.size(), number);
                if (result.ec != std::errc() || result.ptr != body.data() + body.size()) {
                    throw std::invalid_argument("not a number: " + std::string(AText));
                }
                return DoubleValue(number);
            }
            case 'b':
                if (body == "true" || body == "1") return BoolValue(true);
                if (body == "false" || body == "0") return BoolValue(false);
                throw std::invalid_argument("not a boolean: " + std::string(AText));
            case 's': return StringValue(AManager, body);
            default: break;
        }
    }
    return StringValue(AManager, AText);
}

std::string FormatTypedValue(const V8Variant& AValue) {
    const TVarEnum& v = AValue.VarEnum;
    switch (AValue.vt & VTYPE_MASK) {
        case VTYPE_EMPTY: return "empty";
        case VTYPE_I2: return "i:" + std::to_string(v.shortVal);
        case VTYPE_I4: return "i:" + std::to_string(v.lVal);
        case VTYPE_UI1: return "i:" + std::to_string(v.ui8Val);
        case VTYPE_ERROR: return "i:" + std::to_string(v.errCode);
        case VTYPE_R4: return "d:" + FormatDouble(v.fltVal);
        case VTYPE_R8: return "d:" + FormatDouble(v.dblVal);
        case VTYPE_DATE: return "date:" + FormatDouble(v.date);
        case VTYPE_BOOL: return v.bVal ? "b:true" : "b:false";
        case VTYPE_PWSTR:
            return "s:" +
                   WideToUtf8(WideView(v.vtRecWideString.pwstrVal).substr(0, v.vtRecWideString.wstrLen));
        case VTYPE_PSTR:
            return "a:" + (v.vtRecString.pstrVal ? std::string(v.vtRecString.pstrVal, v.vtRecString.strLen)
                                                 : std::string());
        case VTYPE_BLOB: return "blob:" + std::to_string(v.vtRecString.strLen) + " bytes";
        default: return "vt:" + std::to_string(AValue.vt);
    }
}

THostValues::THostValues(THostMemoryManager& AManager, std::size_t ACount)
    : Records(ACount, Zero()), FManager(AManager) {}

THostValues::~THostValues() { Clear(); }

V8Variant& THostValues::Add(const V8Variant& AValue) { return Records.emplace_back(AValue); }

void THostValues::Clear() {
    for (V8Variant& value : Records) ReleaseValue(FManager, value);
    Records.clear();
}

}  // namespace quorvane::host
