#include "printer/graphic_text.h"

#include <algorithm>
#include <cmath>

#include "printer/bitmap_transform.h"
#include "printer/raster_limits.h"
#include "printer/rounding.h"
#include "printer/text_layout.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

constexpr double kMillimetresPerInch = 25.400051;
constexpr std::int32_t kTextMargin = 5;  // dots left blank on every side of a text box

// Clamped far above the raster bounds, so that the bounds check sees the true excess.
std::int64_t DotsOf(double AMillimetres, double ADotsPerMM) {
    const double dots = AMillimetres * ADotsPerMM;
    if (!(dots > 0)) return 0;  // also NaN
    return RoundHalfEven(std::min(dots, 1e12));
}

}  // namespace

void ApplyFontStyle(TTextFont& AFont, std::string_view AFontStyle) {
    std::size_t start = 0;
    while (start <= AFontStyle.size()) {
        const std::size_t end = std::min(AFontStyle.find(' ', start), AFontStyle.size());
        const std::string_view word = AFontStyle.substr(start, end - start);
        if (EqualsIgnoringAsciiCase(word, "bold"))
            AFont.Bold = true;
        else if (EqualsIgnoringAsciiCase(word, "italic"))
            AFont.Italic = true;
        else if (EqualsIgnoringAsciiCase(word, "underline"))
            AFont.Underline = true;
        else if (EqualsIgnoringAsciiCase(word, "strikeout"))
            AFont.StrikeOut = true;
        start = end + 1;
    }
}

TTextAlignment TextFormatFromAlign(std::string_view AAlign, std::string_view AVAlign) {
    TTextAlignment result;
    // A part of the word is enough: "cent" centres.
    if (!AAlign.empty() && ContainsIgnoringAsciiCase("center", AAlign))
        result.Format |= kTfCenter;
    else if (!AAlign.empty() && ContainsIgnoringAsciiCase("right", AAlign))
        result.Format |= kTfRight;
    if (!AVAlign.empty() && ContainsIgnoringAsciiCase("center", AVAlign)) {
        result.Format |= kTfVCenter;
        result.VAlign = TValign::vaCenter;
    } else if (!AVAlign.empty() && ContainsIgnoringAsciiCase("bottom", AVAlign)) {
        result.Format |= kTfBottom;
        result.VAlign = TValign::vaBottom;
    }
    return result;
}

std::int32_t DotsPerMMFromDPI(std::int32_t ADPI) {
    return static_cast<std::int32_t>(RoundHalfEven(ADPI / kMillimetresPerInch));
}

std::int32_t TBaseImage::DPI() const {
    return static_cast<std::int32_t>(RoundHalfEven(FDotsPerMM * kMillimetresPerInch));
}

void TBaseImage::SetDPI(std::int32_t AValue) {
    FDotsPerMM = DotsPerMMFromDPI(AValue);
    FFontDPI = AValue;
}

std::int32_t TBaseImage::RasterWidth() const {
    const std::int64_t width = DotsOf(FWidth, FDotsPerMM);
    CheckRasterSize(width, DotsOf(FHeight, FDotsPerMM));
    return static_cast<std::int32_t>(width);
}

std::int32_t TBaseImage::RasterHeight() const {
    const std::int64_t height = DotsOf(FHeight, FDotsPerMM);
    CheckRasterSize(DotsOf(FWidth, FDotsPerMM), height);
    return static_cast<std::int32_t>(height);
}

TMonoBitmap TBaseImage::GetBitMap() const {
    const bool quarter = FRotation == TRotation::r90 || FRotation == TRotation::r270;
    const std::int32_t width = RasterWidth();
    const std::int32_t height = RasterHeight();
    return quarter ? TMonoBitmap(height, width) : TMonoBitmap(width, height);
}

TMonoBitmap TGraphicText::GetBitMap() const {
    // Drawn upright into the box and turned afterwards, which is what a rotating world
    // transform would give.
    const std::int32_t width = RasterWidth();
    const std::int32_t height = RasterHeight();
    TMonoBitmap bitmap(width, height);
    const TDotRect box{0, 0, width, height};
    if (!box.Empty()) {
        const TTextLayout layout(TrimControls(FData), FFont, FFontDPI, FTextFormat, width, height);
        std::int32_t top = 0;
        // Vertical placement applies to a single line only.
        if (FTextFormat & kTfSingleLine) {
            if (FTextFormat & kTfBottom)
                top = height - layout.Height();
            else if (FTextFormat & kTfVCenter)
                top = (height - layout.Height()) / 2;
        }
        layout.Draw(bitmap, 0, top, box, (FTextFormat & kTfEditControl) != 0);
    }
    RotateBitmap(bitmap, FRotation);
    return bitmap;
}

TMonoBitmap TExtGraphicText::GetBitMapExt(TValign AValign) const {
    // Laid out upright: for r90 and r270 the upright raster has the box's sides exchanged.
    TMonoBitmap bitmap = TBaseImage::GetBitMap();
    const TDotRect inner{kTextMargin, kTextMargin, bitmap.Width() - kTextMargin,
                         bitmap.Height() - kTextMargin};
    if (!inner.Empty()) {
        const std::uint32_t format = FTextFormat & ~(kTfVCenter | kTfBottom);
        const TTextLayout layout(FData, FFont, FFontDPI, format, inner.Width(), inner.Height());
        // Measure, then move the text box down when it is shorter than the inner box.
        TDotRect text = inner;
        text.Bottom = inner.Top + layout.Height();
        if (text.Bottom < inner.Bottom && AValign != TValign::vaTop) {
            const std::int32_t shift =
                AValign == TValign::vaCenter ? (inner.Bottom - text.Bottom) / 2 : inner.Bottom - text.Bottom;
            text.Top += shift;
            text.Bottom += shift;
        } else {
            text.Bottom = inner.Bottom;
        }
        layout.Draw(bitmap, text.Left, text.Top, text, (FTextFormat & kTfEditControl) != 0);
    }
    RotateBitmap(bitmap, FRotation);
    return bitmap;
}

}  // namespace quorvane
