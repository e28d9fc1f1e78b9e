// The Windows USB device calls (transport/usb_device_io_windows.cpp) on a real overlapped handle,
// under Wine, which has no USB printer class: a named pipe, whose far end plays the printer. Its
// requests have the printer's shape (an overlapped write completes once the far end has taken
// the bytes, a read stays pending until it answers); it answers no status request.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "errors/messages.h"
#include "errors/system_errors.h"
#include "tests/transport/test_usb_device.h"
#include "text/windows_text.h"
#include "transport/printer_port.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::Pattern;

// The printer's end: a pipe instance with a buffer far smaller than a write request, so that a
// request completes only as the printer reads.
class TPipePrinter {
public:
    TPipePrinter()
        : FPath("\\\\.\\pipe\\quorvane-usb-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(++FCount)),
          FPipe(::CreateNamedPipeW(WindowsText(FPath).c_str(), PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 1024, 1024, 0,
                                   nullptr)) {
        if (FPipe == INVALID_HANDLE_VALUE) throw std::runtime_error("no pipe");
    }
    ~TPipePrinter() { ::CloseHandle(FPipe); }
    TPipePrinter(const TPipePrinter&) = delete;
    TPipePrinter& operator=(const TPipePrinter&) = delete;

    const std::string& Path() const { return FPath; }
    // Once the port has opened the pipe.
    void Accept() { ::ConnectNamedPipe(FPipe, nullptr); }
    // Reads until ACount bytes came or the port closed its end.
    std::string Take(size_t ACount) {
        std::string got;
        char piece[700];
        DWORD n = 0;
        while (got.size() < ACount && ::ReadFile(FPipe, piece, sizeof piece, &n, nullptr) && n > 0)
            got.append(piece, n);
        return got;
    }
    void Answer(const std::string& AData) {
        DWORD n = 0;
        ::WriteFile(FPipe, AData.data(), static_cast<DWORD>(AData.size()), &n, nullptr);
    }

private:
    static inline int FCount = 0;
    std::string FPath;
    HANDLE FPipe;
};

TEST(UsbDeviceIoWindows, WritesCountOnlyWhatThePrinterTook) {
    const std::string job = Pattern(200000);
    TPipePrinter printer;
    TPrinterPort port;
    port.SetPortName(printer.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    printer.Accept();
    std::string got;
    std::thread reader([&] { got = printer.Take(job.size()); });
    EXPECT_EQ(port.SendToPort(job, true), 0);
    port.ClosePort();
    reader.join();
    EXPECT_TRUE(got == job) << got.size();

    // A printer that takes nothing: the request stays pending through the write window, and
    // closing cancels it; the printer then finds at most the pipe's buffer of it.
    TPipePrinter stalled;
    port.SetPortName(stalled.Path());
    port.SetWriteTimeOut(200);
    ASSERT_EQ(port.OpenPort(true), 0);
    stalled.Accept();
    EXPECT_EQ(port.SendToPort(job, true), 1007);
    EXPECT_TRUE(port.Opened());
    port.ClosePort();
    const std::string arrived = stalled.Take(job.size());
    EXPECT_LT(arrived.size(), TPrinterPort::kWritePieceSize);
    EXPECT_TRUE(arrived == job.substr(0, arrived.size()));

    // Past the write's whole bound the request is cancelled and the port closed.
    TPipePrinter trickle;
    port.SetPortName(trickle.Path());
    port.SetWriteTimeOut(1000);
    port.SetWriteWaitTimeOut(300);
    ASSERT_EQ(port.OpenPort(true), 0);
    trickle.Accept();
    EXPECT_EQ(port.SendToPort(job, true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), SystemErrorText(ETIME));
    EXPECT_FALSE(port.Opened());
}

TEST(UsbDeviceIoWindows, ReadsWaitForTheAnswerAndGiveUpInTime) {
    TPipePrinter printer;
    TPrinterPort port;
    port.SetPortName(printer.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    printer.Accept();
    std::string data;
    std::thread late([&] {
        std::this_thread::sleep_for(100ms);
        printer.Answer("\x20");
    });
    EXPECT_EQ(port.ReadFromPort(1, data, true), 0);
    late.join();
    EXPECT_EQ(data, "\x20");
    // The cancelled read must not swallow a later answer.
    EXPECT_EQ(port.ReadFromPort(1, data, true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), MessageText(TMessage::NoDataInBuffer));
    // More than the pipe holds: the printer's write ends as the port reads.
    const std::string reply = Pattern(5000);
    std::thread answer([&] { printer.Answer(reply); });
    EXPECT_EQ(port.ReadFromPort(data, true), 0);
    answer.join();
    EXPECT_TRUE(data == reply) << data.size();
    EXPECT_EQ(port.ReadFromPort(data, true), 0);
    EXPECT_EQ(data, "");
}

TEST(UsbDeviceIoWindows, OpenFailuresAreTranslated) {
    TPrinterPort port;
    port.SetPortName("\\\\?\\usb#vid_1203&pid_0230#quorvane-missing#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
    EXPECT_EQ(port.OpenPort(true), 1011);
    EXPECT_EQ(port.LastOpenError(), ENOENT);
    // A file on a disk is never a printer.
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    const std::string file = Utf8Text(folder) + "quorvane-usb-not-a-device.txt";
    ::CloseHandle(
        ::CreateFileW(WindowsText(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    port.SetPortName(file);
    EXPECT_EQ(port.OpenPort(true), 1011);
    EXPECT_EQ(port.LastOpenError(), ENOTTY);
    ::DeleteFileW(WindowsText(file).c_str());
}

int FTimerCalls = 0;
void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { ++FTimerCalls; }

// The fault back-off keeps the thread's messages moving and leaves a quit request for the host.
TEST(UsbDeviceIoWindows, BackOffDispatchesTheThreadsMessages) {
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, CountTimer);
    ASSERT_NE(timer, 0u);
    ::PostQuitMessage(7);
    SystemUsbDeviceIo()->BackOff(200ms);
    ::KillTimer(nullptr, timer);
    EXPECT_GT(FTimerCalls, 0);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
}  // namespace quorvane
