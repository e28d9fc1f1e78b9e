#pragma once

#include <gtk/gtk.h>

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// The names of the log files (extension ".log", any case) in a folder, sorted as the list shows them.
std::vector<std::string> ListLogFiles(const std::string& ADirectory);

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
    // Reads the shown file from FOffset on and appends what is there; false when the file is no
    // longer the one shown (replaced or cut shorter), which needs a full reload.
    bool AppendNewRecords();
    void AppendBytes(std::string ABytes);
    // Gives the lines of ERROR records from AFrom on the "error" tag (red, bold).
    static void MarkErrors(GtkTextBuffer* ABuffer, GtkTextIter AFrom);
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
    // The shown file: which one it is, how much of it is shown, and a tail that ends inside a
    // character or between CR and LF, held back until the rest arrives.
    std::string FShownPath;
    dev_t FShownDevice = 0;
    ino_t FShownInode = 0;
    std::int64_t FOffset = 0;
    std::string FHeldBack;
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
