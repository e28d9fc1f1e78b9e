#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "addin/class_registry.h"
#include "addin/export_declarations.h"
#include "addin/v8_user_object.h"
#include "addin/wide_string.h"
#include "errors/messages.h"
#include "log/driver_log.h"

namespace quorvane {

// Outcome of the last exported method call, reported by GetLastError.
struct TResult {
    std::int32_t ErrorCode = 0;
    std::string ErrorDescription;
    bool BoolResult = true;

    void Clear();
    void SetError(const std::string& ADescription, std::int32_t AErrorCode);
    // 0 after success; otherwise the code, or 1001 when none was given.
    std::int32_t GetIntResult() const;
};

// The name of a setting type as the settings description writes it: 0 "String", 1 "Number",
// 2 "Boolean", 3 "Unknown"; anything else fails with "Enum value unacceptable".
std::string ValueTypeName(int AKind);
// The type number of a property kind for ValueTypeName.
int PropKindTypeNumber(TPropKind AKind);

// Base of the driver classes: builds the registry from the classes' declarations, reads and
// writes the declared properties, and keeps the outcome of the last exported method.
class TCustomDriver : public TV8UserObject {
public:
    TCustomDriver();

    const TResult& LastResult() const { return FLastResult; }

    // This class's declarations (it declares no members of its own).
    static const TClassDecl& ClassDecl();
    // The declarations of the object's own class.
    virtual const TClassDecl& GetClassDecl() const = 0;

    // Registers driver class C under AExtension, both as the name reported to the host and the
    // name GetClassObject matches, with every declared method (as functions) and property.
    template <class C>
    static TClassReg& RegisterClass(const std::string& AExtension);
    // RegisterClass, then the log's files are named after AExtension.
    template <class C>
    static TClassReg& RegisterDriver(const std::string& AExtension);

    // Reads (Get) or writes every property whose English or localized name equals PropName,
    // ignoring letter case. Throws "Property not found: " + name when none does.
    bool PropertyGetSet(const std::string& PropName, V8Variant& propValue, bool Get,
                        TV8AddInDefBaseEx* AConnection);
    bool PropertySet(const std::string& PropName, V8Variant& propValue);

protected:
    // Clears the last result; then true into ARetValue when given.
    void ReportSuccess(V8Variant* ARetValue);
    // Stores the failure as the last result; then false into ARetValue when given, and an
    // ERROR record "Exception" in the driver log.
    void ReportError(const std::exception& AError, V8Variant* ARetValue, std::int32_t AErrorCode);
    void ReportError(const std::string& AMessage, V8Variant* ARetValue, std::int32_t AErrorCode);

    // The boundary of every exported method: runs AWork, reports its outcome into ARetValue
    // and never lets a failure out. Always true, as the host must always see the call done.
    template <class F>
    bool Guarded(V8Variant* ARetValue, F&& AWork);

    void PropertyToV8(const TPropDecl& AProp, V8Variant& AValue);
    void V8ToProperty(const TPropDecl& AProp, const V8Variant& AValue);
    // Called with a host number too large for the integer property AName, before it is stored
    // clamped: a driver that knows the setting's range refuses the value as the host gave it.
    virtual void CheckUnstorableNumber(const std::string& /*AName*/, double /*AValue*/) const {}

private:
    static TClassReg& RegisterDecl(const TClassDecl& ADecl, TUserClassFactory AFactory,
                                   const std::string& AExtension);

    TResult FLastResult;
};

template <class C>
TClassReg& TCustomDriver::RegisterClass(const std::string& AExtension) {
    return RegisterDecl(
        C::ClassDecl(), [] { return std::unique_ptr<TV8UserObject>(std::make_unique<C>()); }, AExtension);
}

template <class C>
TClassReg& TCustomDriver::RegisterDriver(const std::string& AExtension) {
    TClassReg& reg = RegisterClass<C>(AExtension);
    // The header comes with the first record once the log is on; nothing to write here.
    SetLogBaseName(AExtension);
    return reg;
}

template <class F>
bool TCustomDriver::Guarded(V8Variant* ARetValue, F&& AWork) {
    try {
        AWork();
        ReportSuccess(ARetValue);
    } catch (const std::exception& e) {
        ReportError(e, ARetValue, 0);
    } catch (...) {
        ReportError(MessageText(TMessage::HostUnknownError), ARetValue, 0);
    }
    return true;
}

}  // namespace quorvane
