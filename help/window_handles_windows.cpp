#include "help/window_handles_windows.h"

#include "errors/messages.h"
#include "errors/system_errors.h"
#include "errors/windows_errors.h"

namespace quorvane {

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

void ThrowWindowError(const std::string& ACaption) {
    const std::string reason = SystemErrorText(ErrnoOfWindowsError(::GetLastError()));
    throw TMessageError::WithText(TMessage::WindowCreateFailed,
                                  Message(TMessage::WindowCreateFailed, ACaption, reason));
}

}  // namespace quorvane
