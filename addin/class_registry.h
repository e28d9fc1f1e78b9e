#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "addin/v8napi.h"

namespace quorvane {

class TV8UserObject;

// Creates a new object of a registered class.
using TUserClassFactory = std::function<std::unique_ptr<TV8UserObject>()>;

// Runs an exported method: (object, return value, parameter array, parameter count as the host
// gave it, host connection) -> boolean. ARetValue is null for procedure-kind methods. The
// parameter records are the host's own (or a padded copy when the host passed fewer than
// ParamCount): read and write them in place.
using TMethodExecute = std::function<bool(TV8UserObject& AObject, V8Variant* ARetValue, V8Variant* AParams,
                                          long ACount, TV8AddInDefBaseEx* AConnection)>;

// Reads (AIsGet) or writes a property: (object, English name, host value, get flag, connection).
using TPropGetSet = std::function<bool(TV8UserObject& AObject, const std::u16string& APropName,
                                       V8Variant& AValue, bool AIsGet, TV8AddInDefBaseEx* AConnection)>;

struct TDefParamValue {
    std::int32_t Num;  // 0-based parameter number
    V8Variant Value;
};

// Default parameter values of one method.
class TDefParamList {
public:
    // A zeroed value slot for parameter ANum (callers count from 1); TempParam points at it.
    V8Variant& AddParam(int ANum);
    void AddInt(std::int32_t V, int AParamNum);
    void AddDouble(double V, int AParamNum);
    void AddDate(double V, int AParamNum);
    void AddBool(bool V, int AParamNum);
    // The texts are not copied: they must outlive the registry (literals do).
    void AddAString(const char* V, int AParamNum);
    void AddWString(const WCHAR_T* V, int AParamNum);

    std::int32_t ValueCount() const { return static_cast<std::int32_t>(Values.size()); }
    // The entry of the 0-based parameter AParamNum, or null.
    const V8Variant* Find(long AParamNum) const;

    std::deque<TDefParamValue> Values;
    V8Variant* TempParam = nullptr;
};

struct TMethReg {
    std::u16string MethName;     // English, alias 0
    std::u16string MethNameLoc;  // localized, alias 1
    bool IsFunction = false;
    std::int32_t ParamCount = 0;
    TDefParamList DefParams;
    TMethodExecute Execute;
};

struct TPropReg {
    std::u16string PropName;
    std::u16string PropNameLoc;
    bool IsReadable = false;
    bool IsWritable = false;
    TPropGetSet PropGetSet;
};

// One registered class: its factory, its names, its methods and properties in host order.
class TClassReg {
public:
    TMethReg& AddMethod(std::u16string AMethName, std::u16string AMethNameLoc, bool AIsFunction,
                        TMethodExecute AExecuteProc, std::int32_t AParamCount);
    TMethReg& AddFunc(std::u16string AMethName, std::u16string AMethNameLoc, TMethodExecute AExecuteProc,
                      std::int32_t AParamCount);
    TMethReg& AddProc(std::u16string AMethName, std::u16string AMethNameLoc, TMethodExecute AExecuteProc,
                      std::int32_t AParamCount);
    TPropReg& AddProp(std::u16string APropName, std::u16string APropNameLoc, bool AIsReadable,
                      bool AIsWritable, TPropGetSet APropGetSet);

    std::int32_t PropCount() const { return static_cast<std::int32_t>(PropList.size()); }
    std::int32_t MethCount() const { return static_cast<std::int32_t>(MethList.size()); }
    // Null for a number outside the list.
    const TMethReg* Method(long ANumber) const;
    const TPropReg* Prop(long ANumber) const;

    TUserClassFactory UserClass;
    std::u16string RegisterExtensionAs;
    std::u16string NatApiClassName;
    // Deques: records keep their address while more are added.
    std::deque<TPropReg> PropList;
    std::deque<TMethReg> MethList;
};

// The registry: filled while the library loads, read-only afterwards.
class TClassRegList {
public:
    TClassReg& RegisterClass(TUserClassFactory AUserClass, std::u16string ARegisterExtensionAs,
                             std::u16string ANatApiClassName);
    std::int32_t ClassCount() const { return static_cast<std::int32_t>(ClassList.size()); }
    // The first class with exactly this name (case-sensitive), or null.
    TClassReg* FindClass(std::u16string_view ANatApiClassName);
    // Every NatApiClassName in registration order joined by "|".
    const std::u16string& ClassNames() const { return FClassNames; }

    std::deque<TClassReg> ClassList;

private:
    std::u16string FClassNames;
};

// The library's registry. A function-local static, so registrations from start-up code of any
// translation unit find it constructed.
TClassRegList& ClassRegistry();

}  // namespace quorvane
