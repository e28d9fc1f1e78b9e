#include "tools/viewer/log_window.h"

#include "errors/messages.h"
#include "errors/system_errors.h"
#include "tools/viewer/viewer_common.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace quorvane {

namespace {

constexpr double kDesignDpi = 120.0;

// The drop-down's own button, an internal child of the combo box.
void FindToggleButton(GtkWidget* AWidget, gpointer AFound) {
    if (GTK_IS_TOGGLE_BUTTON(AWidget))
        *static_cast<GtkWidget**>(AFound) = AWidget;
    else if (GTK_IS_CONTAINER(AWidget))
        gtk_container_forall(GTK_CONTAINER(AWidget), FindToggleButton, AFound);
}

// A view closer to its end than this many pixels counts as being at the end.
constexpr double kEndSlack = 8.0;

}  // namespace

// The buffer's text from AFrom to the end, one element per character as the buffer counts them.
std::u32string CharactersFrom(GtkTextBuffer* ABuffer, const GtkTextIter& AFrom) {
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(ABuffer, &end);
    TGCharPtr text(gtk_text_buffer_get_text(ABuffer, &AFrom, &end, FALSE));
    glong count = 0;
    std::unique_ptr<gunichar, TGFreeDeleter> chars(g_utf8_to_ucs4_fast(text.get(), -1, &count));
    return std::u32string(reinterpret_cast<const char32_t*>(chars.get()), static_cast<std::size_t>(count));
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
    FShown.emplace(path);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    gtk_text_buffer_set_text(buffer, "", 0);
    std::string text;
    if (FShown->Read(text) != TLogFileTail::TRead::rdText) {
        // The file went away (or became unreadable) after the list was filled.
        text = Message(TMessage::FileOpenFailed, path, SystemErrorText(FShown->Error()));
        gtk_text_buffer_set_text(buffer, text.c_str(), -1);
    } else {
        AppendBytes(text);
    }
    // The newest records are at the end: the caret goes there and the view follows it.
    ScrollToEnd();
}

void TLogWindow::AppendBytes(const std::string& ABytes) {
    if (ABytes.empty()) return;
    TGCharPtr valid(g_utf8_make_valid(ABytes.data(), static_cast<gssize>(ABytes.size())));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(FLog));
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    const int lineOfEnd = gtk_text_iter_get_line(&end);
    gtk_text_buffer_insert(buffer, &end, valid.get(), -1);
    MarkErrors(buffer, lineOfEnd);
}

void TLogWindow::MarkErrors(GtkTextBuffer* ABuffer, int AFromLine) {
    GtkTextIter from;
    gtk_text_buffer_get_iter_at_line(ABuffer, &from, AFromLine);
    const int base = gtk_text_iter_get_offset(&from);
    const std::u32string text = CharactersFrom(ABuffer, from);
    for (const auto& [begin, end] : ErrorRecordLines<char32_t>(text)) {
        GtkTextIter first, next;
        gtk_text_buffer_get_iter_at_offset(ABuffer, &first, base + static_cast<int>(begin));
        next = first;
        gtk_text_iter_forward_line(&next);
        gtk_text_buffer_apply_tag_by_name(ABuffer, "error", &first, &next);
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
    if (path.empty() || !FShown || path != FShown->Path()) return;
    const bool follow = ViewAtEnd();
    const std::int64_t shown = FShown->Offset();
    std::string text;
    switch (FShown->Read(text)) {
        case TLogFileTail::TRead::rdText: break;
        case TLogFileTail::TRead::rdMissing: {
            std::error_code ignored;
            if (std::filesystem::exists(path, ignored)) ShowSelectedFile();  // there but unreadable: say so
            return;
        }
        case TLogFileTail::TRead::rdReplaced: ShowSelectedFile(); return;  // the new file from its start
    }
    AppendBytes(text);
    if (follow && FShown->Offset() != shown) ScrollToEnd();
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
    const GtkTextIter& from = AForward && !AFromSelectionStart ? last : first;
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    const std::u32string text = CharactersFrom(buffer, start);
    glong count = 0;
    std::unique_ptr<gunichar, TGFreeDeleter> chars(g_utf8_to_ucs4_fast(needle.c_str(), -1, &count));
    const auto found = FindInLog<char32_t>(text, std::u32string_view(reinterpret_cast<const char32_t*>(chars.get()), static_cast<std::size_t>(count)),
                                           static_cast<std::size_t>(gtk_text_iter_get_offset(&from)), AForward);
    if (!found) {
        gtk_style_context_add_class(style, GTK_STYLE_CLASS_ERROR);
        return;
    }
    GtkTextIter begin, end;
    gtk_text_buffer_get_iter_at_offset(buffer, &begin, static_cast<int>(found->first));
    gtk_text_buffer_get_iter_at_offset(buffer, &end, static_cast<int>(found->second));
    gtk_text_buffer_select_range(buffer, &begin, &end);
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
