// The log viewer window under Wine with an X server (with_xvfb): opened by the ViewLog action on
// a thread of its own over a window of that thread, driven and read from the test's thread
// through the Win32 API, and drawn into a bitmap that is checked by its structure.

#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "errors/messages.h"
#include "help/log_window_windows.h"
#include "help/viewer_actions.h"
#include "log/driver_log.h"
#include "text/windows_text.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void WriteLines(const fs::path& APath, int ACount, std::ios::openmode AMode = std::ios::app) {
    std::ofstream out(APath, std::ios::binary | AMode);
    for (int i = 0; i < ACount; ++i) out << "2026.12.08 10:00:00.000\tINFO\tline " << i << " MMMMMMMM\r\n";
}

void WriteRecord(const fs::path& APath, const std::string& ALevel, const std::string& AText) {
    std::ofstream(APath, std::ios::binary | std::ios::app) << "2026.12.08 10:00:01.000\t" << ALevel << "\t" << AText << "\r\n";
}

// The file as the window's text holds it: one CR per line end.
std::wstring AsShown(const fs::path& APath) {
    std::ifstream in(APath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text;
    for (wchar_t c : WindowsText(bytes))
        if (c != L'\n') text += c;
    return text;
}

bool WaitFor(const std::function<bool()>& ADone, std::chrono::milliseconds ATimeout) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    while (!ADone()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::wstring RecordsText(HWND ARecords) {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    std::wstring text(static_cast<std::size_t>(::SendMessageW(ARecords, EM_GETTEXTLENGTHEX,
                                                               reinterpret_cast<WPARAM>(&length), 0)) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_DEFAULT;
    get.codepage = 1200;
    text.resize(static_cast<std::size_t>(
        ::SendMessageW(ARecords, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

CHARRANGE Selection(HWND ARecords) {
    CHARRANGE range{};
    ::SendMessageW(ARecords, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

std::vector<std::wstring> ListItems(HWND ACombo) {
    std::vector<std::wstring> items;
    const LRESULT count = ::SendMessageW(ACombo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(::SendMessageW(ACombo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        item.resize(static_cast<std::size_t>(
            ::SendMessageW(ACombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        items.push_back(item);
    }
    return items;
}

// The records control as drawn, top-down RGB rows; also kept as a BMP for people to look at.
struct TImage {
    int Width = 0, Height = 0;
    std::vector<unsigned char> Bgra;
    const unsigned char* At(int x, int y) const { return &Bgra[(static_cast<std::size_t>(y) * Width + x) * 4]; }
};

TImage Screenshot(HWND AControl, const std::string& ABmpName) {
    RECT client;
    ::GetClientRect(AControl, &client);
    TImage image;
    image.Width = client.right;
    image.Height = client.bottom;
    image.Bgra.resize(static_cast<std::size_t>(image.Width) * image.Height * 4);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.Width;
    info.bmiHeader.biHeight = -image.Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC window = ::GetDC(AControl);
    HDC memory = ::CreateCompatibleDC(window);
    HBITMAP bitmap = ::CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, image.Width, image.Height, window, 0, 0, SRCCOPY);
    ::GdiFlush();
    std::memcpy(image.Bgra.data(), bits, image.Bgra.size());
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(AControl, window);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(image.Bgra.size());
    std::ofstream out(ABmpName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(reinterpret_cast<const char*>(image.Bgra.data()), static_cast<std::streamsize>(image.Bgra.size()));
    return image;
}

// Runs of rows holding pixels that AInk accepts: lines of text of that kind.
int TextLines(const TImage& AImage, bool (*AInk)(const unsigned char*)) {
    int lines = 0;
    bool inLine = false;
    for (int y = 0; y < AImage.Height; ++y) {
        // Three pixels at least: the caret, one or two wide, is no text.
        int pixels = 0;
        for (int x = 0; x < AImage.Width && pixels < 3; ++x) pixels += AInk(AImage.At(x, y)) ? 1 : 0;
        const bool ink = pixels >= 3;
        if (ink && !inLine) ++lines;
        inLine = ink;
    }
    return lines;
}
bool Red(const unsigned char* p) { return p[2] > 120 && p[1] < 80 && p[0] < 80; }
bool Dark(const unsigned char* p) { return p[0] < 100 && p[1] < 100 && p[2] < 100; }

class LogWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        FLogs = fs::temp_directory_path() / ("qv-log-window-" + std::to_string(::GetCurrentProcessId()));
        fs::remove_all(FLogs);
        fs::create_directories(FLogs);
        SetLogDirectory(FLogs.string());
    }
    void TearDown() override {
        if (FWindow != nullptr && ::IsWindow(FWindow)) ::PostMessageW(FWindow, WM_CLOSE, 0, 0);
        if (FAction.valid()) FAction.wait_for(10s);
        if (FThread.joinable()) FThread.join();
        SetLogDirectory("");
        std::error_code ignored;
        fs::remove_all(FLogs, ignored);
    }

    // The ViewLog action on a thread whose active window is a plain top-level window, as the
    // host's would be; returns the log window once it is there.
    HWND Open() {
        std::promise<std::string> outcome;
        FAction = outcome.get_future();
        std::promise<HWND> owner;
        auto ownerReady = owner.get_future();
        FThread = std::thread([this, outcome = std::move(outcome), owner = std::move(owner)]() mutable {
            HWND host = ::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                          nullptr, nullptr, nullptr, nullptr);
            ::SetActiveWindow(host);
            owner.set_value(host);
            try {
                ShowLogViewer();
                outcome.set_value("");
            } catch (const std::exception& e) {
                outcome.set_value(e.what());
            }
            FOwnerEnabledAfter = ::IsWindowEnabled(host) != FALSE;
            ::DestroyWindow(host);
        });
        FOwner = ownerReady.get();
        const std::wstring caption = WindowsText(MessageText(TMessage::LogViewerCaption));
        // Shown once it is complete.
        WaitFor([&] {
            FWindow = ::FindWindowW(L"QuorvaneLogWindow", caption.c_str());
            return FWindow != nullptr && ::IsWindowVisible(FWindow);
        }, 20s);
        if (FWindow == nullptr && FAction.wait_for(0s) == std::future_status::ready)
            ADD_FAILURE() << "the action failed: " << FAction.get();
        return FWindow;
    }

    HWND Control(int AId) const { return ::GetDlgItem(FWindow, AId); }
    void Command(int AId, int ACode) {
        ::SendMessageW(FWindow, WM_COMMAND, MAKEWPARAM(AId, ACode), reinterpret_cast<LPARAM>(Control(AId)));
    }
    // Closes the window as a person would, with Escape; the action then returns without an error.
    void CloseWithEscape() {
        ::PostMessageW(Control(lwcRecords), WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_EQ(FAction.wait_for(10s), std::future_status::ready) << "the window did not close";
        EXPECT_EQ(FAction.get(), "");
        FThread.join();
        EXPECT_TRUE(FOwnerEnabledAfter) << "the host's window was left disabled";
    }

    fs::path FLogs;
    std::future<std::string> FAction;
    std::thread FThread;
    HWND FOwner = nullptr;
    HWND FWindow = nullptr;
    bool FOwnerEnabledAfter = false;
};

TEST_F(LogWindowTest, ShowsTheNewestDayAtItsEndMarksErrorsFollowsItAndShowsAPickedDay) {
    WriteLines(FLogs / "quorvane_2026.12.06.log", 1);
    WriteLines(FLogs / "QUORVANE_2026.12.07.LOG", 2);
    WriteRecord(FLogs / "QUORVANE_2026.12.07.LOG", "ERROR", "Exception: нет связи");
    WriteLines(FLogs / "quorvane_2026.12.08.txt", 6);  // sorts last but is no log file
    WriteLines(FLogs / "zz.log.bak", 5);

    ASSERT_NE(Open(), nullptr) << "no window titled Просмотр лога";
    EXPECT_FALSE(::IsWindowEnabled(FOwner)) << "the host's window is not disabled: the window is not modal";
    const HWND records = Control(lwcRecords);
    EXPECT_EQ(ListItems(Control(lwcDays)),
              (std::vector<std::wstring>{L"quorvane_2026.12.06.log", L"QUORVANE_2026.12.07.LOG"}));
    EXPECT_EQ(::SendMessageW(Control(lwcDays), CB_GETCURSEL, 0, 0), 1);
    const fs::path newest = FLogs / "QUORVANE_2026.12.07.LOG";
    EXPECT_EQ(RecordsText(records), AsShown(newest));
    EXPECT_EQ(Selection(records).cpMin, static_cast<LONG>(RecordsText(records).size())) << "the caret is not at the end";
    std::wstring button(64, L'\0');
    button.resize(static_cast<std::size_t>(::GetWindowTextW(Control(lwcOpenFolder), button.data(), 64)));
    EXPECT_EQ(Utf8Text(button), MessageText(TMessage::OpenFolderButton));

    // Drawn: two INFO records and one ERROR record, in red.
    TImage shown;
    WaitFor([&] {
        shown = Screenshot(records, "log-window-newest.bmp");
        return TextLines(shown, Dark) == 2 && TextLines(shown, Red) == 1;
    }, 3s);
    EXPECT_GE(shown.Width, 600);
    EXPECT_EQ(TextLines(shown, Dark), 2) << "see log-window-newest.bmp";
    EXPECT_EQ(TextLines(shown, Red), 1) << "the ERROR record is not marked; see log-window-newest.bmp";

    // Records added while the window is open come into view, ERROR ones marked.
    WriteLines(newest, 1);
    WriteRecord(newest, "ERROR", "appended");
    EXPECT_TRUE(WaitFor([&] { return RecordsText(records) == AsShown(newest); }, 5s)) << "not followed";
    ASSERT_TRUE(WaitFor([&] { return TextLines(Screenshot(records, "log-window-follow.bmp"), Red) == 2; }, 3s))
        << "see log-window-follow.bmp";

    // Far more records than the window holds: the view stays at the newest.
    WriteLines(newest, 60);
    WriteRecord(newest, "ERROR", "the last one");
    EXPECT_TRUE(WaitFor([&] { return RecordsText(records) == AsShown(newest); }, 5s));
    EXPECT_TRUE(WaitFor([&] { return TextLines(Screenshot(records, "log-window-end.bmp"), Red) == 1; }, 3s))
        << "the view left the newest records; see log-window-end.bmp";

    // Scrolled back to the start, the view stays there as records come (the same timer tick
    // adds them and would move the view).
    ::SendMessageW(records, WM_VSCROLL, SB_TOP, 0);
    ASSERT_EQ(::SendMessageW(records, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    WriteRecord(newest, "ERROR", "later");
    EXPECT_TRUE(WaitFor([&] { return RecordsText(records) == AsShown(newest); }, 5s));
    EXPECT_EQ(::SendMessageW(records, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the view left the start";

    ::SendMessageW(Control(lwcDays), CB_SETCURSEL, 0, 0);
    Command(lwcDays, CBN_SELCHANGE);
    EXPECT_EQ(RecordsText(records), AsShown(FLogs / "quorvane_2026.12.06.log"));
    CloseWithEscape();
}

TEST_F(LogWindowTest, FindsTextIgnoringCaseForwardAndBackRoundTheEnds) {
    const fs::path file = FLogs / "quorvane_2026.12.08.log";
    WriteLines(file, 2);
    WriteRecord(file, "ERROR", "a Нить here");
    WriteLines(file, 150);
    WriteRecord(file, "INFO", "нить");
    WriteLines(file, 150);

    ASSERT_NE(Open(), nullptr);
    const HWND records = Control(lwcRecords);
    ASSERT_TRUE(WaitFor([&] { return RecordsText(records) == AsShown(file); }, 5s));
    const std::wstring text = RecordsText(records);
    const auto first = static_cast<LONG>(text.find(L"Нить"));
    const auto second = static_cast<LONG>(text.find(L"нить"));
    ASSERT_LT(first, second);

    // Typing searches from the caret (at the end) round to the start; next goes on, previous back.
    ::SendMessageW(Control(lwcFind), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"нИТЬ"));
    EXPECT_EQ(Selection(records).cpMin, first);
    EXPECT_EQ(Selection(records).cpMax, first + 4);
    Command(lwcFindNext, BN_CLICKED);
    EXPECT_EQ(Selection(records).cpMin, second);
    Command(lwcFindNext, BN_CLICKED);
    EXPECT_EQ(Selection(records).cpMin, first);
    Command(lwcFindPrevious, BN_CLICKED);
    EXPECT_EQ(Selection(records).cpMin, second);
    CloseWithEscape();
}

TEST_F(LogWindowTest, AnEmptyFolderIsExplainedUntilTheFirstDayFileComes) {
    ASSERT_NE(Open(), nullptr);
    const HWND records = Control(lwcRecords);
    EXPECT_NE(Utf8Text(RecordsText(records)).find(FLogs.string()), std::string::npos);
    const fs::path file = FLogs / "quorvane_2026.12.08.log";
    WriteLines(file, 2);
    EXPECT_TRUE(WaitFor([&] { return RecordsText(records) == AsShown(file); }, 5s));
    CloseWithEscape();
}

// A Linux path as Wine's Z: drive shows it.
std::wstring WinePath(const char* APath) {
    std::wstring path = L"Z:" + WindowsText(APath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

TEST_F(LogWindowTest, ViewLogThroughTheHostWaitsForTheWindowAndReturnsTrue) {
    const char* host = std::getenv("QUORVANE_WINDOWS_HOST");
    const char* component = std::getenv("QUORVANE_WINDOWS_DLL");
    ASSERT_TRUE(host != nullptr && component != nullptr) << "QUORVANE_WINDOWS_HOST and QUORVANE_WINDOWS_DLL are not set";
    WriteLines(FLogs / "quorvane_2026.12.08.log", 2);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    ::SetEnvironmentVariableW(L"QUORVANE_LOG_DIR", FLogs.wstring().c_str());
    std::wstring command = L"\"" + WinePath(host) + L"\" --component \"" + WinePath(component) + L"\" action ViewLog";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::SetEnvironmentVariableW(L"QUORVANE_LOG_DIR", nullptr);
    ::CloseHandle(writeEnd);
    ASSERT_TRUE(started) << Utf8Text(command);

    const std::wstring caption = WindowsText(MessageText(TMessage::LogViewerCaption));
    HWND window = nullptr;
    EXPECT_TRUE(WaitFor([&] {
        window = ::FindWindowW(L"QuorvaneLogWindow", caption.c_str());
        return window != nullptr && ::IsWindowVisible(window);
    }, 20s)) << "no log window from DoAdditionalAction(\"ViewLog\")";
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 0), WAIT_TIMEOUT) << "the action did not wait for its window";
    if (window != nullptr) ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    if (code == STILL_ACTIVE) ::TerminateProcess(process.hProcess, 1);
    std::string output;
    char buffer[4096];
    DWORD n = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) output.append(buffer, n);
    ::CloseHandle(readEnd);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u) << output;
    EXPECT_NE(output.find("Result: b:true"), std::string::npos) << output;
}

}  // namespace
}  // namespace quorvane
