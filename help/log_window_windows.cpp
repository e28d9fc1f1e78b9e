#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "errors/messages.h"
#include "errors/system_errors.h"
#include "errors/windows_errors.h"
#include "help/log_window_windows.h"
#include "help/window_handles_windows.h"
#include "log/log_reader.h"
#include "text/windows_text.h"

namespace quorvane {

namespace {

constexpr wchar_t kClassName[] = L"QuorvaneLogWindow";
constexpr UINT_PTR kCheckTimer = 1;
constexpr double kDesignDpi = 120.0;
constexpr COLORREF kErrorColour = RGB(0xC0, 0x00, 0x00);
constexpr COLORREF kNotFoundColour = RGB(0xFF, 0xD0, 0xD0);
constexpr DWORD kUnicode = 1200;  // the code page number of UTF-16 in the rich edit's text calls

// Line ends as the rich edit keeps them, one CR each, so that positions in the text given to it
// are its own positions.
std::wstring ControlText(const std::string& AUtf8) {
    const std::wstring wide = WindowsText(AUtf8);
    std::wstring text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') continue;
        text += wide[i] == L'\n' ? L'\r' : wide[i] == L'\0' ? L' ' : wide[i];
    }
    return text;
}

class TLogWindow {
public:
    explicit TLogWindow(std::string ADirectory) : FLogDirectory(std::move(ADirectory)) {
        if (FLogDirectory.empty() || (FLogDirectory.back() != '\\' && FLogDirectory.back() != '/'))
            FLogDirectory += '\\';
    }
    // The window goes first: its procedure still reads the fields while it is destroyed.
    ~TLogWindow() { FWindow.reset(); }
    TLogWindow(const TLogWindow&) = delete;
    TLogWindow& operator=(const TLogWindow&) = delete;

    void Run();

private:
    static LRESULT CALLBACK Procedure(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam);
    LRESULT Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam);
    void Create(HWND AOwner);
    HWND Child(const wchar_t* AClass, const std::wstring& AText, DWORD AStyle, int AId);
    void AddTooltip(HWND AControl, TMessage AText);
    int Scale(int ALength) const { return ::MulDiv(ALength, FDpi, static_cast<int>(kDesignDpi)); }
    void Layout();
    bool PreTranslate(const MSG& AMessage);
    void Close();

    void FillList();
    void SelectNewest();
    std::string SelectedPath() const;
    void ShowSelectedFile();
    void Append(const std::string& AText);
    long TextLength() const;
    std::wstring Text() const;
    bool ViewAtEnd() const;
    void ScrollToEnd();
    void CheckFile();
    void OpenDirectory();
    void ShowFindBar(bool AShow);
    // Selects the next (or previous) occurrence of the find text, wrapping round the ends.
    void Find(bool AForward, bool AFromSelectionStart = false);

    std::string FLogDirectory;  // with a trailing "\"
    std::optional<TLogFileTail> FShown;
    bool FWaitingForFiles = false;  // the folder had no log files: the first one is shown when it comes
    // The text after the control's last line break and where it starts: an ERROR record that
    // arrives in two reads is still marked whole.
    std::wstring FLastLine;
    long FLastLineStart = 0;

    TModulePtr FRichEdit;
    TFontPtr FFont;
    TBrushPtr FNotFoundBrush;
    TWindowPtr FWindow;
    HWND FOwner = nullptr;
    HWND FDays = nullptr;
    HWND FOpenFolder = nullptr;
    HWND FRecords = nullptr;
    HWND FFind = nullptr;
    HWND FFindPrevious = nullptr;
    HWND FFindNext = nullptr;
    HWND FTooltip = nullptr;
    bool FFindBarShown = false;
    bool FNotFound = false;
    bool FDone = false;
    int FDpi = 96;
    std::exception_ptr FFailure;
};

void TLogWindow::Run() {
    // The host's window stays disabled while this one is open, and is enabled again however it ends.
    struct TOwner {
        HWND Window;
        ~TOwner() {
            if (Window != nullptr) {
                ::EnableWindow(Window, TRUE);
                ::SetActiveWindow(Window);
            }
        }
    } owner{::GetActiveWindow()};
    FOwner = owner.Window;
    Create(FOwner);
    if (FOwner != nullptr) ::EnableWindow(FOwner, FALSE);
    ::ShowWindow(FWindow.get(), SW_SHOWNORMAL);
    ::UpdateWindow(FWindow.get());
    ::SetFocus(FRecords);

    std::optional<WPARAM> quit;
    MSG message;
    while (!FDone) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            quit = message.wParam;
            break;
        }
        if (got < 0) break;
        if (PreTranslate(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (FWindow) Close();
    if (quit) ::PostQuitMessage(static_cast<int>(*quit));  // the host's loop ends as it asked
    if (FFailure) std::rethrow_exception(FFailure);
}

void TLogWindow::Close() {
    // Enabled before this window goes, so the host's window, not another program's, is activated.
    if (FOwner != nullptr) ::EnableWindow(FOwner, TRUE);
    FWindow.reset();
}

void TLogWindow::Create(HWND AOwner) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    FRichEdit.reset(::LoadLibraryW(L"Msftedit.dll"));
    if (!FRichEdit) ThrowWindowError(MessageText(TMessage::LogViewerCaption));

    const HINSTANCE module = ThisModule();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!::GetClassInfoExW(module, kClassName, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = module;
        windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            ThrowWindowError(MessageText(TMessage::LogViewerCaption));
    }

    if (HDC screen = ::GetDC(nullptr); screen != nullptr) {
        FDpi = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
    }
    // Tahoma has Cyrillic on every Windows and in Wine's own fonts.
    FFont.reset(::CreateFontW(-::MulDiv(9, FDpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                              DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
    FNotFoundBrush.reset(::CreateSolidBrush(kNotFoundColour));

    // The same size as the Linux window: wide enough for a record's time, level and the start of its text.
    RECT frame{0, 0, std::max(Scale(633), 640), std::max(Scale(293), 420)};
    constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    const HWND window =
        ::CreateWindowExW(0, kClassName, WindowsText(MessageText(TMessage::LogViewerCaption)).c_str(), kStyle,
                          std::max(x, 0), std::max(y, 0), width, height, AOwner, nullptr, module, this);
    if (window == nullptr) ThrowWindowError(MessageText(TMessage::LogViewerCaption));
    FWindow.reset(window);

    FDays = Child(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, lwcDays);
    FOpenFolder = Child(WC_BUTTONW, WindowsText(MessageText(TMessage::OpenFolderButton)),
                        BS_PUSHBUTTON | WS_TABSTOP, lwcOpenFolder);
    FRecords = Child(MSFTEDIT_CLASS, L"",
                     ES_MULTILINE | ES_READONLY | ES_NOHIDESEL | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
                     lwcRecords);
    FFind = Child(WC_EDITW, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, lwcFind);
    FFindPrevious = Child(WC_BUTTONW, L"\u25B2", BS_PUSHBUTTON, lwcFindPrevious);
    FFindNext = Child(WC_BUTTONW, L"\u25BC", BS_PUSHBUTTON, lwcFindNext);
    ::SendMessageW(FRecords, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);  // the default stops at 32K characters
    ::SendMessageW(FRecords, EM_SETEVENTMASK, 0, 0);
    ::SendMessageW(FFind, EM_SETCUEBANNER, TRUE,
                   reinterpret_cast<LPARAM>(WindowsText(MessageText(TMessage::FindPlaceholder)).c_str()));

    FTooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWindow.get(), nullptr, module, nullptr);
    AddTooltip(FOpenFolder, TMessage::OpenFolderTooltip);
    AddTooltip(FFindPrevious, TMessage::FindPreviousTooltip);
    AddTooltip(FFindNext, TMessage::FindNextTooltip);
    Layout();

    FillList();
    if (::SendMessageW(FDays, CB_GETCOUNT, 0, 0) > 0) {
        SelectNewest();
    } else {
        FWaitingForFiles = true;
        Append(Message(TMessage::NoLogFiles, FLogDirectory));
    }
    if (::SetTimer(FWindow.get(), kCheckTimer, 1000, nullptr) == 0) ThrowWindowError(MessageText(TMessage::LogViewerCaption));
}

HWND TLogWindow::Child(const wchar_t* AClass, const std::wstring& AText, DWORD AStyle, int AId) {
    const HWND control =
        ::CreateWindowExW(0, AClass, AText.c_str(), WS_CHILD | WS_VISIBLE | AStyle, 0, 0, 10, 10, FWindow.get(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)), ThisModule(), nullptr);
    if (control == nullptr) ThrowWindowError(MessageText(TMessage::LogViewerCaption));
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), FALSE);
    return control;
}

void TLogWindow::AddTooltip(HWND AControl, TMessage AText) {
    if (FTooltip == nullptr) return;  // a window without tips still works
    const std::wstring text = WindowsText(MessageText(AText));
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // what every version of the common controls takes
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = FWindow.get();
    tool.uId = reinterpret_cast<UINT_PTR>(AControl);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(FTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The list and its button on top, the records below them, the find bar (when open) at the bottom.
void TLogWindow::Layout() {
    RECT client;
    ::GetClientRect(FWindow.get(), &client);
    const int gap = Scale(4);
    const int row = Scale(28);
    ::MoveWindow(FDays, gap, gap, Scale(257), Scale(300), TRUE);
    ::MoveWindow(FOpenFolder, gap * 2 + Scale(257), gap, Scale(120), row - gap, TRUE);
    const int findHeight = FFindBarShown ? row : 0;
    ::MoveWindow(FRecords, 0, row + gap, client.right, std::max<int>(client.bottom - row - gap - findHeight, 0), TRUE);
    const int findTop = client.bottom - row + gap / 2;
    ::MoveWindow(FFind, gap, findTop, Scale(300), row - gap, TRUE);
    ::MoveWindow(FFindPrevious, gap * 2 + Scale(300), findTop, row, row - gap, TRUE);
    ::MoveWindow(FFindNext, gap * 3 + Scale(300) + row, findTop, row, row - gap, TRUE);
    for (HWND control : {FFind, FFindPrevious, FFindNext}) ::ShowWindow(control, FFindBarShown ? SW_SHOW : SW_HIDE);
}

void TLogWindow::ShowFindBar(bool AShow) {
    FFindBarShown = AShow;
    Layout();
    ::SetFocus(AShow ? FFind : FRecords);
    if (AShow) ::SendMessageW(FFind, EM_SETSEL, 0, -1);
}

// The window's keys, before the focused control sees them: Ctrl+F opens the find bar, Escape
// closes it and then the window, Enter in the find field goes on and Shift+Enter back.
bool TLogWindow::PreTranslate(const MSG& AMessage) {
    if (AMessage.message != WM_KEYDOWN || !FWindow ||
        (AMessage.hwnd != FWindow.get() && !::IsChild(FWindow.get(), AMessage.hwnd)))
        return false;
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    if (AMessage.wParam == VK_ESCAPE) {
        if (::SendMessageW(FDays, CB_GETDROPPEDSTATE, 0, 0)) return false;  // the list closes first
        if (FFindBarShown)
            ShowFindBar(false);
        else
            ::PostMessageW(FWindow.get(), WM_CLOSE, 0, 0);
        return true;
    }
    if (control && AMessage.wParam == 'F') {
        ShowFindBar(true);
        return true;
    }
    if (AMessage.hwnd == FFind && AMessage.wParam == VK_RETURN) {
        Find(!shift);
        return true;
    }
    return false;
}

LRESULT CALLBACK TLogWindow::Procedure(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
    if (AMessage == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(ALParam);
        ::SetWindowLongPtrW(AWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TLogWindow*>(::GetWindowLongPtrW(AWindow, GWLP_USERDATA));
    if (self == nullptr || self->FDone) return ::DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
    // A failure closes the window and goes to the caller of Run, never through the system's code.
    try {
        if (AMessage == WM_NCDESTROY) {
            self->FDone = true;
            self->FWindow.release();
            return ::DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
        }
        if (self->FWindow.get() != AWindow) return ::DefWindowProcW(AWindow, AMessage, AWParam, ALParam);
        return self->Handle(AMessage, AWParam, ALParam);
    } catch (...) {
        if (!self->FFailure) self->FFailure = std::current_exception();
        ::PostMessageW(AWindow, WM_CLOSE, 0, 0);
        return 0;
    }
}

LRESULT TLogWindow::Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
    const HWND window = FWindow.get();
    switch (AMessage) {
        case WM_SIZE: Layout(); return 0;
        case WM_TIMER:
            if (AWParam == kCheckTimer) CheckFile();
            return 0;
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(ALParam) == FFind && FNotFound) {
                ::SetBkColor(reinterpret_cast<HDC>(AWParam), kNotFoundColour);
                return reinterpret_cast<LRESULT>(FNotFoundBrush.get());
            }
            break;
        case WM_COMMAND: {
            const int id = LOWORD(AWParam);
            const int code = HIWORD(AWParam);
            if (id == lwcDays && code == CBN_DROPDOWN) FillList();  // files may have come since
            if (id == lwcDays && code == CBN_SELCHANGE) ShowSelectedFile();
            if (id == lwcOpenFolder && code == BN_CLICKED) OpenDirectory();
            if (id == lwcFind && code == EN_CHANGE) Find(true, true);  // typing extends the match in place
            if (id == lwcFindNext && code == BN_CLICKED) Find(true);
            if (id == lwcFindPrevious && code == BN_CLICKED) Find(false);
            return 0;
        }
        case WM_CLOSE: Close(); return 0;
        default: break;
    }
    return ::DefWindowProcW(window, AMessage, AWParam, ALParam);
}

void TLogWindow::FillList() {
    ::SendMessageW(FDays, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : ListLogFiles(FLogDirectory))
        ::SendMessageW(FDays, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WindowsText(name).c_str()));
}

void TLogWindow::SelectNewest() {
    const LRESULT count = ::SendMessageW(FDays, CB_GETCOUNT, 0, 0);
    if (count <= 0) return;
    ::SendMessageW(FDays, CB_SETCURSEL, static_cast<WPARAM>(count - 1), 0);  // the newest day
    ShowSelectedFile();
}

std::string TLogWindow::SelectedPath() const {
    const LRESULT index = ::SendMessageW(FDays, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    std::wstring name(static_cast<std::size_t>(::SendMessageW(FDays, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
    const LRESULT length = ::SendMessageW(FDays, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name.data()));
    if (length == CB_ERR) return {};
    name.resize(static_cast<std::size_t>(length));
    return FLogDirectory + Utf8Text(name);
}

void TLogWindow::ShowSelectedFile() {
    const std::string path = SelectedPath();
    if (path.empty()) return;
    FWaitingForFiles = false;
    FShown.emplace(path);
    SETTEXTEX empty{ST_DEFAULT, kUnicode};
    ::SendMessageW(FRecords, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&empty), reinterpret_cast<LPARAM>(L""));
    FLastLine.clear();
    FLastLineStart = 0;
    std::string text;
    if (FShown->Read(text) != TLogFileTail::TRead::rdText)
        text = Message(TMessage::FileOpenFailed, path, SystemErrorText(FShown->Error()));  // gone since the list was filled
    Append(text);
    // The newest records are at the end: the caret goes there and the view follows it.
    ScrollToEnd();
}

long TLogWindow::TextLength() const {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, kUnicode};
    return static_cast<long>(::SendMessageW(FRecords, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
}

std::wstring TLogWindow::Text() const {
    std::wstring text(static_cast<std::size_t>(TextLength()) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_DEFAULT;
    get.codepage = kUnicode;
    const LRESULT n = ::SendMessageW(FRecords, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(n, 0)));
    return text;
}

// Adds the text at the end, ERROR records red and bold, leaving the view and the selection where they were.
void TLogWindow::Append(const std::string& AText) {
    const std::wstring chunk = ControlText(AText);
    if (chunk.empty()) return;
    ::SendMessageW(FRecords, WM_SETREDRAW, FALSE, 0);
    POINT scroll{};
    ::SendMessageW(FRecords, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    CHARRANGE selection{};
    ::SendMessageW(FRecords, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));

    const long end = TextLength();
    ::SendMessageW(FRecords, EM_SETSEL, end, end);
    CHARFORMAT2W plain{};
    plain.cbSize = sizeof plain;
    plain.dwMask = CFM_COLOR | CFM_BOLD;
    plain.dwEffects = CFE_AUTOCOLOR;  // not the colour of the ERROR record before it
    ::SendMessageW(FRecords, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&plain));
    SETTEXTEX insert{ST_SELECTION, kUnicode};
    ::SendMessageW(FRecords, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&insert), reinterpret_cast<LPARAM>(chunk.c_str()));

    const std::wstring lines = FLastLine + chunk;
    CHARFORMAT2W error{};
    error.cbSize = sizeof error;
    error.dwMask = CFM_COLOR | CFM_BOLD;
    error.dwEffects = CFE_BOLD;
    error.crTextColor = kErrorColour;
    for (const auto& [begin, finish] : ErrorRecordLines<wchar_t>(lines)) {
        ::SendMessageW(FRecords, EM_SETSEL, FLastLineStart + static_cast<long>(begin),
                       FLastLineStart + static_cast<long>(finish));
        ::SendMessageW(FRecords, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&error));
    }
    if (const std::size_t lastBreak = lines.rfind(L'\r'); lastBreak != std::wstring::npos) {
        FLastLineStart += static_cast<long>(lastBreak + 1);
        FLastLine = lines.substr(lastBreak + 1);
    } else {
        FLastLine = lines;
    }

    ::SendMessageW(FRecords, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    ::SendMessageW(FRecords, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    ::SendMessageW(FRecords, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(FRecords, nullptr, TRUE);
}

// The last record is in view.
bool TLogWindow::ViewAtEnd() const {
    const long length = TextLength();
    if (length == 0) return true;
    POINTL at{};
    ::SendMessageW(FRecords, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), length - 1);
    RECT client;
    ::GetClientRect(FRecords, &client);
    return at.y < client.bottom;
}

void TLogWindow::ScrollToEnd() {
    const long length = TextLength();
    ::SendMessageW(FRecords, EM_SETSEL, length, length);
    ::SendMessageW(FRecords, EM_SCROLLCARET, 0, 0);
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
        case TLogFileTail::TRead::rdMissing:
            if (::GetFileAttributesW(WindowsText(path).c_str()) != INVALID_FILE_ATTRIBUTES)
                ShowSelectedFile();  // there but unreadable: say so
            return;
        case TLogFileTail::TRead::rdReplaced: ShowSelectedFile(); return;  // the new file from its start
    }
    Append(text);
    if (follow && FShown->Offset() != shown) ScrollToEnd();
}

void TLogWindow::OpenDirectory() {
    const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
        FWindow.get(), L"explore", WindowsText(FLogDirectory).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return;
    const std::string text = Message(TMessage::FolderOpenFailed, FLogDirectory) + ": " +
                             SystemErrorText(ErrnoOfWindowsError(::GetLastError()));
    ::MessageBoxW(FWindow.get(), WindowsText(text).c_str(),
                  WindowsText(MessageText(TMessage::LogViewerCaption)).c_str(), MB_OK | MB_ICONERROR);
}

void TLogWindow::Find(bool AForward, bool AFromSelectionStart) {
    std::wstring needle(static_cast<std::size_t>(::GetWindowTextLengthW(FFind)) + 1, L'\0');
    needle.resize(static_cast<std::size_t>(::GetWindowTextW(FFind, needle.data(), static_cast<int>(needle.size()))));
    const bool wasNotFound = FNotFound;
    FNotFound = false;
    if (!needle.empty()) {
        CHARRANGE selection{};
        ::SendMessageW(FRecords, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        const long from = AForward && !AFromSelectionStart ? selection.cpMax : selection.cpMin;
        const std::wstring text = Text();
        const auto found = FindInLog<wchar_t>(text, needle, static_cast<std::size_t>(std::max(from, 0L)), AForward);
        if (found) {
            CHARRANGE match{static_cast<LONG>(found->first), static_cast<LONG>(found->second)};
            ::SendMessageW(FRecords, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&match));
            ::SendMessageW(FRecords, EM_SCROLLCARET, 0, 0);
        }
        FNotFound = !found;
    }
    if (FNotFound != wasNotFound) ::InvalidateRect(FFind, nullptr, TRUE);
}

}  // namespace

void RunLogWindow(const std::string& ADirectory) {
    TLogWindow window(ADirectory);
    window.Run();
}

}  // namespace quorvane
