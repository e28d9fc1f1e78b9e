#pragma once

#include <memory>

#include "addin/v8_user_object.h"
#include "addin/v8napi.h"

namespace quorvane {

struct TMethReg;

// The object the host holds: the three interface tables in front of one driver object, which it
// owns. Every slot answers from the registry or forwards to the driver; no exception leaves a slot.
class TComponentAdapter final : public TV8ComponentBase {
public:
    explicit TComponentAdapter(std::unique_ptr<TV8UserObject> AObject);
#if defined(_WIN32)
    ~TComponentAdapter();
    // Slot 0 of all three tables, MSVC's scalar deleting destructor: bit 0 of the flags frees
    // the object too. The host never calls it (DestroyObject does the work), but an MSVC table
    // has exactly this entry there.
    void* ScalarDeletingDestructor(unsigned AFlags) override;
#else
    ~TComponentAdapter() override;
#endif

    TV8UserObject& Object() { return *FObject; }

    // Initialisation table.
    bool Init(void* disp) override;
    bool setMemManager(void* mem) override;
    long GetInfo() override;
    void Done() override;

    // Language-extension table.
    bool RegisterExtensionAs(WCHAR_T** wsExtensionName) override;
    long GetNProps() override;
    long FindProp(const WCHAR_T* wsPropName) override;
    const WCHAR_T* GetPropName(long lPropNum, long lPropAlias) override;
    bool GetPropVal(const long lPropNum, V8Variant* pvarPropVal) override;
    bool SetPropVal(const long lPropNum, V8Variant* varPropVal) override;
    bool IsPropReadable(const long lPropNum) override;
    bool IsPropWritable(const long lPropNum) override;
    long GetNMethods() override;
    long FindMethod(const WCHAR_T* wsMethodName) override;
    const WCHAR_T* GetMethodName(const long lMethodNum, const long lMethodAlias) override;
    long GetNParams(const long lMethodNum) override;
    bool GetParamDefValue(const long lMethodNum, const long lParamNum, V8Variant* pvarParamDefValue) override;
    bool HasRetVal(const long lMethodNum) override;
    bool CallAsProc(const long lMethodNum, V8Variant* paParams, const long lSizeArray) override;
    bool CallAsFunc(const long lMethodNum, V8Variant* pvarRetValue, V8Variant* paParams,
                    const long lSizeArray) override;

    // Locale table.
    void SetLocale(const WCHAR_T* loc) override;

private:
    bool Call(long AMethodNum, V8Variant* ARetValue, V8Variant* AParams, long ACount, bool AAsFunction);
    bool AccessProp(long APropNum, V8Variant* AValue, bool AIsGet);
    // Reports a failure that reached a slot to the host; never throws.
    void ReportError(const char* AMessage) noexcept;

    std::unique_ptr<TV8UserObject> FObject;
};

}  // namespace quorvane
