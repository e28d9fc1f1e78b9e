// The print job's two-pass, multi-threaded label build against the plain single-thread one.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/label_pipeline.h"
#include "printer/tspl/printer_type_tspl.h"
#include "tests/common/files.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

using test::ReadFile;

// A 1 x 1 white PNG and a 2 x 2 one.
const std::string kPng1 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAAAAAA6fptVAAAACklEQVR4nGP4DwABAQEAsTj2FAAAAABJRU5ErkJggg==";
const std::string kPng2 =
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAAAAABX3VL4AAAADElEQVR4nGNg+A+EAAYAAf+T0eSJAAAAAElFTkSuQmCC";

// Every kind of field, statics among them, and labels whose values repeat (every 7th price, a
// picture on every third label), vary, go missing or come twice.
std::string ManyLabels(int ACount, const std::string& AFailures = "") {
    std::string doc =
        "<Data><Formatting Width=\"58\" Height=\"40\">"
        "<Text FieldName=\"Name\" Left=\"2\" Top=\"2\" Width=\"54\" Height=\"8\" Multiline=\"true\"/>"
        "<Text FieldName=\"Price\" Left=\"2\" Top=\"11\" Width=\"30\" Height=\"9\" FontSize=\"20\" "
        "FontStyle=\"bold\" Align=\"right\" VAlign=\"center\" Orientation=\"180\"/>"
        "<Text FieldName=\"Shop\" Static=\"true\" Value=\"Лавка\" Left=\"2\" Top=\"21\" Width=\"20\" Height=\"4\"/>"
        "<Barcode FieldName=\"EAN\" Type=\"ean13\" Left=\"3\" Top=\"26\" Width=\"30\" Height=\"8\" PrintHRI=\"true\"/>"
        "<Barcode FieldName=\"QR\" Type=\"QRCode\" Left=\"38\" Top=\"11\" Width=\"17\" Height=\"17\"/>"
        "<Barcode FieldName=\"Code\" Type=\"code128\" Orientation=\"90\" Left=\"33\" Top=\"26\" Width=\"20\" Height=\"5\"/>"
        "<Image FieldName=\"Pic\" Left=\"50\" Top=\"30\" Width=\"6\" Height=\"6\"/>"
        "<UserData FieldName=\"Raw\"/></Formatting><Labels>";
    for (int i = 0; i < ACount; ++i) {
        const std::string n = std::to_string(i);
        doc += "<Label Quantity=\"" + std::to_string(i % 4) + "\">";
        if (i % 11 != 5) doc += "<Record FieldName=\"Name\" Value=\"Молоко «Бурёнка» партия " + n + "\"/>";
        doc += "<Record FieldName=\"Price\" Value=\"" + std::to_string(79 + i % 7) +
               ",90 ₽\"/>"
               "<Record FieldName=\"Shop\" Value=\"ignored\"/>"
               "<Record FieldName=\"EAN\" Value=\"460700177123" +
               std::to_string(i % 10) +
               "\"/>"
               "<Record FieldName=\"QR\" Value=\"" +
               (i % 5 ? "https://shop.example/p/" + n : "") +
               "\"/>"
               "<Record FieldName=\"Code\" Value=\"Ж-" +
               std::to_string(i % 3) +
               "\"/>"
               "<Record FieldName=\"Pic\" Value=\"" +
               (i % 3 ? kPng1 : kPng2) +
               "\"/>"
               "<Record FieldName=\"Raw\" Value=\"REM Ж " +
               n +
               "\"/>"
               "<Record FieldName=\"Name\" Value=\"second record\"/>";
        if (AFailures.size() > static_cast<std::size_t>(i) && AFailures[i] != '.') {
            const char kind = AFailures[i];
            const std::string field = kind == 'e' ? "EAN" : kind == 'p' ? "Pic" : "QR";
            const std::string value = kind == 'e'   ? "46070017712X3"
                                      : kind == 'p' ? "bm90IGEgcGljdHVyZQ=="
                                                    : std::string(8000, '9');
            // The failing record replaces the label's good one: records fill their field once.
            doc.insert(doc.find('>', doc.rfind("<Label")) + 1,
                       "<Record FieldName=\"" + field + "\" Value=\"" + value + "\"/>");
        }
        doc += "</Label>";
    }
    return doc + "</Labels></Data>";
}

struct TSetup {
    int Resolution;
    bool BarcodesAsPictures;
    std::string Codepage;
};

const std::vector<TSetup> kSetups = {{203, true, "1251"}, {600, false, "utf-8"}, {300, true, "866"}};

void Configure(TPrinterTSPL& APrinter, const TSetup& ASetup) {
    TTsplSettings tspl;
    tspl._2DBarcodeAsPicture = ASetup.BarcodesAsPictures;
    APrinter.ApplySettings(ASetup.Resolution, false, tspl);
}

TDocumentSettings Settings(const TSetup& ASetup) {
    TDocumentSettings settings;
    settings.Codepage = ASetup.Codepage;
    return settings;
}

struct TOutcome {
    std::vector<std::pair<std::int32_t, std::string>> Scripts;
    std::string Error;
};

// The plain build: every label in order on this thread, kept.
TOutcome Plain(const pugi::xml_document& ADocument, const TLabelTemplate& ATemplate, TPrinterTSPL& APrinter,
               const TDocumentSettings& ASettings) {
    TOutcome outcome;
    try {
        for (TScriptObject& script : FillLabels(ADocument, ATemplate, APrinter, ASettings))
            outcome.Scripts.emplace_back(script.FQuantity, std::move(script.FValue));
    } catch (const std::runtime_error& error) {
        outcome.Error = error.what();
    }
    return outcome;
}

TOutcome Job(const pugi::xml_document& ADocument, const TLabelTemplate& ATemplate, TPrinterTSPL& APrinter,
             const TDocumentSettings& ASettings, TLabelJobOptions AOptions) {
    TOutcome outcome;
    try {
        TLabelJob job(ADocument, ATemplate, APrinter, ASettings, AOptions);
        job.Check();
        job.Build([&](TScriptObject&& AScript) {
            outcome.Scripts.emplace_back(AScript.FQuantity, std::move(AScript.FValue));
        });
    } catch (const std::runtime_error& error) {
        EXPECT_TRUE(outcome.Scripts.empty()) << "a label was handed out before a failing one was found";
        outcome.Error = error.what();
    }
    return outcome;
}

// Inline and on worker threads, with a cache that keeps everything and one that must evict.
const std::vector<TLabelJobOptions> kJobs = {
    {1, std::size_t{16} << 20, 1000}, {2, std::size_t{16} << 20, 0}, {3, 4096, 0}};

void ExpectSameAsPlain(const std::string& AText, const std::string& AName,
                       const std::vector<TSetup>& ASetups = kSetups) {
    const pugi::xml_document document = ParseLabelDocument(AText);
    for (const TSetup& setup : ASetups) {
        TPrinterTSPL printer;
        Configure(printer, setup);
        const TDocumentSettings settings = Settings(setup);
        TLabelTemplate labelTemplate;
        LoadTemplate(document, labelTemplate, printer, settings);
        const TOutcome plain = Plain(document, labelTemplate, printer, settings);
        for (const TLabelJobOptions& options : kJobs) {
            SCOPED_TRACE(AName + " at " + std::to_string(setup.Resolution) + " dpi, " +
                         std::to_string(options.Workers) + " workers, cache " +
                         std::to_string(options.CacheBytes));
            const TOutcome job = Job(document, labelTemplate, printer, settings, options);
            EXPECT_EQ(job.Error, plain.Error);
            ASSERT_EQ(job.Scripts.size(), plain.Scripts.size());
            for (std::size_t i = 0; i < plain.Scripts.size(); ++i)
                ASSERT_TRUE(job.Scripts[i] == plain.Scripts[i]) << "label " << i + 1 << " differs";
        }
    }
}

TEST(LabelJob, EveryScriptIsByteIdenticalToThePlainBuild) {
    for (const auto& entry : fs::directory_iterator(QUORVANE_EXAMPLES_DIR))
        if (entry.path().extension() == ".xml")
            ExpectSameAsPlain(ReadFile(entry.path()), entry.path().filename().string());
    ExpectSameAsPlain(ManyLabels(150), "150 labels");
}

TEST(LabelJob, TheFirstFailingLabelInDocumentOrderIsReportedAndNothingIsHandedOut) {
    // e: EAN-13 with a letter, p: a picture that does not decode, q: a QR Code too long.
    for (const std::string& failures :
         {std::string(40, '.') + "p.e", std::string(20, '.') + "e" + std::string(20, '.') + "q",
          std::string(45, '.') + "q", std::string(2, '.') + "p"})
        ExpectSameAsPlain(ManyLabels(50, failures),
                          "failures " + failures.substr(failures.find_first_not_of('.')), {kSetups[0]});
}

TEST(LabelJob, RepeatedValuesAreRenderedOnce) {
    std::string labels;
    for (int i = 0; i < 60; ++i)
        labels +=
            "<Label Quantity=\"1\"><Record FieldName=\"P\" Value=\"99,90\"/>"
            "<Record FieldName=\"I\" Value=\"" +
            kPng1 + "\"/></Label>";
    const pugi::xml_document document = ParseLabelDocument(
        "<Data><Formatting Width=\"40\" Height=\"30\"><Text FieldName=\"P\" Left=\"1\" Top=\"1\" "
        "Width=\"30\" Height=\"10\"/><Image FieldName=\"I\" Left=\"1\" Top=\"12\" Width=\"5\" "
        "Height=\"5\"/></Formatting><Labels>" +
        labels + "</Labels></Data>");
    TPrinterTSPL printer;
    Configure(printer, kSetups[0]);
    const TDocumentSettings settings = Settings(kSetups[0]);
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, printer, settings);
    TLabelJob job(document, labelTemplate, printer, settings, {2, std::size_t{1} << 20, 0});
    job.Check();
    std::size_t built = 0;
    job.Build([&](TScriptObject&&) { ++built; });
    EXPECT_EQ(built, 60U);
    // The picture twice and the text once, give or take a render two threads did at once;
    // without the cache it would be 180.
    EXPECT_LE(job.Renders(), 6U);
}

}  // namespace
}  // namespace quorvane
