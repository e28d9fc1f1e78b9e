#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>

namespace quorvane {

// The help window (TfrmDocView): one web view showing an HTML file, under a Back button.
// Links that leave the page's own files open in the desktop's browser; Alt+Left or the
// button returns from a followed link. Closing the window ends the GTK main loop.
class TDocViewWindow {
public:
    TDocViewWindow(const std::string& AHtmlFilePath, const std::string& ACaption);
    ~TDocViewWindow();
    TDocViewWindow(const TDocViewWindow&) = delete;
    TDocViewWindow& operator=(const TDocViewWindow&) = delete;

    void Show();

private:
    static gboolean OnDecidePolicy(WebKitWebView* AView, WebKitPolicyDecision* ADecision,
                                   WebKitPolicyDecisionType AType, gpointer AThis);
    static void OnDestroy(GtkWidget* AWidget, gpointer AThis);
    static gboolean OnKey(GtkWidget* AWidget, GdkEventKey* AEvent, gpointer AThis);
    static void OnBack(GtkToolButton* AButton, gpointer AThis);
    static void OnHistoryChanged(WebKitBackForwardList* AList, WebKitBackForwardListItem* AAdded,
                                 gpointer ARemoved, gpointer AThis);

    GtkWidget* FWindow = nullptr;
    GtkWidget* FBrowser = nullptr;  // wbBrowser
    GtkToolItem* FBack = nullptr;
};

}  // namespace quorvane
