#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "printer/field_object.h"
#include "printer/mono_bitmap.h"
#include "printer/printer_type_base.h"
#include "printer/tspl/bitmap_command.h"
#include "printer/tspl/code_page.h"
#include "printer/tspl/tspl_settings.h"

namespace quorvane {

// Where a barcode field of ABox turned by AOrientation is anchored so that the printer, turning
// its own symbols about the anchor, draws it inside the box. QR Code and Data Matrix keep their
// box, and so does PDF417 when it is printed as a picture, which is turned inside the box.
TFieldBox RotatedBarcodePlacement(const TFieldBox& ABox, std::int32_t AOrientation, const TSymbology& ASymbology,
                                  bool A2DBarcodeAsPicture);

// Inside a quoted TSPL string: " as \["], CR as \[R], LF as \[L]; a raw CR or LF would end the
// command and let the rest run as commands.
std::string EscapeTsplString(std::string_view AText);

// TSPL generator: writes the label template command by command and rebuilds a field's line
// when a label's value arrives.
class TPrinterTSPL : public TPrinterTypeBase {
public:
    TPrinterTSPL() = default;

    // What Open does with the settings: dots per mm = AResolution div 25, text always as
    // bitmaps, a narrow bar outside 1..10 becomes 1.
    void ApplySettings(std::int32_t AResolution, bool AStretchImage, TTsplSettings ASettings);

    const TTsplSettings& Settings() const { return FSettings; }
    TTsplSettings& Settings() { return FSettings; }
    void SetSettings(TTsplSettings AValue) { FSettings = std::move(AValue); }

    std::string_view Name() const override { return "TSPL"; }
    std::string_view LineEnd() const override { return "\r\n"; }

    // The encoder and the script are not shared with the copy.
    std::unique_ptr<TPrinterTypeBase> CopySettings() const override;

    const std::string& Codepage() const { return FCodepage; }
    void SetCodepage(const std::string& AValue) override;

    // Text is a BITMAP's data (skRaster) or a TEXT command's content (skInLine); barcodes and
    // pictures are whole lines; user data is raw commands.
    TSlotKind SlotKind(const TFieldObject& AField) const override;
    // The white raster a text field's BITMAP announces.
    std::string BlankRaster(const TFieldObject& AField) const override;
    std::string SlotValue(const TFieldObject& AField, TSlotKind AKind, std::string_view ALine,
                          std::string_view AValue) const override;

    // RotatedBarcodePlacement with the 2D-as-picture setting.
    TFieldBox BarcodeBox(const TFieldBox& ABox, std::int32_t AOrientation,
                         const TSymbology& ASymbology) const override;

    std::string_view StatusQuery() const override;
    TPrinterReasons StatusReasons(std::optional<std::uint8_t> AReply) const override;
    // SPEED is inches per second; the paper moves the label and its gap.
    double CopyPrintMs(std::int32_t AHeight, std::int32_t AGap, double ASpeed) const override;

    // The ribbon mode of the models that can switch it (3 Orvel M, 4 Orvel MX).
    bool NeedsSetUp() const override;
    bool SetUpPrinter(const TPrinterExchange& AExchange) const override;

    std::string ScriptLogText(std::string_view AScript) const override;
    // Every BITMAP cut down to its ink (InkOnlyScript).
    std::string SendableScript(std::string AScript) const override;

    void InitialScriptActions(std::int32_t AWidth, std::int32_t AHeigth, std::int32_t AGap,
                              std::int32_t ADensity, std::int32_t ADirection, double ASpeed,
                              const std::string& ACodepage) override;
    void FinalScriptActions() override;
    void AddText(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                 std::int32_t AHeight, std::int32_t AOrientation, const std::string& AFontName,
                 std::int32_t AFontSize, const std::string& AFontStyle, const std::string& ABorder,
                 std::int32_t ABorderWidth, const std::string& ABorderStyle, const std::string& AAlign,
                 const std::string& AVAlign, bool AMultiline, bool AIsStaticField,
                 const std::string& AValue) override;
    void AddImage(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                  std::int32_t AHeight, std::int32_t AOrientation, const std::string& ABorder,
                  std::int32_t ABorderWidth, const std::string& ABorderStyle, bool AIsStaticField,
                  const std::string& AValue) override;
    void AddBarcode(const std::string& AFieldName, const TSymbology& ASymbology, std::int32_t ALeft,
                    std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                    bool APrintHRI, bool ACheckSymbol, bool AIsStaticField,
                    const std::string& AValue) override;
    // User data is raw printer commands: a static value goes in as its own line, a non-static
    // field's token stands alone on a line for the label's value.
    void AddUserData(const std::string& AFieldName, bool AIsStaticField, const std::string& AValue) override;

    // Frame of a field: BOX for exactly four blank-separated words, else one BAR per "left",
    // "top", "right", "bottom". ABorderWidth is in dots (1 when not positive).
    void PrintBorder(const std::string& ABorder, std::int32_t ABorderWidth, std::int32_t ALeft,
                     std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight);

    // A label's picture line: BITMAP with the picture's bytes (AValue, the data of ABitmap from
    // GetPictureBitmap), or "" for an empty value.
    std::string RecalculateImage(const TFieldObject& AField, std::string_view AValue,
                                 const TMonoBitmap& ABitmap) const;

    // A label's barcode line, given the template's line ALine holding the field's token: empty
    // for a blank value, a BITMAP for a 2D symbol printed as picture, else ALine with the value
    // (digit-checked, escaped, encoded) in place of the token.
    std::string RecalculateBarcode(std::string_view ALine, const TFieldObject& AField,
                                   std::string_view AValue) const;

    // Text rendered for a BITMAP command of a box AWidth x AHeight mm: exactly the
    // (AWidth x DotInMM) div 8 x (AHeight x DotInMM) bytes the command announces, also when the
    // rasteriser's resolution (from DPI) differs from DotInMM, as with 1000 dpi.
    std::string TextBitmap(std::string_view AText, std::int32_t AWidth, std::int32_t AHeight,
                           std::int32_t AOrientation, std::int32_t AFontSize, std::string_view AFontName,
                           std::string_view AFontStyle, std::string_view AAlign, std::string_view AVAlign,
                           bool AMultiline) const;

    // The content of a built-in-font TEXT command for a value: escaped and encoded.
    std::string TextContent(std::string_view AValue) const;

    // Encodes command text with the code page (ASCII passes through untouched); characters the
    // code page lacks become "?" and are noted for TakeUnencodable.
    std::string EncodeCommandText(std::string_view AText) const;

    // A user-data value as the bytes of the code page; ASCII too goes through the encoder, so
    // a code page that is no code page fails.
    std::string UserDataContent(std::string_view AValue) const;

    static std::string GetErrorDescription(std::uint8_t AErrorCode);

    static std::string Reset();
    std::string SetRibbon() const;
    static std::string SetGapDetect();
    static std::string SetAutodetect();

    // Built-in font name by model and magnification by point size, for the TEXT command.
    static std::string_view BuiltInFontName(std::int32_t AModel);
    static std::int32_t BuiltInFontMagnification(std::int32_t AFontSize);

private:
    std::int64_t Dots(std::int64_t AMillimetres) const { return AMillimetres * FDotInMM; }
    void AddBitmap(std::int64_t AX, std::int64_t AY, std::int64_t AWidthBytes, std::int64_t AHeight,
                   TBitmapMode AMode, std::string_view AData);
    std::string PDF417Options() const;
    std::string DataMatrixOptions(std::int32_t AOrientation, std::string_view ASize) const;
    // The DataMatrixSize setting, or when that cannot hold ABytes (the content as the printer
    // reads it) the smallest size of the setting's choices not smaller in rows or columns that
    // can, keeping square or rectangular shape when one does. Raising it is logged.
    std::string DataMatrixSizeFor(std::string_view ABytes) const;
    // Appends the command of a 2D symbology printed by the printer itself; AValueBytes is the
    // content as the printer reads it, absent for a field's token.
    void Add2DCommand(const TSymbology& ASymbology, std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                      std::int32_t AHeight, std::int32_t AOrientation, std::string_view AContent,
                      std::optional<std::string_view> AValueBytes);
    // A linear symbol's content in the code page; a character the code page lacks is refused,
    // since a "?" would print a valid code of another value.
    std::string LinearBarcodeContent(std::string_view AValue) const;
    // A 2D symbol's content as UTF-8: the printer puts the bytes into the symbol as given, and
    // scanners read byte data as UTF-8.
    static std::string TwoDBarcodeContent(std::string_view AValue);
    const TCodePageEncoder& Encoder() const;
    // A GS1 DataMatrix the printer draws: escape character "~" (FNC1 is "~1"), no row and
    // column count so that the printer picks the smallest size that holds the data.
    std::string Gs1DataMatrixLine(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                                  std::int32_t AHeight, std::int32_t AOrientation,
                                  std::string_view AContent) const;
    static std::string Gs1DataMatrixContent(std::string_view AValue);

    TTsplSettings FSettings;
    std::string FCodepage = "1251";
    // Made on first use, so a code page that is never needed is never checked.
    mutable std::optional<TCodePageEncoder> FEncoder;
};

}  // namespace quorvane
