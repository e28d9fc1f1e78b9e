#include "tools/viewer/help_window.h"

#include "errors/messages.h"
#include "tools/viewer/viewer_common.h"

namespace quorvane {

TDocViewWindow::TDocViewWindow(const std::string& AHtmlFilePath, const std::string& ACaption) {
    FWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(FWindow),
                         ACaption.empty() ? MessageText(TMessage::DocumentCaption) : ACaption.c_str());
    gtk_window_set_default_size(GTK_WINDOW(FWindow), ScaleToScreen(900, 96.0), ScaleToScreen(680, 96.0));
    gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_CENTER);
    CloseOnEscape(FWindow);
    g_signal_connect(FWindow, "key-press-event", G_CALLBACK(OnKey), this);
    g_signal_connect(FWindow, "destroy", G_CALLBACK(OnDestroy), this);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(FWindow), box);
    GtkWidget* toolbar = gtk_toolbar_new();
    gtk_toolbar_set_style(GTK_TOOLBAR(toolbar), GTK_TOOLBAR_ICONS);
    gtk_box_pack_start(GTK_BOX(box), toolbar, FALSE, FALSE, 0);
    FBack = gtk_tool_button_new(nullptr, nullptr);
    gtk_tool_button_set_icon_name(GTK_TOOL_BUTTON(FBack), "go-previous");
    gtk_tool_item_set_tooltip_text(FBack, MessageText(TMessage::HelpBackTooltip));
    gtk_widget_set_sensitive(GTK_WIDGET(FBack), FALSE);
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar), FBack, -1);
    g_signal_connect(FBack, "clicked", G_CALLBACK(OnBack), this);

    FBrowser = webkit_web_view_new();
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(FBrowser));
    // A static page: no scripts, and no GPU path that a remote or virtual display may lack.
    webkit_settings_set_enable_javascript(settings, FALSE);
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    g_signal_connect(FBrowser, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(webkit_web_view_get_back_forward_list(WEBKIT_WEB_VIEW(FBrowser)), "changed",
                     G_CALLBACK(OnHistoryChanged), this);
    gtk_box_pack_start(GTK_BOX(box), FBrowser, TRUE, TRUE, 0);

    GError* raw = nullptr;
    TGCharPtr uri(g_filename_to_uri(AHtmlFilePath.c_str(), nullptr, &raw));
    TGErrorPtr error(raw);
    if (uri)
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(FBrowser), uri.get());
    else
        webkit_web_view_load_plain_text(WEBKIT_WEB_VIEW(FBrowser), error->message);
}

TDocViewWindow::~TDocViewWindow() {
    if (FWindow != nullptr) gtk_widget_destroy(FWindow);
}

void TDocViewWindow::Show() { gtk_widget_show_all(FWindow); }

gboolean TDocViewWindow::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* ADecision,
                                        WebKitPolicyDecisionType AType, gpointer AThis) {
    if (AType != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        AType != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;
    auto* decision = WEBKIT_NAVIGATION_POLICY_DECISION(ADecision);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(decision);
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (uri == nullptr || g_str_has_prefix(uri, "file:") || g_str_has_prefix(uri, "about:"))
        return FALSE;  // the help's own pages and anchors stay in the window
    webkit_policy_decision_ignore(ADecision);
    GError* raw = nullptr;
    if (!g_app_info_launch_default_for_uri(uri, nullptr, &raw)) {
        TGErrorPtr error(raw);
        ShowError(static_cast<TDocViewWindow*>(AThis)->FWindow, error->message);
    }
    return TRUE;
}

gboolean TDocViewWindow::OnKey(GtkWidget*, GdkEventKey* AEvent, gpointer AThis) {
    const guint modifiers = AEvent->state & gtk_accelerator_get_default_mod_mask();
    if (modifiers != GDK_MOD1_MASK || (AEvent->keyval != GDK_KEY_Left && AEvent->keyval != GDK_KEY_KP_Left))
        return FALSE;
    OnBack(nullptr, AThis);
    return TRUE;
}

void TDocViewWindow::OnBack(GtkToolButton*, gpointer AThis) {
    auto* view = WEBKIT_WEB_VIEW(static_cast<TDocViewWindow*>(AThis)->FBrowser);
    if (webkit_web_view_can_go_back(view)) webkit_web_view_go_back(view);
}

void TDocViewWindow::OnHistoryChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer,
                                      gpointer AThis) {
    auto* self = static_cast<TDocViewWindow*>(AThis);
    gtk_widget_set_sensitive(GTK_WIDGET(self->FBack),
                             webkit_web_view_can_go_back(WEBKIT_WEB_VIEW(self->FBrowser)));
}

void TDocViewWindow::OnDestroy(GtkWidget*, gpointer AThis) {
    static_cast<TDocViewWindow*>(AThis)->FWindow = nullptr;
    gtk_main_quit();
}

}  // namespace quorvane
