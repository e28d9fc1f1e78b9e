#pragma once

// What both Windows windows of the component hold: owners for their handles, the module their
// window classes belong to, and the failure to make a window.

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace quorvane {

struct TWindowDeleter {
    void operator()(HWND AWindow) const {
        if (::IsWindow(AWindow)) ::DestroyWindow(AWindow);
    }
};
struct TGdiDeleter {
    void operator()(HGDIOBJ AObject) const { ::DeleteObject(AObject); }
};
struct TModuleDeleter {
    void operator()(HMODULE AModule) const { ::FreeLibrary(AModule); }
};
using TWindowPtr = std::unique_ptr<std::remove_pointer_t<HWND>, TWindowDeleter>;
using TFontPtr = std::unique_ptr<std::remove_pointer_t<HFONT>, TGdiDeleter>;
using TBrushPtr = std::unique_ptr<std::remove_pointer_t<HBRUSH>, TGdiDeleter>;
using TModulePtr = std::unique_ptr<std::remove_pointer_t<HMODULE>, TModuleDeleter>;

// The component's own module: window classes belong to it, not to the host's program.
HINSTANCE ThisModule();

// The window ACaption could not be made: the message with the system's reason for the last error.
[[noreturn]] void ThrowWindowError(const std::string& ACaption);

}  // namespace quorvane
