#include "addin/class_registry.h"

#include <cstring>

namespace quorvane {

V8Variant& TDefParamList::AddParam(int ANum) {
    TDefParamValue& entry = Values.emplace_back();
    std::memset(&entry.Value, 0, sizeof entry.Value);
    entry.Num = ANum - 1;
    TempParam = &entry.Value;
    return entry.Value;
}

void TDefParamList::AddInt(std::int32_t V, int AParamNum) {
    V8Variant& value = AddParam(AParamNum);
    value.vt = VTYPE_I4;
    value.VarEnum.lVal = V;
}

void TDefParamList::AddDouble(double V, int AParamNum) {
    V8Variant& value = AddParam(AParamNum);
    value.vt = VTYPE_R8;
    value.VarEnum.dblVal = V;
}

void TDefParamList::AddDate(double V, int AParamNum) {
    V8Variant& value = AddParam(AParamNum);
    value.vt = VTYPE_DATE;
    value.VarEnum.date = V;
}

void TDefParamList::AddBool(bool V, int AParamNum) {
    V8Variant& value = AddParam(AParamNum);
    value.vt = VTYPE_BOOL;
    value.VarEnum.bVal = V;
}

void TDefParamList::AddAString(const char* V, int AParamNum) {
    V8Variant& value = AddParam(AParamNum);
    value.vt = VTYPE_PSTR;
    value.VarEnum.vtRecString.pstrVal = const_cast<char*>(V);
    value.VarEnum.vtRecString.strLen = V == nullptr ? 0 : static_cast<std::uint32_t>(std::strlen(V));
}

void TDefParamList::AddWString(const WCHAR_T* V, int AParamNum) {
    V8Variant& value = AddParam(AParamNum);
    value.vt = VTYPE_PWSTR;
    value.VarEnum.vtRecWideString.pwstrVal = const_cast<WCHAR_T*>(V);
    value.VarEnum.vtRecWideString.wstrLen =
        V == nullptr ? 0 : static_cast<std::uint32_t>(std::char_traits<WCHAR_T>::length(V));
}

const V8Variant* TDefParamList::Find(long AParamNum) const {
    for (const TDefParamValue& entry : Values) {
        if (entry.Num == AParamNum) return &entry.Value;
    }
    return nullptr;
}

TMethReg& TClassReg::AddMethod(std::u16string AMethName, std::u16string AMethNameLoc, bool AIsFunction,
                               TMethodExecute AExecuteProc, std::int32_t AParamCount) {
    TMethReg& method = MethList.emplace_back();
    method.MethName = std::move(AMethName);
    method.MethNameLoc = std::move(AMethNameLoc);
    method.IsFunction = AIsFunction;
    method.Execute = std::move(AExecuteProc);
    method.ParamCount = AParamCount;
    return method;
}

TMethReg& TClassReg::AddFunc(std::u16string AMethName, std::u16string AMethNameLoc,
                             TMethodExecute AExecuteProc, std::int32_t AParamCount) {
    return AddMethod(std::move(AMethName), std::move(AMethNameLoc), true, std::move(AExecuteProc),
                     AParamCount);
}

TMethReg& TClassReg::AddProc(std::u16string AMethName, std::u16string AMethNameLoc,
                             TMethodExecute AExecuteProc, std::int32_t AParamCount) {
    return AddMethod(std::move(AMethName), std::move(AMethNameLoc), false, std::move(AExecuteProc),
                     AParamCount);
}

TPropReg& TClassReg::AddProp(std::u16string APropName, std::u16string APropNameLoc, bool AIsReadable,
                             bool AIsWritable, TPropGetSet APropGetSet) {
    TPropReg& prop = PropList.emplace_back();
    prop.PropName = std::move(APropName);
    prop.PropNameLoc = std::move(APropNameLoc);
    prop.IsReadable = AIsReadable;
    prop.IsWritable = AIsWritable;
    prop.PropGetSet = std::move(APropGetSet);
    return prop;
}

const TMethReg* TClassReg::Method(long ANumber) const {
    if (ANumber < 0 || ANumber >= static_cast<long>(MethList.size())) return nullptr;
    return &MethList[static_cast<std::size_t>(ANumber)];
}

const TPropReg* TClassReg::Prop(long ANumber) const {
    if (ANumber < 0 || ANumber >= static_cast<long>(PropList.size())) return nullptr;
    return &PropList[static_cast<std::size_t>(ANumber)];
}

TClassReg& TClassRegList::RegisterClass(TUserClassFactory AUserClass, std::u16string ARegisterExtensionAs,
                                        std::u16string ANatApiClassName) {
    TClassReg& entry = ClassList.emplace_back();
    entry.UserClass = std::move(AUserClass);
    entry.RegisterExtensionAs = std::move(ARegisterExtensionAs);
    entry.NatApiClassName = std::move(ANatApiClassName);
    if (!FClassNames.empty()) FClassNames += u'|';
    FClassNames += entry.NatApiClassName;
    return entry;
}

TClassReg* TClassRegList::FindClass(std::u16string_view ANatApiClassName) {
    for (TClassReg& entry : ClassList) {
        if (entry.NatApiClassName == ANatApiClassName) return &entry;
    }
    return nullptr;
}

TClassRegList& ClassRegistry() {
    static TClassRegList registry;
    return registry;
}

}  // namespace quorvane
