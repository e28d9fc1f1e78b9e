#include "tools/host/script_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <stdexcept>

#include "driver/driver.h"
#include "driver/label_document.h"
#include "text/ascii_text.h"
#include "text/same_text.h"

namespace quorvane::host {

namespace {

bool RunScript(THostSession& ASession, const std::vector<std::string>& AArgs) {
    std::string file;
    std::string outDir;
    bool toOutput = false;  // -o -: standard output even when it is a terminal
    bool fullBitmaps = false;
    for (std::size_t i = 0; i < AArgs.size(); ++i) {
        const std::string& arg = AArgs[i];
        if (arg == "--out" || arg == "-o") {
            if (i + 1 >= AArgs.size()) throw std::invalid_argument(arg + " needs a value");
            outDir = AArgs[++i];
            toOutput = outDir == "-";
            if (toOutput) outDir.clear();
        } else if (arg == "--full-bitmaps") {
            fullBitmaps = true;
        } else if (file.empty()) {
            file = arg;
        } else {
            throw std::invalid_argument("one document at a time: " + arg);
        }
    }
    if (file.empty()) throw std::invalid_argument("usage: script FILE.xml [--out DIR | -o -] [--full-bitmaps]");
    if (outDir.empty() && !toOutput && ASession.OutIsTerminal)
        throw std::invalid_argument(
            "the scripts hold binary data: give --out DIR, or -o - to write them here anyway");
    const std::string text = ASession.ReadInput(file);

    try {
        // The run's settings, replayed into the driver's own code; the log stays with the component.
        TDriver driver;
        for (const auto& [name, value] : ASession.Settings) {
            if (SameTextIgnoreCase(name, "LogEnabled") || SameTextIgnoreCase(name, "ЛогВключен")) continue;
            THostValues record(ASession.Memory);
            driver.PropertySet(name, record.Add(ParseTypedValue(ASession.Memory, value)));
        }
        // Every label is checked before anything is written, as nothing is sent on a failure,
        // then built again as it is written: memory does not grow with the job.
        const pugi::xml_document document = ParseLabelDocument(text);
        if (outDir.empty()) {
            driver.BuildScripts(document, [&](TScriptObject&& AScript) {
                ASession.Out.write(AScript.FValue.data(),
                                   static_cast<std::streamsize>(AScript.FValue.size()));
            }, fullBitmaps);
            ASession.Out.flush();
            return static_cast<bool>(ASession.Out);
        }
        std::filesystem::create_directories(outDir);
        // The files are named after the printer language: label-00001.tspl.
        std::string extension = driver.PrinterLanguage();
        for (char& c : extension) c = LowerAscii(c);
        std::size_t written = 0;
        driver.BuildScripts(document, [&](TScriptObject&& AScript) {
            char name[32];
            std::snprintf(name, sizeof name, "label-%05zu.", ++written);
            const std::filesystem::path path = std::filesystem::path(outDir) / (name + extension);
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(AScript.FValue.data(), static_cast<std::streamsize>(AScript.FValue.size()));
            if (!out) throw std::runtime_error("cannot write " + path.string());
        }, fullBitmaps);
        ASession.Out << written << (written == 1 ? " label script" : " label scripts") << " written to "
                     << outDir << "\n";
        return true;
    } catch (const std::exception& error) {
        ASession.Err << "script failed: " << error.what() << "\n";
        return false;
    }
}

}  // namespace

void AddScriptCommand(THostCommandTable& ATable) {
    ATable.Add(
        {"script", "FILE.xml [--out DIR | -o -] [--full-bitmaps]",
         "the printer scripts of a label document, built without a printer: one file per label into DIR, "
         "or all to standard output (-o - also to a terminal); --full-bitmaps sends every bitmap over its "
         "whole box, as the proof that the usual ink-only bitmaps print the same compares against",
         1, 4, RunScript, true});
}

}  // namespace quorvane::host
