#pragma once

#include <memory>
#include <string>

#include "transport/channel.h"
#include "transport/comm.h"
#include "transport/printer_port.h"
#include "transport/printer_socket.h"

namespace quorvane {

// The USB printer device at a path (the USBPort setting). Open and write failures carry the
// code the device port answered, read failures 1001.
class TUsbChannel final : public TChannel {
public:
    TUsbChannel(const std::string& APortName, std::shared_ptr<TUsbDeviceIo> AIo);

    // No-op when open.
    void Open() override;
    void Write(const std::string& AData) override;
    // Counted: at most ACount bytes within 500 ms, nothing is a failure.
    std::string Read(int ACount) override;
    // Silence until ADeadline gives nothing.
    std::string ReadWithin(int ACount, TDeadline ADeadline) override;
    void Flush() override;
    void Close() override;
    void PassTurn() override;

    // For settings the channel does not carry (time-outs in tests, for one).
    TPrinterPort& Port() { return FPort; }

private:
    void Check(int ACode) const;
    [[noreturn]] void FailRead(int ACode) const;
    TPrinterPort FPort;
};

// A serial port by its number. Failures carry the code of the step that failed: 1011 open,
// 1016 write, 1017 read, 1001 dropping the input.
class TSerialChannel final : public TChannel {
public:
    // StopBits 0 one, 2 two; Parity 0 none, 1 odd, 2 even.
    TSerialChannel(int APortNumber, int ABaudRate, int ADataBits, int AStopBits, int AParity);

    // No-op when open.
    void Open() override;
    // Whatever the printer said before is dropped first: a reply belongs to the write that
    // prompted it.
    void Write(const std::string& AData) override;
    // Counted: at most ACount bytes within the port time-outs, nothing is no failure.
    std::string Read(int ACount) override;
    // Silence gives nothing after the port time-outs.
    std::string ReadWithin(int ACount, TDeadline ADeadline) override;
    void Flush() override;
    void Close() override;

    TComm& Port() { return FPort; }

private:
    [[noreturn]] void Fail(int ACode, const std::string& AText) const;
    TComm FPort;
};

// TCP to a network printer's raw port; every failure is 1001.
class TNetworkChannel final : public TChannel {
public:
    TNetworkChannel(const std::string& AIPAddress, int AIPPort);

    // A new connection every time.
    void Open() override;
    void Write(const std::string& AData) override;
    // Counted: exactly ACount bytes, zero-padded.
    std::string Read(int ACount) override;
    // Silence until ADeadline gives nothing; a closed connection fails.
    std::string ReadWithin(int ACount, TDeadline ADeadline) override;
    void Flush() override {}
    void Close() override;

    TPrinterSocket& Port() { return FPort; }

private:
    TPrinterSocket FPort;
};

}  // namespace quorvane
