#include "transport/comm.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "errors/messages.h"
#include "errors/system_errors.h"

namespace quorvane {

namespace {

const char* const kNoDataText = MessageText(TMessage::NoDataInBuffer);
const char* const kWriteShortText = MessageText(TMessage::PortWriteShort);
const char* const kNoAnswerText = MessageText(TMessage::DeviceNotResponding);
const char* const kReadErrorText = MessageText(TMessage::PortReadError);
const char* const kProtocolText = MessageText(TMessage::ExchangeProtocolError);
const char* const kNotOpenText = MessageText(TMessage::PortNotOpen);

struct RateRow {
    TBaudRate rate;
    int value;
};

constexpr std::array<RateRow, 13> kRates{{
    {TBaudRate::br110, 110},
    {TBaudRate::br300, 300},
    {TBaudRate::br600, 600},
    {TBaudRate::br1200, 1200},
    {TBaudRate::br2400, 2400},
    {TBaudRate::br4800, 4800},
    {TBaudRate::br9600, 9600},
    {TBaudRate::br14400, 14400},
    {TBaudRate::br19200, 19200},
    {TBaudRate::br38400, 38400},
    {TBaudRate::br56000, 56000},
    {TBaudRate::br57600, 57600},
    {TBaudRate::br115200, 115200},
}};

const RateRow* FindRate(TBaudRate ARate) {
    for (const auto& row : kRates)
        if (row.rate == ARate) return &row;
    return nullptr;
}

std::chrono::milliseconds Ms(uint64_t AValue) { return std::chrono::milliseconds(AValue); }

void SleepMs(int AMs) {
    if (AMs > 0) std::this_thread::sleep_for(Ms(static_cast<uint64_t>(AMs)));
}

// Decodes one UTF-8 sequence; malformed input gives U+FFFD.
char32_t DecodeUtf8(const std::string& ABytes) {
    const auto b0 = static_cast<unsigned char>(ABytes[0]);
    int extra = 0;
    char32_t cp = b0;
    if (b0 >= 0xF0 && b0 < 0xF8)
        extra = 3, cp = b0 & 0x07;
    else if (b0 >= 0xE0 && b0 < 0xF0)
        extra = 2, cp = b0 & 0x0F;
    else if (b0 >= 0xC0 && b0 < 0xE0)
        extra = 1, cp = b0 & 0x1F;
    else if (b0 >= 0x80)
        return 0xFFFD;
    if (ABytes.size() != static_cast<size_t>(extra) + 1) return 0xFFFD;
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(ABytes[static_cast<size_t>(i)]);
        if ((b & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

void AppendUtf16(std::u16string& AText, char32_t ACodePoint) {
    if (ACodePoint < 0x10000) {
        AText.push_back(static_cast<char16_t>(ACodePoint));
    } else {
        ACodePoint -= 0x10000;
        AText.push_back(static_cast<char16_t>(0xD800 + (ACodePoint >> 10)));
        AText.push_back(static_cast<char16_t>(0xDC00 + (ACodePoint & 0x3FF)));
    }
}

}  // namespace

bool TComm::RateOf(TBaudRate ARate, int& AValue) {
    const RateRow* row = FindRate(ARate);
    if (row) AValue = row->value;
    return row != nullptr;
}

bool TComm::RecordSystemError() {
    FLastSystemError = errno;
    FExtResultDescription = SystemErrorText(FLastSystemError);
    return false;
}

bool TComm::Fail(const char* AText) {
    FLastSystemError = 0;
    FExtResultDescription = AText;
    return false;
}

bool TComm::Open() {
    if (Opened()) return true;
    const std::string path = PortPath(FPortNumber);
    if (path.empty()) {
        errno = ENOENT;
        return RecordSystemError();
    }
    if (!OpenDevice(path)) return RecordSystemError();
    // The kernel sizes a terminal's queues itself; there is nothing to set for 32768 bytes.
    bool ok = Purge(true) && ApplyLineSettings();
    if (ok && FOverlappedMode) ok = SetMask();
    if (!ok) {
        // A half-configured port is closed again, so the next Open tries afresh instead of
        // reporting success on a port with the wrong line settings.
        const std::string text = FExtResultDescription;
        const int error = FLastSystemError;
        ReleaseHandle();
        FExtResultDescription = text;
        FLastSystemError = error;
        return false;
    }
    return true;
}

bool TComm::WaitForEvent(int ATimeout) {
    if (!FOverlappedMode) return true;
    if (!Opened()) {
        errno = EBADF;
        return RecordSystemError();
    }
    const TDeadline deadline =
        ATimeout > 0 ? DeadlineIn(Ms(static_cast<uint64_t>(ATimeout))) : TDeadline::max();
    if (WaitInput(deadline) < 0) return RecordSystemError();
    return true;
}

bool TComm::WriteStr(const std::string& AData, int ASleepTime) {
    if (AData.empty()) return true;
    if (!OpenOnDemand()) return false;
    const long n = TimedWrite(AData.data(), AData.size());
    if (n < 0) return RecordSystemError();
    if (static_cast<size_t>(n) != AData.size()) return Fail(kWriteShortText);
    SleepMs(ASleepTime);
    return true;
}

bool TComm::ReadString(int ACount, std::string& ABuff) {
    ABuff.assign(static_cast<size_t>(std::max(ACount, 0)), '\0');
    const long n = TimedRead(ABuff.data(), ABuff.size());
    if (n < 0) {
        ABuff.clear();
        return RecordSystemError();
    }
    ABuff.resize(static_cast<size_t>(n));
    return true;
}

bool TComm::ReadString(std::string& ABuff, int ATimeout) {
    ABuff.clear();
    if (!WaitForEvent(ATimeout)) return false;
    const int queued = QueuedCount();
    if (queued <= 0) return Fail(kNoDataText);
    ABuff.assign(static_cast<size_t>(queued), '\0');
    const long n = ReadQueued(ABuff.data(), ABuff.size());
    if (n < 0) {
        ABuff.clear();
        return RecordSystemError();
    }
    ABuff.resize(static_cast<size_t>(n));
    return true;
}

bool TComm::ReadStringWithin(int ACount, std::string& ABuff, TDeadline ADeadline) {
    if (Opened()) WaitInput(ADeadline);
    return ReadString(ACount, ABuff);
}

bool TComm::ReadByte(uint8_t& AValue) {
    char byte = 0;
    const long n = TimedRead(&byte, 1);
    if (n < 0) return RecordSystemError();
    if (n == 0) return Fail(kNoAnswerText);
    AValue = static_cast<uint8_t>(byte);
    return true;
}

bool TComm::ReadByte(uint8_t& AValue, int ATimeout) {
    // Waiting on the descriptor answers the moment a byte arrives, where polling the queue
    // count every 5 ms would answer up to 5 ms late.
    const TDeadline deadline = DeadlineIn(Ms(static_cast<uint64_t>(std::max(ATimeout, 0))));
    const int events = Opened() ? WaitInput(deadline) : 0;
    if (events <= 0) {
        if (!Opened()) std::this_thread::sleep_until(deadline);
        return Fail(kReadErrorText);
    }
    return ReadByte(AValue);
}

bool TComm::ReadChar(char& AValue) {
    uint8_t byte = 0;
    const bool ok = ReadByte(byte);
    if (ok) AValue = static_cast<char>(byte);
    return ok;
}

bool TComm::ReadChar(char& AValue, int ATimeout) {
    uint8_t byte = 0;
    const bool ok = ReadByte(byte, ATimeout);
    if (ok) AValue = static_cast<char>(byte);
    return ok;
}

bool TComm::ReadCodePoint(char32_t& ACodePoint, int ATimeout) {
    uint8_t byte = 0;
    bool ok;
    // A continuation byte cannot start a character: skip to a lead or single byte.
    while ((ok = ReadByte(byte, ATimeout)) && (byte & 0xC0) == 0x80) {
    }
    if (!ok) return false;
    std::string bytes(1, static_cast<char>(byte));
    const int extra = (byte & 0xF8) == 0xF0 ? 3 : (byte & 0xF0) == 0xE0 ? 2 : (byte & 0xE0) == 0xC0 ? 1 : 0;
    for (int i = 0; i < extra && ok; ++i) {
        if ((ok = ReadByte(byte, ATimeout))) bytes.push_back(static_cast<char>(byte));
    }
    if (ok) ACodePoint = DecodeUtf8(bytes);
    return ok;
}

bool TComm::ReadChar(char16_t& AValue, int ATimeout) {
    char32_t cp = 0;
    if (!ReadCodePoint(cp, ATimeout)) return false;
    std::u16string units;
    AppendUtf16(units, cp);
    AValue = units[0];
    return true;
}

bool TComm::ReadString(std::u16string& ABuff, int ATimeout) {
    ABuff.clear();
    char32_t cp = 0;
    // The whole character is kept, both halves of a surrogate pair included.
    while (ReadCodePoint(cp, ATimeout)) {
        AppendUtf16(ABuff, cp);
        if (cp == 10) break;
    }
    return !ABuff.empty();
}

int TComm::iReadByte(uint8_t& AValue) {
    char byte = 0;
    const long n = TimedRead(&byte, 1);
    if (n == 1) {
        AValue = static_cast<uint8_t>(byte);
        return 0;
    }
    const std::string system = n < 0 ? SystemErrorText(errno) : kNoAnswerText;
    FExtResultDescription = std::string(kReadErrorText) + ". " + system;
    return 1017;
}

bool TComm::ReadBytes(std::vector<uint8_t>& ABuff, int ACount) {
    ABuff.assign(static_cast<size_t>(std::max(ACount, 0)), 0);
    if (ABuff.empty()) return true;
    const long n = TimedRead(reinterpret_cast<char*>(ABuff.data()), ABuff.size());
    if (n < 0) return RecordSystemError();
    if (static_cast<size_t>(n) < ABuff.size()) return Fail(n > 0 ? kProtocolText : kNoAnswerText);
    return true;
}

bool TComm::ReadBytes(int ACount, std::span<uint8_t> ABuff) {
    const size_t want = static_cast<size_t>(std::max(ACount, 0));
    // Never past the caller's buffer: a count beyond it can only come up short.
    const long n = TimedRead(reinterpret_cast<char*>(ABuff.data()), std::min(want, ABuff.size()));
    if (n < 0) return RecordSystemError();
    if (static_cast<size_t>(n) < want) return Fail(kProtocolText);
    return true;
}

bool TComm::ReadBytes(std::span<uint8_t> ABuff, uint32_t& ARead, int ATimeout,
                      uint32_t ANumberOfBytesToRead) {
    ARead = 0;
    if (!Opened()) return Fail(kNotOpenText);
    if (!WaitForEvent(ATimeout)) return false;
    const int queued = QueuedCount();
    if (queued <= 0) return Fail(kNoDataText);
    size_t want = ANumberOfBytesToRead != 0 ? ANumberOfBytesToRead : static_cast<size_t>(queued);
    want = std::min(want, ABuff.size());
    const long n = TimedRead(reinterpret_cast<char*>(ABuff.data()), want);
    if (n < 0) return RecordSystemError();
    ARead = static_cast<uint32_t>(n);
    return true;
}

int TComm::ReadStr(int ACount, std::string& AData, bool AControlLength) {
    const size_t want = static_cast<size_t>(std::max(ACount, 0));
    AData.assign(want, '\0');
    const long n = TimedRead(AData.data(), want);
    if (n < 0) {
        AData.clear();
        RecordSystemError();
        return 1001;
    }
    AData.resize(static_cast<size_t>(n));
    return !AControlLength || static_cast<size_t>(n) == want ? 0 : 1001;
}

int TComm::ReadStr(int ACount, std::string& AData, const std::string& AEndSymb) {
    FEndSymbol = AEndSymb;
    const int code = ReadStr(ACount, AData, false);
    if (code == 0 && AData.find(AEndSymb) == std::string::npos) return 1014;
    return code;
}

int TComm::ReadStr(std::string& AData, char AEndSymb, int ATimeout) {
    AData.clear();
    const TDeadline deadline = DeadlineIn(Ms(static_cast<uint64_t>(std::max(ATimeout, 0))));
    while (TClock::now() < deadline) {
        std::string chunk;
        if (ReadStr(255, chunk, false) == 0) AData += chunk;
        const size_t at = AData.find(AEndSymb);
        if (at != std::string::npos && at + 1 == AData.size()) return 0;
        SleepMs(5);
    }
    return AData.empty() ? 1007 : 1014;
}

int TComm::ReadStr(std::string& AData, int ATimeout) {
    AData.clear();
    const TDeadline deadline = DeadlineIn(Ms(static_cast<uint64_t>(std::max(ATimeout, 0))));
    while (TClock::now() < deadline) {
        if (QueuedCount() > 0) {
            if (ReadStr(255, AData, false) == 0) return 0;
        } else {
            SleepMs(5);
        }
    }
    return 1007;
}

bool TComm::WriteByte(uint8_t AValue) {
    if (!OpenOnDemand()) return false;
    const char byte = static_cast<char>(AValue);
    const long n = TimedWrite(&byte, 1);
    if (n < 0) return RecordSystemError();
    if (n != 1) return Fail(kWriteShortText);
    return true;
}

bool TComm::WriteChar(char AValue) { return WriteByte(static_cast<uint8_t>(AValue)); }

bool TComm::WriteBytes(std::span<const uint8_t> ABuff) {
    if (!Opened()) return Fail(kNotOpenText);
    const long n = TimedWrite(reinterpret_cast<const char*>(ABuff.data()), ABuff.size());
    if (n < 0) return RecordSystemError();
    // A short write is a failure, not a silent loss of the rest.
    if (static_cast<size_t>(n) != ABuff.size()) return Fail(kWriteShortText);
    return true;
}

int TComm::SendCmd(const std::string& AData) { return WriteStr(AData, 0) ? 0 : 1001; }

int TComm::RunCmd(const std::string& AInData, std::string& AOutData, int AMaxLen, int ATimeout,
                  int ACountAfterEnd) {
    AOutData.clear();
    const TDeadline deadline = DeadlineIn(Ms(static_cast<uint64_t>(std::max(ATimeout, 0))));
    if (!WriteStr(AInData, 0)) return 1007;
    while (TClock::now() < deadline) {
        std::string chunk;
        ReadStr(AMaxLen, chunk, false);
        if (!chunk.empty()) {
            AOutData += chunk;
            if (!FEndSymbol.empty()) {
                if (ACountAfterEnd == 0 && chunk.find(FEndSymbol) != std::string::npos) break;
                // Done once ACountAfterEnd bytes follow the end symbol; a chunk that brings more
                // at once also ends the wait.
                const size_t at = AOutData.find(FEndSymbol);
                if (at != std::string::npos &&
                    AOutData.size() >=
                        at + FEndSymbol.size() + static_cast<size_t>(std::max(ACountAfterEnd, 0)))
                    break;
            }
        }
        SleepMs(10);
    }
    return AMaxLen == 0 || !AOutData.empty() ? 0 : 1007;
}

int TComm::RunCmd(const std::string& AInData, std::string& AOutData, const std::string& AEndSymb, int AMaxLen,
                  int ATimeout, int ACountAfterEnd) {
    FEndSymbol = AEndSymb;
    const int code = RunCmd(AInData, AOutData, AMaxLen, ATimeout, ACountAfterEnd);
    if (code == 0 && AOutData.find(AEndSymb) == std::string::npos) return 1014;
    return code;
}

bool TComm::SetMask() {
    // 1: any received character; 2: the event character.
    FEventMask = FEvtChar != 0 ? 2 : 1;
    return true;
}

void TComm::StopEventWaiting() {
    if (FOverlappedMode) FEventMask = 0;
}

void TComm::SetBaudRate(TBaudRate AValue) {
    if (AValue == FBaudRate) return;
    FBaudRate = AValue;
    ApplyLineSettings();
}

int TComm::BaudRateAsInt() const {
    int value = 0;
    RateOf(FBaudRate, value);
    return value;
}

void TComm::SetBaudRateAsInt(int AValue) {
    for (const auto& row : kRates)
        if (row.value == AValue) FBaudRate = row.rate;
}

bool TComm::SetTimeouts(const TCommTimeouts& AValue) {
    FTimeouts = AValue;
    // The reads and writes take the bounds from FTimeouts; applying them means having the port.
    return OpenOnDemand();
}

}  // namespace quorvane
