#include "help/help_window_windows.h"

#include "errors/messages.h"
#include "help/help_rtf.h"
#include "help/markdown_renderer.h"
#include "help/window_handles_windows.h"
#include "text/ascii_text.h"
#include "text/windows_text.h"

#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace quorvane {

namespace {

constexpr wchar_t kClassName[] = L"QuorvaneHelpWindow";
constexpr int kBackId = 1;
constexpr int kToolbarHeight = 40;
constexpr int kMaxPictureWidth = 820;  // pixels: the page's width as the window opens

std::string ReadPicture(const std::string& AFolder, const std::string& AName) {
    // Only the archive's own files, side by side with the page.
    if (AName.empty() || AName.find_first_of("/\\:") != std::string::npos || AName.find("..") != std::string::npos)
        return {};
    std::ifstream in(std::filesystem::path(WindowsText(AFolder + AName)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A link's destination that names a place on the web or a mail address rather than a file.
bool HasScheme(const std::string& ATarget) {
    const std::size_t colon = ATarget.find(':');
    return colon != std::string::npos && colon > 1 && ATarget.find_first_of("/\\") > colon;
}

class THelpWindow {
public:
    THelpWindow(const THelpRtf& ARtf, const std::string& AFolder, const std::string& ACaption, HWND AOwner)
        : FMarks(ARtf.Marks), FFolder(AFolder) {
        FRichEdit.reset(LoadLibraryW(L"Msftedit.dll"));
        if (!FRichEdit) ThrowWindowError(ACaption);
        RegisterClass();
        // Arial holds Cyrillic on every Windows; Wine draws it with Liberation Sans, which does too.
        FFont.reset(CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
        RECT area{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const int width = std::min<int>(900, area.right - area.left);
        const int height = std::min<int>(680, area.bottom - area.top);
        FWindow.reset(CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, WindowsText(ACaption).c_str(),
                                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                      area.left + (area.right - area.left - width) / 2,
                                      area.top + (area.bottom - area.top - height) / 2, width, height, AOwner,
                                      nullptr, ThisModule(), this));
        if (!FWindow) ThrowWindowError(ACaption);
        FBack = CreateWindowExW(0, L"BUTTON", WindowsText(MessageText(TMessage::HelpBackTooltip)).c_str(),
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, 8, 6, 170, 28,
                                FWindow.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBackId)), ThisModule(),
                                nullptr);
        FText = CreateWindowExW(0, MSFTEDIT_CLASS, L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY |
                                    ES_AUTOVSCROLL,
                                0, kToolbarHeight, 100, 100, FWindow.get(), nullptr, ThisModule(), nullptr);
        if (FBack == nullptr || FText == nullptr)
            ThrowWindowError(ACaption);
        SendMessageW(FBack, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), FALSE);
        SendMessageW(FText, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 255));
        SendMessageW(FText, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(12, 12));
        Layout();
        Load(ARtf.Rtf);
        FindMarks();
        SendMessageW(FText, EM_SETEVENTMASK, 0, ENM_LINK);
    }

    void RunModal() {
        // The owner stays disabled while the help is open and is enabled again before the help
        // goes, so the owner, not another program, becomes active then.
        struct TOwnerDisabled {
            HWND Owner;
            ~TOwnerDisabled() {
                if (Owner != nullptr) EnableWindow(Owner, TRUE);
            }
        } owner{GetWindow(FWindow.get(), GW_OWNER)};
        // An owner disabled already (by a window of the host's own) is left as it was found.
        if (owner.Owner != nullptr && EnableWindow(owner.Owner, FALSE)) owner.Owner = nullptr;
        ShowWindow(FWindow.get(), SW_SHOWNORMAL);
        SetForegroundWindow(FWindow.get());
        SetFocus(FText);
        MSG message{};
        while (!FClosed) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0) {
                // WM_QUIT belongs to the host's loop: handed back after the window closes.
                PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (got == -1) break;
            if (HandleKey(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (FError) std::rethrow_exception(FError);
    }

private:
    TModulePtr FRichEdit;
    TFontPtr FFont;
    TWindowPtr FWindow;  // last: destroyed before the font and the control's library
    HWND FBack = nullptr;
    HWND FText = nullptr;
    std::vector<THelpRtf::TMark> FMarks;
    std::vector<CHARRANGE> FPlaces;  // where each mark is in the control; cpMin -1 if not found
    std::vector<POINT> FHistory;     // scroll positions before each followed link
    std::string FFolder;
    bool FClosed = false;
    std::exception_ptr FError;

    static void RegisterClass() {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = WindowProc;
        type.hInstance = ThisModule();
        type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        type.lpszClassName = kClassName;
        if (!RegisterClassExW(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            ThrowWindowError(MessageText(TMessage::HelpCaption));
    }

    static LRESULT CALLBACK WindowProc(HWND AWindow, UINT AMessage, WPARAM AW, LPARAM AL) {
        if (AMessage == WM_NCCREATE)
            SetWindowLongPtrW(AWindow, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(AL)->lpCreateParams));
        auto* self = reinterpret_cast<THelpWindow*>(GetWindowLongPtrW(AWindow, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcW(AWindow, AMessage, AW, AL);
        // Nothing may unwind through the system's frames: a failure ends the loop and is raised after it.
        try {
            return self->Handle(AWindow, AMessage, AW, AL);
        } catch (...) {
            self->FError = std::current_exception();
            self->FClosed = true;
            return 0;
        }
    }

    LRESULT Handle(HWND AWindow, UINT AMessage, WPARAM AW, LPARAM AL) {
        switch (AMessage) {
            case WM_SIZE:
                Layout();
                return 0;
            case WM_CLOSE:
                FClosed = true;
                return 0;
            case WM_NCDESTROY:
                static_cast<void>(FWindow.release());
                FClosed = true;
                break;
            case WM_COMMAND:
                if (LOWORD(AW) == kBackId && HIWORD(AW) == BN_CLICKED) {
                    Back();
                    return 0;
                }
                break;
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(AL);
                if (header->hwndFrom == FText && header->code == EN_LINK) {
                    const auto* link = reinterpret_cast<const ENLINK*>(AL);
                    if (link->msg == WM_LBUTTONUP) Follow(link->chrg.cpMin);
                    return 0;
                }
                break;
            }
            default:
                break;
        }
        return DefWindowProcW(AWindow, AMessage, AW, AL);
    }

    // Escape closes the window, Alt+Left goes back, wherever the focus is inside it.
    bool HandleKey(const MSG& AMessage) {
        if (AMessage.hwnd != FWindow.get() && !IsChild(FWindow.get(), AMessage.hwnd)) return false;
        if (AMessage.message == WM_KEYDOWN && AMessage.wParam == VK_ESCAPE) {
            FClosed = true;
            return true;
        }
        if (AMessage.message == WM_SYSKEYDOWN && AMessage.wParam == VK_LEFT) {
            Back();
            return true;
        }
        return false;
    }

    void Layout() {
        if (FText == nullptr) return;
        RECT client{};
        GetClientRect(FWindow.get(), &client);
        MoveWindow(FText, 0, kToolbarHeight, client.right, std::max<LONG>(client.bottom - kToolbarHeight, 0), TRUE);
    }

    struct TRtfSource {
        const std::string& Text;
        std::size_t At = 0;
    };

    static DWORD CALLBACK ReadRtf(DWORD_PTR ACookie, LPBYTE ABuffer, LONG ASize, LONG* ARead) {
        auto* source = reinterpret_cast<TRtfSource*>(ACookie);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(ASize), source->Text.size() - source->At);
        std::copy_n(source->Text.data() + source->At, n, ABuffer);
        source->At += n;
        *ARead = static_cast<LONG>(n);
        return 0;
    }

    void Load(const std::string& ARtf) {
        TRtfSource source{ARtf};
        EDITSTREAM stream{};
        stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
        stream.pfnCallback = ReadRtf;
        SendMessageW(FText, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
        if (stream.dwError != 0) {
            SetLastError(static_cast<DWORD>(stream.dwError));
            ThrowWindowError(MessageText(TMessage::HelpCaption));
        }
    }

    CHARFORMAT2W FormatOf(CHARRANGE ARange) {
        SendMessageW(FText, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&ARange));
        CHARFORMAT2W format{};
        format.cbSize = sizeof format;
        SendMessageW(FText, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format;
    }

    // Each mark is the first occurrence of its text after the previous mark that is drawn the
    // way marks of its kind are, so the same words in plain text are passed over.
    void FindMarks() {
        LONG from = 0;
        for (const THelpRtf::TMark& mark : FMarks) {
            const std::wstring text = WindowsText(mark.Text);
            CHARRANGE place{-1, -1};
            FINDTEXTEXW find{{from, -1}, text.c_str(), {}};
            for (;;) {
                const auto at = static_cast<LONG>(
                    SendMessageW(FText, EM_FINDTEXTEXW, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&find)));
                if (at < 0) break;
                const CHARFORMAT2W format = FormatOf(find.chrgText);
                const bool shaped =
                    mark.Heading ? (format.dwEffects & CFE_BOLD) != 0 && format.yHeight >= kHelpHeadingHalfPoints * 10
                                 : (format.dwEffects & CFE_UNDERLINE) != 0 &&
                                       format.crTextColor == RGB(kHelpLinkRed, kHelpLinkGreen, kHelpLinkBlue);
                if (shaped) {
                    place = find.chrgText;
                    from = place.cpMax;
                    break;
                }
                find.chrg.cpMin = at + 1;
            }
            FPlaces.push_back(place);
            if (mark.Heading || place.cpMin < 0) continue;
            CHARFORMAT2W link{};
            link.cbSize = sizeof link;
            link.dwMask = CFM_LINK;
            link.dwEffects = CFE_LINK;
            SendMessageW(FText, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&place));
            SendMessageW(FText, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&link));
        }
        CHARRANGE start{0, 0};
        SendMessageW(FText, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
        ScrollTo(POINT{0, 0});  // the selections above scrolled the view
    }

    // Scrolled by pixels: a line count scrolls by the default line's height under Wine, which
    // misses with headings, tables and pictures.
    POINT ScrollPosition() {
        POINT at{};
        SendMessageW(FText, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&at));
        return at;
    }

    void ScrollTo(POINT AAt) { SendMessageW(FText, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&AAt)); }

    void Follow(LONG APosition) {
        for (std::size_t i = 0; i < FMarks.size(); ++i) {
            if (FMarks[i].Heading || APosition < FPlaces[i].cpMin || APosition >= FPlaces[i].cpMax) continue;
            const std::string& target = FMarks[i].Target;
            if (target.starts_with("#")) {
                GoTo(target.substr(1));
            } else {
                // Web and mail links, and the archive's other files, open in their default program.
                const std::string path = HasScheme(target) ? target : FFolder + target;
                ShellExecuteW(FWindow.get(), L"open", WindowsText(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            }
            return;
        }
    }

    void GoTo(const std::string& AId) {
        for (std::size_t i = 0; i < FMarks.size(); ++i) {
            if (!FMarks[i].Heading || FMarks[i].Target != AId || FPlaces[i].cpMin < 0) continue;
            const POINT from = ScrollPosition();
            FHistory.push_back(from);
            CHARRANGE caret{FPlaces[i].cpMin, FPlaces[i].cpMin};
            SendMessageW(FText, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
            POINTL heading{};
            SendMessageW(FText, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&heading), FPlaces[i].cpMin);
            // Where the heading is in the view, plus where the view is in the page (moving the
            // caret may have scrolled it already).
            ScrollTo(POINT{0, ScrollPosition().y + heading.y - 4});
            EnableWindow(FBack, TRUE);
            return;
        }
    }

    void Back() {
        if (FHistory.empty()) return;
        ScrollTo(FHistory.back());
        FHistory.pop_back();
        if (FHistory.empty()) {
            if (GetFocus() == FBack) SetFocus(FText);
            EnableWindow(FBack, FALSE);
        }
    }
};

}  // namespace

void ShowHelpWindow(const std::string& AFolder, const std::string& ACaption) {
    const THelpRtf rtf = MarkdownToRtf(TMarkdownRenderer::MarkdownText(AFolder), [&](const std::string& AName) {
        const std::size_t dot = AName.rfind('.');
        if (dot == std::string::npos || !EqualsIgnoringAsciiCase(std::string_view(AName).substr(dot), ".png"))
            return std::string();
        return PngToRtfPicture(ReadPicture(AFolder, AName), kMaxPictureWidth);
    });
    THelpWindow window(rtf, AFolder, ACaption, GetActiveWindow());
    window.RunModal();
}

void TMarkdownRenderer::ShowPage(const std::string& APagePath, const std::string& ACaption) {
    ShowHelpWindow(APagePath.substr(0, APagePath.find_last_of("\\/") + 1), ACaption);
}

}  // namespace quorvane
