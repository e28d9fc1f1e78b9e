// Transport costs as the print job sees them: the status round trip (query written, one-byte
// answer read with a deadline) and pushing a label script through, on every transport, each
// against a real peer that answers at once (loopback TCP server, pseudo-terminals).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "tests/transport/test_peers.h"
#include "transport/port_manager.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;

// A device on a file descriptor: answers every 3-byte status query with one byte, drains
// everything it gets, or takes labels and answers the query that follows each.
class Device {
public:
    enum class Mode { Answer, Drain, Labels };
    Device(int AFd, Mode AMode) : FThread([this, AFd, AMode] { Run(AFd, AMode); }) {}
    ~Device() {
        FStop = true;
        FThread.join();
    }

private:
    void Run(int AFd, Mode AMode) {
        while (!FStop) {
            if (AMode == Mode::Answer) {
                if (test::ReadFor(AFd, 3, 50ms).size() == 3) test::WriteAll(AFd, std::string(1, '\0'));
            } else if (AMode == Mode::Labels) {
                const std::string data = test::ReadFor(AFd, 1 << 20, 1ms);
                if (data.ends_with("\x1b!?")) test::WriteAll(AFd, std::string(1, '\0'));
            } else {
                test::ReadFor(AFd, 1 << 20, 20ms);
            }
        }
    }
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

enum Transport { kUSB, kCOM, kLAN };

// One manager with its peer, set up for a benchmark run.
struct Link {
    Link(Transport ATransport, Device::Mode AMode) {
        switch (ATransport) {
            case kUSB:
                Manager = std::make_unique<TPortManager>(Pty.Path());
                Peer = std::make_unique<Device>(Pty.Master(), AMode);
                break;
            case kCOM:
                ::setenv("QUORVANE_COM99", Pty.Path().c_str(), 1);
                Manager = std::make_unique<TPortManager>(99, 115200, 8, 0, 0);
                Peer = std::make_unique<Device>(Pty.Master(), AMode);
                break;
            case kLAN:
                Server = std::make_unique<test::LoopbackServer>([AMode](int client, test::LoopbackServer& s) {
                    Device device(client, AMode);
                    s.StaySilent();
                });
                Manager = std::make_unique<TPortManager>("127.0.0.1", Server->Port());
                break;
        }
        Manager->OpenPort();
    }
    ~Link() { Manager->ClosePort(); }

    test::PtyPair Pty;
    std::unique_ptr<test::LoopbackServer> Server;
    std::unique_ptr<TPortManager> Manager;
    std::unique_ptr<Device> Peer;
};

const char* Name(Transport ATransport) {
    return ATransport == kUSB ? "usb" : ATransport == kCOM ? "com" : "lan";
}

// The status exchange with a deadline: back as soon as the byte is there.
void BM_StatusRoundTrip(benchmark::State& state) {
    const auto transport = static_cast<Transport>(state.range(0));
    Link link(transport, Device::Mode::Answer);
    for (auto _ : state) {
        link.Manager->WriteToPort("\x1b!?");
        benchmark::DoNotOptimize(link.Manager->ReadFromPortWithin(1, DeadlineIn(200ms)));
    }
    state.SetLabel(Name(transport));
}
BENCHMARK(BM_StatusRoundTrip)->Arg(kUSB)->Arg(kCOM)->Arg(kLAN)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same exchange with a fixed 200 ms pause before the read, for comparison.
void BM_StatusRoundTripFixedPause(benchmark::State& state) {
    const auto transport = static_cast<Transport>(state.range(0));
    Link link(transport, Device::Mode::Answer);
    for (auto _ : state) {
        link.Manager->WriteToPort("\x1b!?");
        std::this_thread::sleep_for(200ms);
        benchmark::DoNotOptimize(link.Manager->ReadFromPort(1));
    }
    state.SetLabel(Name(transport));
}
BENCHMARK(BM_StatusRoundTripFixedPause)
    ->Arg(kUSB)
    ->Arg(kCOM)
    ->Arg(kLAN)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A label and the status query before the next, as the print job sends them: the small query
// must not wait for the label's acknowledgement.
void BM_LabelThenStatus(benchmark::State& state) {
    const auto transport = static_cast<Transport>(state.range(0));
    Link link(transport, Device::Mode::Labels);
    const std::string label(12 << 10, 'L');
    for (auto _ : state) {
        link.Manager->WriteToPort(label);
        link.Manager->WriteToPort("\x1b!?");
        benchmark::DoNotOptimize(link.Manager->ReadFromPortWithin(1, DeadlineIn(200ms)));
    }
    state.SetLabel(Name(transport));
}
BENCHMARK(BM_LabelThenStatus)->Arg(kLAN)->Unit(benchmark::kMillisecond)->UseRealTime();

// A label script of state.range(1) bytes written in one WriteToPort.
void BM_WriteScript(benchmark::State& state) {
    const auto transport = static_cast<Transport>(state.range(0));
    Link link(transport, Device::Mode::Drain);
    std::string script(static_cast<size_t>(state.range(1)), '\0');
    for (size_t i = 0; i < script.size(); ++i) script[i] = static_cast<char>(i * 13);
    for (auto _ : state) link.Manager->WriteToPort(script);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(1));
    state.SetLabel(Name(transport));
}
BENCHMARK(BM_WriteScript)
    ->ArgsProduct({{kUSB, kCOM, kLAN}, {16 << 10, 1 << 20}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
