// quorvane-viewer: the component's windows, run by the component and awaited.
//   quorvane-viewer log DIR             the log viewer for the log folder DIR
//   quorvane-viewer help PAGE CAPTION   the help viewer showing the HTML file PAGE
// Exit status 0 when the window was shown and closed; errors go to stderr.
#include "tools/viewer/help_window.h"
#include "tools/viewer/log_window.h"
#include "tools/viewer/viewer_common.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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
    GtkWidget* dialog = gtk_message_dialog_new(AParent ? GTK_WINDOW(AParent) : nullptr,
                                               GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_CLOSE, "%s", AText);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

}  // namespace quorvane

int main(int argc, char** argv) {
    // Taken before GTK sees the arguments, as it may remove some of them.
    const std::vector<std::string> args(argv, argv + argc);
    const bool logMode = args.size() == 3 && args[1] == "log";
    const bool helpMode = args.size() == 4 && args[1] == "help";
    if (!logMode && !helpMode) {
        std::fprintf(stderr, "usage: quorvane-viewer log DIR | help PAGE CAPTION\n");
        return 64;
    }
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "quorvane-viewer: cannot open the display\n");
        return 2;
    }
    if (logMode) {
        quorvane::TLogWindow window(args[2]);
        window.Show();
        gtk_main();
    } else {
        quorvane::TDocViewWindow window(args[2], args[3]);
        window.Show();
        gtk_main();
    }
    return 0;
}
