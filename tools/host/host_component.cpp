#include "tools/host/host_component.h"

#include <stdexcept>

#include "addin/wide_string.h"

namespace quorvane::host {

TComponentLibrary::TComponentLibrary(const std::string& APath) : FPath(APath), FHandle(Open(APath)) {
    auto resolve = [&](const char* AName) {
        void* symbol = Resolve(AName);
        if (symbol == nullptr) throw std::runtime_error(APath + " does not export " + AName);
        return symbol;
    };
    FGetClassNames = reinterpret_cast<TGetClassNamesProc>(resolve("GetClassNames"));
    FGetClassObject = reinterpret_cast<TGetClassObjectProc>(resolve("GetClassObject"));
    FDestroyObject = reinterpret_cast<TDestroyObjectProc>(resolve("DestroyObject"));
}

std::u16string TComponentLibrary::ClassNames() const { return std::u16string(WideView(FGetClassNames())); }

THostObject::THostObject(const TComponentLibrary& ALibrary, std::u16string_view AClassName,
                         THostMemoryManager& AManager, THostConnection& AConnection,
                         std::u16string_view ALocale)
    : FLibrary(ALibrary), FManager(AManager), FConnection(AConnection) {
    std::u16string name(AClassName);
    if (FLibrary.GetClassObject(ToHostText(name.c_str()), &FObject) != 1 || FObject == nullptr) {
        FObject = nullptr;
        throw std::runtime_error("the component has no class " + WideToUtf8(name));
    }
    InitDone().Init(static_cast<TV8AddInDefBase*>(&FConnection));
    InitDone().setMemManager(static_cast<TV8MemoryManager*>(&FManager));
    std::u16string locale(ALocale);
    Locale().SetLocale(ToHostText(locale.c_str()));
}

THostObject::~THostObject() {
    if (FObject != nullptr) {
        FObject->Done();
        FLibrary.DestroyObject(&FObject);
    }
}

std::u16string THostObject::TakeText(const WCHAR_T* AText, bool* ANull) {
    if (ANull != nullptr) *ANull = AText == nullptr;
    std::u16string text(WideView(AText));
    void* block = const_cast<WCHAR_T*>(AText);
    FManager.FreeMemory(&block);
    return text;
}

std::u16string THostObject::MethodName(long ANumber, long AAlias, bool* ANull) {
    return TakeText(Extender().GetMethodName(ANumber, AAlias), ANull);
}

std::u16string THostObject::PropName(long ANumber, long AAlias, bool* ANull) {
    return TakeText(Extender().GetPropName(ANumber, AAlias), ANull);
}

std::u16string THostObject::ExtensionName(bool* ANull) {
    WCHAR_T* name = nullptr;
    Extender().RegisterExtensionAs(&name);
    return TakeText(name, ANull);
}

bool THostObject::Call(std::u16string_view AName, THostValues& AParams, THostValues& AResult) {
    std::u16string name(AName);
    long number = Extender().FindMethod(ToHostText(name.c_str()));
    if (number < 0) throw std::runtime_error("no method " + WideToUtf8(name));
    if (Extender().HasRetVal(number)) {
        if (AResult.Count() == 0) AResult.Add(EmptyValue());
        return Extender().CallAsFunc(number, AResult.Data(), AParams.Data(), AParams.Count());
    }
    return Extender().CallAsProc(number, AParams.Data(), AParams.Count());
}

bool THostObject::GetProp(std::u16string_view AName, THostValues& AValue) {
    std::u16string name(AName);
    long number = Extender().FindProp(ToHostText(name.c_str()));
    if (number < 0) throw std::runtime_error("no property " + WideToUtf8(name));
    if (AValue.Count() == 0) AValue.Add(EmptyValue());
    return Extender().GetPropVal(number, AValue.Data());
}

bool THostObject::SetProp(std::u16string_view AName, THostValues& AValue) {
    std::u16string name(AName);
    long number = Extender().FindProp(ToHostText(name.c_str()));
    if (number < 0) throw std::runtime_error("no property " + WideToUtf8(name));
    if (AValue.Count() == 0) AValue.Add(EmptyValue());
    return Extender().SetPropVal(number, AValue.Data());
}

}  // namespace quorvane::host
