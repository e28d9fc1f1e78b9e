#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "printer/field_object.h"
#include "printer/mono_bitmap.h"

namespace quorvane {

// Text layout flags (the values of the classic text-drawing API they stand for).
inline constexpr std::uint32_t kTfCenter = 0x1;
inline constexpr std::uint32_t kTfRight = 0x2;
inline constexpr std::uint32_t kTfVCenter = 0x4;
inline constexpr std::uint32_t kTfBottom = 0x8;
inline constexpr std::uint32_t kTfWordBreak = 0x10;
inline constexpr std::uint32_t kTfSingleLine = 0x20;
inline constexpr std::uint32_t kTfCalcRect = 0x400;
inline constexpr std::uint32_t kTfNoPrefix = 0x800;
inline constexpr std::uint32_t kTfEditControl = 0x2000;
inline constexpr std::uint32_t kTfEndEllipsis = 0x8000;
inline constexpr std::uint32_t kTfMultilineFlags = 0xA810;
inline constexpr std::uint32_t kTfSingleLineFlags = 0xA820;

// Used when the document names no face or no positive size. fontconfig resolves Arial to a
// metric-compatible face (Liberation Sans).
inline constexpr const char* kDefaultFontName = "Arial";
inline constexpr double kDefaultFontSize = 10.0;

struct TTextFont {
    std::string Name = kDefaultFontName;
    double Size = kDefaultFontSize;  // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
};

// Applies the blank-separated words "bold", "italic", "underline", "strikeout" (any case) of
// AFontStyle to AFont; other words are ignored.
void ApplyFontStyle(TTextFont& AFont, std::string_view AFontStyle);

struct TTextAlignment {
    std::uint32_t Format = 0;  // kTfCenter/kTfRight and kTfVCenter/kTfBottom bits
    TValign VAlign = TValign::vaTop;
};

// "center"/"right" and "center"/"bottom" in any case, also abbreviated (a value found inside the
// word); empty or anything else gives left and top.
TTextAlignment TextFormatFromAlign(std::string_view AAlign, std::string_view AVAlign);

// Round(v / 25.400051) half to even: 203 -> 8, 300 -> 12, 600 -> 24.
std::int32_t DotsPerMMFromDPI(std::int32_t ADPI);

// A rasterised element: a box in millimetres at a resolution, rotated by quarter-turns.
class TBaseImage {
public:
    TBaseImage() = default;
    TBaseImage(const TBaseImage&) = delete;
    TBaseImage& operator=(const TBaseImage&) = delete;
    virtual ~TBaseImage() = default;

    double Height() const { return FHeight; }
    void SetHeight(double AValue) { FHeight = AValue; }
    double Width() const { return FWidth; }
    void SetWidth(double AValue) { FWidth = AValue; }
    TRotation Rotation() const { return FRotation; }
    void SetRotation(TRotation AValue) { FRotation = AValue; }
    // Round(FDotsPerMM x 25.400051); setting it also sets the font resolution in dots per inch.
    std::int32_t DPI() const;
    void SetDPI(std::int32_t AValue);
    double DotsPerMM() const { return FDotsPerMM; }
    // Sizes the raster without touching the font resolution.
    void SetDotsPerMM(double AValue) { FDotsPerMM = AValue; }

    // Sizes a white raster for the box; width and height exchange for r90 and r270.
    virtual TMonoBitmap GetBitMap() const;

protected:
    std::int32_t RasterWidth() const;   // before rotation
    std::int32_t RasterHeight() const;  // before rotation

    TRotation FRotation = TRotation::r0;
    double FHeight = 0;
    double FWidth = 0;
    double FDotsPerMM = 8.0;
    std::int32_t FFontDPI = 203;
};

// Text drawn into its whole box (no margins), rotated as a whole.
class TGraphicText : public TBaseImage {
public:
    const TTextFont& Font() const { return FFont; }
    TTextFont& Font() { return FFont; }
    const std::string& Data() const { return FData; }
    void SetData(std::string AValue) { FData = std::move(AValue); }
    std::uint32_t TextFormat() const { return FTextFormat; }
    void SetTextFormat(std::uint32_t AValue) { FTextFormat = AValue; }

    // The trimmed text drawn into the full raster with TextFormat, then turned.
    TMonoBitmap GetBitMap() const override;

protected:
    TTextFont FFont;
    std::string FData;
    std::uint32_t FTextFormat = kTfWordBreak;
};

// Text drawn upright inside a 5-dot margin, aligned vertically by measuring it first; the
// finished raster is turned. The print path uses this.
class TExtGraphicText : public TGraphicText {
public:
    TMonoBitmap GetBitMapExt(TValign AValign) const;
};

}  // namespace quorvane
