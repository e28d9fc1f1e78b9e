#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "errors/windows_errors.h"
#include "text/windows_text.h"
#include "transport/comm.h"

namespace quorvane {

// The open communications handle.
struct TSerialDevice {
    explicit TSerialDevice(HANDLE AHandle) : Handle(AHandle) {}
    ~TSerialDevice() { ::CloseHandle(Handle); }
    TSerialDevice(const TSerialDevice&) = delete;
    TSerialDevice& operator=(const TSerialDevice&) = delete;
    HANDLE Handle;
};

namespace {

// A COM port is opened exclusively: a refused open means another program holds it.
void TakeSystemError() {
    const DWORD error = ::GetLastError();
    errno = error == ERROR_ACCESS_DENIED ? EBUSY : ErrnoOfWindowsError(error);
}

}  // namespace

TComm::TComm() = default;
TComm::~TComm() { Close(); }

// Port n is \\.\COMn; QUORVANE_COM<n> overrides it as on Linux.
std::string TComm::PortPath(int APortNumber) {
    const std::string variable = "QUORVANE_COM" + std::to_string(APortNumber);
    if (const char* path = std::getenv(variable.c_str()); path && *path) return path;
    if (APortNumber >= 1 && APortNumber <= 256) return "\\\\.\\COM" + std::to_string(APortNumber);
    return {};
}

bool TComm::OpenDevice(const std::string& APath) {
    HANDLE handle = ::CreateFileW(WindowsText(APath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        TakeSystemError();
        return false;
    }
    auto device = std::make_unique<TSerialDevice>(handle);
    // Only a communications device has a line state; a file or a pipe does not.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) {
        errno = ENOTTY;
        return false;
    }
    ::SetupComm(handle, 32768, 32768);
    FDevice = std::move(device);
    return true;
}

void TComm::ReleaseHandle() { FDevice.reset(); }

bool TComm::ApplyLineSettings() {
    if (!Opened()) return true;
    const uint8_t dataBits = FDataBits;
    if (dataBits < 5 || dataBits > 8 || static_cast<int>(FParity) > 4 || static_cast<int>(FStopBits) > 2 ||
        BaudRateAsInt() == 0) {
        errno = EINVAL;
        return RecordSystemError();
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(FDevice->Handle, &dcb)) {
        TakeSystemError();
        return RecordSystemError();
    }
    dcb.BaudRate = static_cast<DWORD>(BaudRateAsInt());
    dcb.fBinary = TRUE;
    // The enumerations follow the DCB's own numbering.
    dcb.ByteSize = dataBits;
    dcb.Parity = static_cast<BYTE>(FParity);
    dcb.StopBits = static_cast<BYTE>(FStopBits);
    dcb.fParity = FParity != TParity::prNone;
    dcb.fOutxCtsFlow = FFlowControl.FOutCtsFlow;
    dcb.fOutxDsrFlow = FFlowControl.FOutDsrFlow;
    dcb.fDtrControl = static_cast<DWORD>(FFlowControl.FControlDtr);
    dcb.fRtsControl = static_cast<DWORD>(FFlowControl.FControlRts);
    dcb.fOutX = FFlowControl.FXonXoffOut;
    dcb.fInX = FFlowControl.FXonXoffIn;
    dcb.fDsrSensitivity = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FAbortOnError;
    dcb.XonLim = FXonLimit;
    dcb.XoffLim = FXoffLimit;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.EvtChar = FEvtChar;
    if (!::SetCommState(FDevice->Handle, &dcb)) {
        TakeSystemError();
        return RecordSystemError();
    }
    return true;
}

bool TComm::Close() {
    if (Opened()) {
        if (FOverlappedMode) StopEventWaiting();
        // Whatever dropping DTR answers, closing goes on.
        ::EscapeCommFunction(FDevice->Handle, CLRDTR);
        // Only the input: the output queue drains as the handle closes.
        ::PurgeComm(FDevice->Handle, PURGE_RXCLEAR);
        ReleaseHandle();
    }
    return true;
}

bool TComm::Purge(bool AAbort) {
    if (!OpenOnDemand()) return false;
    // The output is left alone, aborting included: the writes here are never overlapped, so
    // there is no write to abort, and Wine (as some USB serial adapters) answers a transmit
    // abort by discarding bytes already written, which cuts a label.
    const DWORD flags = PURGE_RXCLEAR | (AAbort ? PURGE_RXABORT : 0);
    if (!::PurgeComm(FDevice->Handle, flags)) {
        TakeSystemError();
        return RecordSystemError();
    }
    return true;
}

namespace {

bool ApplyTimeouts(HANDLE AHandle, const TCommTimeouts& ATimeouts) {
    COMMTIMEOUTS t{ATimeouts.ReadIntervalTimeout, ATimeouts.ReadTotalTimeoutMultiplier,
                   ATimeouts.ReadTotalTimeoutConstant, ATimeouts.WriteTotalTimeoutMultiplier,
                   ATimeouts.WriteTotalTimeoutConstant};
    if (::SetCommTimeouts(AHandle, &t)) return true;
    TakeSystemError();
    return false;
}

}  // namespace

// Reads and writes run under the port's own time-outs, set from FTimeouts before each call so
// that SetTimeouts takes effect on the next one.
long TComm::TimedRead(char* ABuffer, size_t ACount) {
    if (!Opened()) {
        errno = EBADF;
        return -1;
    }
    if (ACount == 0) return 0;
    if (!ApplyTimeouts(FDevice->Handle, FTimeouts)) return -1;
    DWORD got = 0;
    if (!::ReadFile(FDevice->Handle, ABuffer, static_cast<DWORD>(ACount), &got, nullptr)) {
        TakeSystemError();
        return -1;
    }
    return static_cast<long>(got);
}

long TComm::TimedWrite(const char* AData, size_t ACount) {
    if (!Opened()) {
        errno = EBADF;
        return -1;
    }
    if (!ApplyTimeouts(FDevice->Handle, FTimeouts)) return -1;
    DWORD sent = 0;
    if (!::WriteFile(FDevice->Handle, AData, static_cast<DWORD>(ACount), &sent, nullptr)) {
        TakeSystemError();
        return -1;
    }
    return static_cast<long>(sent);
}

int TComm::QueuedCount() const {
    COMSTAT stat{};
    DWORD errors = 0;
    if (!Opened() || !::ClearCommError(FDevice->Handle, &errors, &stat)) return 0;
    return static_cast<int>(stat.cbInQue);
}

// The input queue is watched in 1 ms steps: the handle is not opened for overlapped I/O, and a
// blocking event wait could not be bounded by the deadline.
int TComm::WaitInput(TDeadline ADeadline) {
    if (!Opened()) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        COMSTAT stat{};
        DWORD errors = 0;
        if (!::ClearCommError(FDevice->Handle, &errors, &stat)) {
            TakeSystemError();
            return -1;
        }
        if (stat.cbInQue > 0) return 1;
        if (TClock::now() >= ADeadline) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

long TComm::ReadQueued(char* ABuffer, size_t ACount) {
    // What is queued now, without waiting for more.
    COMMTIMEOUTS t{MAXDWORD, 0, 0, FTimeouts.WriteTotalTimeoutMultiplier,
                   FTimeouts.WriteTotalTimeoutConstant};
    DWORD got = 0;
    if (!::SetCommTimeouts(FDevice->Handle, &t) ||
        !::ReadFile(FDevice->Handle, ABuffer, static_cast<DWORD>(ACount), &got, nullptr)) {
        TakeSystemError();
        return -1;
    }
    return static_cast<long>(got);
}

bool TComm::SetCommDTR(bool AValue) {
    if (!OpenOnDemand()) return false;
    if (!::EscapeCommFunction(FDevice->Handle, AValue ? SETDTR : CLRDTR)) {
        TakeSystemError();
        return RecordSystemError();
    }
    return true;
}

bool TComm::SetCommRTS(bool AValue) {
    if (!OpenOnDemand()) return false;
    if (!::EscapeCommFunction(FDevice->Handle, AValue ? SETRTS : CLRRTS)) {
        TakeSystemError();
        return RecordSystemError();
    }
    return true;
}

}  // namespace quorvane
