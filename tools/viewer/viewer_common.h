#pragma once

#include <gtk/gtk.h>

#include <memory>

namespace quorvane {

// Ownership of GLib allocations that the viewer frees itself.
struct TGFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
struct TGErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};
using TGCharPtr = std::unique_ptr<gchar, TGFreeDeleter>;
using TGErrorPtr = std::unique_ptr<GError, TGErrorDeleter>;

// A length given at ABaseDpi pixels per inch, in pixels of the default screen.
int ScaleToScreen(int ALength, double ABaseDpi);

// Both windows are modal dialogs for the caller: Escape closes them.
void CloseOnEscape(GtkWidget* AWindow);

// Shows a message box over AParent (which may be null).
void ShowError(GtkWidget* AParent, const char* AText);

}  // namespace quorvane
