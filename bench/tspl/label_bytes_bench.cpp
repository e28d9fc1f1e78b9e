// Bytes per label of every example at 203, 300 and 600 dpi, with the BITMAP commands over their
// whole boxes (before) and cut down to their ink (after), and the time a label takes to build.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/label_document.h"
#include "driver/label_pipeline.h"
#include "printer/tspl/printer_type_tspl.h"
#include "tests/common/files.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Every label's script of the document, one label at a time as a print job builds them.
std::vector<std::string> Scripts(const std::string& AText, int AResolution, bool AFullBitmaps) {
    TPrinterTSPL printer;
    printer.ApplySettings(AResolution, false, TTsplSettings());
    const TDocumentSettings settings;
    const pugi::xml_document document = ParseLabelDocument(AText);
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, printer, settings);
    TLabelJobOptions options;
    options.FullBitmaps = AFullBitmaps;
    TLabelJob job(document, labelTemplate, printer, settings, options);
    job.Check();
    std::vector<std::string> scripts;
    job.Build([&](TScriptObject&& AScript) { scripts.push_back(std::move(AScript.FValue)); });
    return scripts;
}

double BytesPerLabel(const std::vector<std::string>& AScripts) {
    double bytes = 0;
    for (const std::string& script : AScripts) bytes += static_cast<double>(script.size());
    return AScripts.empty() ? 0 : bytes / static_cast<double>(AScripts.size());
}

void BM_LabelBytes(benchmark::State& AState, const fs::path& AExample, int AResolution) {
    const std::string text = test::ReadFile(AExample);
    const double before = BytesPerLabel(Scripts(text, AResolution, true));
    std::size_t labels = 0;
    double after = 0;
    for (auto _ : AState) {
        const std::vector<std::string> scripts = Scripts(text, AResolution, false);
        after = BytesPerLabel(scripts);
        labels += scripts.size();
    }
    AState.SetItemsProcessed(static_cast<std::int64_t>(labels));
    AState.counters["bytes_before"] = before;
    AState.counters["bytes_after"] = after;
    AState.counters["after_pct"] = before > 0 ? 100.0 * after / before : 0;
}

const bool kRegistered = [] {
    std::vector<fs::path> examples;
    for (const auto& entry : fs::directory_iterator(QUORVANE_EXAMPLES_DIR))
        if (entry.path().extension() == ".xml") examples.push_back(entry.path());
    std::sort(examples.begin(), examples.end());
    for (const fs::path& example : examples)
        for (const int dpi : {203, 300, 600})
            benchmark::RegisterBenchmark((example.stem().string() + "/dpi:" + std::to_string(dpi)).c_str(),
                                         BM_LabelBytes, example, dpi)
                ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
}  // namespace quorvane

BENCHMARK_MAIN();
