#pragma once

#include <memory>
#include <string>

#include "transport/channel.h"
#include "transport/usb_device_io.h"

namespace quorvane {

// The one object through which the driver talks to the printer, over the channel its
// constructor chose. Data is a byte string both ways. Every failure is an EquException with the
// equipment error code and a text that says where and why. After any failure the manager stays
// usable, and ClosePort is always safe.
class TPortManager {
public:
    // USB printer device at APortName (the USBPort setting), reached through AIo.
    explicit TPortManager(const std::string& APortName,
                          std::shared_ptr<TUsbDeviceIo> AIo = SystemUsbDeviceIo());
    // Serial port APortNumber; StopBits 0 one, 2 two; Parity 0 none, 1 odd, 2 even.
    TPortManager(int APortNumber, int ABaudRate, int ADataBits, int AStopBits, int AParity);
    // TCP to AIPAddress:AIPPort.
    TPortManager(const std::string& AIPAddress, int AIPPort);
    ~TPortManager();
    TPortManager(const TPortManager&) = delete;
    TPortManager& operator=(const TPortManager&) = delete;

    // USB and serial: no-op when open. Network: a new connection every time.
    void OpenPort() { FChannel->Open(); }
    void WriteToPort(const std::string& AData) { FChannel->Write(AData); }
    // ACount >= 1: one counted read (USB: at most ACount bytes within 500 ms, nothing is a
    // failure; serial: at most ACount bytes within the port time-outs, nothing is no failure;
    // network: exactly ACount bytes, zero-padded). ACount <= 0: everything the printer has to say.
    std::string ReadFromPort(int ACount) { return FChannel->Read(ACount); }
    // The printer's answer (ACount >= 1 bytes at most), waited for until ADeadline: returned the
    // moment data arrives. A printer silent until then gives an empty string on every transport
    // (serial: after the port time-outs); a connection that breaks or a failed read still fails.
    std::string ReadFromPortWithin(int ACount, TDeadline ADeadline);
    void FlushBuffer() { FChannel->Flush(); }
    void ClosePort() { FChannel->Close(); }
    // Between labels: other users of a shared device (USB) get their turn.
    void PassTurn() { FChannel->PassTurn(); }

    // The channel, for settings the manager does not carry (time-outs in tests, for one).
    TChannel& Channel() { return *FChannel; }

private:
    std::unique_ptr<TChannel> FChannel;
};

}  // namespace quorvane
