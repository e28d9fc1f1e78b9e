// How fast the virtual printer reads and draws, so end-to-end benchmarks of the driver can
// tell the emulator's share from their own.
#include <netinet/in.h>
#include <sys/socket.h>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include <filesystem>

#include "tools/printer/printer_server.h"

namespace quorvane {
namespace {

// A 58 x 40 mm label like the driver sends: a text bitmap, a linear and a 2D symbol.
std::string TypicalLabel() {
    std::string job =
        "SIZE 58 mm,40 mm\r\nGAP 2 mm,0\r\nSPEED 4\r\nDENSITY 8\r\nDIRECTION 0,0\r\nCLS\r\nCODEPAGE 1251\r\n";
    job += "BITMAP 8,16,30,160,1," + std::string(30 * 160, '\xf0') + "\r\n";
    job += "BARCODE 16,180,\"EAN13\",80,2,0,2,4,\"460123456789\"\r\n";
    job += "QRCODE 300,16,M,4,A,0,\"https://example.com/item/0123456789\"\r\n";
    job += "TEXT 16,290,\"3\",0,1,1,\"Price 123.45\"\r\n";
    job += "PRINT 1\r\n";
    return job;
}

void BM_ReadAndDrawLabel(benchmark::State& state) {
    PrinterOptions options;
    PrinterJournal journal;
    StatusModel status;
    VirtualPrinter printer(options, journal, status);
    const std::string job = TypicalLabel();
    for (auto _ : state) {
        benchmark::DoNotOptimize(printer.Feed(job));
        printer.EndJob();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * job.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadAndDrawLabel)->Unit(benchmark::kMillisecond);

// The same with the PNG and the raw job written, as the program does with --out.
void BM_ReadDrawAndWritePng(benchmark::State& state) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quorvane-vp-bench-" + std::to_string(::getpid()));
    PrinterOptions options;
    options.outDir = dir.string();
    std::filesystem::create_directories(dir);
    PrinterJournal journal;
    StatusModel status;
    VirtualPrinter printer(options, journal, status);
    const std::string job = TypicalLabel();
    for (auto _ : state) {
        benchmark::DoNotOptimize(printer.Feed(job));
        printer.EndJob();
    }
    state.SetItemsProcessed(state.iterations());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReadDrawAndWritePng)->Unit(benchmark::kMillisecond);

void BM_LabelOverTcp(benchmark::State& state) {
    PrinterOptions options;
    options.listen = "127.0.0.1:0";
    PrinterServer server(options);
    server.Start();
    const std::string job = TypicalLabel() + "\x1b!?";
    int done = 0;
    for (auto _ : state) {
        TFileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(server.Port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            state.SkipWithError("connect failed");
            break;
        }
        std::size_t sent = 0;
        while (sent < job.size()) {
            ssize_t n = ::send(fd.Get(), job.data() + sent, job.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        char status;
        benchmark::DoNotOptimize(::recv(fd.Get(), &status, 1, 0));  // the label has been drawn
        fd.Reset();
        server.WaitForJobs(++done, std::chrono::seconds(10));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LabelOverTcp)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
