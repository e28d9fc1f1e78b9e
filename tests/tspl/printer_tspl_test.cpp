#include <gtest/gtest.h>

#include <ZXing/ReadBarcode.h>
#include <ZXing/TextUtfEncoding.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/messages.h"
#include "printer/raster_limits.h"
#include "printer/tspl/bitmap_command.h"
#include "printer/tspl/printer_type_tspl.h"
#include "tests/common/base64.h"
#include "tests/common/bmp_fixture.h"

namespace quorvane {
namespace {

const std::string kToken = "{0E3A5B7C-1D2F-4A6B-8C9D-0E1F2A3B4C5D}";

std::vector<std::string> Lines(const TPrinterTSPL& APrinter) { return APrinter.ScriptText(); }

using test::Base64;
using test::HalfBlackBmp;

TEST(TsplSetUp, InitialAndFinalCommands) {
    TPrinterTSPL printer;
    printer.InitialScriptActions(58, 40, 3, 7, 1, 2.0, "866");
    printer.FinalScriptActions();
    EXPECT_EQ(Lines(printer), (std::vector<std::string>{"SIZE 58 mm,40 mm", "GAP 3 mm,0 mm", "SPEED 2",
                                                        "DENSITY 7", "DIRECTION 1, 0", "CLS", "CODEPAGE 866",
                                                        "PRINT {2180C648-B6D4-4E65-9661-15B4B9D8D3FC}"}));
    EXPECT_EQ(printer.Codepage(), "866");
}

TEST(TsplSetUp, LabelBeyondTheRasterBoundsIsRefused) {
    TPrinterTSPL printer;
    printer.SetDotInMM(24);
    // 700 mm at 24 dots/mm is 16,800 dots, more than a side may have.
    EXPECT_THROW(printer.InitialScriptActions(700, 20, 3, 7, 0, 2.0, "1251"), ERasterTooLarge);
    EXPECT_TRUE(printer.ScriptText().empty());
    EXPECT_NO_THROW(printer.InitialScriptActions(600, 20, 3, 7, 0, 2.0, "1251"));
}

TEST(TsplSetUp, SpeedRoundsHalfToEven) {
    for (const auto& [speed, expected] : std::vector<std::pair<double, std::string>>{{1.5, "SPEED 2"},
                                                                                     {2.5, "SPEED 2"},
                                                                                     {3.5, "SPEED 4"},
                                                                                     {2.4, "SPEED 2"},
                                                                                     {2.6, "SPEED 3"},
                                                                                     {14, "SPEED 14"}}) {
        TPrinterTSPL printer;
        printer.InitialScriptActions(30, 20, 3, 7, 0, speed, "1251");
        EXPECT_EQ(Lines(printer)[2], expected) << speed;
    }
}

// The print time the driver expects follows the SPEED the printer is sent, in inches per
// second, over the label and its gap.
TEST(TsplSetUp, CopyPrintTimeFollowsTheSpeedSent) {
    const TPrinterTSPL printer;
    EXPECT_DOUBLE_EQ(printer.CopyPrintMs(20, 3, 4), 1000.0 * 23 / 25.4 / 4);
    EXPECT_DOUBLE_EQ(printer.CopyPrintMs(20, 3, 3.5), printer.CopyPrintMs(20, 3, 4));
    EXPECT_DOUBLE_EQ(printer.CopyPrintMs(20, 3, 2.5), printer.CopyPrintMs(20, 3, 2));
    EXPECT_EQ(printer.CopyPrintMs(20, 3, 0.4), 0);  // SPEED 0: no reckoning
}

TEST(TsplText, BitmapCommandForTokenAndStaticText) {
    TPrinterTSPL printer;
    printer.AddText(kToken, 1, 2, 30, 20, 0, "", 0, "", "", 0, "", "", "", false, false, "x");
    EXPECT_EQ(Lines(printer), std::vector<std::string>{"BITMAP 8,16,30,160,1," + kToken});

    printer.Init();
    printer.AddText(kToken, 1, 2, 30, 20, 0, "", 12, "", "", 0, "", "", "", false, true, "Молоко");
    const std::string header = "BITMAP 8,16,30,160,1,";
    ASSERT_EQ(printer.ScriptText().size(), 1U);
    const std::string& line = printer.ScriptText()[0];
    ASSERT_EQ(line.substr(0, header.size()), header);
    const std::string data = line.substr(header.size());
    EXPECT_EQ(data.size(), 4800U);
    EXPECT_EQ(data, BitmapData(printer.GetGraphicText("Молоко", 30, 20, TRotation::r0, 12, "", "", "", "", false)));
    EXPECT_NE(data.find_first_not_of('\xFF'), std::string::npos) << "no ink drawn";
}

TEST(TsplText, BitmapDataMatchesTheCommandAtAnyResolution) {
    // 1000 dpi: the command counts 40 dots per mm, the rasteriser draws at 39.
    TPrinterTSPL printer;
    printer.ApplySettings(1000, false, TTsplSettings());
    EXPECT_EQ(printer.DotInMM(), 40);
    printer.AddText(kToken, 1, 2, 30, 20, 90, "", 12, "", "", 0, "", "", "", false, true, "Ж");
    const std::string header = "BITMAP 40,80,150,800,1,";
    ASSERT_EQ(printer.ScriptText()[0].substr(0, header.size()), header);
    EXPECT_EQ(printer.ScriptText()[0].size() - header.size(), 150U * 800U);
    EXPECT_EQ(printer.TextBitmap("x", 3, 1, 0, 0, "", "", "", "", false).size(), 15U * 40U);

    // Below 25 dpi the command counts no dots at all, though the DPI rounds to one per mm.
    printer.ApplySettings(20, false, TTsplSettings());
    EXPECT_EQ(printer.TextBitmap("x", 30, 20, 90, 0, "", "", "", "", false), "");

    // Where both agree the rasteriser's raster passes unchanged.
    printer.ApplySettings(300, false, TTsplSettings());
    EXPECT_EQ(printer.TextBitmap("Ж", 3, 2, 0, 0, "", "", "", "", false),
              BitmapData(printer.GetGraphicText("Ж", 3, 2, TRotation::r0, 0, "", "", "", "", false)));
}

TEST(BitmapData, PacksRowsMostSignificantBitFirstWithWhiteSet) {
    EXPECT_EQ(BitmapData(TMonoBitmap(7, 5)), "");

    TMonoBitmap eight(8, 2);
    eight.SetPixel(0, 0, true);
    eight.SetPixel(7, 1, true);
    EXPECT_EQ(BitmapData(eight), "\x7F\xFE");

    // 17 wide: two bytes per row, the 17th pixel dropped.
    TMonoBitmap seventeen(17, 3);
    seventeen.Fill(true);
    seventeen.SetPixel(9, 1, false);
    EXPECT_EQ(BitmapData(seventeen), std::string("\x00\x00\x00\x40\x00\x00", 6));

    TMonoBitmap white(40, 10);
    EXPECT_EQ(BitmapData(white), std::string(50, '\xFF'));
    white.Fill(true);
    EXPECT_EQ(BitmapData(white), std::string(50, '\0'));
}

TEST(TsplSetUp, ApplySettingsAsOpenDoes) {
    TPrinterTSPL printer;
    TTsplSettings settings;
    settings.BarcodeNarrow = 0;
    settings.Model = 3;
    printer.ApplySettings(203, true, settings);
    EXPECT_EQ(printer.DotInMM(), 8);
    EXPECT_EQ(printer.DPI(), 203);
    EXPECT_TRUE(printer.StretchImage());
    EXPECT_EQ(printer.Settings().BarcodeNarrow, 1);
    EXPECT_EQ(printer.Settings().Model, 3);
    settings.BarcodeNarrow = 11;
    printer.ApplySettings(600, false, settings);
    EXPECT_EQ(printer.DotInMM(), 24);
    EXPECT_EQ(printer.Settings().BarcodeNarrow, 1);
    settings.BarcodeNarrow = 10;
    printer.ApplySettings(300, false, settings);
    EXPECT_EQ(printer.DotInMM(), 12);
    EXPECT_EQ(printer.Settings().BarcodeNarrow, 10);
}

TEST(TsplText, BuiltInFontByModelAndSize) {
    EXPECT_EQ(TPrinterTSPL::BuiltInFontName(0), "10");
    EXPECT_EQ(TPrinterTSPL::BuiltInFontName(1), "10");
    EXPECT_EQ(TPrinterTSPL::BuiltInFontName(2), "0");
    EXPECT_EQ(TPrinterTSPL::BuiltInFontName(3), "0");
    EXPECT_EQ(TPrinterTSPL::BuiltInFontName(4), "5");
    EXPECT_EQ(TPrinterTSPL::BuiltInFontName(9), "10");
    const std::vector<std::pair<int, int>> sizes = {{0, 1},  {10, 1}, {11, 2}, {18, 2}, {19, 3},
                                                    {26, 3}, {27, 4}, {34, 4}, {35, 5}, {-1, 5}};
    for (const auto& [size, magnification] : sizes)
        EXPECT_EQ(TPrinterTSPL::BuiltInFontMagnification(size), magnification) << size;

    TPrinterTSPL printer;
    printer.Settings().Model = 4;
    printer.SetIsTextGraphic(false);
    printer.AddText(kToken, 1, 2, 30, 20, 90, "", 20, "", "left", 0, "", "", "", false, true,
                    "5\" \"Ж\r\nCLS");
    EXPECT_EQ(Lines(printer),
              (std::vector<std::string>{"TEXT 8,16,\"5\",90,3,3,\"5\\[\"] \\[\"]\xC6\\[R]\\[L]CLS\"",
                                        "BAR 8,16,1,160"}));
    printer.Init();
    printer.AddText(kToken, 0, 0, 10, 5, 0, "", 0, "", "", 0, "", "", "", false, false, "");
    EXPECT_EQ(Lines(printer), std::vector<std::string>{"TEXT 0,0,\"5\",0,1,1,\"" + kToken + "\""});
}

struct TLinearCase {
    const char* Type;
    const char* Tspl;
    int Wide;
    const char* Value;
};

TEST(TsplBarcode, EveryLinearSymbologyWithItsWideBar) {
    const std::vector<TLinearCase> cases = {
        {"ean8", "EAN8", 2, "1234567"},
        {"EAN13", "EAN13", 2, "460123456789"},
        {"ean128", "EAN128", 2, "(01)123"},
        {"CODE39", "39", 4, "ABC-1"},
        {"code128", "128", 2, "Abc 1"},
        {"code93", "93", 6, "ABC"},
        {"itf14", "ITF14", 4, "1234567890123"},
        {"ean13addon2", "EAN13+2", 2, "46012345678912"},
        {"Ean13AddOn5", "EAN13+5", 2, "46012345678912345"},
    };
    for (const TLinearCase& c : cases) {
        TPrinterTSPL printer;
        printer.AddBarcode(kToken, *FindSymbology(c.Type), 1, 2, 40, 10, 0, true, false, true, c.Value);
        EXPECT_EQ(Lines(printer),
                  std::vector<std::string>{std::string("BARCODE 8,16,\"") + c.Tspl + "\",80,2,0,2," +
                                           std::to_string(c.Wide) + ",\"" + c.Value + "\""})
            << c.Type;
    }
    TPrinterTSPL printer;
    printer.Settings().BarcodeNarrow = 3;
    printer.AddBarcode(kToken, *FindSymbology("code93"), 0, 1, 40, 12, 90, false, true, false, "");
    EXPECT_EQ(Lines(printer), std::vector<std::string>{"BARCODE 0,8,\"93\",96,0,90,3,9,\"" + kToken + "\""});
}

TEST(TsplBarcode, ContentIsEscapedAndEncoded) {
    TPrinterTSPL printer;
    printer.AddBarcode(kToken, *FindSymbology("code128"), 0, 0, 40, 10, 0, false, false, true, "A\"B\r\nPRINT 1\r\nЖ");
    EXPECT_EQ(Lines(printer),
              std::vector<std::string>{"BARCODE 0,0,\"128\",80,0,0,2,2,\"A\\[\"]B\\[R]\\[L]PRINT "
                                       "1\\[R]\\[L]\xC6\""});
    printer.Init();
    printer.SetCodepage("utf-8");
    printer.AddBarcode(kToken, *FindSymbology("code128"), 0, 0, 40, 10, 0, false, false, true, "Ж");
    EXPECT_EQ(Lines(printer), std::vector<std::string>{"BARCODE 0,0,\"128\",80,0,0,2,2,\"\xD0\x96\""});
}

TEST(TsplBarcode, AnInvalidCodepageFailsOnlyWhenTextNeedsIt) {
    TPrinterTSPL printer;
    printer.SetCodepage("abc");
    printer.AddBarcode(kToken, *FindSymbology("code128"), 0, 0, 40, 10, 0, false, false, true, "ABC");
    EXPECT_EQ(printer.ScriptText().size(), 1U);
    try {
        printer.AddBarcode(kToken, *FindSymbology("code128"), 0, 0, 40, 10, 0, false, false, true, "Ж");
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
}

TEST(TsplBarcode, DigitCheckEmptyAndUnknownTypes) {
    TPrinterTSPL printer;
    try {
        printer.AddBarcode(kToken, *FindSymbology("ean13"), 0, 0, 40, 10, 0, false, false, true, "46012345678A");
        FAIL();
    } catch (const TMessageError& error) {
        EXPECT_EQ(error.Id(), TMessage::BarcodeInvalidCharacters);
    }
    EXPECT_TRUE(printer.ScriptText().empty());
    printer.AddBarcode(kToken, *FindSymbology("code128"), 0, 0, 40, 10, 0, false, false, true, "46012345678A");
    EXPECT_EQ(printer.ScriptText().size(), 1U);
    EXPECT_NO_THROW(CheckSymbologyDigits(*FindSymbology("ITF14"), "0123456789"));
    EXPECT_THROW(CheckSymbologyDigits(*FindSymbology("itf14"), "01234 5"), std::runtime_error);
    EXPECT_THROW(CheckSymbologyDigits(*FindSymbology("ean8"), "１２"), std::runtime_error);

    printer.Init();
    printer.AddBarcode(kToken, *FindSymbology("ean13"), 0, 0, 40, 10, 0, false, false, true, "");
    EXPECT_TRUE(printer.ScriptText().empty());
    // The document reader refuses a type without an entry (HostileDocuments).
    EXPECT_EQ(FindSymbology("upca"), nullptr);
}

TEST(TsplBarcode, PrinterDrawn2DSymbols) {
    TPrinterTSPL printer;
    printer.Settings()._2DBarcodeAsPicture = false;
    printer.AddBarcode(kToken, *FindSymbology("pdf417"), 1, 2, 30, 10, 0, false, false, false, "");
    printer.AddBarcode(kToken, *FindSymbology("DataMatrix"), 1, 2, 20, 20, 0, false, false, false, "");
    printer.AddBarcode(kToken, *FindSymbology("qrcode"), 1, 2, 20, 20, 0, false, false, false, "");
    EXPECT_EQ(Lines(printer), (std::vector<std::string>{"PDF417 8,16,240,80,0,\"" + kToken + "\"",
                                                        "DMATRIX 8,16,160,160,x3,10,10,\"" + kToken + "\"",
                                                        "QRCODE 8,16,M,4,A,0,M1,\"" + kToken + "\""}));

    printer.Init();
    TTsplSettings& s = printer.Settings();
    s.PDF417DataCompression = 1;
    s.PDF417CorrectionLevel = 5;
    s.PDF417CenterPattern = 0;
    s.PDF417ModuleWidth = 3;
    s.PDF417ModuleHeight = 10;
    s.PDF417Rows = 7;
    s.PDF417Cols = 4;
    s.PDF417Truncate = 1;
    s.DataMatrixModuleSize = 0;
    s.DataMatrixSize = "12x26";
    s.QRCodeECCLevel = "H";
    s.QRCodeCellWidth = 6;
    s.QRCodeMode = "M";
    s.QRCodeModel = "M2";
    printer.AddBarcode(kToken, *FindSymbology("PDF417"), 1, 2, 30, 10, 90, false, false, true, "a\"b");
    printer.AddBarcode(kToken, *FindSymbology("datamatrix"), 1, 2, 20, 20, 270, false, false, true, "Ж");
    printer.AddBarcode(kToken, *FindSymbology("QRCode"), 1, 2, 20, 20, 180, false, false, true, "q");
    EXPECT_EQ(Lines(printer),
              (std::vector<std::string>{"PDF417 8,16,240,80,90,P1,E5,M0,W3,H10,R7,C4,T1,\"a\\[\"]b\"",
                                        "DMATRIX 8,16,160,160,r270,12,26,\"\xD0\x96\"",  // 2D data are UTF-8
                                        "QRCODE 8,16,H,6,M,180,M2,\"q\""}));
}

// Reads a BITMAP command's data back as a picture and decodes it.
std::string ReadBitmapBarcode(const std::string& ALine) {
    int x, y, widthBytes, height, mode, consumed = 0;
    if (std::sscanf(ALine.c_str(), "BITMAP %d,%d,%d,%d,%d,%n", &x, &y, &widthBytes, &height, &mode,
                    &consumed) != 5)
        return "not a bitmap";
    const std::string data = ALine.substr(consumed);
    if (data.size() != static_cast<std::size_t>(widthBytes) * height) return "size mismatch";
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(widthBytes) * 8 * height);
    for (std::size_t i = 0; i < grey.size(); ++i) {
        const auto byte = static_cast<unsigned char>(data[i / 8]);
        grey[i] = (byte >> (7 - i % 8)) & 1 ? 255 : 0;
    }
    const ZXing::ImageView image(grey.data(), widthBytes * 8, height, ZXing::ImageFormat::Lum);
    const std::string text = ZXing::TextUtfEncoding::ToUtf8(ZXing::ReadBarcode(image).text());
    return text.empty() ? "unreadable" : text;
}

TEST(TsplBarcode, TwoDimensionalSymbolsAsPictures) {
    TPrinterTSPL printer;
    printer.AddBarcode(kToken, *FindSymbology("QRCode"), 1, 2, 20, 20, 0, false, false, false, "");
    EXPECT_EQ(Lines(printer), std::vector<std::string>{"BITMAP 8,16,0,0,0," + kToken});

    printer.Init();
    printer.AddBarcode(kToken, *FindSymbology("QRCode"), 1, 2, 20, 20, 0, false, false, true, "Цена 12,50");
    ASSERT_EQ(printer.ScriptText().size(), 1U);
    EXPECT_EQ(printer.ScriptText()[0].rfind("BITMAP 8,16,", 0), 0U);
    EXPECT_EQ(ReadBitmapBarcode(printer.ScriptText()[0]), "Цена 12,50");
}

TEST(TsplBorder, BoxForFourWordsBarsOtherwise) {
    auto border = [](const std::string& AWords, int AWidth) {
        TPrinterTSPL printer;
        printer.PrintBorder(AWords, AWidth, 1, 2, 30, 20);
        return Lines(printer);
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(border("left top right bottom", 0), V{"BOX 8,16,248,176,1"});
    EXPECT_EQ(border("a b c d", 4), V{"BOX 8,16,248,176,4"});
    EXPECT_EQ(border("left bottom", -3), (V{"BAR 8,16,1,160", "BAR 8,175,240,1"}));
    EXPECT_EQ(border("Top RIGHT", 4), (V{"BAR 8,16,240,4", "BAR 244,16,4,160"}));
    EXPECT_EQ(border("left  top", 0), (V{"BAR 8,16,1,160", "BAR 8,16,240,1"}));
    EXPECT_EQ(border("left left", 2), (V{"BAR 8,16,2,160", "BAR 8,16,2,160"}));
    EXPECT_EQ(border("", 0), V{});
    EXPECT_EQ(border("frame", 0), V{});
}

TEST(TsplImage, StaticAndTemplatePictures) {
    TPrinterTSPL printer;
    printer.AddImage(kToken, 1, 2, 4, 4, 0, "left top right bottom", 0, "", true, "");
    printer.AddImage(kToken, 1, 2, 4, 4, 0, "left top right bottom", 0, "", true, "  ");
    EXPECT_TRUE(printer.ScriptText().empty());

    printer.AddImage(kToken, 1, 2, 4, 4, 0, "left", 0, "", false, "");
    EXPECT_EQ(Lines(printer), (std::vector<std::string>{"BITMAP 8,16,0,0,0," + kToken, "BAR 8,16,1,32"}));

    // 16 x 8 pixels fitted into 32 x 32 dots keep their proportions: 32 x 16.
    const std::string picture = Base64(HalfBlackBmp(16, 8));
    printer.Init();
    printer.AddImage(kToken, 1, 2, 4, 4, 0, "", 0, "", true, picture);
    ASSERT_EQ(printer.ScriptText().size(), 1U);
    const std::string fitted = "BITMAP 8,16,4,16,0,";
    EXPECT_EQ(printer.ScriptText()[0].substr(0, fitted.size()), fitted);
    EXPECT_EQ(printer.ScriptText()[0].size(), fitted.size() + 4 * 16);
    // Left half ink (0 bits), right half white.
    EXPECT_EQ(printer.ScriptText()[0].substr(fitted.size(), 4), std::string("\x00\x00\xFF\xFF", 4));

    printer.Init();
    printer.SetStretchImage(true);
    printer.AddImage(kToken, 1, 2, 4, 4, 0, "", 0, "", true, picture);
    const std::string stretched = "BITMAP 8,16,4,32,0,";
    EXPECT_EQ(printer.ScriptText()[0].substr(0, stretched.size()), stretched);
    EXPECT_EQ(printer.ScriptText()[0].size(), stretched.size() + 4 * 32);
}

TEST(TsplRecalculate, ImageAndBarcodeLines) {
    TPrinterTSPL printer;
    const TFieldObject image(TFieldType::ftImage, kToken, 4, 4, 1, 2, 0, 0, "", "", "", "", false, false, "");
    TMonoBitmap bitmap(32, 16);
    EXPECT_EQ(printer.RecalculateImage(image, "", bitmap), "");
    EXPECT_EQ(printer.RecalculateImage(image, "DATA", bitmap), "BITMAP 8,16,4,16,0,DATA");
    printer.SetStretchImage(true);
    EXPECT_EQ(printer.RecalculateImage(image, "DATA", bitmap), "BITMAP 8,16,4,32,0,DATA");

    const TFieldObject ean(TFieldType::ftBarcode, kToken, 40, 10, 1, 2, 0, 0, "", "", "", "", false, false,
                           "EAN13");
    const std::string line = "BARCODE 8,16,\"EAN13\",80,0,0,2,2,\"" + kToken + "\"";
    EXPECT_EQ(printer.RecalculateBarcode(line, ean, " \t"), "");
    EXPECT_EQ(printer.RecalculateBarcode(line, ean, "460123456789"),
              "BARCODE 8,16,\"EAN13\",80,0,0,2,2,\"460123456789\"");
    EXPECT_THROW(printer.RecalculateBarcode(line, ean, "4601\"23"), std::runtime_error);

    const TFieldObject code(TFieldType::ftBarcode, kToken, 40, 10, 1, 2, 0, 0, "", "", "", "", false, false,
                            "code128");
    EXPECT_EQ(printer.RecalculateBarcode(line, code, "a\"\nb"),
              "BARCODE 8,16,\"EAN13\",80,0,0,2,2,\"a\\[\"]\\[L]b\"");

    const TFieldObject qr(TFieldType::ftBarcode, kToken, 20, 20, 1, 2, 0, 0, "", "", "", "", false, false,
                          "qrcode");
    const std::string rebuilt =
        printer.RecalculateBarcode("BITMAP 8,16,0,0,0," + kToken, qr, "https://example.org/1");
    EXPECT_EQ(rebuilt.rfind("BITMAP 8,16,", 0), 0U);
    EXPECT_EQ(ReadBitmapBarcode(rebuilt), "https://example.org/1");
}

TEST(TsplControl, FixedSequences) {
    TPrinterTSPL printer;
    EXPECT_EQ(TPrinterTSPL::Reset(), std::string("\x1B!C"));
    EXPECT_EQ(printer.SetRibbon(), "SET RIBBON OFF\r\n");
    printer.Settings().PrintMethod = 1;
    EXPECT_EQ(printer.SetRibbon(), "SET RIBBON ON\r\n");
    EXPECT_EQ(TPrinterTSPL::SetGapDetect(), "GAPDETECT\r\n");
    EXPECT_EQ(TPrinterTSPL::SetAutodetect(), "AUTODETECT\r\n");
    EXPECT_EQ(TPrinterTSPL::GetErrorDescription(9), MessageText(TMessage::StatusRibbonOutCoverOpen));
}

TEST(TsplUserData, RawLinesInTheTemplate) {
    TPrinterTSPL printer;
    printer.AddUserData(kToken, false, "ignored");
    printer.AddUserData(kToken, true, "TEXT 0,0,\"3\",0,1,1,\"Ж\"");
    printer.AddUserData(kToken, true, "");
    EXPECT_EQ(Lines(printer), (std::vector<std::string>{kToken, "TEXT 0,0,\"3\",0,1,1,\"\xC6\""}));
}

TEST(RotatedBarcodePlacement, MovesLinearBarcodesInsideTheirBox) {
    const TFieldBox box{5, 7, 40, 10};
    EXPECT_EQ(RotatedBarcodePlacement(box, 0, *FindSymbology("code128"), false), box);
    EXPECT_EQ(RotatedBarcodePlacement(box, 180, *FindSymbology("code128"), false),
              (TFieldBox{45, 17, 40, 10}));
    // 10 x 10 / 40 = 2.5 rounds to 2 (half to even)
    EXPECT_EQ(RotatedBarcodePlacement(box, 90, *FindSymbology("code128"), false),
              (TFieldBox{45, 7, 10, 2}));
    EXPECT_EQ(RotatedBarcodePlacement(box, 270, *FindSymbology("CODE128"), false),
              (TFieldBox{5, 17, 10, 2}));
    EXPECT_EQ(RotatedBarcodePlacement(box, 45, *FindSymbology("ean13"), false), (TFieldBox{5, 17, 10, 2}));
    EXPECT_EQ(RotatedBarcodePlacement({0, 0, 10, 40}, 90, *FindSymbology("code128"), false),
              (TFieldBox{10, 0, 40, 10}));
    // The height is the box's height squared over its width, half to even: 7 exactly, 4.5, 4.9,
    // 12.5 and 7.5.
    const struct {
        std::int32_t Width, Height, Expected;
    } heights[] = {{28, 14, 7}, {50, 15, 4}, {10, 7, 5}, {50, 25, 12}, {30, 15, 8}};
    for (const auto& c : heights)
        EXPECT_EQ(
            RotatedBarcodePlacement({0, 0, c.Width, c.Height}, 90, *FindSymbology("ean8"), false).Height,
            c.Expected)
            << c.Width << " x " << c.Height;
    EXPECT_EQ(RotatedBarcodePlacement({0, 0, 0, 0}, 90, *FindSymbology("ean8"), false),
              (TFieldBox{0, 0, 0, 0}));
}

TEST(RotatedBarcodePlacement, KeepsPictureAndMatrixSymbolsInPlace) {
    const TFieldBox box{5, 7, 40, 10};
    for (bool picture : {false, true}) {
        EXPECT_EQ(RotatedBarcodePlacement(box, 90, *FindSymbology("QRCode"), picture), box);
        EXPECT_EQ(RotatedBarcodePlacement(box, 270, *FindSymbology("datamatrix"), picture), box);
    }
    EXPECT_EQ(RotatedBarcodePlacement(box, 90, *FindSymbology("PDF417"), false), (TFieldBox{45, 7, 10, 2}));
    EXPECT_EQ(RotatedBarcodePlacement(box, 90, *FindSymbology("pdf417"), true), box);
    // The printer turns linear barcodes itself whatever the 2D setting says.
    EXPECT_EQ(RotatedBarcodePlacement(box, 90, *FindSymbology("code128"), true), (TFieldBox{45, 7, 10, 2}));
}

}  // namespace
}  // namespace quorvane
