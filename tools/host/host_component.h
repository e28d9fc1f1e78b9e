#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "addin/v8napi.h"
#include "tools/host/host_connection.h"
#include "tools/host/host_memory.h"
#include "tools/host/host_values.h"

namespace quorvane::host {

// The component library, loaded with dlopen and used only through its three exports.
class TComponentLibrary {
public:
    // Throws std::runtime_error when the library or one of the exports cannot be had.
    explicit TComponentLibrary(const std::string& APath);

    std::u16string ClassNames() const;
    long GetClassObject(const WCHAR_T* AName, TV8ComponentBase** AObject) const {
        return FGetClassObject(AName, AObject);
    }
    long DestroyObject(TV8ComponentBase** AObject) const { return FDestroyObject(AObject); }
    const std::string& Path() const { return FPath; }

private:
    struct TCloser {
        void operator()(void* AHandle) const;
    };
    // The system's loader (host_platform_*.cpp): Open throws with the loader's reason; Resolve
    // gives nullptr for a missing export.
    static void* Open(const std::string& APath);
    void* Resolve(const char* AName) const;

    std::string FPath;
    std::unique_ptr<void, TCloser> FHandle;
    TGetClassNamesProc FGetClassNames = nullptr;
    TGetClassObjectProc FGetClassObject = nullptr;
    TDestroyObjectProc FDestroyObject = nullptr;
};

// One component object, created and set up as the platform does (GetClassObject, Init,
// setMemManager, SetLocale) and destroyed through DestroyObject.
class THostObject {
public:
    // Throws std::runtime_error when GetClassObject creates nothing.
    THostObject(const TComponentLibrary& ALibrary, std::u16string_view AClassName,
                THostMemoryManager& AManager, THostConnection& AConnection,
                std::u16string_view ALocale = u"ru_RU");
    ~THostObject();
    THostObject(const THostObject&) = delete;
    THostObject& operator=(const THostObject&) = delete;

    TV8ComponentBase* Interface() const { return FObject; }
    TV8InitDone& InitDone() const { return *FObject; }
    TV8LanguageExtender& Extender() const { return *FObject; }
    TV8LocaleBase& Locale() const { return *FObject; }

    // Names the component hands over, freed here as the host does. A null answer gives an empty
    // text and sets *ANull.
    std::u16string MethodName(long ANumber, long AAlias, bool* ANull = nullptr);
    std::u16string PropName(long ANumber, long AAlias, bool* ANull = nullptr);
    std::u16string ExtensionName(bool* ANull = nullptr);

    // Finds the method by either name and calls it as the platform would: CallAsFunc with AResult
    // when it has a return value, CallAsProc otherwise. Throws std::runtime_error for an unknown name.
    bool Call(std::u16string_view AName, THostValues& AParams, THostValues& AResult);
    // Property by either name; throws std::runtime_error for an unknown name.
    bool GetProp(std::u16string_view AName, THostValues& AValue);
    bool SetProp(std::u16string_view AName, THostValues& AValue);

    THostMemoryManager& Memory() const { return FManager; }
    THostConnection& Connection() const { return FConnection; }

private:
    std::u16string TakeText(const WCHAR_T* AText, bool* ANull);

    const TComponentLibrary& FLibrary;
    THostMemoryManager& FManager;
    THostConnection& FConnection;
    TV8ComponentBase* FObject = nullptr;
};

}  // namespace quorvane::host
