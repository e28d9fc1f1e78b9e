#include <gtest/gtest.h>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <vector>

#include "printer/barcode_picture.h"
#include "printer/printer_type_base.h"
#include "printer/raster_limits.h"
#include "tests/printer/raster_probe.h"

namespace quorvane {
namespace {

// Reads the symbol back as a scanner would: on white paper with a quiet zone around it.
std::string ReadBack(const TMonoBitmap& ABitmap, ZXing::BarcodeFormat AFormat) {
    constexpr int kQuiet = 40;
    const int width = ABitmap.Width() + 2 * kQuiet;
    const int height = ABitmap.Height() + 2 * kQuiet;
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width * height), 255);
    for (int y = 0; y < ABitmap.Height(); ++y)
        for (int x = 0; x < ABitmap.Width(); ++x)
            if (ABitmap.Pixel(x, y)) grey[static_cast<std::size_t>((y + kQuiet) * width + x + kQuiet)] = 0;
    ZXing::DecodeHints hints;
    hints.setFormats(AFormat);
    hints.setTryHarder(true);
    const ZXing::Result result =
        ZXing::ReadBarcode({grey.data(), width, height, ZXing::ImageFormat::Lum}, hints);
    return result.isValid() ? result.text() : std::string("<unreadable>");
}

TEST(BarcodePicture, CanvasSizeFollowsTheOrientation) {
    const auto size = [](int w, int h, int o) {
        const TBarcodeCanvasSize s = BarcodeImageSize(w, h, o);
        return std::make_pair(s.Width, s.Height);
    };
    const struct {
        int Width, Height, Orientation, ExpectedWidth, ExpectedHeight;
    } cases[] = {{30, 20, 0, 30, 20},  {30, 20, 180, 30, 20}, {30, 20, 45, 30, 20},
                 {30, 20, 90, 20, 13},  // 400 / 30 = 13.3
                 {40, 10, 270, 10, 2},  // 2.5 to even
                 {50, 15, 90, 15, 4},   // 4.5 to even
                 {30, 15, 90, 15, 8},   // 7.5 to even
                 {20, 30, 90, 30, 20}, {20, 20, 270, 20, 20}, {0, 0, 90, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(size(c.Width, c.Height, c.Orientation), std::make_pair(c.ExpectedWidth, c.ExpectedHeight))
            << c.Width << " x " << c.Height << " at " << c.Orientation;
}

TEST(BarcodePicture, EachSymbologyReadsBackAt203Dpi) {
    struct Case {
        const char* Name;
        ZXing::BarcodeFormat Format;
        int Width, Height;
    };
    const Case cases[] = {{"QRCode", ZXing::BarcodeFormat::QRCode, 30, 30},
                          {"datamatrix", ZXing::BarcodeFormat::DataMatrix, 25, 25},
                          {"PDF417", ZXing::BarcodeFormat::PDF417, 60, 25}};
    const std::string values[] = {"quorvane 0042/17", "Товар №42: молоко 3,2%"};
    for (const Case& c : cases)
        for (const std::string& value : values) {
            SCOPED_TRACE(std::string(c.Name) + " " + value);
            const TMonoBitmap bitmap = BarcodePicture(*FindSymbology(c.Name), c.Width, c.Height, 0, 8, value);
            ASSERT_EQ(bitmap.Width(), c.Width * 8);
            ASSERT_EQ(bitmap.Height(), c.Height * 8);
            EXPECT_EQ(ReadBack(bitmap, c.Format), value);
        }
}

TEST(BarcodePicture, SymbolStartsTopLeftWithWholeDotsPerModule) {
    const TMonoBitmap canvas = RenderBarcodeImage(*FindSymbology("QRCode"), 20, 13, 8, "top-left");
    ASSERT_EQ(canvas.Width(), 160);
    ASSERT_EQ(canvas.Height(), 104);
    const auto ink = test::InkBox(canvas);
    EXPECT_EQ(ink.Left, 0);
    EXPECT_EQ(ink.Top, 0);
    EXPECT_EQ(ink.Width(), ink.Height());
    // A QR symbol is 21 + 4k modules wide; the module is the largest whole number of dots that fits.
    bool whole = false;
    for (int modules = 21; modules <= 177; modules += 4)
        if (ink.Width() % modules == 0 && ink.Width() / modules == 104 / modules) whole = true;
    EXPECT_TRUE(whole) << ink.Width();

    // PDF417 rows are three modules high; its proportions survive the scaling.
    const TMonoBitmap pdf = RenderBarcodeImage(*FindSymbology("pdf417"), 60, 25, 8, "rows");
    const auto pdfInk = test::InkBox(pdf);
    EXPECT_EQ(pdfInk.Left, 0);
    EXPECT_EQ(pdfInk.Top, 0);
    EXPECT_LT(pdfInk.Width(), 480);
    EXPECT_EQ(ReadBack(pdf, ZXing::BarcodeFormat::PDF417), "rows");
}

TEST(BarcodePicture, TurnedSymbolCoversTheTurnedCanvas) {
    TMonoBitmap bitmap = BarcodePicture(*FindSymbology("QRCode"), 30, 20, 90, 8, "turned 90");
    // Canvas 20 x 13 mm = 160 x 104 dots, turned to 104 x 160.
    EXPECT_EQ(bitmap.Width(), 104);
    EXPECT_EQ(bitmap.Height(), 160);
    EXPECT_EQ(ReadBack(bitmap, ZXing::BarcodeFormat::QRCode), "turned 90");
    // Turned clockwise, the symbol's top-left corner is now at the top-right.
    const auto ink = test::InkBox(bitmap);
    EXPECT_EQ(ink.Right, 103);
    EXPECT_EQ(ink.Top, 0);

    for (int orientation : {180, 270}) {
        bitmap = BarcodePicture(*FindSymbology("DataMatrix"), 30, 20, orientation, 8, "turned");
        EXPECT_EQ(ReadBack(bitmap, ZXing::BarcodeFormat::DataMatrix), "turned") << orientation;
    }
}

TEST(BarcodePicture, LibraryRefusalsCarryTheLibraryText) {
    try {
        RenderBarcodeImage(*FindSymbology("QRCode"), 30, 30, 8, std::string(8000, '7') + std::string(3000, 'x'));
        FAIL();
    } catch (const EBarcodePicture& e) {
        EXPECT_NE(std::string(e.what()).find("Error"), std::string::npos) << e.what();
    }
    try {
        RenderBarcodeImage(*FindSymbology("DataMatrix"), 30, 30, 8, std::string(4000, 'A'));
        FAIL();
    } catch (const EBarcodePicture& e) {
        EXPECT_NE(std::string(e.what()).find("Error"), std::string::npos) << e.what();
    }
    EXPECT_THROW(RenderBarcodeImage(*FindSymbology("QRCode"), 30, 30, 8, ""), EBarcodePicture);
    EXPECT_THROW(RenderBarcodeImage(*FindSymbology("code128"), 30, 30, 8, "x"), std::invalid_argument);
    EXPECT_TRUE(FindSymbology("qrcode")->Is2D());
    EXPECT_TRUE(FindSymbology("PDF417")->Is2D());
    EXPECT_FALSE(FindSymbology("ean13")->Is2D());
}

TEST(BarcodePicture, TinyHugeAndEmptyBoxes) {
    // Less than a dot per module: shrunk, kept inside the canvas.
    const TMonoBitmap tiny = RenderBarcodeImage(*FindSymbology("QRCode"), 2, 2, 8, "a value that needs a larger symbol");
    EXPECT_EQ(tiny.Width(), 16);
    EXPECT_GT(tiny.CountBlack(), 0);
    EXPECT_TRUE(RenderBarcodeImage(*FindSymbology("QRCode"), 0, 20, 8, "x").Empty());
    EXPECT_TRUE(BarcodePicture(*FindSymbology("QRCode"), 0, 0, 90, 8, "x").Empty());
    EXPECT_THROW(RenderBarcodeImage(*FindSymbology("QRCode"), 3000, 3000, 8, "x"), ERasterTooLarge);
    EXPECT_THROW(BarcodePicture(*FindSymbology("DataMatrix"), 800, 800, 0, 24, "x"), ERasterTooLarge);
}

}  // namespace
}  // namespace quorvane
