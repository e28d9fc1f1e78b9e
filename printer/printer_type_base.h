#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "printer/field_object.h"
#include "printer/mono_bitmap.h"

namespace quorvane {

// One argument of AddScriptString: a signed integer for %d or a byte string for %s.
class TScriptValue {
public:
    template <std::integral T>
    requires(!std::same_as<T, bool>) TScriptValue(T AValue)
        : FIsNumber(true), FNumber(static_cast<std::int64_t>(AValue)) {}
    TScriptValue(std::string_view AValue) : FText(AValue) {}
    TScriptValue(const std::string& AValue) : FText(AValue) {}
    TScriptValue(const char* AValue) : FText(AValue) {}

    bool IsNumber() const { return FIsNumber; }
    std::int64_t Number() const { return FNumber; }
    std::string_view Text() const { return FText; }

private:
    bool FIsNumber = false;
    std::int64_t FNumber = 0;
    std::string_view FText;
};

// A field box in millimetres.
struct TFieldBox {
    std::int32_t Left;
    std::int32_t Top;
    std::int32_t Width;
    std::int32_t Height;
    bool operator==(const TFieldBox&) const = default;
};

// Base of printer command-language generators: the script under construction (one command per
// entry, bytes carried unchanged) and the helpers every language shares.
class TPrinterTypeBase {
public:
    TPrinterTypeBase();
    TPrinterTypeBase(const TPrinterTypeBase&) = delete;
    TPrinterTypeBase& operator=(const TPrinterTypeBase&) = delete;
    virtual ~TPrinterTypeBase();

    virtual void InitialScriptActions(std::int32_t AWidth, std::int32_t AHeigth, std::int32_t AGap,
                                      std::int32_t ADensity, std::int32_t ADirection, double ASpeed,
                                      const std::string& ACodepage) = 0;
    virtual void FinalScriptActions() = 0;
    virtual void AddText(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop,
                         std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                         const std::string& AFontName, std::int32_t AFontSize, const std::string& AFontStyle,
                         const std::string& ABorder, std::int32_t ABorderWidth,
                         const std::string& ABorderStyle, const std::string& AAlign,
                         const std::string& AVAlign, bool AMultiline, bool AIsStaticField,
                         const std::string& AValue) = 0;
    virtual void AddImage(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop,
                          std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                          const std::string& ABorder, std::int32_t ABorderWidth,
                          const std::string& ABorderStyle, bool AIsStaticField,
                          const std::string& AValue) = 0;
    virtual void AddBarcode(const std::string& AFieldName, const std::string& AType, std::int32_t ALeft,
                            std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight,
                            std::int32_t AOrientation, bool APrintHRI, bool ACheckSymbol, bool AIsStaticField,
                            const std::string& AValue) = 0;
    virtual void AddUserData(const std::string& AFieldName, bool AIsStaticField,
                             const std::string& AValue) = 0;

    // Clears the script: the start of a new template.
    void Init();

    // Formats AValues into AFormatString and appends the result as one script entry: "%d" takes a
    // signed integer, "%s" a byte string inserted verbatim, strictly in order; every other
    // character is copied. A value count or kind that does not match throws std::logic_error.
    void AddScriptString(std::string_view AFormatString, std::initializer_list<TScriptValue> AValues = {});

    // 90, 180, 270 give r90, r180, r270; anything else r0.
    static TRotation OrientationToRotation(std::int32_t AOrientation);

    // Printer bitmap bytes: per row the first W div 8 bytes, most significant bit leftmost, a set
    // bit white; exactly (W div 8) x H bytes.
    static std::string BitmapToGraphicText(const TMonoBitmap& ABitmap);

    // Text in a box AWidth x AHeight mm, drawn with the fonts at the DPI of this printer and
    // rasterised at DotInMM, rotated inside the box, as printer bytes: exactly
    // (AWidth x DotInMM) div 8 per row and AHeight x DotInMM rows (none when DotInMM is 0).
    std::string GetGraphicText(std::string_view AText, std::int32_t AWidth, std::int32_t AHeight,
                               TRotation ARotation, std::int32_t AFontSize, std::string_view AFontName,
                               std::string_view AFontStyle, std::string_view AAlign, std::string_view AVAlign,
                               bool AMultiline) const;

    // A Base64 picture as a black-and-white raster; throws EImageConversion on any failure.
    static TMonoBitmap GetBitmapFromBase64(std::string_view AValue);
    // PNG, JPEG, GIF or BMP bytes; std::nullopt when unknown or corrupt.
    static std::optional<TMonoBitmap> GetBitmapFromGraphic(std::span<const std::uint8_t> ABytes);

    // A picture value as printer bytes: decoded, turned by ARotation, stretched to or fitted
    // into AWidth x AHeight mm. ABmp receives the scaled raster. A blank value gives "" and an
    // empty ABmp.
    std::string GetBinaryFromBase64Image(std::string_view ABase64String, std::int32_t AWidth,
                                         std::int32_t AHeight, TRotation ARotation, TMonoBitmap& ABmp) const;

    // Where the document reader puts a rotated barcode so that the printer, turning the symbol
    // about its anchor, draws it inside the field's box. QR Code and Data Matrix keep their box,
    // and so does PDF417 when it is printed as a picture.
    static TFieldBox RotatedBarcodePlacement(const TFieldBox& ABox, std::int32_t AOrientation,
                                             std::string_view ABarcodeType, bool A2DBarcodeAsPicture);

    std::int32_t DotInMM() const { return FDotInMM; }
    void SetDotInMM(std::int32_t AValue) { FDotInMM = AValue; }
    std::int32_t DPI() const { return FDPI; }
    void SetDPI(std::int32_t AValue) { FDPI = AValue; }
    const std::vector<std::string>& ScriptText() const { return FScriptText; }
    void SetScriptText(std::vector<std::string> AValue) { FScriptText = std::move(AValue); }
    bool IsTextGraphic() const { return FIsTextGraphic; }
    void SetIsTextGraphic(bool AValue) { FIsTextGraphic = AValue; }
    bool StretchImage() const { return FStretchImage; }
    void SetStretchImage(bool AValue) { FStretchImage = AValue; }

    // All entries, each followed by CR LF.
    std::string Script() const;

protected:
    std::int32_t FDotInMM = 8;
    std::int32_t FDPI = 203;
    std::vector<std::string> FScriptText;
    bool FIsTextGraphic = true;
    bool FStretchImage = false;
};

}  // namespace quorvane
