#include "tools/viewer/log_window.h"

#include "errors/messages.h"
#include "text/ascii_text.h"
#include "tools/viewer/viewer_common.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace quorvane {

namespace {

constexpr double kDesignDpi = 120.0;

bool IsLogFileName(const std::string& AName) {
    return AName.size() >= 4 &&
           EqualsIgnoringAsciiCase(std::string_view(AName).substr(AName.size() - 4), ".log");
}

// Case-insensitive first, so "quorvane_2026.12.08.log" and "QUORVANE_2026.12.09.LOG" sort by date.
bool NameLess(const std::string& A, const std::string& B) {
    const int cmp = g_ascii_strcasecmp(A.c_str(), B.c_str());
    return cmp != 0 ? cmp < 0 : A < B;
}

// The drop-down's own button, an internal child of the combo box.
void FindToggleButton(GtkWidget* AWidget, gpointer AFound) {
    if (GTK_IS_TOGGLE_BUTTON(AWidget))
        *static_cast<GtkWidget**>(AFound) = AWidget;
    else if (GTK_IS_CONTAINER(AWidget))
        gtk_container_forall(GTK_CONTAINER(AWidget), FindToggleButton, AFound);
}

std::optional<std::int64_t> LastWriteTime(const std::string& APath) {
    struct stat st {};
    if (stat(APath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

std::vector<std::string> ListLogFiles(const std::string& ADirectory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(ADirectory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code ignored;
        if (IsLogFileName(name) && it->is_regular_file(ignored)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

TLogWindow::TLogWindow(std::string ADirectory) : FLogDirectory(std::move(ADirectory)) {
    if (FLogDirectory.empty() || FLogDirectory.back() != '/') FLogDirectory += '/';

    FWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(FWindow), MessageText(TMessage::LogViewerCaption));
    gtk_window_set_default_size(GTK_WINDOW(FWindow), ScaleToScreen(633, kDesignDpi),
                                ScaleToScreen(293, kDesignDpi));
    gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_CENTER);
    CloseOnEscape(FWindow);
    g_signal_connect(FWindow, "destroy", G_CALLBACK(OnDestroy), this);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(FWindow), box);

    GtkWidget* toolbar = gtk_toolbar_new();
    gtk_toolbar_set_style(GTK_TOOLBAR(toolbar), GTK_TOOLBAR_ICONS);
    gtk_box_pack_start(GTK_BOX(box), toolbar, FALSE, FALSE, 0);

    FLogFiles = gtk_combo_box_text_new();
    gtk_widget_set_size_request(FLogFiles, ScaleToScreen(257, kDesignDpi), -1);
    GtkToolItem* listItem = gtk_tool_item_new();
    gtk_container_add(GTK_CONTAINER(listItem), FLogFiles);
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar), listItem, -1);
    GtkWidget* listButton = nullptr;
    gtk_container_forall(GTK_CONTAINER(FLogFiles), FindToggleButton, &listButton);
    if (listButton != nullptr) g_signal_connect(listButton, "event", G_CALLBACK(OnListButtonEvent), this);
    g_signal_connect(FLogFiles, "popup", G_CALLBACK(OnListPopup), this);
    g_signal_connect(FLogFiles, "changed", G_CALLBACK(OnChanged), this);

    GtkToolItem* openDir = gtk_tool_button_new(nullptr, MessageText(TMessage::OpenFolderButton));
    gtk_tool_button_set_icon_name(GTK_TOOL_BUTTON(openDir), "folder-open");
    gtk_tool_item_set_tooltip_text(openDir, MessageText(TMessage::OpenFolderTooltip));
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar), openDir, -1);
    g_signal_connect(openDir, "clicked", G_CALLBACK(OnOpenDir), this);

    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_ALWAYS);
    gtk_box_pack_start(GTK_BOX(box), scroller, TRUE, TRUE, 0);

    FLog = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(FLog), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(FLog), TRUE);
    // A record wraps at the window's edge instead of running off it.
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(FLog), GTK_WRAP_WORD_CHAR);
    gtk_text_view_set_monospace(GTK_TEXT_VIEW(FLog), TRUE);
    gtk_container_add(GTK_CONTAINER(scroller), FLog);
    gtk_text_buffer_create_tag(gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog)), "error", "foreground",
                               "#C00000", "weight", PANGO_WEIGHT_BOLD, nullptr);

    FillList();
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(FLogFiles));
    const int count = gtk_tree_model_iter_n_children(model, nullptr);
    if (count > 0) {
        gtk_combo_box_set_active(GTK_COMBO_BOX(FLogFiles), count - 1);  // the newest day
    } else {
        const std::string text = Message(TMessage::NoLogFiles, FLogDirectory);
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog)), text.c_str(), -1);
    }

    FTimer = g_timeout_add(1000, OnTimer, this);
}

TLogWindow::~TLogWindow() {
    if (FTimer != 0) g_source_remove(FTimer);
    if (FWindow != nullptr) gtk_widget_destroy(FWindow);
}

void TLogWindow::Show() { gtk_widget_show_all(FWindow); }

void TLogWindow::FillList() {
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(FLogFiles));
    for (const std::string& name : ListLogFiles(FLogDirectory))
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(FLogFiles), name.c_str());
}

std::string TLogWindow::SelectedPath() const {
    TGCharPtr name(gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(FLogFiles)));
    return name ? FLogDirectory + name.get() : std::string();
}

void TLogWindow::ShowSelectedFile() {
    const std::string path = SelectedPath();
    if (path.empty()) return;
    FLogLastWriteTime = LastWriteTime(path).value_or(0);

    std::string text;
    std::ifstream in(path, std::ios::binary);
    if (in) {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) text = Message(TMessage::FileReadFailed, path);
    } else {
        // The file went away (or became unreadable) after the list was filled.
        text = Message(TMessage::FileOpenFailed, path, std::strerror(errno));
    }
    TGCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    gtk_text_buffer_set_text(buffer, valid.get(), -1);
    MarkErrors(buffer);
    // The newest records are at the end: the caret goes there and the view follows it (queued
    // until the text has been laid out).
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    gtk_text_buffer_place_cursor(buffer, &end);
    gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(FLog), gtk_text_buffer_get_insert(buffer), 0.0, TRUE, 0.0,
                                 1.0);
}

void TLogWindow::MarkErrors(GtkTextBuffer* ABuffer) {
    GtkTextIter line;
    gtk_text_buffer_get_start_iter(ABuffer, &line);
    do {
        GtkTextIter next = line;
        gtk_text_iter_forward_line(&next);
        TGCharPtr text(gtk_text_buffer_get_text(ABuffer, &line, &next, FALSE));
        if (std::strstr(text.get(), "\tERROR\t") != nullptr)
            gtk_text_buffer_apply_tag_by_name(ABuffer, "error", &line, &next);
        line = next;
    } while (!gtk_text_iter_is_end(&line));
}

void TLogWindow::CheckFile() {
    const std::string path = SelectedPath();
    if (path.empty()) return;
    const std::optional<std::int64_t> written = LastWriteTime(path);
    if (!written || *written <= FLogLastWriteTime) return;

    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    GtkTextIter caret;
    gtk_text_buffer_get_iter_at_mark(buffer, &caret, gtk_text_buffer_get_insert(buffer));
    const int offset = gtk_text_iter_get_offset(&caret);
    ShowSelectedFile();
    gtk_text_buffer_get_iter_at_offset(buffer, &caret, offset);  // clamps to the new end
    gtk_text_buffer_place_cursor(buffer, &caret);
    gtk_text_view_scroll_mark_onscreen(GTK_TEXT_VIEW(FLog), gtk_text_buffer_get_insert(buffer));
    gtk_widget_grab_focus(FLog);
}

void TLogWindow::OpenDirectory() {
    TGCharPtr uri(g_filename_to_uri(FLogDirectory.c_str(), nullptr, nullptr));
    GError* raw = nullptr;
    if (!uri || !g_app_info_launch_default_for_uri(uri.get(), nullptr, &raw)) {
        TGErrorPtr error(raw);
        const std::string text = Message(TMessage::FolderOpenFailed, FLogDirectory) +
                                 (error ? std::string(": ") + error->message : std::string());
        ShowError(FWindow, text.c_str());
    }
}

// The list is filled afresh as it drops down (files may have appeared since), before its menu
// opens: a menu emptied while open is drawn broken. The selection stays empty until the user
// picks a file. Mouse: the combo's own button, before the combo handles the press.
gboolean TLogWindow::OnListButtonEvent(GtkWidget*, GdkEvent* AEvent, gpointer AThis) {
    auto* self = static_cast<TLogWindow*>(AThis);
    gboolean shown = FALSE;
    g_object_get(self->FLogFiles, "popup-shown", &shown, nullptr);
    if (AEvent->type == GDK_BUTTON_PRESS && AEvent->button.button == GDK_BUTTON_PRIMARY && !shown)
        self->FillList();
    return FALSE;
}

// Keyboard (Alt+Down, Space): the combo's popup action.
void TLogWindow::OnListPopup(GtkComboBox*, gpointer AThis) { static_cast<TLogWindow*>(AThis)->FillList(); }

void TLogWindow::OnChanged(GtkComboBox*, gpointer AThis) {
    static_cast<TLogWindow*>(AThis)->ShowSelectedFile();
}

gboolean TLogWindow::OnTimer(gpointer AThis) {
    static_cast<TLogWindow*>(AThis)->CheckFile();
    return G_SOURCE_CONTINUE;
}

void TLogWindow::OnOpenDir(GtkToolButton*, gpointer AThis) {
    static_cast<TLogWindow*>(AThis)->OpenDirectory();
}

void TLogWindow::OnDestroy(GtkWidget*, gpointer AThis) {
    auto* self = static_cast<TLogWindow*>(AThis);
    if (self->FTimer != 0) g_source_remove(self->FTimer);
    self->FTimer = 0;
    self->FWindow = nullptr;
    gtk_main_quit();
}

}  // namespace quorvane
