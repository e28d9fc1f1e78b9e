// The generator's scripts as a printer sees them: fed to the virtual printer, drawn, and the
// barcodes read back from the drawing.

#include <gtest/gtest.h>

#include <ZXing/ReadBarcode.h>
#include <ZXing/TextUtfEncoding.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/label_document.h"
#include "log/driver_log.h"
#include "printer/tspl/printer_type_tspl.h"
#include "tests/virtual_printer/printer_test_support.h"
#include "tools/printer/virtual_printer.h"

namespace quorvane {
namespace {

std::string Read(const MonoImage& AImage, ZXing::BarcodeFormat AFormat) {
    std::vector<std::uint8_t> grey(AImage.dots.size());
    for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = AImage.dots[i] ? 0 : 255;
    const ZXing::ImageView view(grey.data(), AImage.width, AImage.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(AFormat);
    return ZXing::TextUtfEncoding::ToUtf8(ZXing::ReadBarcode(view, hints).text());
}

long long BlackIn(const MonoImage& AImage, int AX, int AY, int AW, int AH) {
    long long black = 0;
    for (int y = AY; y < AY + AH && y < AImage.height; ++y)
        for (int x = AX; x < AX + AW && x < AImage.width; ++x) black += AImage.At(x, y);
    return black;
}

struct TPrinted {
    std::vector<std::string> Problems;
    std::vector<RenderedLabel> Labels;
};

TPrinted PrintOn(const std::string& AJob, int ADpi) {
    PrinterOptions options;
    options.listen = "off";
    options.dpi = ADpi;
    options.keepLabels = true;
    PrinterJournal journal;
    StatusModel status;
    VirtualPrinter device(options, journal, status);
    device.Feed(AJob);
    device.EndJob();
    TPrinted printed;
    for (const JournalEntry& entry : journal.Entries())
        if (entry.kind == "problem") printed.Problems.push_back(entry.command + ": " + entry.detail);
    printed.Labels = device.Labels();
    return printed;
}

const char* kPriceTag =
    "<Data><Formatting Width=\"58\" Height=\"40\">"
    "<Text FieldName=\"Name\" Left=\"2\" Top=\"2\" Width=\"54\" Height=\"10\" FontSize=\"10\" "
    "Multiline=\"true\" Border=\"left top right bottom\" BorderWidth=\"2\"/>"
    "<Text FieldName=\"Price\" Left=\"2\" Top=\"13\" Width=\"34\" Height=\"10\" FontSize=\"20\" "
    "FontStyle=\"bold\"/>"
    "<Barcode FieldName=\"EAN\" Type=\"ean13\" Left=\"3\" Top=\"26\" Width=\"30\" Height=\"8\" "
    "PrintHRI=\"true\"/>"
    "<Barcode FieldName=\"QR\" Type=\"QRCode\" Left=\"38\" Top=\"13\" Width=\"18\" Height=\"18\"/>"
    "<Image FieldName=\"Photo\" Left=\"40\" Top=\"32\" Width=\"16\" Height=\"6\"/>"
    "<UserData FieldName=\"Raw\"/>"
    "</Formatting><Labels>"
    "<Label Quantity=\"2\"><Record FieldName=\"Name\" Value=\"Сыр «Российский» 45%, 1 кг\"/>"
    "<Record FieldName=\"Price\" Value=\"649,00\"/><Record FieldName=\"EAN\" Value=\"4607001234562\"/>"
    "<Record FieldName=\"QR\" Value=\"https://shop.example/p/42?c=Ж\"/>"
    "<Record FieldName=\"Raw\" Value=\"BAR 0,0,8,8\"/></Label>"
    // Nothing filled but the barcode: every other field prints empty and nothing leaks.
    "<Label Quantity=\"1\"><Record FieldName=\"EAN\" Value=\"4601234567893\"/></Label>"
    "</Labels></Data>";

class VirtualPrinterScripts : public ::testing::TestWithParam<int> {};

TEST_P(VirtualPrinterScripts, PriceTagsPrintAsMeant) {
    const int dpi = GetParam();
    TPrinterTSPL printer;
    printer.ApplySettings(dpi, false, TTsplSettings());
    TDocumentSettings settings;
    const pugi::xml_document document = ParseLabelDocument(kPriceTag);
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, printer, settings);
    std::string job;
    for (const TScriptObject& script : FillLabels(document, labelTemplate, printer, settings))
        job += script.FValue;

    const TPrinted printed = PrintOn(job, dpi);
    EXPECT_TRUE(printed.Problems.empty()) << ::testing::PrintToString(printed.Problems);

    const std::vector<RenderedLabel>& labels = printed.Labels;
    ASSERT_EQ(labels.size(), 2U);
    EXPECT_EQ(labels[0].copies, 2);
    EXPECT_EQ(labels[1].copies, 1);
    const int d = dpi / 25;
    const MonoImage& first = labels[0].image;
    EXPECT_EQ(Read(first, ZXing::BarcodeFormat::EAN13), "4607001234562");
    EXPECT_EQ(Read(first, ZXing::BarcodeFormat::QRCode), "https://shop.example/p/42?c=Ж");
    EXPECT_GT(BlackIn(first, 3 * d, 3 * d, 50 * d, 8 * d), 0) << "name text";
    EXPECT_GT(BlackIn(first, 2 * d, 13 * d, 34 * d, 10 * d), 0) << "price text";
    EXPECT_GT(BlackIn(first, 0, 0, 8, 8), 63) << "user data BAR";

    const MonoImage& second = labels[1].image;
    EXPECT_EQ(Read(second, ZXing::BarcodeFormat::EAN13), "4601234567893");
    EXPECT_EQ(Read(second, ZXing::BarcodeFormat::QRCode), "");
    EXPECT_EQ(BlackIn(second, 2 * d + 3, 2 * d + 3, 54 * d - 6, 10 * d - 6), 0) << "empty name";
    EXPECT_EQ(BlackIn(second, 2 * d, 13 * d, 34 * d, 10 * d), 0) << "empty price";
    EXPECT_EQ(BlackIn(second, 0, 0, 8, 8), 0) << "no user data";
}

INSTANTIATE_TEST_SUITE_P(Resolutions, VirtualPrinterScripts, ::testing::Values(203, 300, 600));

// By command, a value the configured Data Matrix size cannot hold gets the smallest listed size
// that holds it, in the template and per label alike; a value that fits keeps the setting.
TEST(VirtualPrinterDataMatrix, CommandSizeHoldsTheValue) {
    const std::string token = "{0E3A5B7C-1D2F-4A6B-8C9D-0E1F2A3B4C5D}";
    const TFieldObject field(TFieldType::ftBarcode, token, 20, 20, 1, 2, 0, 0, "", "", "", "", false, false,
                             "DataMatrix");
    TPrinterTSPL printer;
    printer.ApplySettings(203, false, TTsplSettings());
    printer.Settings()._2DBarcodeAsPicture = false;
    printer.AddBarcode(token, *FindSymbology("DataMatrix"), 1, 2, 20, 20, 0, false, false, false, "");
    const std::string templateLine = printer.ScriptText().back();
    const struct {
        std::string Value, Size;
    } cases[] = {{"12345", "x3,10,10,"}, {"0104601234567893", "x3,14,14,"}};
    for (const auto& c : cases) {
        printer.Init();
        printer.AddBarcode("", *FindSymbology("DataMatrix"), 1, 2, 20, 20, 0, false, false, true, c.Value);
        for (const std::string& line :
             {printer.ScriptText().back(), printer.RecalculateBarcode(templateLine, field, c.Value)}) {
            EXPECT_EQ(line, "DMATRIX 8,16,160,160," + c.Size + "\"" + c.Value + "\"");
            const TPrinted printed =
                PrintOn("SIZE 30 mm,30 mm\r\nGAP 3 mm,0 mm\r\nCLS\r\n" + line + "\r\nPRINT 1\r\n", 203);
            EXPECT_TRUE(printed.Problems.empty()) << ::testing::PrintToString(printed.Problems);
            ASSERT_EQ(printed.Labels.size(), 1U);
            EXPECT_EQ(test::Decode(printed.Labels[0].image, "DataMatrix"), c.Value);
        }
    }
}

std::string Job(const std::string& ADocument, bool AAsPicture, const std::string& ACodepage = "1251") {
    TPrinterTSPL printer;
    TTsplSettings tspl;
    tspl._2DBarcodeAsPicture = AAsPicture;
    printer.ApplySettings(203, false, tspl);
    TDocumentSettings settings;
    settings.Codepage = ACodepage;
    const pugi::xml_document document = ParseLabelDocument(ADocument);
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, printer, settings);
    std::string job;
    for (const TScriptObject& script : FillLabels(document, labelTemplate, printer, settings))
        job += script.FValue;
    return job;
}

std::string OneFieldDocument(const std::string& AField, const std::string& AName, const std::string& AValue) {
    return "<Data><Formatting Width=\"100\" Height=\"60\">" + AField +
           "</Formatting><Labels><Label Quantity=\"1\"><Record FieldName=\"" + AName + "\" Value=\"" +
           AValue + "\"/></Label></Labels></Data>";
}

// A code reads back as the document's text by either route and with a single-byte code page:
// by command its data are UTF-8, as scanners and phones read byte-mode data; characters past
// U+FFFF (emoji) survive the document cleaner.
TEST(VirtualPrinterCodes, TwoDimensionalCodesReadBackAsTheDocumentText) {
    const std::string values[] = {"Молоко 3,2% цена 94,90 ₽", "X😀Y"};
    for (const bool asPicture : {false, true})
        for (const char* type : {"QRCode", "PDF417", "DataMatrix"})
            for (const std::string& value : values) {
                SCOPED_TRACE(std::string(type) + (asPicture ? " picture " : " command ") + value);
                const std::string job = Job(
                    OneFieldDocument("<Barcode FieldName=\"C\" Type=\"" + std::string(type) +
                                         "\" Left=\"4\" Top=\"4\" Width=\"90\" Height=\"50\"/>",
                                     "C", value),
                    asPicture);
                const TPrinted printed = PrintOn(job, 203);
                EXPECT_TRUE(printed.Problems.empty()) << ::testing::PrintToString(printed.Problems);
                ASSERT_EQ(printed.Labels.size(), 1U);
                EXPECT_EQ(test::Decode(printed.Labels[0].image, type), value);
            }
}

// A turned linear code is moved back into its box, whichever way 2D codes are sent: the
// printer turns it about its anchor, which would put it beside or above the box.
TEST(VirtualPrinterCodes, TurnedLinearCodesStayInTheirBox) {
    // At 203 dpi (8 dots per mm) the box is 160..480 across and 160..400 down.
    const int left = 160, top = 160, width = 320, height = 240;
    for (const bool asPicture : {false, true})
        for (const int orientation : {0, 90, 180, 270}) {
            SCOPED_TRACE(std::string(asPicture ? "picture " : "command ") + std::to_string(orientation));
            const std::string job =
                Job(OneFieldDocument("<Barcode FieldName=\"C\" Type=\"code128\" Left=\"20\" "
                                     "Top=\"20\" Width=\"40\" Height=\"30\" Orientation=\"" +
                                         std::to_string(orientation) + "\"/>",
                                     "C", "A1"),
                    asPicture);
            const TPrinted printed = PrintOn(job, 203);
            EXPECT_TRUE(printed.Problems.empty()) << ::testing::PrintToString(printed.Problems);
            ASSERT_EQ(printed.Labels.size(), 1U);
            const MonoImage& image = printed.Labels[0].image;
            const long long all = BlackIn(image, 0, 0, image.width, image.height);
            EXPECT_GT(all, 0);
            EXPECT_EQ(BlackIn(image, left, top, width, height), all);
            EXPECT_EQ(test::Decode(image, "Code128"), "A1");
        }
}

// A linear code cannot say "?" for a character the code page lacks: the value is refused with
// the character and the field. Text sent as commands goes on with "?" and a warning in the log.
TEST(VirtualPrinterCodes, CharactersTheCodePageLacks) {
    try {
        Job(OneFieldDocument("<Barcode FieldName=\"Цена\" Type=\"code128\" Left=\"4\" Top=\"4\" "
                             "Width=\"60\" Height=\"10\"/>",
                             "Цена", "94,90 ₽"),
            false);
        ADD_FAILURE() << "a rouble sign in code page 1251 was sent";
    } catch (const std::runtime_error& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("«₽» (U+20BD)"), std::string::npos) << text;
        EXPECT_NE(text.find("«Цена»"), std::string::npos) << text;
    }

    const std::filesystem::path folder = test::TempDir("codepage-warning");
    SetLogDirectory(folder.string());
    SetLogMode(2);
    const std::string job = Job(
        OneFieldDocument("<UserData FieldName=\"Raw\"/>", "Raw", "TEXT 0,0,&quot;1&quot;,0,1,1,&quot;94 ₽&quot;"),
        false);
    const std::string logFile = GetLogFileName(false);
    SetLogMode(0);
    SetLogDirectory("");
    EXPECT_NE(job.find("TEXT 0,0,\"1\",0,1,1,\"94 ?\""), std::string::npos);
    std::ifstream file(logFile);
    const std::string log{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(log.find("\tWARN\t"), std::string::npos) << log;
    EXPECT_NE(log.find("«₽» (U+20BD)"), std::string::npos) << log;
    EXPECT_NE(log.find("«Raw»"), std::string::npos) << log;
}

}  // namespace
}  // namespace quorvane
