#include "tools/viewer/log_window.h"

#include "errors/messages.h"
#include "posix/file_descriptor.h"
#include "text/ascii_text.h"
#include "tools/viewer/viewer_common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

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

// How many bytes at the end of ABytes start a character (or a CR LF pair) that is not complete yet.
std::size_t IncompleteTail(std::string_view ABytes) {
    if (!ABytes.empty() && ABytes.back() == '\r') return 1;
    // A lead byte among the last three whose sequence runs past the end.
    for (std::size_t back = 1; back <= 3 && back <= ABytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(ABytes[ABytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// A view closer to its end than this many pixels counts as being at the end.
constexpr double kEndSlack = 8.0;

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
    // Wide enough for a record's time, level and the start of its text on one line.
    gtk_window_set_default_size(GTK_WINDOW(FWindow), std::max(ScaleToScreen(633, kDesignDpi), 640),
                                std::max(ScaleToScreen(293, kDesignDpi), 420));
    gtk_window_set_position(GTK_WINDOW(FWindow), GTK_WIN_POS_CENTER);
    // Before CloseOnEscape: Escape in the find bar closes the bar, not the window.
    g_signal_connect(FWindow, "key-press-event", G_CALLBACK(OnWindowKey), this);
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

    BuildFindBar(box);

    FillList();
    if (gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(FLogFiles)), nullptr) > 0) {
        SelectNewest();
    } else {
        FWaitingForFiles = true;
        const std::string text = Message(TMessage::NoLogFiles, FLogDirectory);
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog)), text.c_str(), -1);
    }

    FTimer = g_timeout_add(1000, OnTimer, this);
}

// Below the text, as in a browser: the list and the text keep their places when it opens.
void TLogWindow::BuildFindBar(GtkWidget* ABox) {
    FFindBar = gtk_search_bar_new();
    gtk_box_pack_end(GTK_BOX(ABox), FFindBar, FALSE, FALSE, 0);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    gtk_container_add(GTK_CONTAINER(FFindBar), row);

    FFindEntry = gtk_search_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(FFindEntry), MessageText(TMessage::FindPlaceholder));
    gtk_entry_set_width_chars(GTK_ENTRY(FFindEntry), 30);
    gtk_box_pack_start(GTK_BOX(row), FFindEntry, TRUE, TRUE, 0);
    gtk_search_bar_connect_entry(GTK_SEARCH_BAR(FFindBar), GTK_ENTRY(FFindEntry));
    g_signal_connect(FFindEntry, "search-changed", G_CALLBACK(OnFindChanged), this);
    g_signal_connect(FFindEntry, "activate", G_CALLBACK(OnFindNext), this);
    g_signal_connect(FFindEntry, "next-match", G_CALLBACK(OnFindNext), this);
    g_signal_connect(FFindEntry, "previous-match", G_CALLBACK(OnFindPrevious), this);
    g_signal_connect(FFindEntry, "key-press-event", G_CALLBACK(OnFindKey), this);

    GtkWidget* previous = gtk_button_new_from_icon_name("go-up-symbolic", GTK_ICON_SIZE_BUTTON);
    gtk_widget_set_tooltip_text(previous, MessageText(TMessage::FindPreviousTooltip));
    g_signal_connect(previous, "clicked", G_CALLBACK(OnFindPrevious), this);
    gtk_box_pack_start(GTK_BOX(row), previous, FALSE, FALSE, 0);
    GtkWidget* next = gtk_button_new_from_icon_name("go-down-symbolic", GTK_ICON_SIZE_BUTTON);
    gtk_widget_set_tooltip_text(next, MessageText(TMessage::FindNextTooltip));
    g_signal_connect(next, "clicked", G_CALLBACK(OnFindNext), this);
    gtk_box_pack_start(GTK_BOX(row), next, FALSE, FALSE, 0);
}

TLogWindow::~TLogWindow() {
    if (FTimer != 0) g_source_remove(FTimer);
    if (FScrollAgain != 0) g_source_remove(FScrollAgain);
    if (FWindow != nullptr) gtk_widget_destroy(FWindow);
}

void TLogWindow::Show() { gtk_widget_show_all(FWindow); }

void TLogWindow::FillList() {
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(FLogFiles));
    for (const std::string& name : ListLogFiles(FLogDirectory))
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(FLogFiles), name.c_str());
}

void TLogWindow::SelectNewest() {
    const int count =
        gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(FLogFiles)), nullptr);
    if (count > 0) gtk_combo_box_set_active(GTK_COMBO_BOX(FLogFiles), count - 1);  // the newest day
}

std::string TLogWindow::SelectedPath() const {
    TGCharPtr name(gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(FLogFiles)));
    return name ? FLogDirectory + name.get() : std::string();
}

void TLogWindow::ShowSelectedFile() {
    const std::string path = SelectedPath();
    if (path.empty()) return;
    FWaitingForFiles = false;
    FShownPath = path;
    FShownDevice = 0;
    FShownInode = 0;
    FOffset = 0;
    FHeldBack.clear();
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    gtk_text_buffer_set_text(buffer, "", 0);
    if (!AppendNewRecords()) {
        // The file went away (or became unreadable) after the list was filled.
        const std::string text = Message(TMessage::FileOpenFailed, path, std::strerror(errno));
        gtk_text_buffer_set_text(buffer, text.c_str(), -1);
    }
    // The newest records are at the end: the caret goes there and the view follows it.
    ScrollToEnd();
}

bool TLogWindow::AppendNewRecords() {
    TFileDescriptor fd(::open(FShownPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid() || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (FOffset > 0 && (st.st_dev != FShownDevice || st.st_ino != FShownInode || st.st_size < FOffset))
        return false;
    FShownDevice = st.st_dev;
    FShownInode = st.st_ino;
    if (st.st_size == FOffset) return true;

    std::string bytes = std::move(FHeldBack);
    FHeldBack.clear();
    const std::size_t held = bytes.size();
    bytes.resize(held + static_cast<std::size_t>(st.st_size - FOffset));
    std::size_t done = held;
    int readError = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd.Get(), bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(FOffset + static_cast<std::int64_t>(done - held)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) readError = errno;
        if (n <= 0) break;  // at 0 cut shorter meanwhile: the rest comes at the next check
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    if (readError != 0) {
        // Said in the text and no longer followed: records after this point would be missing.
        bytes +=
            "\n" + Message(TMessage::FileReadFailed, FShownPath) + ": " + std::strerror(readError) + "\n";
        FShownPath.clear();
    }
    FOffset += static_cast<std::int64_t>(done - held);
    const std::size_t tail = IncompleteTail(bytes);
    FHeldBack = bytes.substr(bytes.size() - tail);
    bytes.resize(bytes.size() - tail);
    AppendBytes(std::move(bytes));
    return true;
}

void TLogWindow::AppendBytes(std::string ABytes) {
    if (ABytes.empty()) return;
    TGCharPtr valid(g_utf8_make_valid(ABytes.data(), static_cast<gssize>(ABytes.size())));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    const int lineOfEnd = gtk_text_iter_get_line(&end);
    gtk_text_buffer_insert(buffer, &end, valid.get(), -1);
    GtkTextIter from;
    gtk_text_buffer_get_iter_at_line(buffer, &from, lineOfEnd);
    MarkErrors(buffer, from);
}

void TLogWindow::MarkErrors(GtkTextBuffer* ABuffer, GtkTextIter AFrom) {
    GtkTextIter found, after;
    while (gtk_text_iter_forward_search(&AFrom, "\tERROR\t", GTK_TEXT_SEARCH_TEXT_ONLY, &found, &after,
                                        nullptr)) {
        GtkTextIter line = found;
        gtk_text_iter_set_line_offset(&line, 0);
        AFrom = found;
        gtk_text_iter_forward_line(&AFrom);
        gtk_text_buffer_apply_tag_by_name(ABuffer, "error", &line, &AFrom);
    }
}

bool TLogWindow::ViewAtEnd() const {
    GtkAdjustment* scroll = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(FLog));
    return gtk_adjustment_get_value(scroll) + gtk_adjustment_get_page_size(scroll) >=
           gtk_adjustment_get_upper(scroll) - kEndSlack;
}

// The view queues the scroll until the text has been laid out. A file picked from the list is
// shown while the list's menu is still open, and that queued scroll did not survive the menu
// closing: it is made again once everything pending has run.
void TLogWindow::ScrollToEnd() {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    gtk_text_buffer_place_cursor(buffer, &end);
    gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(FLog), gtk_text_buffer_get_insert(buffer), 0.0, TRUE, 0.0,
                                 1.0);
    if (FScrollAgain == 0) FScrollAgain = g_idle_add_full(G_PRIORITY_LOW, OnScrollAgain, this, nullptr);
}

gboolean TLogWindow::OnScrollAgain(gpointer AThis) {
    auto* self = static_cast<TLogWindow*>(AThis);
    self->FScrollAgain = 0;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(self->FLog));
    gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(self->FLog), gtk_text_buffer_get_insert(buffer), 0.0, TRUE,
                                 0.0, 1.0);
    return G_SOURCE_REMOVE;
}

void TLogWindow::CheckFile() {
    if (FWaitingForFiles) {
        // The log writer has made the folder's first file: show it as if it had been there.
        if (ListLogFiles(FLogDirectory).empty()) return;
        FillList();
        SelectNewest();
        return;
    }
    const std::string path = SelectedPath();
    if (path.empty() || path != FShownPath) return;
    const bool follow = ViewAtEnd();
    const std::int64_t shown = FOffset;
    if (!AppendNewRecords()) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0) ShowSelectedFile();  // replaced: the new file from its start
        return;
    }
    if (follow && FOffset != shown) ScrollToEnd();
}

void TLogWindow::OpenFindBar() {
    gtk_search_bar_set_search_mode(GTK_SEARCH_BAR(FFindBar), TRUE);
    gtk_widget_grab_focus(FFindEntry);
}

void TLogWindow::Find(bool AForward, bool AFromSelectionStart) {
    const std::string needle = gtk_entry_get_text(GTK_ENTRY(FFindEntry));
    GtkStyleContext* style = gtk_widget_get_style_context(FFindEntry);
    gtk_style_context_remove_class(style, GTK_STYLE_CLASS_ERROR);
    if (needle.empty()) return;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    GtkTextIter first, last;
    if (!gtk_text_buffer_get_selection_bounds(buffer, &first, &last)) {
        gtk_text_buffer_get_iter_at_mark(buffer, &first, gtk_text_buffer_get_insert(buffer));
        last = first;
    }
    // Typing extends the match in place; next and previous step past it.
    GtkTextIter from = AForward && !AFromSelectionStart ? last : first;
    const auto flags =
        static_cast<GtkTextSearchFlags>(GTK_TEXT_SEARCH_CASE_INSENSITIVE | GTK_TEXT_SEARCH_TEXT_ONLY);
    GtkTextIter start, end;
    auto search = [&](const GtkTextIter& AFrom) {
        return AForward ? gtk_text_iter_forward_search(&AFrom, needle.c_str(), flags, &start, &end, nullptr)
                        : gtk_text_iter_backward_search(&AFrom, needle.c_str(), flags, &start, &end, nullptr);
    };
    bool found = search(from);
    if (!found) {
        // Round the end of the text to its other end.
        if (AForward)
            gtk_text_buffer_get_start_iter(buffer, &from);
        else
            gtk_text_buffer_get_end_iter(buffer, &from);
        found = search(from);
    }
    if (!found) {
        gtk_style_context_add_class(style, GTK_STYLE_CLASS_ERROR);
        return;
    }
    gtk_text_buffer_select_range(buffer, &start, &end);
    gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(FLog), gtk_text_buffer_get_insert(buffer), 0.0, TRUE, 0.0,
                                 0.5);
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

gboolean TLogWindow::OnWindowKey(GtkWidget*, GdkEventKey* AEvent, gpointer AThis) {
    auto* self = static_cast<TLogWindow*>(AThis);
    const guint modifiers = AEvent->state & gtk_accelerator_get_default_mod_mask();
    if (modifiers == GDK_CONTROL_MASK && (AEvent->keyval == GDK_KEY_f || AEvent->keyval == GDK_KEY_F)) {
        self->OpenFindBar();
        return TRUE;
    }
    if (AEvent->keyval == GDK_KEY_Escape && gtk_search_bar_get_search_mode(GTK_SEARCH_BAR(self->FFindBar))) {
        gtk_search_bar_set_search_mode(GTK_SEARCH_BAR(self->FFindBar), FALSE);
        gtk_widget_grab_focus(self->FLog);
        return TRUE;
    }
    return FALSE;
}

// Shift+Enter goes back, as in a browser's find bar.
gboolean TLogWindow::OnFindKey(GtkWidget*, GdkEventKey* AEvent, gpointer AThis) {
    const guint modifiers = AEvent->state & gtk_accelerator_get_default_mod_mask();
    if (modifiers == GDK_SHIFT_MASK &&
        (AEvent->keyval == GDK_KEY_Return || AEvent->keyval == GDK_KEY_KP_Enter)) {
        static_cast<TLogWindow*>(AThis)->Find(false);
        return TRUE;
    }
    return FALSE;
}

void TLogWindow::OnFindChanged(GtkSearchEntry*, gpointer AThis) {
    static_cast<TLogWindow*>(AThis)->Find(true, true);
}

void TLogWindow::OnFindNext(GtkWidget*, gpointer AThis) { static_cast<TLogWindow*>(AThis)->Find(true); }

void TLogWindow::OnFindPrevious(GtkWidget*, gpointer AThis) { static_cast<TLogWindow*>(AThis)->Find(false); }

void TLogWindow::OnDestroy(GtkWidget*, gpointer AThis) {
    auto* self = static_cast<TLogWindow*>(AThis);
    if (self->FTimer != 0) g_source_remove(self->FTimer);
    if (self->FScrollAgain != 0) g_source_remove(self->FScrollAgain);
    self->FTimer = 0;
    self->FScrollAgain = 0;
    self->FWindow = nullptr;
    gtk_main_quit();
}

}  // namespace quorvane
