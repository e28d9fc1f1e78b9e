// Processor time of the log window over ten seconds while the shown day file, already ~10 MB,
// gets a record every 100 ms: the cost of following a busy driver's log.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "errors/messages.h"
#include "tests/viewer/x_session.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// User and system time of a process so far, in seconds.
double ProcessorSeconds(pid_t APid) {
    std::ifstream in("/proc/" + std::to_string(APid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    long user = 0, system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void AppendRecords(const fs::path& AFile, int ACount) {
    std::ofstream out(AFile, std::ios::binary | std::ios::app);
    for (int i = 0; i < ACount; ++i)
        out << "2026.12.08 10:00:00.000\tINFO\tВызов метода PrintLabels: " << i
            << " — параметры документа этикеток, достаточно длинные, чтобы строка переносилась\r\n";
}

void BM_LogWindowFollowingAGrowingFile(benchmark::State& AState) {
    char pattern[] = "/tmp/qv-viewer-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        AState.SkipWithError("no temporary folder");
        return;
    }
    const fs::path folder = pattern;
    const fs::path file = folder / "quorvane_2026.12.08.log";
    AppendRecords(file, 70000);  // about 10 MB
    test::TXvfb x;
    // QUORVANE_VIEWER in the environment measures another build of the program.
    const char* program = std::getenv("QUORVANE_VIEWER");
    test::TChildProcess viewer({program != nullptr ? program : QUORVANE_VIEWER, "log", folder.string()},
                               x.Env());
    if (!test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 60s)) {
        AState.SkipWithError("no log window");
        fs::remove_all(folder);
        return;
    }
    // The first load and its layout are not what is measured: wait until the window is idle
    // (or a minute has gone).
    for (int i = 0; i < 60; ++i) {
        const double start = ProcessorSeconds(viewer.Pid());
        std::this_thread::sleep_for(1s);
        if (ProcessorSeconds(viewer.Pid()) - start < 0.05) break;
    }
    for (auto _ : AState) {
        const double before = ProcessorSeconds(viewer.Pid());
        for (int i = 0; i < 100; ++i) {
            AppendRecords(file, 1);
            std::this_thread::sleep_for(100ms);
        }
        AState.SetIterationTime(10.0);
        AState.counters["cpu_seconds_in_10s"] = ProcessorSeconds(viewer.Pid()) - before;
    }
    viewer.Stop();
    fs::remove_all(folder);
}
BENCHMARK(BM_LogWindowFollowingAGrowingFile)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quorvane
