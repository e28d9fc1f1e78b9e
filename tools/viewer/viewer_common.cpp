#include "tools/viewer/viewer_common.h"

#include <cmath>

namespace quorvane {

int ScaleToScreen(int ALength, double ABaseDpi) {
    double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
    if (dpi <= 0) dpi = 96.0;
    return static_cast<int>(std::lround(ALength * dpi / ABaseDpi));
}

namespace {
gboolean OnKeyPress(GtkWidget* AWidget, GdkEventKey* AEvent, gpointer) {
    if (AEvent->keyval == GDK_KEY_Escape) {
        gtk_window_close(GTK_WINDOW(AWidget));
        return TRUE;
    }
    return FALSE;
}
}  // namespace

void CloseOnEscape(GtkWidget* AWindow) {
    g_signal_connect(AWindow, "key-press-event", G_CALLBACK(OnKeyPress), nullptr);
}

void ShowError(GtkWidget* AParent, const char* AText) {
    GtkWidget* dialog = gtk_message_dialog_new(AParent ? GTK_WINDOW(AParent) : nullptr, GTK_DIALOG_MODAL,
                                               GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", AText);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

}  // namespace quorvane
