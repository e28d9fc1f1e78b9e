// Label scripts from a realistic price-tag document: labels per second, bytes per label and
// the memory a 10,000-label job needs; the print job's two passes on builder threads against
// the single-thread build that keeps every script; the memory of a document read whole or a
// label at a time.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "driver/label_document.h"
#include "driver/label_pipeline.h"
#include "printer/tspl/printer_type_tspl.h"
#include "tests/common/base64.h"
#include "tests/common/bmp_fixture.h"

namespace quorvane {
namespace {

using test::Base64;

// A 96 x 48 24-bit BMP logo: a frame and a diagonal.
test::Bytes Logo() {
    constexpr int w = 96, h = 48;
    return test::MakeBmp(24, w, h, false, [](int x, int y) -> std::array<std::uint8_t, 4> {
        const int row = h - 1 - y;  // the file's rows run bottom-up
        const bool ink = x < 3 || row < 3 || x >= w - 3 || row >= h - 3 || x / 2 == row;
        const std::uint8_t v = ink ? 0 : 255;
        return {v, v, v, 255};
    });
}

std::string Ean13(long ANumber) {
    std::string digits = std::to_string(460000000000L + ANumber % 1000000000L);
    int sum = 0;
    for (int i = 0; i < 12; ++i) sum += (digits[i] - '0') * (i % 2 ? 3 : 1);
    return digits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

// 58 x 40 mm shelf label: product name, price and unit price in Cyrillic, EAN-13, static logo,
// QR Code printed as a picture, a frame, and two user-data lines.
std::string PriceTagDocument(int ALabels) {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Data><Formatting Width=\"58\" Height=\"40\">"
        "<Text FieldName=\"Name\" Left=\"2\" Top=\"2\" Width=\"54\" Height=\"10\" FontName=\"Arial\" "
        "FontSize=\"10\" Multiline=\"true\" Border=\"left top right bottom\" BorderWidth=\"2\"/>"
        "<Text FieldName=\"Price\" Left=\"2\" Top=\"13\" Width=\"30\" Height=\"10\" FontSize=\"26\" "
        "FontStyle=\"bold\" Align=\"Right\" VAlign=\"Center\"/>"
        "<Text FieldName=\"Unit\" Left=\"2\" Top=\"23\" Width=\"30\" Height=\"4\" FontSize=\"7\"/>"
        "<Barcode FieldName=\"EAN\" Type=\"ean13\" Left=\"3\" Top=\"28\" Width=\"30\" Height=\"8\" "
        "PrintHRI=\"true\"/>"
        "<Image FieldName=\"Logo\" Static=\"true\" Left=\"40\" Top=\"31\" Width=\"16\" Height=\"8\" "
        "Value=\"" +
        Base64(Logo()) +
        "\"/>"
        "<Barcode FieldName=\"QR\" Type=\"QRCode\" Left=\"38\" Top=\"13\" Width=\"17\" Height=\"17\"/>"
        "<UserData FieldName=\"Shift\"/><UserData FieldName=\"Note\"/>"
        "</Formatting><Labels>";
    for (int i = 0; i < ALabels; ++i) {
        const std::string n = std::to_string(i);
        doc += "<Label Quantity=\"" + std::to_string(1 + i % 3) +
               "\">"
               "<Record FieldName=\"Name\" Value=\"Молоко ультрапастеризованное 3,2% «Бурёнка» 1 л, "
               "партия " +
               n +
               "\"/>"
               "<Record FieldName=\"Price\" Value=\"" +
               std::to_string(79 + i % 120) +
               ",90 руб.\"/>"
               "<Record FieldName=\"Unit\" Value=\"Цена за 1 л: " +
               std::to_string(79 + i % 120) + ",90 руб. Артикул " + n +
               "\"/>"
               "<Record FieldName=\"EAN\" Value=\"" +
               Ean13(i) +
               "\"/>"
               "<Record FieldName=\"QR\" Value=\"https://shop.example/p/" +
               n +
               "?c=4607001234\"/>"
               "<Record FieldName=\"Shift\" Value=\"SHIFT " +
               std::to_string(i % 5) +
               "\"/>"
               "<Record FieldName=\"Note\" Value=\"REM Склад 3, ряд " +
               n +
               "\"/>"
               "</Label>";
    }
    return doc + "</Labels></Data>";
}

void Configure(TPrinterTSPL& APrinter, int AResolution) {
    APrinter.ApplySettings(AResolution, false, TTsplSettings());
}

// Peak resident memory since the last reset, in MiB.
double PeakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Parse, template and every label's script, streamed as the job would send them.
void BM_PriceTags(benchmark::State& AState) {
    const int resolution = static_cast<int>(AState.range(0));
    const int labels = static_cast<int>(AState.range(1));
    const std::string text = PriceTagDocument(labels);
    TDocumentSettings settings;
    std::size_t bytes = 0;
    std::size_t scripts = 0;
    for (auto _ : AState) {
        TPrinterTSPL printer;
        Configure(printer, resolution);
        const pugi::xml_document document = ParseLabelDocument(text);
        TLabelTemplate labelTemplate;
        LoadTemplate(document, labelTemplate, printer, settings);
        FillLabels(document, labelTemplate, printer, settings, [&](TScriptObject&& AScript) {
            bytes += AScript.FValue.size();
            ++scripts;
            benchmark::DoNotOptimize(AScript.FValue.data());
        });
    }
    AState.SetItemsProcessed(static_cast<std::int64_t>(scripts));
    AState.counters["bytes_per_label"] = static_cast<double>(bytes) / static_cast<double>(scripts);
}
BENCHMARK(BM_PriceTags)
    ->ArgNames({"dpi", "labels"})
    ->Args({203, 1})
    ->Args({203, 100})
    ->Args({203, 10000})
    ->Args({600, 1})
    ->Args({600, 100})
    ->Args({600, 10000})
    ->Unit(benchmark::kMillisecond);

// Peak memory of a 10,000-label job: every script held at once (the job's list, built before
// anything is sent) against scripts handed on one by one.
void BM_PeakMemory(benchmark::State& AState) {
    const int resolution = static_cast<int>(AState.range(0));
    const bool collect = AState.range(1) != 0;
    const std::string text = PriceTagDocument(10000);
    TDocumentSettings settings;
    double peak = 0;
    double before = 0;
    for (auto _ : AState) {
        ResetPeak();
        before = PeakMiB();
        TPrinterTSPL printer;
        Configure(printer, resolution);
        const pugi::xml_document document = ParseLabelDocument(text);
        TLabelTemplate labelTemplate;
        LoadTemplate(document, labelTemplate, printer, settings);
        if (collect) {
            const auto scripts = FillLabels(document, labelTemplate, printer, settings);
            benchmark::DoNotOptimize(scripts.data());
            peak = PeakMiB();
        } else {
            FillLabels(document, labelTemplate, printer, settings,
                       [](TScriptObject&& AScript) { benchmark::DoNotOptimize(AScript.FValue.data()); });
            peak = PeakMiB();
        }
    }
    AState.counters["peak_MiB"] = peak;
    AState.counters["growth_MiB"] = peak - before;
    AState.counters["document_MiB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_PeakMemory)
    ->ArgNames({"dpi", "collected"})
    ->Args({203, 1})
    ->Args({203, 0})
    ->Args({600, 1})
    ->Args({600, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A layout of AFields small text fields, and one label that fills each of them.
std::string ManyFieldsDocument(int AFields) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Data><Formatting Width=\"100\" Height=\"100\">";
    for (int i = 0; i < AFields; ++i)
        doc += "<Text FieldName=\"F" + std::to_string(i) + "\" Left=\"" + std::to_string(i % 90) + "\" Top=\"" +
               std::to_string(i / 90 % 95) + "\" Width=\"8\" Height=\"3\" FontSize=\"6\"/>";
    doc += "</Formatting><Labels><Label Quantity=\"1\">";
    for (int i = 0; i < AFields; ++i)
        doc += "<Record FieldName=\"F" + std::to_string(i) + "\" Value=\"" + std::to_string(i) + "\"/>";
    return doc + "</Label></Labels></Data>";
}

// Template building and filling as the number of fields grows: the time per field should stay
// flat from one size to the next (fields_per_s).
void BM_ManyFields(benchmark::State& AState) {
    const int fields = static_cast<int>(AState.range(0));
    const bool fill = AState.range(1) != 0;
    const std::string text = ManyFieldsDocument(fields);
    const pugi::xml_document document = ParseLabelDocument(text);
    TDocumentSettings settings;
    for (auto _ : AState) {
        TPrinterTSPL printer;
        Configure(printer, 203);
        TLabelTemplate labelTemplate;
        LoadTemplate(document, labelTemplate, printer, settings);
        if (fill)
            FillLabels(document, labelTemplate, printer, settings,
                       [](TScriptObject&& AScript) { benchmark::DoNotOptimize(AScript.FValue.data()); });
        benchmark::DoNotOptimize(labelTemplate.FieldCount());
    }
    AState.counters["fields_per_s"] =
        benchmark::Counter(static_cast<double>(fields) * static_cast<double>(AState.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ManyFields)
    ->ArgNames({"fields", "fill"})
    ->Args({4000, 0})
    ->Args({16000, 0})
    ->Args({4000, 1})
    ->Args({16000, 1})
    ->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A whole job as PrintLabels runs it, the port standing in as a sink that takes each script:
// mode 0 the print job (check, then build again as sent, on builder threads), mode 1 the
// single-thread build that keeps every script until the port opens. Reported: labels per
// second of wall time from the document text to the last script (and per CPU second), the
// time until the first script could go on the wire, and the peak memory growth of the job
// above the parsed document (the host's own text and its parse grow with any document).
void BM_Job(benchmark::State& AState) {
    using TClock = std::chrono::steady_clock;
    const int resolution = static_cast<int>(AState.range(0));
    const int labels = static_cast<int>(AState.range(1));
    const bool keepAll = AState.range(2) != 0;
    const std::string text = PriceTagDocument(labels);
    TDocumentSettings settings;
    double firstByte = 0, wall = 0, cpu = 0, growth = 0, documentGrowth = 0;
    std::size_t scripts = 0;
    for (auto _ : AState) {
        malloc_trim(0);
        ResetPeak();
        const double idle = PeakMiB();
        const TClock::time_point start = TClock::now();
        const double cpuStart = ProcessCpuSeconds();
        TPrinterTSPL printer;
        Configure(printer, resolution);
        const pugi::xml_document document = ParseLabelDocument(text);
        TLabelTemplate labelTemplate;
        LoadTemplate(document, labelTemplate, printer, settings);
        malloc_trim(0);
        ResetPeak();
        const double parsed = PeakMiB();
        bool first = true;
        auto send = [&](TScriptObject&& AScript) {
            if (first) {
                firstByte += std::chrono::duration<double>(TClock::now() - start).count();
                first = false;
            }
            ++scripts;
            benchmark::DoNotOptimize(AScript.FValue.data());
        };
        if (keepAll) {
            std::vector<TScriptObject> kept = FillLabels(document, labelTemplate, printer, settings);
            for (TScriptObject& script : kept) send(std::move(script));
        } else {
            TLabelJob job(document, labelTemplate, printer, settings);
            job.Check();
            job.Build(send);
        }
        wall += std::chrono::duration<double>(TClock::now() - start).count();
        cpu += ProcessCpuSeconds() - cpuStart;
        growth += PeakMiB() - parsed;
        documentGrowth += parsed - idle;
        AState.SetIterationTime(std::chrono::duration<double>(TClock::now() - start).count());
    }
    const double n = static_cast<double>(AState.iterations());
    AState.counters["labels_per_s"] = static_cast<double>(scripts) / wall;
    AState.counters["labels_per_cpu_s"] = static_cast<double>(scripts) / cpu;
    AState.counters["first_byte_s"] = firstByte / n;
    AState.counters["growth_MiB"] = growth / n;
    AState.counters["document_MiB"] = documentGrowth / n;
}
BENCHMARK(BM_Job)
    ->ArgNames({"dpi", "labels", "keep_all"})
    ->Args({203, 1, 0})
    ->Args({203, 1, 1})
    ->Args({203, 100, 0})
    ->Args({203, 100, 1})
    ->Args({600, 1, 0})
    ->Args({600, 1, 1})
    ->Args({600, 100, 0})
    ->Args({600, 100, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Job)
    ->ArgNames({"dpi", "labels", "keep_all"})
    ->Args({203, 10000, 0})
    ->Args({203, 10000, 1})
    ->Args({600, 10000, 0})
    ->Args({600, 10000, 1})
    ->Args({203, 100000, 0})
    ->Args({203, 100000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A whole job from the document's text at 203 dpi, its labels read from a tree of the whole
// document (reader 0) or a label at a time from the text (reader 1): peak memory growth above
// the text, which the host holds anyway, and time per label of wall and CPU time.
void BM_DocumentReading(benchmark::State& AState) {
    const int labels = static_cast<int>(AState.range(0));
    const bool streamed = AState.range(1) != 0;
    const std::string text = PriceTagDocument(labels);
    TDocumentSettings settings;
    double growth = 0, wall = 0, cpu = 0;
    std::size_t scripts = 0;
    for (auto _ : AState) {
        malloc_trim(0);
        ResetPeak();
        const double idle = PeakMiB();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        {
            TPrinterTSPL printer;
            Configure(printer, 203);
            std::optional<pugi::xml_document> tree;
            const TLabelDocument document =
                streamed ? ReadLabelDocument(text) : TLabelDocument(tree.emplace(ParseLabelDocument(text)));
            TLabelTemplate labelTemplate;
            LoadTemplate(document, labelTemplate, printer, settings);
            TLabelJob job(document, labelTemplate, printer, settings);
            job.Check();
            job.Build([&](TScriptObject&& AScript) {
                ++scripts;
                benchmark::DoNotOptimize(AScript.FValue.data());
            });
            growth += PeakMiB() - idle;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        wall += seconds;
        cpu += ProcessCpuSeconds() - cpuStart;
        AState.SetIterationTime(seconds);
    }
    const double n = static_cast<double>(AState.iterations());
    AState.counters["growth_MiB"] = growth / n;
    AState.counters["document_MiB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    AState.counters["us_per_label"] = wall * 1e6 / static_cast<double>(scripts);
    AState.counters["cpu_us_per_label"] = cpu * 1e6 / static_cast<double>(scripts);
}
BENCHMARK(BM_DocumentReading)
    ->ArgNames({"labels", "streamed"})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
