#pragma once

#include "log/log_reader.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>

namespace quorvane {

// The log viewer window: a list of the folder's log files and the chosen file's text. Records
// appended to the file are added as they come; the view follows them while it is at the end.
// Ctrl+F opens a find bar. Closing the window ends the GTK main loop.
class TLogWindow {
public:
    explicit TLogWindow(std::string ADirectory);
    ~TLogWindow();
    TLogWindow(const TLogWindow&) = delete;
    TLogWindow& operator=(const TLogWindow&) = delete;

    void Show();

private:
    void BuildFindBar(GtkWidget* ABox);
    void FillList();
    void SelectNewest();
    void ShowSelectedFile();
    void AppendBytes(const std::string& ABytes);
    // Gives the lines of ERROR records from line AFromLine on the "error" tag (red, bold).
    static void MarkErrors(GtkTextBuffer* ABuffer, int AFromLine);
    bool ViewAtEnd() const;
    void ScrollToEnd();
    void CheckFile();
    void OpenDirectory();
    std::string SelectedPath() const;
    // Selects the next (or previous) occurrence of the find text, wrapping round the ends.
    void Find(bool AForward, bool AFromSelectionStart = false);
    void OpenFindBar();

    static gboolean OnListButtonEvent(GtkWidget* AButton, GdkEvent* AEvent, gpointer AThis);
    static void OnListPopup(GtkComboBox* ACombo, gpointer AThis);
    static void OnChanged(GtkComboBox* ACombo, gpointer AThis);
    static gboolean OnTimer(gpointer AThis);
    static gboolean OnScrollAgain(gpointer AThis);
    static void OnOpenDir(GtkToolButton* AButton, gpointer AThis);
    static void OnDestroy(GtkWidget* AWidget, gpointer AThis);
    static gboolean OnWindowKey(GtkWidget* AWidget, GdkEventKey* AEvent, gpointer AThis);
    static gboolean OnFindKey(GtkWidget* AWidget, GdkEventKey* AEvent, gpointer AThis);
    static void OnFindChanged(GtkSearchEntry* AEntry, gpointer AThis);
    static void OnFindNext(GtkWidget* AWidget, gpointer AThis);
    static void OnFindPrevious(GtkWidget* AWidget, gpointer AThis);

    std::string FLogDirectory;  // with a trailing "/"
    std::optional<TLogFileTail> FShown;  // the shown file, read as it grows
    bool FWaitingForFiles = false;  // the folder had no log files: the first one is shown when it comes
    GtkWidget* FWindow = nullptr;
    GtkWidget* FLogFiles = nullptr;  // cbbLogFiles
    GtkWidget* FLog = nullptr;       // mmoLog
    GtkWidget* FFindBar = nullptr;
    GtkWidget* FFindEntry = nullptr;
    guint FTimer = 0;
    guint FScrollAgain = 0;
};

}  // namespace quorvane
