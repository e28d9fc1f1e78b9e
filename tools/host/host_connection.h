#pragma once

#include <string>
#include <vector>

#include "addin/v8napi.h"

namespace quorvane::host {

struct THostError {
    unsigned short Code = 0;
    std::u16string Source;
    std::u16string Description;
    long Scode = 0;
};

// The host's connection object: records every AddError; the other services are absent, as the
// component uses none of them.
class THostConnection final : public TV8AddInDefBaseEx {
public:
#if defined(_WIN32)
    // The table's first slot; the session owns this object, so the component never deletes it.
    void* ScalarDeletingDestructor(unsigned) override { return this; }
#endif
    bool AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr, long scode) override;
    bool Read(WCHAR_T*, V8Variant*, long*, WCHAR_T**) override { return false; }
    bool Write(WCHAR_T*, V8Variant*) override { return false; }
    bool RegisterProfileAs(WCHAR_T*) override { return false; }
    bool SetEventBufferDepth(long) override { return false; }
    long GetEventBufferDepth() override { return 0; }
    bool ExternalEvent(WCHAR_T*, WCHAR_T*, WCHAR_T*) override { return false; }
    void CleanEventBuffer() override {}
    bool SetStatusLine(WCHAR_T*) override { return false; }
    void ResetStatusLine() override {}
    void* GetInterface(int) override { return nullptr; }

    std::vector<THostError> Errors;
};

}  // namespace quorvane::host
