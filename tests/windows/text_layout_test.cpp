// Text drawn with GDI under Wine into the one-bit raster: glyphs, wrapping, ellipses,
// alignment, style and the line clipping. The rules on line heights match the Linux build; the
// dots do not (the rasterisers differ).

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "printer/graphic_text.h"
#include "printer/text_layout.h"
#include "tests/printer/raster_probe.h"

namespace quorvane {

// A failed comparison of rasters shows their ink, not their bytes.
void PrintTo(const TMonoBitmap& ABitmap, std::ostream* AOut) {
    const test::TInkBox ink = test::InkBox(ABitmap);
    *AOut << ABitmap.Width() << "x" << ABitmap.Height() << ", " << ABitmap.CountBlack() << " black, ink "
          << ink.Left << "," << ink.Top << " to " << ink.Right << "," << ink.Bottom;
}

namespace {

using test::InkBands;
using test::InkBox;

TTextFont DejaVu() {
    TTextFont font;
    font.Name = "DejaVu Sans";
    font.Size = 12;
    return font;
}

TMonoBitmap Draw(const TTextLayout& ALayout, std::int32_t AWidth, std::int32_t AHeight, bool ACompleteLinesOnly) {
    TMonoBitmap bitmap(AWidth, AHeight);
    ALayout.Draw(bitmap, 0, 0, TDotRect{0, 0, AWidth, AHeight}, ACompleteLinesOnly);
    return bitmap;
}

TMonoBitmap Line(std::string_view AText, const TTextFont& AFont, std::uint32_t AFormat = kTfSingleLineFlags) {
    const TTextLayout layout(AText, AFont, 203, AFormat, 400);
    return Draw(layout, 400, 80, true);
}

// The ink alone, wherever it stands.
std::string Ink(const TMonoBitmap& ABitmap) {
    const test::TInkBox box = InkBox(ABitmap);
    std::string ink;
    for (std::int32_t y = box.Top; y <= box.Bottom; ++y, ink += '\n')
        for (std::int32_t x = box.Left; x <= box.Right; ++x) ink += ABitmap.Pixel(x, y) ? '#' : '.';
    return ink;
}

// The box drawn for a character the face lacks (a private-use one).
const std::string kMissing = "\uE000";

TEST(WindowsText, EveryCharacterOfAPriceHasAGlyph) {
    const TTextFont font = DejaVu();
    const TMonoBitmap missing = Line(kMissing, font);
    ASSERT_GT(missing.CountBlack(), 0);
    const std::string price = "Молоко 3,2% цена 94,90 ₽";
    // One character at a time: a UTF-8 character starts at every byte but a continuation byte.
    for (std::size_t start = 0, end = 1; start < price.size(); start = end++) {
        while (end < price.size() && (static_cast<unsigned char>(price[end]) & 0xC0) == 0x80) ++end;
        const std::string character = price.substr(start, end - start);
        if (character == " ") continue;
        const TMonoBitmap glyph = Line(character, font);
        EXPECT_GT(glyph.CountBlack(), 0) << character;
        EXPECT_NE(glyph, missing) << character;
    }
    // A character the face lacks comes from a face that has it, standing on the same baseline:
    // Arial is Liberation Sans here, which has no rouble; DejaVu Sans has one.
    TTextFont arial;
    arial.Size = 12;
    const TMonoBitmap rouble = Line("₽", arial);
    EXPECT_NE(rouble, Line(kMissing, arial));
    EXPECT_EQ(Ink(rouble), Ink(Line("₽", font))) << test::Ascii(rouble);
    EXPECT_EQ(InkBox(Line("5₽", arial)).Bottom, InkBox(Line("5", arial)).Bottom);
    // Ink is black on white: blanks leave the raster white, a line does not fill it. A tab is
    // a blank too, not the box of a missing glyph.
    EXPECT_EQ(Line(" \t ", font).CountBlack(), 0);
    const TMonoBitmap whole = Line(price, font);
    EXPECT_LT(whole.CountBlack(), 400 * 80 / 4);
    EXPECT_EQ(InkBands(whole), 1);
}

TEST(WindowsText, WrapsIntoWholeLinesAndEndsACutTextInAnEllipsis) {
    const TTextFont font = DejaVu();
    const std::int32_t line = TTextLayout("x", font, 203, kTfMultilineFlags, 240).Height();
    ASSERT_GT(line, 20);
    // Line breaks in the text are kept; every line is as tall as the first.
    EXPECT_EQ(TTextLayout("one\ntwo\r\nthree", font, 203, kTfMultilineFlags, 240).Height(), 3 * line);
    EXPECT_EQ(TTextLayout("one\ntwo", font, 203, kTfSingleLineFlags, 240).Height(), line);

    const std::string text = "one two three four five six seven eight nine ten eleven twelve";
    const TTextLayout wrapped(text, font, 203, kTfMultilineFlags, 240);
    EXPECT_GT(wrapped.Height(), 2 * line);
    // Drawn 320 dots wide, the ink of a 240-dot box stays left of 240.
    const TMonoBitmap all = Draw(wrapped, 320, wrapped.Height(), true);
    EXPECT_EQ(InkBands(all), wrapped.Height() / line);
    EXPECT_LT(InkBox(all).Right, 240);

    // Two and a half lines of room: complete lines only keeps two, the second ending in an
    // ellipsis inside the box; without the ellipsis flag the same two lines are drawn plain.
    const std::int32_t room = 5 * line / 2;
    const TMonoBitmap cut = Draw(wrapped, 320, room, true);
    EXPECT_EQ(InkBands(cut), 2);
    EXPECT_EQ(InkBands(Draw(wrapped, 320, room, false)), 3);
    const TTextLayout plain(text, font, 203, kTfMultilineFlags & ~kTfEndEllipsis, 240);
    EXPECT_NE(cut, Draw(plain, 320, room, true));
    EXPECT_LT(InkBox(cut).Right, 240);
    // A single line too long for its box ends in an ellipsis inside it; unmarked, it runs on.
    const TTextLayout single(text, font, 203, kTfSingleLineFlags, 240);
    const TTextLayout unmarked(text, font, 203, kTfSingleLineFlags & ~kTfEndEllipsis, 240);
    EXPECT_LT(InkBox(Draw(single, 320, line, true)).Right, 240);
    EXPECT_GE(InkBox(Draw(unmarked, 320, line, true)).Right, 240);
    // A character beyond 16 bits (two UTF-16 units) is never split: in any width ten of them
    // take ten lines at most.
    std::string faces;
    for (int i = 0; i < 10; ++i) faces += "\U0001F600";
    for (std::int32_t width = 1; width <= 80; ++width)
        EXPECT_LE(TTextLayout(faces, font, 203, kTfMultilineFlags, width, 20 * line).Height(), 10 * line) << width;
    // Nothing but blanks after the last line drawn: no ellipsis.
    EXPECT_EQ(Draw(TTextLayout("one two\r\n \n\n", font, 203, kTfMultilineFlags, 240), 240, line, true),
              Draw(TTextLayout("one two", font, 203, kTfMultilineFlags, 240), 240, line, true));
}

TEST(WindowsText, StopsLayingOutBelowTheBoxAndAlwaysDrawsTheFirstLine) {
    const TTextFont font = DejaVu();
    const std::string word(1'000'000, 'W');
    const TTextLayout huge(word, font, 203, kTfMultilineFlags, 390, 230);
    const TTextLayout small(word.substr(0, 20'000), font, 203, kTfMultilineFlags, 390, 230);
    EXPECT_GT(huge.Height(), 230);
    EXPECT_EQ(huge.Height(), small.Height());
    EXPECT_LT(huge.LaidOutBytes(), 65'536U);
    EXPECT_EQ(huge.LaidOutBytes(), small.LaidOutBytes());
    // A box lower than one line still shows the first line, cut by the box.
    const TTextLayout one("Wall", font, 203, kTfMultilineFlags, 390);
    EXPECT_GT(Draw(one, 390, one.Height() / 2, true).CountBlack(), 0);
}

TEST(WindowsText, AlignsInsideTheMarginAndDrawsTheStyles) {
    auto render = [](std::string_view AAlign, std::string_view AStyle = "") {
        TExtGraphicText element;
        element.Font() = DejaVu();
        ApplyFontStyle(element.Font(), AStyle);
        element.SetDPI(203);
        element.SetWidth(40);
        element.SetHeight(10);
        element.SetData("Молоко");
        element.SetTextFormat(TextFormatFromAlign(AAlign, "").Format | kTfSingleLineFlags);
        return element.GetBitMapExt(TValign::vaTop);
    };
    const auto left = InkBox(render(""));
    const auto right = InkBox(render("right"));
    const auto centre = InkBox(render("center"));
    ASSERT_FALSE(left.Empty());
    EXPECT_GE(left.Left, 5);
    EXPECT_LE(left.Left, 8);
    EXPECT_LE(right.Right, 320 - 6);
    EXPECT_GE(right.Right, 320 - 9);
    EXPECT_EQ(right.Width(), left.Width());
    EXPECT_NEAR((centre.Left + centre.Right) / 2.0, 160, 3);
    const TMonoBitmap regular = render("");
    EXPECT_GT(render("", "bold").CountBlack(), regular.CountBlack() * 5 / 4);
    EXPECT_NE(render("", "italic"), regular);
    // No letter of the word reaches below the baseline; the underline does.
    EXPECT_GT(InkBox(render("", "underline")).Bottom, left.Bottom);
    EXPECT_GT(render("", "strikeout").CountBlack(), regular.CountBlack());
    EXPECT_EQ(InkBox(render("", "strikeout")).Bottom, left.Bottom);
}

}  // namespace
}  // namespace quorvane
