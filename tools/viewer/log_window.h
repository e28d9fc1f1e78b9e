#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// The names of the log files (extension ".log", any case) in a folder, sorted as the list shows them.
std::vector<std::string> ListLogFiles(const std::string& ADirectory);

// The log viewer window: a list of the folder's log files and the chosen file's text,
// reloaded while the file grows. Closing the window ends the GTK main loop.
class TLogWindow {
public:
    explicit TLogWindow(std::string ADirectory);
    ~TLogWindow();
    TLogWindow(const TLogWindow&) = delete;
    TLogWindow& operator=(const TLogWindow&) = delete;

    void Show();

private:
    void FillList();
    void ShowSelectedFile();
    // Gives the lines of ERROR records the "error" tag (red, bold).
    static void MarkErrors(GtkTextBuffer* ABuffer);
    void CheckFile();
    void OpenDirectory();
    std::string SelectedPath() const;

    static gboolean OnListButtonEvent(GtkWidget* AButton, GdkEvent* AEvent, gpointer AThis);
    static void OnListPopup(GtkComboBox* ACombo, gpointer AThis);
    static void OnChanged(GtkComboBox* ACombo, gpointer AThis);
    static gboolean OnTimer(gpointer AThis);
    static void OnOpenDir(GtkToolButton* AButton, gpointer AThis);
    static void OnDestroy(GtkWidget* AWidget, gpointer AThis);

    std::string FLogDirectory;           // with a trailing "/"
    std::int64_t FLogLastWriteTime = 0;  // nanoseconds since the epoch
    GtkWidget* FWindow = nullptr;
    GtkWidget* FLogFiles = nullptr;  // cbbLogFiles
    GtkWidget* FLog = nullptr;       // mmoLog
    guint FTimer = 0;
};

}  // namespace quorvane
