// The print job against the virtual printer's mechanics (quorvane-printer --mechanics keeps
// answering "printing" for copies x (label length + gap) / SPEED after each label): how close
// the driver comes to the printer's own limit, and what a label costs the driver in CPU time.
//
// BM_PriceTags/<dpi>: 100 price tags (58 x 40 mm, gap 3 mm, SPEED 4) through the component as
// the platform loads it, over TCP. BM_FixedPauseBaseline: the same labels with the fixed 200 ms
// pauses of the plain status exchange, for comparison. BM_LabelsPerMinute/<label>/<baud>: the
// price tag and a 30 x 20 mm label over TCP (baud 0) and a serial line of 9600 or 115200 baud.
// BM_WaitBetweenLabels/<0|1>: the wait between labels without and with an expected end, in turn.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <pugixml.hpp>

#include "addin/wide_string.h"
#include "driver/label_document.h"
#include "driver/print_job.h"
#include "driver/printer_status_wait.h"
#include "printer/tspl/printer_type_tspl.h"
#include "tests/common/files.h"
#include "tools/host/host_component.h"
#include "transport/port_manager.h"

namespace quorvane {
namespace {

constexpr int kLabels = 100;
constexpr double kSpeed = 4;         // inches per second
constexpr double kLabelMm = 40 + 3;  // label height plus gap

double MechanicalLimit() { return kSpeed * 25.4 / kLabelMm; }

// quorvane-printer in its own process, so the CPU time measured here is the driver's alone.
// Over TCP by default; with a pty link, on a pseudo-terminal paced at ABaud (0: unpaced).
class PrinterProcess {
public:
    explicit PrinterProcess(int ADpi, const std::string& APtyLink = "", int ABaud = 0) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            const std::string dpi = std::to_string(ADpi);
            const std::string baud = std::to_string(ABaud);
            if (APtyLink.empty())
                ::execl(QUORVANE_PRINTER_PROGRAM, QUORVANE_PRINTER_PROGRAM, "--listen", "127.0.0.1:0",
                        "--mechanics", "--dpi", dpi.c_str(), "--jobs", "1", static_cast<char*>(nullptr));
            else if (ABaud == 0)
                ::execl(QUORVANE_PRINTER_PROGRAM, QUORVANE_PRINTER_PROGRAM, "--listen", "off", "--pty",
                        APtyLink.c_str(), "--mechanics", "--dpi", dpi.c_str(), "--jobs", "1",
                        static_cast<char*>(nullptr));
            else
                ::execl(QUORVANE_PRINTER_PROGRAM, QUORVANE_PRINTER_PROGRAM, "--listen", "off", "--pty",
                        APtyLink.c_str(), "--baud", baud.c_str(), "--mechanics", "--dpi", dpi.c_str(),
                        "--jobs", "1", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        if (APtyLink.empty()) {
            std::string line;
            char c;
            while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
            FPort = std::stoi(line);
        } else {
            for (int i = 0; i < 500 && !std::filesystem::is_symlink(APtyLink); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::close(out[0]);
    }
    // The printer ends by itself once it has read and drawn its one job; a stop signal only
    // for one that never comes.
    ~PrinterProcess() { WaitForEnd(); }
    // Waits until the printer has taken its whole job and ended; false when it had to be stopped.
    bool WaitForEnd() {
        if (FPid < 0) return true;
        for (int i = 0; i < 120000; ++i) {
            if (::waitpid(FPid, nullptr, WNOHANG) == FPid) {
                FPid = -1;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(FPid, SIGTERM);
        ::waitpid(FPid, nullptr, 0);
        FPid = -1;
        return false;
    }
    int Port() const { return FPort; }

private:
    pid_t FPid = -1;
    int FPort = 0;
};

// The example price tag's layout with ACount labels of different goods.
std::string PriceTags(int ACount = kLabels) {
    pugi::xml_document doc;
    doc.load_string(test::ReadFile(std::string(QUORVANE_EXAMPLES_DIR) + "/price_tag.xml").c_str());
    pugi::xml_node labels = doc.document_element().child("Labels");
    pugi::xml_document model;
    model.append_copy(labels.child("Label"));
    while (labels.first_child()) labels.remove_child(labels.first_child());
    for (int i = 0; i < ACount; ++i) {
        pugi::xml_node label = labels.append_copy(model.first_child());
        label.attribute("Quantity") = "1";
        for (pugi::xml_node record : label.children("Record")) {
            const std::string field = record.attribute("FieldName").value();
            const std::string n = std::to_string(100000 + i);
            if (field == "Name") record.attribute("Value") = ("Товар № " + n + ", упаковка 250 г").c_str();
            if (field == "Price") record.attribute("Value") = (std::to_string(50 + i) + ",90 ₽").c_str();
            if (field == "Link") record.attribute("Value") = ("https://shop.example/p/" + n).c_str();
            if (field == "Article") record.attribute("Value") = ("арт. " + n).c_str();
        }
    }
    std::ostringstream text;
    doc.save(text);
    return text.str();
}

// A small 30 x 20 mm label, ACount of them: a product name and its Code 128.
std::string SmallLabels(int ACount) {
    std::string text =
        "<Data><Formatting Width=\"30\" Height=\"20\">"
        "<Text FieldName=\"Name\" Left=\"1\" Top=\"1\" Width=\"28\" Height=\"8\" FontName=\"Arial\" "
        "FontSize=\"8\" Multiline=\"True\"/>"
        "<Barcode FieldName=\"Code\" Type=\"Code128\" Left=\"2\" Top=\"10\" Width=\"26\" Height=\"8\" "
        "PrintHRI=\"False\"/></Formatting><Labels>";
    for (int i = 0; i < ACount; ++i) {
        const std::string n = std::to_string(100000 + i);
        text += "<Label Quantity=\"1\"><Record FieldName=\"Name\" Value=\"Товар № " + n +
                "\"/><Record FieldName=\"Code\" Value=\"" + n + "\"/></Label>";
    }
    return text + "</Labels></Data>";
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Report(benchmark::State& AState, double ASeconds, double ACpuSeconds) {
    const double rate = kLabels / ASeconds;
    AState.counters["labels_per_s"] = rate;
    AState.counters["limit_per_s"] = MechanicalLimit();
    AState.counters["of_limit_pct"] = 100 * rate / MechanicalLimit();
    AState.counters["cpu_ms_per_label"] = 1000 * ACpuSeconds / kLabels;
}

// The component through the host harness, as the platform drives it.
class Component {
public:
    Component() : FLibrary(QUORVANE_COMPONENT), FObject(FLibrary, u"quorvane", FMemory, FConnection) {}

    void Set(const std::string& AName, const V8Variant& AValue) {
        host::THostValues params(FMemory);
        params.Add(host::StringValue(FMemory, AName));
        params.Add(AValue);
        Call(u"SetParameter", params);
    }
    void Set(const std::string& AName, const std::string& AValue) {
        Set(AName, host::StringValue(FMemory, AValue));
    }

    void Call(std::u16string_view AMethod, host::THostValues& AParams) {
        host::THostValues result(FMemory);
        if (!FObject.Call(AMethod, AParams, result) || !result[0].VarEnum.bVal) {
            host::THostValues error(FMemory);
            error.Add(host::EmptyValue());
            host::THostValues code(FMemory);
            FObject.Call(u"GetLastError", error, code);
            const auto& text = error[0].VarEnum.vtRecWideString;
            throw std::runtime_error(WideToUtf8(std::u16string_view(text.pwstrVal, text.wstrLen)));
        }
    }
    void Call(std::u16string_view AMethod) {
        host::THostValues params(FMemory);
        params.Add(host::StringValue(FMemory, ""));
        Call(AMethod, params);
    }
    void PrintLabels(const std::string& ADocument) {
        host::THostValues params(FMemory);
        params.Add(host::StringValue(FMemory, ""));
        params.Add(host::StringValue(FMemory, ADocument));
        params.Add(host::StringValue(FMemory, ""));
        Call(u"PrintLabels", params);
    }
    host::THostMemoryManager& Memory() { return FMemory; }

private:
    host::TComponentLibrary FLibrary;
    host::THostMemoryManager FMemory;
    host::THostConnection FConnection;
    host::THostObject FObject;
};

// The schema's defaults where the layouts need them, and SPEED 4.
void SetLabelSettings(Component& component, int dpi) {
    component.Set("LogEnabled", host::BoolValue(false));
    component.Set("Resolution", host::IntValue(dpi));
    component.Set("Speed", host::IntValue(static_cast<int>(kSpeed)));
    component.Set("Density", host::IntValue(7));
    component.Set("Gap", host::IntValue(3));
    component.Set("Codepage", "1251");
    component.Set("BarcodeNarrow", host::IntValue(2));
    component.Set("_2DBarcodeAsPicture", host::BoolValue(true));
    component.Set("DataMatrixModuleSize", host::IntValue(3));
    component.Set("DataMatrixSize", "10x10");
    component.Set("QRCodeECCLevel", "M");
    component.Set("QRCodeCellWidth", host::IntValue(4));
    component.Set("QRCodeMode", "A");
    component.Set("QRCodeModel", "M1");
}

void BM_PriceTags(benchmark::State& AState) {
    const int dpi = static_cast<int>(AState.range(0));
    PrinterProcess printer(dpi);
    Component component;
    SetLabelSettings(component, dpi);
    component.Set("InterfaceType", host::IntValue(2));
    component.Set("IPAddress", "127.0.0.1");
    component.Set("IPPort", host::IntValue(printer.Port()));
    component.Call(u"Open");
    const std::string document = PriceTags();
    for (auto _ : AState) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds();
        component.PrintLabels(document);
        const double cpuUsed = CpuSeconds() - cpu;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // The last label is still printing when the call returns; its print time belongs to the job.
        const double wholeJob = seconds + kLabelMm / 25.4 / kSpeed;
        AState.SetIterationTime(wholeJob);
        Report(AState, wholeJob, cpuUsed);
    }
    component.Call(u"Close");
}
BENCHMARK(BM_PriceTags)->Arg(203)->Arg(600)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Labels per minute of the example price tag and of a small 30 x 20 mm label over TCP and over a
// serial line (the virtual printer's pseudo-terminal paced at 9600 or 115200 baud), against
// the printer's mechanical limit, the line's own (bytes per label x 10 bits / baud) and both
// in turn (wire time plus print time per label). A job lasts until the printer has taken its
// last byte, plus the last label's print time.
struct TLabelKind {
    const char* Name;
    double FeedMm;  // label height plus gap
    std::string (*Document)(int ACount);
};
const TLabelKind kKinds[] = {{"price tag 58 x 40 mm", 40 + 3, PriceTags},
                             {"30 x 20 mm", 20 + 3, SmallLabels}};

// The bytes the driver sends for one label of the kind, built as the component builds them.
double BytesPerLabel(const TLabelKind& AKind, int ADpi) {
    TPrinterTSPL tspl;
    tspl.ApplySettings(ADpi, false, TTsplSettings{});
    TDocumentSettings settings;
    settings.Speed = kSpeed;
    const pugi::xml_document document = ParseLabelDocument(AKind.Document(10));
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, tspl, settings);
    double bytes = 0;
    const std::vector<TScriptObject> scripts = FillLabels(document, labelTemplate, tspl, settings);
    for (const TScriptObject& script : scripts) bytes += static_cast<double>(script.FValue.size());
    return bytes / static_cast<double>(scripts.size());
}

void BM_LabelsPerMinute(benchmark::State& AState) {
    const TLabelKind& kind = kKinds[AState.range(0)];
    const int baud = static_cast<int>(AState.range(1));
    constexpr int dpi = 203;
    // As the printer reckons: whole dots at dpi / 25 per millimetre, SPEED in inches per second.
    const double printSeconds = kind.FeedMm * (dpi / 25) / dpi / kSpeed;
    const double bytes = BytesPerLabel(kind, dpi);
    const double wireSeconds = baud != 0 ? bytes * 10 / baud : 0;
    // About half a minute of work, however slow the line.
    const int count = std::clamp(static_cast<int>(30 / std::max(printSeconds, wireSeconds)), 4, 100);
    const std::string document = kind.Document(count);

    char pattern[] = "/tmp/quorvane-line-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    const std::string link = dir + "/printer";
    PrinterProcess printer(dpi, baud != 0 ? link : "", baud);
    Component component;
    SetLabelSettings(component, dpi);
    if (baud != 0) {
        ::setenv("QUORVANE_COM61", link.c_str(), 1);
        component.Set("InterfaceType", host::IntValue(1));
        component.Set("COMPort", host::IntValue(61));
        component.Set("BaudRate", host::IntValue(baud));
        component.Set("DataBits", host::IntValue(8));
    } else {
        component.Set("InterfaceType", host::IntValue(2));
        component.Set("IPAddress", "127.0.0.1");
        component.Set("IPPort", host::IntValue(printer.Port()));
    }
    component.Call(u"Open");
    // Open's own session on the pty ends once the printer has seen its close; bytes of a session
    // opened before that would join it.
    if (baud != 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (auto _ : AState) {
        const auto start = std::chrono::steady_clock::now();
        component.PrintLabels(document);
        const auto sent = std::chrono::steady_clock::now();
        if (!printer.WaitForEnd()) AState.SkipWithError("the printer did not end its job");
        AState.counters["after_return_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() + printSeconds;
        AState.SetIterationTime(seconds);
        const double rate = 60 * count / seconds;
        const double mechanical = 60 / printSeconds;
        const double line = baud != 0 ? 60 / wireSeconds : 0;
        AState.counters["labels"] = count;
        AState.counters["bytes_per_label"] = bytes;
        AState.counters["labels_per_min"] = rate;
        AState.counters["mechanical_per_min"] = mechanical;
        AState.counters["line_per_min"] = line;
        // The printer is asked before each label and takes it only when done with the one before:
        // on a serial line each label costs its time on the wire and its print time in turn.
        const double inTurn = 60 / (printSeconds + wireSeconds);
        AState.counters["in_turn_per_min"] = inTurn;
        AState.counters["of_limit_pct"] = 100 * rate / (line != 0 ? std::min(mechanical, line) : mechanical);
        AState.counters["of_in_turn_pct"] = 100 * rate / inTurn;
    }
    AState.SetLabel(std::string(kind.Name) + (baud != 0 ? ", " + std::to_string(baud) + " baud" : ", TCP"));
    component.Call(u"Close");
    ::unsetenv("QUORVANE_COM61");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LabelsPerMinute)
    ->ArgsProduct({{0, 1}, {0, 9600, 115200}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The wait between labels on its own, both ways in turn under the same load: 60 labels of
// 30 x 20 mm over TCP, the printer asked every 20 ms while it prints (0) or first shortly
// before the end the label's print time predicts (1).
void BM_WaitBetweenLabels(benchmark::State& AState) {
    const bool expect = AState.range(0) != 0;
    constexpr int dpi = 203;
    constexpr int count = 60;
    const double printSeconds = kKinds[1].FeedMm * (dpi / 25) / dpi / kSpeed;
    PrinterProcess printer(dpi);
    TPrinterTSPL tspl;
    tspl.ApplySettings(dpi, false, TTsplSettings{});
    TDocumentSettings settings;
    settings.Speed = kSpeed;
    const pugi::xml_document document = ParseLabelDocument(SmallLabels(count));
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, tspl, settings);
    const std::vector<TScriptObject> scripts = FillLabels(document, labelTemplate, tspl, settings);
    TPortManager port("127.0.0.1", printer.Port());
    TPrintJobOptions options;
    options.CopyPrintMs = expect ? labelTemplate.CopyPrintMs() : 0;
    for (auto _ : AState) {
        const auto start = std::chrono::steady_clock::now();
        SendLabelScripts(port, tspl, scripts, options);
        printer.WaitForEnd();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() + printSeconds;
        AState.SetIterationTime(seconds);
        AState.counters["of_limit_pct"] = 100 * count * printSeconds / seconds;
    }
}
BENCHMARK(BM_WaitBetweenLabels)
    ->Arg(0)
    ->Arg(1)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The same job sent with the plain exchange: a fixed 200 ms before every read of the status
// byte, whenever it arrives.
void BM_FixedPauseBaseline(benchmark::State& AState) {
    PrinterProcess printer(203);
    TPrinterTSPL tspl;
    tspl.ApplySettings(203, false, TTsplSettings{});
    TDocumentSettings settings;
    settings.Speed = kSpeed;
    const pugi::xml_document document = ParseLabelDocument(PriceTags());
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, tspl, settings);
    const std::vector<TScriptObject> scripts = FillLabels(document, labelTemplate, tspl, settings);
    TPortManager port("127.0.0.1", printer.Port());
    const TStatusExchange exchange{
        [&port](std::string_view ABytes) { port.WriteToPort(std::string(ABytes)); },
        [&port](int AWindowMs) -> std::optional<std::uint8_t> {
            std::this_thread::sleep_for(std::chrono::milliseconds(AWindowMs));
            const std::string byte = port.ReadFromPort(1);
            if (byte.empty()) return std::nullopt;
            return static_cast<std::uint8_t>(byte[0]);
        },
        [](int AMs) { std::this_thread::sleep_for(std::chrono::milliseconds(AMs)); },
        [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        },
    };
    for (auto _ : AState) {
        const auto start = std::chrono::steady_clock::now();
        port.OpenPort();
        for (const TScriptObject& script : scripts) {
            WaitPrinterReady(exchange, tspl);
            port.WriteToPort(script.FValue);
        }
        port.ClosePort();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() +
            kLabelMm / 25.4 / kSpeed;
        AState.SetIterationTime(seconds);
        Report(AState, seconds, 0);
    }
}
BENCHMARK(BM_FixedPauseBaseline)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
