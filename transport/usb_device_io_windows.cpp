#include <windows.h>

#include <cerrno>
#include <vector>

#include "errors/windows_errors.h"
#include "text/windows_text.h"
#include "transport/usb_device_io.h"

// The USB printer class driver (usbprint) through the printer's device interface, opened for
// overlapped I/O: a write or a read is a request that completes later, waited for on its event.

namespace quorvane {

namespace {

// IOCTL_USBPRINT_GET_LPT_STATUS from the DDK's usbprint.h: CTL_CODE(FILE_DEVICE_UNKNOWN,
// USBPRINT_IOCTL_INDEX + 12, METHOD_BUFFERED, FILE_ANY_ACCESS). Its output DWORD carries the
// printer class port status byte (the USB printing device class, GET_PORT_STATUS: 0x20 paper
// empty, 0x10 selected, 0x08 not error), as Linux's LPGETSTATUS does.
constexpr DWORD kGetLptStatus = 0x220030;
// How long the status request may take before it is given up.
constexpr DWORD kStatusWaitMs = 1000;

// A printer the class driver already has open for another program refuses the open.
int ErrorOf(DWORD AError) { return AError == ERROR_ACCESS_DENIED ? EBUSY : ErrnoOfWindowsError(AError); }

DWORD MsUntil(TDeadline ADeadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(ADeadline - TClock::now()).count();
    if (left <= 0) return 0;
    return left >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(left);
}

struct THandle {
    explicit THandle(HANDLE AHandle) : Handle(AHandle) {}
    ~THandle() {
        if (Handle && Handle != INVALID_HANDLE_VALUE) ::CloseHandle(Handle);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Handle;
};

// An overlapped request's record and its event (manual reset, reset before each start).
struct TRequest {
    TRequest() : Event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    OVERLAPPED* Start() {
        ::ResetEvent(Event.Handle);
        Overlapped = OVERLAPPED{};
        Overlapped.hEvent = Event.Handle;
        return &Overlapped;
    }
    THandle Event;
    OVERLAPPED Overlapped{};
};

class TWindowsUsbDevice final : public TUsbDevice {
public:
    explicit TWindowsUsbDevice(HANDLE AHandle) : FHandle(AHandle) {}
    // Closing cancels a write still in flight; the request must end before its buffer goes.
    ~TWindowsUsbDevice() override {
        if (FWritePending) {
            ::CancelIoEx(FHandle.Handle, &FWrite.Overlapped);
            DWORD n = 0;
            ::GetOverlappedResult(FHandle.Handle, &FWrite.Overlapped, &n, TRUE);
        }
    }
    TWindowsUsbDevice(const TWindowsUsbDevice&) = delete;
    TWindowsUsbDevice& operator=(const TWindowsUsbDevice&) = delete;

    bool Usable() const { return FWrite.Event.Handle && FRead.Event.Handle && FStatus.Event.Handle; }

    TUsbIoResult StartWrite(const char* AData, size_t ACount) override {
        if (FWritePending) {
            // Still taking a write the caller no longer waits for: it does not count for this one.
            FCountWrite = false;
            return TUsbIoResult::Ok(0);
        }
        // The device reads the bytes until the request completes, after the caller's buffer
        // may be gone.
        FBuffer.assign(AData, AData + ACount);
        DWORD n = 0;
        if (!::WriteFile(FHandle.Handle, FBuffer.data(), static_cast<DWORD>(FBuffer.size()), &n,
                         FWrite.Start()) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return TUsbIoResult::Fail(ErrorOf(::GetLastError()));
        // Done at once or later: either way the event tells, and the result gives the count.
        FWritePending = true;
        FCountWrite = true;
        return TUsbIoResult::Ok(ACount);
    }

    TUsbIoResult WaitWritten(TDeadline ADeadline) override {
        if (!FWritePending) return TUsbIoResult::Ok(0);
        const DWORD wait = ::WaitForSingleObject(FWrite.Event.Handle, MsUntil(ADeadline));
        if (wait == WAIT_TIMEOUT) return TUsbIoResult::Late();
        if (wait != WAIT_OBJECT_0) return TUsbIoResult::Fail(ErrorOf(::GetLastError()));
        DWORD n = 0;
        const BOOL ok = ::GetOverlappedResult(FHandle.Handle, &FWrite.Overlapped, &n, FALSE);
        FWritePending = false;
        if (!ok) return TUsbIoResult::Fail(ErrorOf(::GetLastError()));
        return TUsbIoResult::Ok(FCountWrite ? n : 0);
    }

    TUsbIoResult Read(char* AData, size_t ACount, TDeadline ADeadline) override {
        OVERLAPPED* overlapped = FRead.Start();
        DWORD n = 0;
        if (::ReadFile(FHandle.Handle, AData, static_cast<DWORD>(ACount), &n, overlapped))
            return TUsbIoResult::Ok(n);
        if (::GetLastError() != ERROR_IO_PENDING) return TUsbIoResult::Fail(ErrorOf(::GetLastError()));
        const DWORD wait = ::WaitForSingleObject(FRead.Event.Handle, MsUntil(ADeadline));
        if (wait != WAIT_OBJECT_0) {
            const DWORD error = ::GetLastError();
            ::CancelIoEx(FHandle.Handle, overlapped);
            // Bytes that arrived while the read was being cancelled are still the printer's answer.
            if (::GetOverlappedResult(FHandle.Handle, overlapped, &n, TRUE) && n > 0)
                return TUsbIoResult::Ok(n);
            return wait == WAIT_TIMEOUT ? TUsbIoResult::Late() : TUsbIoResult::Fail(ErrorOf(error));
        }
        if (!::GetOverlappedResult(FHandle.Handle, overlapped, &n, FALSE))
            return TUsbIoResult::Fail(ErrorOf(::GetLastError()));
        return TUsbIoResult::Ok(n);
    }

    bool PortStatus(int& AStatus) override {
        DWORD status = 0;
        DWORD n = 0;
        OVERLAPPED* overlapped = FStatus.Start();
        BOOL ok = ::DeviceIoControl(FHandle.Handle, kGetLptStatus, nullptr, 0, &status, sizeof status, &n,
                                    overlapped);
        if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
            if (::WaitForSingleObject(FStatus.Event.Handle, kStatusWaitMs) != WAIT_OBJECT_0)
                ::CancelIoEx(FHandle.Handle, overlapped);
            ok = ::GetOverlappedResult(FHandle.Handle, overlapped, &n, TRUE);
        }
        if (!ok || n < 1) return false;
        AStatus = static_cast<int>(status & 0xFF);
        return true;
    }

private:
    THandle FHandle;
    TRequest FWrite;
    TRequest FRead;
    TRequest FStatus;
    std::vector<char> FBuffer;  // the bytes of the write in flight
    bool FWritePending = false;
    bool FCountWrite = true;
};

class TSystemUsbDeviceIo final : public TUsbDeviceIo {
public:
    std::unique_ptr<TUsbDevice> Open(const std::string& APath, int& AError) override {
        const HANDLE handle = ::CreateFileW(WindowsText(APath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            AError = ErrorOf(::GetLastError());
            return nullptr;
        }
        auto device = std::make_unique<TWindowsUsbDevice>(handle);
        if (!device->Usable()) {
            AError = ENOMEM;
            return nullptr;
        }
        // Judged by what was opened, not by its name: a file on a disk (a system file, say)
        // must never receive the status query or a label.
        if (::GetFileType(handle) == FILE_TYPE_DISK) {
            AError = ENOTTY;
            return nullptr;
        }
        // The class driver's own bound on a write; the channel's waits stay the shorter ones.
        // A device without time-outs ignores both requests.
        COMMTIMEOUTS timeouts{};
        ::GetCommTimeouts(handle, &timeouts);
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 20000;
        ::SetCommTimeouts(handle, &timeouts);
        return device;
    }

    TDeadline Now() override { return TClock::now(); }

    // Dispatches the thread's window messages until ADuration has passed, sleeping only while
    // none is queued. A quit request is put back for the host's own message loop.
    void BackOff(std::chrono::milliseconds ADuration) override {
        const TDeadline end = TClock::now() + ADuration;
        bool quit = false;
        WPARAM quitCode = 0;
        for (;;) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit = true;
                    quitCode = msg.wParam;
                    continue;
                }
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            const DWORD left = MsUntil(end);
            if (left == 0) break;
            ::MsgWaitForMultipleObjectsEx(0, nullptr, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
        if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
    }
};

}  // namespace

std::shared_ptr<TUsbDeviceIo> SystemUsbDeviceIo() {
    static const std::shared_ptr<TUsbDeviceIo> io = std::make_shared<TSystemUsbDeviceIo>();
    return io;
}

}  // namespace quorvane
