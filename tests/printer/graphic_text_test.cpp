#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>

#include <cmath>
#include <thread>
#include <vector>

#include "printer/bitmap_transform.h"
#include "printer/graphic_text.h"
#include "printer/printer_type_base.h"
#include "printer/raster_limits.h"
#include "printer/text_layout.h"
#include "tests/printer/plain_printer.h"
#include "tests/printer/raster_probe.h"

namespace quorvane {
namespace {

using test::InkBands;
using test::InkBox;

struct TTextCase {
    std::string Text = "Ab";
    double Width = 40;
    double Height = 20;
    TRotation Rotation = TRotation::r0;
    std::int32_t DPI = 203;
    std::string Align;
    std::string VAlign;
    std::string Style;
    bool Multiline = false;
    std::int32_t FontSize = 0;
    std::string FontName;
};

TMonoBitmap Render(const TTextCase& ACase) {
    TExtGraphicText element;
    ApplyFontStyle(element.Font(), ACase.Style);
    if (ACase.FontSize > 0) element.Font().Size = ACase.FontSize;
    if (!ACase.FontName.empty()) element.Font().Name = ACase.FontName;
    element.SetDPI(ACase.DPI);
    element.SetWidth(ACase.Width);
    element.SetHeight(ACase.Height);
    element.SetData(ACase.Text);
    element.SetRotation(ACase.Rotation);
    const TTextAlignment alignment = TextFormatFromAlign(ACase.Align, ACase.VAlign);
    element.SetTextFormat(alignment.Format | (ACase.Multiline ? kTfMultilineFlags : kTfSingleLineFlags));
    return element.GetBitMapExt(alignment.VAlign);
}

// Height of one line of the default font at 203 dpi, as the layout measures it.
std::int32_t LineHeight(std::uint32_t AFormat = kTfSingleLineFlags) {
    return TTextLayout("x", TTextFont{}, 203, AFormat, 1000).Height();
}

TEST(GraphicText, DPIRuleGivesWholeDotsPerMillimetre) {
    TBaseImage image;
    const std::pair<int, int> cases[] = {{203, 8}, {300, 12}, {600, 24}};
    for (const auto& [dpi, dots] : cases) {
        image.SetDPI(dpi);
        EXPECT_EQ(image.DotsPerMM(), dots);
        EXPECT_EQ(DotsPerMMFromDPI(dpi), dots);
        EXPECT_EQ(image.DPI(), static_cast<int>(std::nearbyint(dots * 25.400051)));
    }
}

TEST(GraphicText, RasterCoversTheBoxInEveryRotation) {
    TTextCase upright;
    upright.Text = "Rotate me";
    upright.Width = 30;
    upright.Height = 20;
    const TMonoBitmap r0 = Render(upright);
    EXPECT_EQ(r0.Width(), 240);
    EXPECT_EQ(r0.Height(), 160);
    EXPECT_GT(r0.CountBlack(), 0);

    // A turned text is laid out in the box with its sides exchanged, then turned.
    TTextCase across = upright;
    across.Width = 20;
    across.Height = 30;
    const TMonoBitmap drawn = Render(across);
    ASSERT_EQ(drawn.Width(), 160);
    ASSERT_EQ(drawn.Height(), 240);
    for (TRotation rotation : {TRotation::r90, TRotation::r270}) {
        TTextCase turned = upright;
        turned.Rotation = rotation;
        const TMonoBitmap result = Render(turned);
        EXPECT_EQ(result.Width(), 240);
        EXPECT_EQ(result.Height(), 160);
        TMonoBitmap expected = drawn;
        RotateBitmap(expected, rotation);
        EXPECT_EQ(result, expected);
    }
    TTextCase half = upright;
    half.Rotation = TRotation::r180;
    TMonoBitmap expected = r0;
    RotateBitmap(expected, TRotation::r180);
    EXPECT_EQ(Render(half), expected);
}

TEST(GraphicText, PrinterRasterMatchesTheBoxAtEachResolution) {
    const std::pair<int, std::int32_t> cases[] = {{203, 8}, {300, 12}, {600, 24}};
    for (const auto& [dpi, dots] : cases) {
        const test::TPlainPrinter printer(dpi);
        const TMonoBitmap raster =
            printer.GetGraphicText("Label 42", 30, 20, TRotation::r0, 12, "", "", "", "", false);
        EXPECT_EQ(raster.Width(), 30 * dots) << dpi;
        EXPECT_EQ(raster.Height(), 20 * dots) << dpi;
        EXPECT_GT(raster.CountBlack(), 0) << "no ink at " << dpi;
        const TMonoBitmap turned =
            printer.GetGraphicText("Label 42", 30, 20, TRotation::r90, 12, "", "", "", "", false);
        EXPECT_EQ(turned.Width(), 30 * dots) << dpi;
        EXPECT_EQ(turned.Height(), 20 * dots) << dpi;
    }
}

TEST(GraphicText, RasterFollowsDotInMMWhenTheRoundingsDisagree) {
    // 320 dpi: 320 div 25 = 12 dots per mm for the command, Round(320 / 25.4) = 13 by the DPI rule.
    test::TPlainPrinter printer(320);
    ASSERT_EQ(printer.DotInMM(), 12);
    const TMonoBitmap raster = printer.GetGraphicText("x", 30, 20, TRotation::r0, 0, "", "", "", "", false);
    EXPECT_EQ(raster.Width(), 360);
    EXPECT_EQ(raster.Height(), 240);
}

TEST(GraphicText, SingleLineWithoutEllipsisStillAligns) {
    TGraphicText element;
    element.SetDPI(203);
    element.SetWidth(40);
    element.SetHeight(10);
    element.SetData("Mid");
    element.SetTextFormat(kTfSingleLine | kTfCenter);
    const auto centre = InkBox(element.GetBitMap());
    EXPECT_NEAR((centre.Left + centre.Right) / 2.0, 160, 3);
    element.SetTextFormat(kTfSingleLine | kTfRight);
    EXPECT_GE(InkBox(element.GetBitMap()).Right, 320 - 4);
}

TEST(GraphicText, FontSizeScalesWithResolution) {
    TTextCase small;
    small.Text = "H";
    small.FontSize = 20;
    TTextCase large = small;
    large.DPI = 600;
    const double ratio = static_cast<double>(InkBox(Render(large)).Height()) / InkBox(Render(small)).Height();
    EXPECT_NEAR(ratio, 600.0 / 203.0, 0.15);
    // 20 pt at 203 dpi is an em of 56 dots; a capital H is about 0.72 em high.
    EXPECT_NEAR(InkBox(Render(small)).Height(), 0.72 * 20 * 203 / 72, 3);
}

TEST(GraphicText, AlignsHorizontallyInsideTheMargin) {
    TTextCase c;
    c.Text = "Wide text";
    const auto left = InkBox(Render(c));
    EXPECT_GE(left.Left, 5);
    EXPECT_LE(left.Left, 8);
    for (const char* word : {"right", "RIGHT", "Right", "rig"}) {
        c.Align = word;
        const auto right = InkBox(Render(c));
        EXPECT_LE(right.Right, 320 - 6) << word;
        EXPECT_GE(right.Right, 320 - 9) << word;
        EXPECT_EQ(right.Width(), left.Width()) << word;
    }
    for (const char* word : {"center", "Center", "CENTER", "cent"}) {
        c.Align = word;
        const auto centre = InkBox(Render(c));
        EXPECT_NEAR((centre.Left + centre.Right) / 2.0, 160, 3) << word;
    }
    for (const char* word : {"", "left", "justify"}) {
        c.Align = word;
        EXPECT_EQ(InkBox(Render(c)).Left, left.Left) << word;
    }
}

TEST(GraphicText, AlignsVerticallyByMeasuringFirst) {
    TTextCase c;  // 20 mm high: the inner box is 150 dots
    c.Text = "Hx";
    const std::int32_t line = LineHeight();
    const auto top = InkBox(Render(c));
    c.VAlign = "Center";
    EXPECT_EQ(InkBox(Render(c)).Top - top.Top, (150 - line) / 2);
    c.VAlign = "CENTER";
    EXPECT_EQ(InkBox(Render(c)).Top - top.Top, (150 - line) / 2);
    c.VAlign = "bottom";
    EXPECT_EQ(InkBox(Render(c)).Top - top.Top, 150 - line);
    c.VAlign = "Bottom";
    EXPECT_EQ(InkBox(Render(c)).Top - top.Top, 150 - line);
    c.VAlign = "top";
    EXPECT_EQ(InkBox(Render(c)).Top, top.Top);

    // Taller than the box: drawn from the top, cut at the bottom margin.
    c.VAlign = "bottom";
    c.Height = 3;  // 24 dots, inner 14
    c.FontSize = 20;
    const TMonoBitmap cut = Render(c);
    const auto ink = InkBox(cut);
    ASSERT_FALSE(ink.Empty());
    EXPECT_LE(ink.Bottom, 24 - 6);
    EXPECT_GE(ink.Top, 5);
}

TEST(GraphicText, LongSingleLineEndsInAnEllipsis) {
    TTextCase c;
    c.Width = 25;
    c.Height = 10;
    c.Align = "right";
    c.Text = "A text that is much too long for its small box";
    const TMonoBitmap cut = Render(c);
    c.Text = "\u2026";
    const TMonoBitmap ellipsis = Render(c);
    const auto dots = InkBox(ellipsis);
    ASSERT_FALSE(dots.Empty());
    ASSERT_LT(dots.Width(), 40);
    // The last glyph of the cut line is the ellipsis: the same dots at the right end of its ink.
    const auto cutInk = InkBox(cut);
    const std::int32_t shift = cutInk.Right - dots.Right;
    for (std::int32_t y = 0; y < cut.Height(); ++y)
        for (std::int32_t x = dots.Left; x <= dots.Right; ++x)
            ASSERT_EQ(cut.Pixel(x + shift, y), ellipsis.Pixel(x, y)) << x << "," << y << "\n"
                                                                     << test::Ascii(cut);
    EXPECT_GT(cut.CountBlack(), ellipsis.CountBlack() * 5);
    EXPECT_LE(InkBox(cut).Right, 200 - 6);
}

TEST(GraphicText, MultilineWrapsAndDropsAPartialLastLine) {
    const std::int32_t line = LineHeight(kTfMultilineFlags);
    TTextCase c;
    c.Text = "one two three four five six seven nine ten eleven twelve one two three four five six";
    c.Width = 30;
    c.Multiline = true;
    c.Height = (10 + 2.5 * line) / 8.0;
    EXPECT_EQ(InkBands(Render(c)), 2) << test::Ascii(Render(c));
    c.Height = (10 + 3.5 * line) / 8.0;
    EXPECT_EQ(InkBands(Render(c)), 3);
    c.Height = (10 + 3 * line) / 8.0;
    EXPECT_EQ(InkBands(Render(c)), 3);
    const TMonoBitmap all = Render(c);
    EXPECT_LE(InkBox(all).Right, 240 - 6);

    // Line breaks in the text are kept when wrapping and read as blanks on a single line.
    c.Text = "one\ntwo";
    EXPECT_EQ(InkBands(Render(c)), 2);
    c.Multiline = false;
    EXPECT_EQ(InkBands(Render(c)), 1);
    c.Text = "one two three four five six seven nine ten eleven twelve";
    EXPECT_EQ(InkBands(Render(c)), 1);
}

TEST(GraphicText, WrappedTextWorkIsBoundedByTheBoxNotTheText) {
    // One unbroken word used to be laid out again for every line: quadratic in its length.
    const TTextFont font;
    const std::string word(1'000'000, 'W');
    const TTextLayout huge(word, font, 203, kTfMultilineFlags, 390, 230);
    const TTextLayout small(word.substr(0, 20'000), font, 203, kTfMultilineFlags, 390, 230);
    EXPECT_GT(huge.Height(), 230);
    EXPECT_LT(huge.LaidOutBytes(), 16'384U);
    EXPECT_EQ(huge.LaidOutBytes(), small.LaidOutBytes());
    EXPECT_LT(TTextLayout(word, font, 203, kTfSingleLineFlags, 390).LaidOutBytes(), 16'384U);
    const test::TPlainPrinter printer(203);
    EXPECT_EQ(printer.GetGraphicText(word, 50, 30, TRotation::r0, 0, "", "", "", "", true),
              printer.GetGraphicText(word.substr(0, 20'000), 50, 30, TRotation::r0, 0, "", "", "", "", true));
}

TEST(GraphicText, WrappedTextLosesNoCharacterBetweenLayoutPieces) {
    // In a fixed-pitch face every M has the same ink: the total counts the characters drawn,
    // across words, long words, CR LF and LF, over many lines.
    TTextCase c;
    c.FontName = "DejaVu Sans Mono";
    c.FontSize = 8;
    c.Multiline = true;
    c.Width = 40;
    c.Height = 1500;
    c.Text = "M";
    const std::int64_t one = Render(c).CountBlack();
    ASSERT_GT(one, 0);
    std::string text;
    std::int64_t ms = 0;
    for (int i = 1; i <= 400; ++i) {
        const int length = i % 23 == 0 ? 150 : i % 7 + 1;
        text += std::string(length, 'M');
        ms += length;
        text += i % 11 == 0 ? "\r\n" : i % 13 == 0 ? "\n\n" : " ";
    }
    c.Text = text;
    const TMonoBitmap all = Render(c);
    EXPECT_EQ(all.CountBlack(), ms * one);
    EXPECT_LT(InkBox(all).Bottom, all.Height() - 100) << "the box must hold every line";
}

TEST(GraphicText, WrappedTextThatDoesNotFitEndsInAnEllipsis) {
    const std::int32_t line = LineHeight(kTfMultilineFlags);
    TTextCase c;
    c.Width = 30;
    c.Height = (10 + 2.5 * line) / 8.0;
    c.Multiline = true;
    c.Align = "right";
    c.Text = "\u2026";
    const TMonoBitmap ellipsis = Render(c);
    const auto dots = InkBox(ellipsis);
    ASSERT_FALSE(dots.Empty());
    // Capitals only: every line's ink ends on the baseline, like the ellipsis.
    for (const std::string& text :
         std::vector<std::string>{"ONE TWO THREE FOUR FIVE SIX SEVEN EIGHT NINE TEN ELEVEN TWELVE",
                                  "ONE TWO\nTHREE\nFOUR", std::string(300, 'W')}) {
        c.Text = text;
        const TMonoBitmap cut = Render(c);
        ASSERT_EQ(InkBands(cut), 2) << text << "\n" << test::Ascii(cut);
        // The ink of the last band alone.
        auto rowInk = [&](std::int32_t AY) {
            for (std::int32_t x = 0; x < cut.Width(); ++x)
                if (cut.Pixel(x, AY)) return true;
            return false;
        };
        std::int32_t bottom = cut.Height() - 1;
        while (!rowInk(bottom)) --bottom;
        std::int32_t top = bottom;
        while (rowInk(top - 1)) --top;
        test::TInkBox ink{cut.Width(), top, -1, bottom};
        for (std::int32_t y = top; y <= bottom; ++y)
            for (std::int32_t x = 0; x < cut.Width(); ++x)
                if (cut.Pixel(x, y)) ink.Right = std::max(ink.Right, x);
        const std::int32_t dx = ink.Right - dots.Right;
        const std::int32_t dy = ink.Bottom - dots.Bottom;
        for (std::int32_t y = dots.Top; y <= dots.Bottom; ++y)
            for (std::int32_t x = dots.Left; x <= dots.Right; ++x)
                ASSERT_EQ(cut.Pixel(x + dx, y + dy), ellipsis.Pixel(x, y)) << text << "\n"
                                                                           << test::Ascii(cut);
    }
    // Nothing but blanks after the last line drawn: no ellipsis.
    c.Text = "ONE TWO\r\n \n\n";
    const TMonoBitmap blanks = Render(c);
    c.Text = "ONE TWO";
    EXPECT_EQ(blanks, Render(c));
}

TEST(GraphicText, StyleWordsAreBlankSeparatedAndCaseBlind) {
    TTextFont font;
    ApplyFontStyle(font, "Bold Italic");
    EXPECT_TRUE(font.Bold && font.Italic && !font.Underline && !font.StrikeOut);
    TTextFont comma;
    ApplyFontStyle(comma, "Bold,Italic");
    EXPECT_FALSE(comma.Bold || comma.Italic);
    TTextFont all;
    ApplyFontStyle(all, " UNDERLINE  strikeout bold heavy");
    EXPECT_TRUE(all.Bold && all.Underline && all.StrikeOut && !all.Italic);

    TTextCase c;
    c.Text = "Style";
    const TMonoBitmap regular = Render(c);
    c.Style = "bold";
    const TMonoBitmap bold = Render(c);
    EXPECT_GT(bold.CountBlack(), regular.CountBlack() * 5 / 4);
    c.Style = "italic";
    const TMonoBitmap italic = Render(c);
    EXPECT_NE(italic, regular);
    c.Style = "Bold Italic";
    const TMonoBitmap boldItalic = Render(c);
    EXPECT_NE(boldItalic, bold);
    EXPECT_NE(boldItalic, italic);
    c.Style = "Bold,Italic";
    EXPECT_EQ(Render(c), regular);
    c.Text = "Sale";  // no descender, so that the underline is the lowest ink
    const TMonoBitmap plain = Render(c);
    c.Style = "underline";
    const auto underlined = InkBox(Render(c));
    EXPECT_GT(underlined.Bottom, InkBox(plain).Bottom);
}

TEST(GraphicText, CyrillicHasGlyphsInTheDefaultFace) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kDefaultFontName));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    ASSERT_NE(match, nullptr);
    FcCharSet* characters = nullptr;
    ASSERT_EQ(FcPatternGetCharSet(match, FC_CHARSET, 0, &characters), FcResultMatch);
    for (FcChar32 c : {0x0416U, 0x0436U, 0x0401U, 0x0451U, 0x2116U})  // Ж ж Ё ё №
        EXPECT_TRUE(FcCharSetHasChar(characters, c)) << std::hex << c;
    FcPatternDestroy(match);
    FcPatternDestroy(pattern);

    TTextCase c;
    c.Text = "Ёлка №5";
    EXPECT_GT(Render(c).CountBlack(), 0);
}

TEST(GraphicText, EmptyAndUntrustedInputIsSafe) {
    const test::TPlainPrinter printer(203);
    EXPECT_TRUE(printer.GetGraphicText("text", 0, 20, TRotation::r0, 0, "", "", "", "", false).Empty());
    EXPECT_TRUE(printer.GetGraphicText("text", -5, -5, TRotation::r90, 0, "", "", "", "", true).Empty());
    // One millimetre leaves no room inside the margin: a white raster.
    EXPECT_EQ(printer.GetGraphicText("text", 1, 1, TRotation::r0, 0, "", "", "", "", false), TMonoBitmap(8, 8));
    EXPECT_EQ(printer.GetGraphicText("", 10, 10, TRotation::r0, 0, "", "", "", "", true), TMonoBitmap(80, 80));
    const std::string broken("a\xFF\xFE\0b\xC3", 6);
    const TMonoBitmap unknownFace =
        printer.GetGraphicText(broken, 10, 10, TRotation::r0, 0, "No Such Face", "", "", "", true);
    EXPECT_EQ(unknownFace.Width(), 80);
    EXPECT_EQ(unknownFace.Height(), 80);
    const TMonoBitmap negativeSize = printer.GetGraphicText("x", 10, 10, TRotation::r0, -4, "", "", "", "", true);
    EXPECT_EQ(negativeSize.Width(), 80);
    EXPECT_EQ(negativeSize.Height(), 80);
    EXPECT_THROW(printer.GetGraphicText("x", 5000, 10, TRotation::r0, 0, "", "", "", "", false),
                 ERasterTooLarge);
    EXPECT_THROW(printer.GetGraphicText("x", 1100, 1100, TRotation::r90, 0, "", "", "", "", false),
                 ERasterTooLarge);
}

TEST(GraphicText, PlainElementDrawsTrimmedTextIntoTheWholeBox) {
    TGraphicText element;
    element.SetDPI(203);
    element.SetWidth(40);
    element.SetHeight(10);
    element.SetData("   Edge   ");
    element.SetTextFormat(kTfSingleLineFlags | kTfRight);
    const auto ink = InkBox(element.GetBitMap());
    EXPECT_GE(ink.Right, 320 - 4);  // no margin, trailing blanks gone
    element.SetRotation(TRotation::r90);
    const TMonoBitmap turned = element.GetBitMap();
    EXPECT_EQ(turned.Width(), 80);
    EXPECT_EQ(turned.Height(), 320);
}

TEST(GraphicText, ThreadsRenderIndependently) {
    // Many faces and sizes at once: fonts are created and freed while other threads draw.
    std::vector<TTextCase> cases;
    for (const char* face : {"Arial", "Times New Roman", "Courier New", "DejaVu Sans"})
        for (const char* style : {"", "bold", "italic underline", "bold italic"})
            for (int size : {8, 16, 36}) {
                TTextCase c;
                c.Text = "Поток № 5 и ещё ½ € текста";
                c.Multiline = true;
                c.Style = style;
                c.FontName = face;
                c.FontSize = size;
                cases.push_back(c);
            }
    std::vector<TMonoBitmap> expected;
    for (const TTextCase& c : cases) expected.push_back(Render(c));
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < mismatches.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 2; ++round)
                for (std::size_t i = 0; i < cases.size(); ++i) {
                    const std::size_t k = (i + t * 11) % cases.size();
                    if (Render(cases[k]) != expected[k]) ++mismatches[t];
                }
        });
    for (std::thread& thread : threads) thread.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

TEST(TextLayout, GlyphImagesDrawWhatCairoDraws) {
    struct TCase {
        std::string Text;
        const char* Face;
        double Size;
        bool Bold, Italic;
        std::int32_t DPI;
        std::uint32_t Format;
        std::int32_t X, Y;  // where the text goes in a 300 x 120 raster
        TDotRect Clip;
    };
    const TDotRect all{0, 0, 300, 120};
    const std::string mixed = "AVAWAY To «Ёж» № 5,90 ₽ fi ffl e\u0301 שלום";
    const std::vector<TCase> cases = {
        {mixed, "Arial", 10, false, false, 203, kTfSingleLineFlags, 3, 2, all},
        {mixed, "Arial", 10, true, true, 300, kTfSingleLineFlags | kTfCenter, 0, 0, all},
        {mixed, "Times New Roman", 7, false, true, 600, kTfMultilineFlags, 5, 5, all},
        {mixed, "Courier New", 26, true, false, 203, kTfMultilineFlags | kTfRight, -7, -9, all},
        {mixed, "DejaVu Serif", 12, false, false, 600, kTfMultilineFlags, 0, 0, all},
        // Clips that cut glyphs on every side, and one that starts inside a byte.
        {mixed, "Arial", 24, true, false, 203, kTfMultilineFlags, -3, -4, {13, 7, 211, 61}},
        {mixed, "Arial", 9, false, false, 600, kTfMultilineFlags, 2, 1, {3, 0, 297, 119}},
        {"gjpqy|ÅÉ", "Liberation Mono", 40, false, false, 203, kTfSingleLineFlags, 1, -20, {0, 10, 300, 40}},
        // Drawn by cairo all the same: an underline, and a character no face has.
        {"under 中 line", "Arial", 10, false, false, 203, kTfSingleLineFlags, 0, 0, all},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Face) + " " + std::to_string(c.Size) + " at " + std::to_string(c.DPI));
        TTextFont font;
        font.Name = c.Face;
        font.Size = c.Size;
        font.Bold = c.Bold;
        font.Italic = c.Italic;
        font.Underline = c.Text.starts_with("under");
        const TTextLayout layout(c.Text, font, c.DPI, c.Format, 290, 110);
        TMonoBitmap cached(300, 120), cairo(300, 120);
        for (bool complete : {false, true}) {
            layout.Draw(cached, c.X, c.Y, c.Clip, complete);
            layout.Draw(cairo, c.X, c.Y, c.Clip, complete, true);
            EXPECT_GT(cairo.CountBlack(), 0);
            EXPECT_TRUE(cached == cairo) << "complete lines only: " << complete;
        }
    }
}

}  // namespace
}  // namespace quorvane
