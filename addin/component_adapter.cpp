#include "addin/component_adapter.h"

#include <cstring>
#include <exception>
#include <span>
#include <vector>

#include "addin/call_trace.h"
#include "addin/class_registry.h"
#include "addin/wide_string.h"
#include "errors/messages.h"
#include "log/driver_log.h"

namespace quorvane {

namespace {

const char* const kUnknownError = MessageText(TMessage::UnknownError);

// Host lookup: localized name first, then the English one, whole strings, case-sensitive;
// the first entry in registry order wins.
template <typename TList, typename TNames>
long FindByName(const TList& AList, const WCHAR_T* AName, TNames ANames) {
    if (AName == nullptr) return -1;
    std::u16string_view name = WideView(AName);
    for (std::size_t i = 0; i < AList.size(); ++i) {
        auto [english, localized] = ANames(AList[i]);
        if (name == localized || name == english) return static_cast<long>(i);
    }
    return -1;
}

// Parameters as the log shows them; the types are always checked, since an unsupported one
// fails the call even when the trace is not written.
std::string TraceParams(std::span<const V8Variant> AParams, bool ABuild) {
    if (ABuild) return RenderParams(AParams);
    for (const V8Variant& value : AParams) CheckRenderable(value);
    return {};
}

}  // namespace

TComponentAdapter::TComponentAdapter(std::unique_ptr<TV8UserObject> AObject) : FObject(std::move(AObject)) {}

TComponentAdapter::~TComponentAdapter() = default;

#if defined(_WIN32)
void* TComponentAdapter::ScalarDeletingDestructor(unsigned AFlags) {
    if (AFlags & 1)
        delete this;
    else
        this->~TComponentAdapter();
    return this;
}
#endif

void TComponentAdapter::ReportError(const char* AMessage) noexcept {
    try {
        FObject->AddError(AMessage);
    } catch (...) {
    }
}

bool TComponentAdapter::Init(void* disp) {
    try {
        FObject->V8 = static_cast<TV8AddInDefBaseEx*>(disp);
        return FObject->Init();
    } catch (...) {
        return false;
    }
}

bool TComponentAdapter::setMemManager(void* mem) {
    try {
        FObject->V8MM = static_cast<TV8MemoryManager*>(mem);
        return FObject->SetMemManager();
    } catch (...) {
        return false;
    }
}

long TComponentAdapter::GetInfo() {
    try {
        return FObject->GetInfo();
    } catch (...) {
        return kAddInInfo;
    }
}

void TComponentAdapter::Done() {
    try {
        FObject->Done();
    } catch (...) {
    }
}

void TComponentAdapter::SetLocale(const WCHAR_T* loc) {
    try {
        FObject->locale = std::u16string(WideView(loc));
        FObject->SetLocale(FObject->locale);
    } catch (...) {
    }
}

bool TComponentAdapter::RegisterExtensionAs(WCHAR_T** wsExtensionName) {
    if (wsExtensionName == nullptr) return false;
    try {
        // True even without a copy (no memory manager yet): the pointer is then null.
        *wsExtensionName = V8AllocWString(FObject->V8MM, FObject->ClassReg->RegisterExtensionAs);
    } catch (...) {
        *wsExtensionName = nullptr;
    }
    return true;
}

long TComponentAdapter::GetNProps() { return FObject->ClassReg->PropCount(); }

long TComponentAdapter::FindProp(const WCHAR_T* wsPropName) {
    return FindByName(FObject->ClassReg->PropList, wsPropName, [](const TPropReg& p) {
        return std::pair{std::u16string_view(p.PropName), std::u16string_view(p.PropNameLoc)};
    });
}

const WCHAR_T* TComponentAdapter::GetPropName(long lPropNum, long lPropAlias) {
    const TPropReg* prop = FObject->ClassReg->Prop(lPropNum);
    if (prop == nullptr) return nullptr;
    try {
        return V8AllocWString(FObject->V8MM, lPropAlias == 0 ? prop->PropName : prop->PropNameLoc);
    } catch (...) {
        return nullptr;
    }
}

bool TComponentAdapter::AccessProp(long APropNum, V8Variant* AValue, bool AIsGet) {
    const TPropReg* prop = FObject->ClassReg->Prop(APropNum);
    if (prop == nullptr || AValue == nullptr || !prop->PropGetSet) return false;
    try {
        return prop->PropGetSet(*FObject, prop->PropName, *AValue, AIsGet, FObject->V8);
    } catch (const std::exception& e) {
        ReportError(e.what());
    } catch (...) {
        ReportError(kUnknownError);
    }
    return false;
}

bool TComponentAdapter::GetPropVal(const long lPropNum, V8Variant* pvarPropVal) {
    return AccessProp(lPropNum, pvarPropVal, true);
}

bool TComponentAdapter::SetPropVal(const long lPropNum, V8Variant* varPropVal) {
    return AccessProp(lPropNum, varPropVal, false);
}

bool TComponentAdapter::IsPropReadable(const long lPropNum) {
    const TPropReg* prop = FObject->ClassReg->Prop(lPropNum);
    return prop != nullptr && prop->IsReadable;
}

bool TComponentAdapter::IsPropWritable(const long lPropNum) {
    const TPropReg* prop = FObject->ClassReg->Prop(lPropNum);
    return prop != nullptr && prop->IsWritable;
}

long TComponentAdapter::GetNMethods() { return FObject->ClassReg->MethCount(); }

long TComponentAdapter::FindMethod(const WCHAR_T* wsMethodName) {
    return FindByName(FObject->ClassReg->MethList, wsMethodName, [](const TMethReg& m) {
        return std::pair{std::u16string_view(m.MethName), std::u16string_view(m.MethNameLoc)};
    });
}

const WCHAR_T* TComponentAdapter::GetMethodName(const long lMethodNum, const long lMethodAlias) {
    const TMethReg* method = FObject->ClassReg->Method(lMethodNum);
    if (method == nullptr) return nullptr;
    try {
        return V8AllocWString(FObject->V8MM, lMethodAlias == 0 ? method->MethName : method->MethNameLoc);
    } catch (...) {
        return nullptr;
    }
}

long TComponentAdapter::GetNParams(const long lMethodNum) {
    const TMethReg* method = FObject->ClassReg->Method(lMethodNum);
    return method == nullptr ? 0 : method->ParamCount;
}

bool TComponentAdapter::GetParamDefValue(const long lMethodNum, const long lParamNum,
                                         V8Variant* pvarParamDefValue) {
    const TMethReg* method = FObject->ClassReg->Method(lMethodNum);
    if (method == nullptr || pvarParamDefValue == nullptr) return false;
    const V8Variant* value = method->DefParams.Find(lParamNum);
    if (value == nullptr) return false;
    std::memcpy(pvarParamDefValue, value, sizeof *value);
    return true;
}

bool TComponentAdapter::HasRetVal(const long lMethodNum) {
    const TMethReg* method = FObject->ClassReg->Method(lMethodNum);
    return method != nullptr && method->IsFunction;
}

bool TComponentAdapter::CallAsProc(const long lMethodNum, V8Variant* paParams, const long lSizeArray) {
    return Call(lMethodNum, nullptr, paParams, lSizeArray, false);
}

bool TComponentAdapter::CallAsFunc(const long lMethodNum, V8Variant* pvarRetValue, V8Variant* paParams,
                                   const long lSizeArray) {
    return Call(lMethodNum, pvarRetValue, paParams, lSizeArray, true);
}

bool TComponentAdapter::Call(long AMethodNum, V8Variant* ARetValue, V8Variant* AParams, long ACount,
                             bool AAsFunction) {
    const TMethReg* method = FObject->ClassReg->Method(AMethodNum);
    if (method == nullptr || !method->Execute) return false;
    if (AParams == nullptr || ACount < 0) ACount = 0;
    std::span<V8Variant> params(AParams, static_cast<std::size_t>(ACount));
    // A function-kind method called as a procedure writes into a scratch record that is dropped.
    V8Variant scratch{};
    V8Variant* retValue = nullptr;
    if (method->IsFunction) retValue = (AAsFunction && ARetValue != nullptr) ? ARetValue : &scratch;
    try {
        std::string name = WideToUtf8(method->MethName);
        bool trace = LogPasses(TLogLevel::llDebug);
        std::string before = TraceParams(params, trace);
        if (trace) WriteLog("> " + name, "Params: " + before, TLogLevel::llDebug);

        bool result = false;
        if (ACount >= method->ParamCount) {
            result = method->Execute(*FObject, retValue, AParams, ACount, FObject->V8);
        } else {
            // The host passed fewer records than the method reads: run it on a padded copy and
            // hand back what it wrote into the host's own records.
            std::vector<V8Variant> padded(static_cast<std::size_t>(method->ParamCount));
            std::memset(padded.data(), 0, padded.size() * sizeof(V8Variant));
            if (ACount > 0) std::memcpy(padded.data(), AParams, params.size_bytes());
            struct TCopyBack {
                std::vector<V8Variant>& Padded;
                std::span<V8Variant> Host;
                TV8UserObject& Object;
                ~TCopyBack() {
                    if (!Host.empty()) std::memcpy(Host.data(), Padded.data(), Host.size_bytes());
                    for (std::size_t i = Host.size(); i < Padded.size(); ++i) Object.V8ClearVar(Padded[i]);
                }
            } copyBack{padded, params, *FObject};
            result = method->Execute(*FObject, retValue, padded.data(), ACount, FObject->V8);
        }

        std::string after = TraceParams(params, trace);
        std::string detail;
        if (AAsFunction && ARetValue != nullptr) {
            std::string rendered =
                trace ? RenderValue(*ARetValue) : (CheckRenderable(*ARetValue), std::string());
            detail = "Result=" + rendered + "; Params: " + after;
        } else {
            detail = "; Params: " + after;
        }
        if (trace) WriteLog("< " + name, detail, TLogLevel::llDebug);
        if (retValue == &scratch) FObject->V8ClearVar(scratch);
        return result;
    } catch (const std::exception& e) {
        ReportError(e.what());
        try {
            WriteLog("EXCEPTION", e.what(), TLogLevel::llError);
        } catch (...) {
        }
    } catch (...) {
        ReportError(kUnknownError);
        try {
            WriteLog("EXCEPTION", kUnknownError, TLogLevel::llError);
        } catch (...) {
        }
    }
    if (retValue == &scratch) {
        try {
            FObject->V8ClearVar(scratch);
        } catch (...) {
        }
    }
    return false;
}

}  // namespace quorvane
