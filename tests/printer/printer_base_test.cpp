#include <gtest/gtest.h>

#include <cfenv>
#include <regex>
#include <set>

#include "printer/field_object.h"
#include "printer/mono_bitmap.h"
#include "printer/printer_type_base.h"
#include "printer/raster_limits.h"
#include "printer/rounding.h"
#include "tests/printer/plain_printer.h"

namespace quorvane {
namespace {

TEST(PlaceholderToken, HasRegistryFormAndIsUnique) {
    const std::regex form(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string token = NewPlaceholderToken();
        ASSERT_EQ(token.size(), 38U);
        ASSERT_TRUE(std::regex_match(token, form)) << token;
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 1000U);
    EXPECT_TRUE(std::regex_match(kQuantityMarker, form));
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbourWhateverTheRoundingMode) {
    const struct {
        double Value;
        std::int64_t Expected;
    } cases[] = {{0.5, 0},
                 {1.5, 2},
                 {2.5, 2},
                 {3.5, 4},
                 {2.4999, 2},
                 {2.5001, 3},
                 {-0.5, 0},
                 {-1.5, -2},
                 {-2.5, -2},
                 {-2.6, -3},
                 {-0.49999999999999994, 0},
                 {7, 7}};
    // The host process may have changed the mode; the driver's rounding must not follow it.
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const auto& c : cases) {
            volatile double value = c.Value;  // computed at run time, under the mode
            EXPECT_EQ(RoundHalfEven(value), c.Expected) << c.Value << " in mode " << mode;
            EXPECT_EQ(RoundHalfEvenDouble(value), static_cast<double>(c.Expected))
                << c.Value << " in mode " << mode;
        }
    }
    std::fesetround(FE_TONEAREST);
}

TEST(AddScriptString, FormatsIntegersAndBytesInOrder) {
    test::TPlainPrinter printer;
    printer.AddScriptString("CLS");
    printer.AddScriptString("BITMAP %d,%d,%d,%d,%d,%s", {8, std::int64_t{-16}, 30, std::int64_t{1} << 40, 1,
                                                         std::string("\0\xFF%d\r", 5)});
    printer.AddScriptString("100% %x %", {});
    ASSERT_EQ(printer.ScriptText().size(), 3U);
    EXPECT_EQ(printer.ScriptText()[0], "CLS");
    EXPECT_EQ(printer.ScriptText()[1], "BITMAP 8,-16,30,1099511627776,1," + std::string("\0\xFF%d\r", 5));
    EXPECT_EQ(printer.ScriptText()[2], "100% %x %");
    EXPECT_EQ(printer.Script(), "CLS\n" + printer.ScriptText()[1] + "\n100% %x %\n");

    printer.Init();
    EXPECT_TRUE(printer.ScriptText().empty());
    EXPECT_EQ(printer.Script(), "");
}

TEST(AddScriptString, RefusesMismatchedValues) {
    test::TPlainPrinter printer;
    EXPECT_THROW(printer.AddScriptString("GAP %d"), std::logic_error);
    EXPECT_THROW(printer.AddScriptString("GAP %d", {1, 2}), std::logic_error);
    EXPECT_THROW(printer.AddScriptString("CODEPAGE %s", {1251}), std::logic_error);
    EXPECT_THROW(printer.AddScriptString("GAP %d", {"3"}), std::logic_error);
    EXPECT_TRUE(printer.ScriptText().empty());
}

TEST(OrientationToRotation, MapsOnlyQuarterTurns) {
    EXPECT_EQ(TPrinterTypeBase::OrientationToRotation(90), TRotation::r90);
    EXPECT_EQ(TPrinterTypeBase::OrientationToRotation(180), TRotation::r180);
    EXPECT_EQ(TPrinterTypeBase::OrientationToRotation(270), TRotation::r270);
    for (int other : {0, -90, 45, 360, -270, 450})
        EXPECT_EQ(TPrinterTypeBase::OrientationToRotation(other), TRotation::r0) << other;
}

TEST(MonoBitmap, FillRectClipsAndKeepsRowPaddingClear) {
    TMonoBitmap bitmap(13, 4);
    bitmap.FillRect(-5, 1, 100, 2, true);
    EXPECT_EQ(bitmap.CountBlack(), 26);
    EXPECT_EQ(bitmap.Row(1)[1], 0xF8);  // 5 pixels of the second byte, padding clear
    EXPECT_FALSE(bitmap.Pixel(0, 0));
    EXPECT_TRUE(bitmap.Pixel(12, 2));
    bitmap.FillRect(3, 0, 4, 4, false);
    EXPECT_EQ(bitmap.CountBlack(), 18);
    EXPECT_TRUE(TMonoBitmap(0, 10).Empty());
    EXPECT_TRUE(TMonoBitmap(-3, -3).Empty());
}

TEST(RasterLimits, RefuseOversizedRastersWithoutAllocating) {
    EXPECT_NO_THROW(CheckRasterSize(kMaxRasterSide, kMaxRasterDots / kMaxRasterSide));
    EXPECT_THROW(CheckRasterSize(kMaxRasterSide + 1, 1), ERasterTooLarge);
    EXPECT_THROW(CheckRasterSize(1, kMaxRasterSide + 1), ERasterTooLarge);
    EXPECT_THROW(CheckRasterSize(10000, 10000), ERasterTooLarge);
    EXPECT_THROW(CheckRasterSize(INT64_MAX, INT64_MAX), ERasterTooLarge);
    EXPECT_THROW(TMonoBitmap(16385, 16), ERasterTooLarge);
    try {
        CheckRasterSize(20000, 5);
        FAIL();
    } catch (const ERasterTooLarge& e) {
        EXPECT_NE(std::string(e.what()).find("20000 x 5"), std::string::npos) << e.what();
    }
    EXPECT_EQ(MillimetresToDots(10, 8), 80);
    EXPECT_EQ(MillimetresToDots(10, 12), 120);
    EXPECT_EQ(MillimetresToDots(10, 24), 240);
    EXPECT_EQ(MillimetresToDots(-10, 24), 0);
    EXPECT_EQ(MillimetresToDots(INT32_MAX, 24), std::int64_t{INT32_MAX} * 24);
}

}  // namespace
}  // namespace quorvane
