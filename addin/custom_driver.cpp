#include "addin/custom_driver.h"

#include <stdexcept>

#include "errors/messages.h"
#include "text/same_text.h"

namespace quorvane {

void TResult::Clear() {
    ErrorCode = 0;
    ErrorDescription.clear();
    BoolResult = true;
}

void TResult::SetError(const std::string& ADescription, std::int32_t AErrorCode) {
    ErrorCode = AErrorCode;
    ErrorDescription = ADescription;
    BoolResult = false;
}

std::int32_t TResult::GetIntResult() const {
    if (BoolResult) return 0;
    return ErrorCode != 0 ? ErrorCode : 1001;
}

std::string ValueTypeName(int AKind) {
    switch (AKind) {
        case 0: return "String";
        case 1: return "Number";
        case 2: return "Boolean";
        case 3: return "Unknown";
        default: throw TMessageError(TMessage::EnumValueUnacceptable);
    }
}

int PropKindTypeNumber(TPropKind AKind) {
    switch (AKind) {
        case TPropKind::pkInteger:
        case TPropKind::pkDouble: return 1;
        case TPropKind::pkString: return 0;
        case TPropKind::pkBoolean: return 2;
    }
    return 3;
}

TCustomDriver::TCustomDriver() { FLastResult.Clear(); }

const TClassDecl& TCustomDriver::ClassDecl() {
    static const TClassDecl decl;
    return decl;
}

TClassReg& TCustomDriver::RegisterDecl(const TClassDecl& ADecl, TUserClassFactory AFactory,
                                       const std::string& AExtension) {
    const std::u16string name = Utf8ToWide(AExtension);
    TClassReg& reg = ClassRegistry().RegisterClass(std::move(AFactory), name, name);
    ForEachMethod(ADecl, [&reg](const TMethDecl& m) {
        for (const TMethAttribute& attr : m.Attributes) {
            const auto* meth = std::get_if<ExportMethAttribute>(&attr);
            if (meth == nullptr || !m.Exported) continue;
            reg.AddFunc(
                Utf8ToWide(m.Name), Utf8ToWide(meth->NameLoc),
                [entry = m.Exported](TV8UserObject& AObject, V8Variant* ARetValue, V8Variant* AParams,
                                     long ACount, TV8AddInDefBaseEx* AConnection) {
                    return entry(static_cast<TCustomDriver&>(AObject), ARetValue, AParams, ACount,
                                 AConnection);
                },
                meth->ParamCount);
        }
    });
    ForEachProp(ADecl, [&reg](const TPropDecl& p) {
        for (const ExportPropAttribute& attr : p.Attributes) {
            reg.AddProp(Utf8ToWide(p.Name), Utf8ToWide(attr.NameLoc), true, !attr.ReadOnly,
                        [](TV8UserObject& AObject, const std::u16string& APropName, V8Variant& AValue,
                           bool AIsGet, TV8AddInDefBaseEx* AConnection) {
                            return static_cast<TCustomDriver&>(AObject).PropertyGetSet(
                                WideToUtf8(APropName), AValue, AIsGet, AConnection);
                        });
        }
    });
    return reg;
}

bool TCustomDriver::PropertyGetSet(const std::string& PropName, V8Variant& propValue, bool Get,
                                   TV8AddInDefBaseEx* /*AConnection*/) {
    bool found = false;
    ForEachProp(GetClassDecl(), [&](const TPropDecl& p) {
        for (const ExportPropAttribute& attr : p.Attributes) {
            if (!SameTextIgnoreCase(p.Name, PropName) && !SameTextIgnoreCase(attr.NameLoc, PropName))
                continue;
            found = true;
            if (Get) {
                PropertyToV8(p, propValue);
            } else if (attr.ReadOnly) {
                throw TMessageError(TMessage::PropertyReadOnly, PropName);
            } else {
                V8ToProperty(p, propValue);
            }
        }
    });
    if (!found) throw TMessageError(TMessage::PropertyNotFound, PropName);
    return true;
}

bool TCustomDriver::PropertySet(const std::string& PropName, V8Variant& propValue) {
    return PropertyGetSet(PropName, propValue, false, nullptr);
}

void TCustomDriver::PropertyToV8(const TPropDecl& AProp, V8Variant& AValue) {
    const TPropValue value = AProp.Get(*this);
    switch (AProp.Kind) {
        case TPropKind::pkInteger: V8SetInt(AValue, std::get<std::int32_t>(value)); return;
        case TPropKind::pkDouble: V8SetDouble(AValue, std::get<double>(value)); return;
        case TPropKind::pkString: V8SetUtf8String(AValue, std::get<std::string>(value)); return;
        case TPropKind::pkBoolean: V8SetBool(AValue, std::get<bool>(value)); return;
    }
    throw TMessageError(TMessage::PropertyTypeUnacceptable);
}

void TCustomDriver::V8ToProperty(const TPropDecl& AProp, const V8Variant& AValue) {
    switch (AProp.Kind) {
        case TPropKind::pkInteger:
            if (V8Type(AValue) == VTYPE_R8 || V8Type(AValue) == VTYPE_R4) {
                const double number = V8GetDouble(AValue);
                if (number >= 2147483648.0 || number < -2147483648.0) CheckUnstorableNumber(AProp.Name, number);
            }
            // The host's reader knows no Boolean; an integer setting takes one as 1 or 0.
            AProp.Set(*this,
                      V8Type(AValue) == VTYPE_BOOL ? std::int32_t{AValue.VarEnum.bVal} : V8GetInt(AValue));
            return;
        case TPropKind::pkDouble: AProp.Set(*this, V8GetDouble(AValue)); return;
        case TPropKind::pkString:
            if (!V8IsString(AValue)) throw TMessageError(TMessage::ValueTypeUnacceptable);
            AProp.Set(*this, V8GetUtf8String(AValue));
            return;
        case TPropKind::pkBoolean: AProp.Set(*this, V8GetBool(AValue)); return;
    }
    throw TMessageError(TMessage::PropertyTypeUnacceptable);
}

void TCustomDriver::ReportSuccess(V8Variant* ARetValue) {
    FLastResult.Clear();
    if (ARetValue != nullptr) V8SetBool(*ARetValue, true);
}

void TCustomDriver::ReportError(const std::exception& AError, V8Variant* ARetValue, std::int32_t AErrorCode) {
    ReportError(std::string(AError.what()), ARetValue, AErrorCode);
}

void TCustomDriver::ReportError(const std::string& AMessage, V8Variant* ARetValue, std::int32_t AErrorCode) {
    FLastResult.SetError(AMessage, AErrorCode);
    if (ARetValue != nullptr) V8SetBool(*ARetValue, false);
    try {
        WriteLog("Exception", AMessage, TLogLevel::llError);
    } catch (...) {
        // A log that cannot be written must not turn a reported failure into a lost one.
    }
}

}  // namespace quorvane
