#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "transport/deadline.h"

namespace quorvane {

// The open port of the system's own kind (a terminal descriptor, a communications handle).
struct TSerialDevice;

enum class TBaudRate : uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum class TParity : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TControlDtr : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TControlRts : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };

struct TFlowControl {
    bool FOutCtsFlow = false;
    bool FOutDsrFlow = false;  // no DSR flow control on Linux; kept for callers
    TControlDtr FControlDtr = TControlDtr::dtrDisable;
    TControlRts FControlRts = TControlRts::rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
};

// Port time-outs in milliseconds, with the communications API's meaning: a read ends when the
// gap after a byte exceeds the interval or when multiplier * count + constant has passed; a
// write ends when multiplier * count + constant has passed. Zero turns a bound off; an
// interval of kNoWait with zero totals returns at once with what has arrived.
struct TCommTimeouts {
    static constexpr uint32_t kNoWait = 0xFFFFFFFF;
    uint32_t ReadIntervalTimeout = 100;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 100;
    uint32_t WriteTotalTimeoutMultiplier = 50;
    uint32_t WriteTotalTimeoutConstant = 100;
};

// A serial port. Port n is \\.\COMn on Windows; on Linux a terminal device, /dev/ttyS(n-1) for
// 1..64, /dev/ttyUSB(n-65) for 65..96, /dev/ttyACM(n-97) for 97..128. The environment variable
// QUORVANE_COM<n> overrides the path. Operations report by their result and leave a text in
// ExtResultDescription(); nothing is thrown.
class TComm {
public:
    TComm();
    ~TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    static std::string PortPath(int APortNumber);
    static bool RateOf(TBaudRate ARate, int& AValue);

    // Used by the port manager.
    bool Open();
    bool Close();
    bool Purge(bool AAbort);
    bool WriteStr(const std::string& AData, int ASleepTime);
    // One read of at most ACount bytes bounded by the time-outs; none is no failure.
    bool ReadString(int ACount, std::string& ABuff);
    // What waits in the input queue now; an empty queue fails with "Данные в буфере отсутствуют".
    bool ReadString(std::string& ABuff, int ATimeout);
    // Waits until input arrives or ADeadline passes, then the counted read: at most the wait
    // plus the read time-outs, and back the moment the printer answers.
    bool ReadStringWithin(int ACount, std::string& ABuff, TDeadline ADeadline);

    // The rest of the class.
    bool ReadByte(uint8_t& AValue);
    bool ReadByte(uint8_t& AValue, int ATimeout);
    bool ReadChar(char& AValue);
    bool ReadChar(char& AValue, int ATimeout);
    // One UTF-8 character; its first UTF-16 unit.
    bool ReadChar(char16_t& AValue, int ATimeout);
    // Characters up to and including a line feed.
    bool ReadString(std::u16string& ABuff, int ATimeout);
    int iReadByte(uint8_t& AValue);
    bool ReadBytes(std::vector<uint8_t>& ABuff, int ACount);
    bool ReadBytes(int ACount, std::span<uint8_t> ABuff);
    bool ReadBytes(std::span<uint8_t> ABuff, uint32_t& ARead, int ATimeout, uint32_t ANumberOfBytesToRead);
    int ReadStr(int ACount, std::string& AData, bool AControlLength);
    int ReadStr(int ACount, std::string& AData, const std::string& AEndSymb);
    int ReadStr(int ACount, std::string& AData, const char* AEndSymb) {
        return ReadStr(ACount, AData, std::string(AEndSymb));
    }
    int ReadStr(std::string& AData, char AEndSymb, int ATimeout);
    int ReadStr(std::string& AData, int ATimeout);
    bool WriteByte(uint8_t AValue);
    bool WriteChar(char AValue);
    bool WriteBytes(std::span<const uint8_t> ABuff);
    int SendCmd(const std::string& AData);
    int RunCmd(const std::string& AInData, std::string& AOutData, int AMaxLen, int ATimeout,
               int ACountAfterEnd);
    int RunCmd(const std::string& AInData, std::string& AOutData, const std::string& AEndSymb, int AMaxLen,
               int ATimeout, int ACountAfterEnd);
    bool SetCommDTR(bool AValue);
    bool SetCommRTS(bool AValue);
    bool SetMask();
    void StopEventWaiting();

    // Properties.
    bool Opened() const { return FDevice != nullptr; }
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate AValue);
    int BaudRateAsInt() const;
    void SetBaudRateAsInt(int AValue);
    int PortNumber() const { return FPortNumber; }
    void SetPortNumber(int AValue) { FPortNumber = AValue; }
    const TCommTimeouts& Timeouts() const { return FTimeouts; }
    bool SetTimeouts(const TCommTimeouts& AValue);
    const std::string& ExtResultDescription() const { return FExtResultDescription; }
    // The system error behind the last failure; 0 when the failure was the class's own text.
    int LastSystemError() const { return FLastSystemError; }
    TParity Parity() const { return FParity; }
    void SetParity(TParity AValue) { FParity = AValue; }
    const TFlowControl& FlowControl() const { return FFlowControl; }
    void SetFlowControl(const TFlowControl& AValue) { FFlowControl = AValue; }
    uint8_t DataBits() const { return FDataBits; }
    void SetDataBits(uint8_t AValue) { FDataBits = AValue; }
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits AValue) { FStopBits = AValue; }
    const std::string& EndSymbol() const { return FEndSymbol; }
    void SetEndSymbol(std::string AValue) { FEndSymbol = std::move(AValue); }
    bool OverlappedMode() const { return FOverlappedMode; }
    void SetOverlappedMode(bool AValue) { FOverlappedMode = AValue; }
    char EvtChar() const { return FEvtChar; }
    void SetEvtChar(char AValue) { FEvtChar = AValue; }
    bool AbortOnError() const { return FAbortOnError; }
    void SetAbortOnError(bool AValue) { FAbortOnError = AValue; }
    uint16_t XonLimit() const { return FXonLimit; }
    void SetXonLimit(uint16_t AValue) { FXonLimit = AValue; }
    uint16_t XoffLimit() const { return FXoffLimit; }
    void SetXoffLimit(uint16_t AValue) { FXoffLimit = AValue; }

private:
    bool OpenOnDemand() { return Opened() || Open(); }
    // The system side: opening APath (false with errno), waiting for input as WaitReady
    // answers, and a read of what is queued (the count, or -1 with errno).
    bool OpenDevice(const std::string& APath);
    int WaitInput(TDeadline ADeadline);
    long ReadQueued(char* ABuffer, size_t ACount);
    bool ApplyLineSettings();
    bool RecordSystemError();
    bool Fail(const char* AText);
    void ReleaseHandle();
    int QueuedCount() const;
    // A read or write bounded as the port time-outs say; the count, or -1 with errno.
    long TimedRead(char* ABuffer, size_t ACount);
    long TimedWrite(const char* AData, size_t ACount);
    // Waits for input like the communications API's event wait (overlapped mode only).
    bool WaitForEvent(int ATimeout);
    bool ReadCodePoint(char32_t& ACodePoint, int ATimeout);

    char FEvtChar = 0;
    uint16_t FXonLimit = 256;
    uint16_t FXoffLimit = 256;
    std::unique_ptr<TSerialDevice> FDevice;
    // No overlapped I/O: the flag only makes the event-waiting reads wait for input first.
    bool FOverlappedMode = false;
    TBaudRate FBaudRate = TBaudRate::br9600;
    int FPortNumber = 1;
    TCommTimeouts FTimeouts;
    TParity FParity = TParity::prNone;
    TFlowControl FFlowControl;
    bool FAbortOnError = false;  // no counterpart in termios
    uint8_t FDataBits = 8;
    TStopBits FStopBits = TStopBits::sbOneStopBit;
    std::string FEndSymbol;
    std::string FExtResultDescription;
    int FLastSystemError = 0;
    uint32_t FEventMask = 0;
};

}  // namespace quorvane
