// The help window under Wine: a worker thread drives it through the Win32 API the way a person
// would, while the test's main thread (the host's thread) is inside ShowHelp.
#include "help/viewer_actions.h"
#include "text/windows_text.h"

#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quorvane {
namespace {

using namespace std::chrono_literals;

template <typename TCheck>
bool WaitFor(TCheck ACheck, std::chrono::milliseconds ATimeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    while (!ACheck()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::wstring Text(HWND AEdit) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(AEdit, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(AEdit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

LONG Find(HWND AEdit, const wchar_t* AText, LONG AFrom = 0) {
    FINDTEXTEXW find{{AFrom, -1}, AText, {}};
    return static_cast<LONG>(SendMessageW(AEdit, EM_FINDTEXTEXW, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&find)));
}

LONG ScrollY(HWND AEdit) {
    POINT at{};
    SendMessageW(AEdit, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&at));
    return at.y;
}

// The text of the line at the top of the view.
std::wstring TopLineText(HWND AEdit) {
    POINTL corner{20, 8};
    const auto at = SendMessageW(AEdit, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&corner));
    wchar_t line[256] = {255};  // the first unit holds the buffer's size
    const auto n = SendMessageW(AEdit, EM_GETLINE, SendMessageW(AEdit, EM_EXLINEFROMCHAR, 0, at),
                                reinterpret_cast<LPARAM>(line));
    return std::wstring(line, static_cast<std::size_t>(n));
}

// A left click on a character, as the control receives it.
void ClickAt(HWND AEdit, LONG APosition) {
    POINTL at{};
    SendMessageW(AEdit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), APosition);
    const LPARAM point = MAKELPARAM(at.x + 3, at.y + 5);
    PostMessageW(AEdit, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(AEdit, WM_LBUTTONUP, 0, point);
}

// The control's pixels as rows of 0x00RRGGBB, kept as a BMP beside the test for people to look at.
struct TShot {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    bool Dark(int x, int y) const {
        const std::uint32_t p = Pixels[static_cast<std::size_t>(y) * Width + x];
        return ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255) < 200;
    }
};
TShot Screenshot(HWND AWindow, const char* AName) {
    RECT r{};
    GetClientRect(AWindow, &r);
    TShot shot{r.right, r.bottom, std::vector<std::uint32_t>(static_cast<std::size_t>(r.right) * r.bottom)};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.Width, -shot.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(AWindow);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.Width, shot.Height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    std::memcpy(shot.Pixels.data(), bits, shot.Pixels.size() * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(AWindow, screen);
    if (FILE* f = std::fopen(AName, "wb")) {
        info.bmiHeader.biSizeImage = static_cast<DWORD>(shot.Pixels.size() * 4);
        BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info.bmiHeader + info.bmiHeader.biSizeImage),
                              0, 0, static_cast<DWORD>(sizeof file + sizeof info.bmiHeader)};
        std::fwrite(&file, sizeof file, 1, f);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f);
        std::fwrite(shot.Pixels.data(), 4, shot.Pixels.size(), f);
        std::fclose(f);
    }
    return shot;
}

// Runs of rows holding dark pixels: the lines of text in view.
int TextLines(const TShot& AShot) {
    int lines = 0;
    bool inLine = false;
    for (int y = 0; y < AShot.Height; ++y) {
        bool dark = false;
        for (int x = 0; x < AShot.Width && !dark; ++x) dark = AShot.Dark(x, y);
        if (dark && !inLine) ++lines;
        inLine = dark;
    }
    return lines;
}

// The best share of the picture file's pixels whose darkness the screen agrees with, with the
// picture's top-left corner near AAt (a picture's position is its line's, give or take a few pixels).
double PictureMatch(const TShot& AShot, POINTL AAt, const std::string& AFile) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, ("Z:" + AFile).c_str())) return 0;
    image.format = PNG_FORMAT_GRAY;
    std::vector<unsigned char> grey(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr)) return 0;
    const int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
    double best = 0;
    for (int dy = -8; dy <= 8; ++dy)
        for (int dx = -8; dx <= 8; ++dx) {
            long same = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const int sx = AAt.x + dx + x, sy = AAt.y + dy + y;
                    const bool screen = sx >= 0 && sy >= 0 && sx < AShot.Width && sy < AShot.Height && AShot.Dark(sx, sy);
                    same += screen == (grey[static_cast<std::size_t>(y) * width + x] < 128);
                }
            best = std::max(best, static_cast<double>(same) / (static_cast<double>(width) * height));
        }
    return best;
}

std::set<std::filesystem::path> TempFolders() {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::set<std::filesystem::path> folders;
    for (const auto& entry : std::filesystem::directory_iterator(temp)) folders.insert(entry.path());
    return folders;
}

TEST(HelpWindowTest, ShowsTheHelpModallyFollowsContentsLinksAndGoesBack) {
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"HostWindow";
    RegisterClassW(&type);
    HWND host = CreateWindowW(L"HostWindow", L"1C", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                              nullptr, type.hInstance, nullptr);
    ASSERT_NE(host, nullptr);
    SetActiveWindow(host);
    // The temporary folder under a Cyrillic user name, as on many Russian machines.
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring userTemp = std::wstring(temp) + L"Пользователь\\";
    CreateDirectoryW(userTemp.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", userTemp.c_str());
    SetEnvironmentVariableW(L"TEMP", userTemp.c_str());
    const auto foldersBefore = TempFolders();

    std::thread person([host] {
        HWND help = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            help = FindWindowW(nullptr, L"Справка");
            return help != nullptr && IsWindowVisible(help);
        }, 30s)) << "no window titled Справка";
        // Whatever goes wrong below, the window is closed so that ShowHelp returns.
        struct TClose {
            HWND Window;
            ~TClose() { PostMessageW(Window, WM_CLOSE, 0, 0); }
        } close{help};
        EXPECT_EQ(GetWindow(help, GW_OWNER), host);
        EXPECT_FALSE(IsWindowEnabled(host)) << "the help is not modal";
        HWND edit = FindWindowExW(help, nullptr, MSFTEDIT_CLASS, nullptr);
        HWND back = FindWindowExW(help, nullptr, L"Button", nullptr);
        ASSERT_TRUE(edit != nullptr && back != nullptr);
        EXPECT_FALSE(IsWindowEnabled(back));

        const std::wstring text = Text(edit);
        for (const wchar_t* part : {L"Драйвер принтеров этикеток quorvane", L"Что делает драйвер",
                                    L"Установка компоненты", L"COM65 … COM96", L"/dev/ttyUSB0 … /dev/ttyUSB31"})
            EXPECT_NE(text.find(part), std::wstring::npos) << Utf8Text(part);
        CHARRANGE cell{Find(edit, L"COM65 … COM96"), 0};
        cell.cpMax = cell.cpMin;
        SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cell));
        PARAFORMAT2 paragraph{};
        paragraph.cbSize = sizeof paragraph;
        SendMessageW(edit, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
        EXPECT_TRUE(paragraph.wEffects & PFE_TABLE) << "the port table is not a table";
        POINT top{0, 0};  // selecting the cell scrolled it into view
        SendMessageW(edit, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&top));
        UpdateWindow(edit);
        EXPECT_GT(TextLines(Screenshot(edit, "help-window.bmp")), 15) << "see help-window.bmp";

        // The pictures: the three PNG files; the SVG one is shown by its description.
        IRichEditOle* ole = nullptr;
        SendMessageW(edit, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole));
        ASSERT_NE(ole, nullptr);
        EXPECT_EQ(ole->GetObjectCount(), 3);
        EXPECT_NE(text.find(L"[Способы подключения принтера]"), std::wstring::npos);

        // A contents link leads to its heading; Back, then Alt+Left, return to the contents.
        for (const bool button : {true, false}) {
            EXPECT_EQ(ScrollY(edit), 0);
            ClickAt(edit, Find(edit, L"Лог драйвера"));
            ASSERT_TRUE(WaitFor([&] { return ScrollY(edit) > 0; })) << "the link was not followed";
            EXPECT_EQ(TopLineText(edit).rfind(L"Лог драйвера", 0), 0u) << Utf8Text(TopLineText(edit));
            EXPECT_TRUE(IsWindowEnabled(back));
            if (button)
                SendMessageW(back, BM_CLICK, 0, 0);
            else
                PostMessageW(edit, WM_SYSKEYDOWN, VK_LEFT, 1 << 29);
            EXPECT_TRUE(WaitFor([&] { return ScrollY(edit) == 0; })) << (button ? "Back" : "Alt+Left");
            EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(back); }));
        }

        // The label picture scrolled into view shows the picture file's pixels.
        REOBJECT object{};
        object.cbStruct = sizeof object;
        ASSERT_EQ(ole->GetObject(1, &object, REO_GETOBJ_NO_INTERFACES), S_OK);
        ole->Release();
        POINTL at{};
        SendMessageW(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), object.cp);
        POINT view{0, ScrollY(edit) + at.y - 20};
        SendMessageW(edit, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view));
        SendMessageW(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), object.cp);
        UpdateWindow(edit);
        const TShot shown = Screenshot(edit, "help-window-picture.bmp");
        EXPECT_GT(PictureMatch(shown, at, QUORVANE_SOURCE_DIR "/help/content/sample-label.png"), 0.97)
            << "see help-window-picture.bmp";

        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(help) || !IsWindowVisible(help); }));
    });
    std::string error;
    try {
        ShowHelp();
    } catch (const std::exception& AError) {
        error = AError.what();
    }
    person.join();
    EXPECT_EQ(error, "");
    EXPECT_TRUE(IsWindowEnabled(host)) << "the host's window stays disabled";
    EXPECT_EQ(FindWindowW(nullptr, L"Справка"), nullptr);
    EXPECT_EQ(TempFolders(), foldersBefore) << "a private folder was left behind";
    DestroyWindow(host);
}

}  // namespace
}  // namespace quorvane
