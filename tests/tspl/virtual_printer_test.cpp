// The generator's scripts as a printer sees them: fed to the virtual printer, drawn, and the
// barcodes read back from the drawing.

#include <gtest/gtest.h>

#include <ZXing/ReadBarcode.h>
#include <ZXing/TextUtfEncoding.h>

#include <string>
#include <vector>

#include "driver/label_document.h"
#include "tools/printer/virtual_printer.h"

namespace quorvane {
namespace {

std::string Read(const MonoImage& AImage, ZXing::BarcodeFormat AFormat)
{
    std::vector<std::uint8_t> grey(AImage.dots.size());
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = AImage.dots[i] ? 0 : 255;
    const ZXing::ImageView view(grey.data(), AImage.width, AImage.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(AFormat);
    return ZXing::TextUtfEncoding::ToUtf8(ZXing::ReadBarcode(view, hints).text());
}

long long BlackIn(const MonoImage& AImage, int AX, int AY, int AW, int AH)
{
    long long black = 0;
    for (int y = AY; y < AY + AH && y < AImage.height; ++y)
        for (int x = AX; x < AX + AW && x < AImage.width; ++x)
            black += AImage.At(x, y);
    return black;
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

TEST_P(VirtualPrinterScripts, PriceTagsPrintAsMeant)
{
    const int dpi = GetParam();
    TPrinterTSPL printer;
    printer.ApplySettings(dpi, false, TTsplSettings());
    TDocumentSettings settings;
    settings.DecimalSeparator = '.';
    const pugi::xml_document document = ParseLabelDocument(kPriceTag);
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, printer, settings);
    std::string job;
    for (const TScriptObject& script : FillLabels(document, labelTemplate, printer, settings))
        job += script.FValue;

    PrinterOptions options;
    options.listen = "off";
    options.dpi = dpi;
    options.keepLabels = true;
    PrinterJournal journal;
    StatusModel status;
    VirtualPrinter device(options, journal, status);
    device.Feed(job);
    device.EndJob();

    std::vector<std::string> problems;
    for (const JournalEntry& entry : journal.Entries())
        if (entry.kind == "problem")
            problems.push_back(entry.command + ": " + entry.detail);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

    const std::vector<RenderedLabel> labels = device.Labels();
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

}  // namespace
}  // namespace quorvane
