#include "printer/tspl/printer_type_tspl.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "errors/messages.h"
#include "log/driver_log.h"
#include "printer/barcode_picture.h"
#include "printer/graphic_text.h"
#include "printer/gs1_element_string.h"
#include "printer/raster_limits.h"
#include "printer/rounding.h"
#include "printer/tspl/ink_only_script.h"
#include "printer/tspl/ribbon_query.h"
#include "printer/tspl/script_log.h"
#include "printer/tspl/status_query.h"
#include "text/ascii_text.h"
#include "text/utf8_text.h"

namespace quorvane {

namespace {

bool IsAscii(std::string_view AText) {
    for (char c : AText)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::int64_t SpeedToWhole(double ASpeed) {
    if (!std::isfinite(ASpeed)) return 0;
    const double rounded = RoundHalfEvenDouble(ASpeed);
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int64_t>(rounded < low ? low : rounded > high ? high : rounded);
}

// The BARCODE command's type of a linear symbology and its wide bar as a multiple of the narrow.
struct TTsplBarcode {
    std::string_view Type;
    std::int32_t WideFactor;
};

TTsplBarcode TsplBarcode(TSymbologyId AId) {
    switch (AId) {
        case TSymbologyId::siEAN8: return {"EAN8", 1};
        case TSymbologyId::siEAN13: return {"EAN13", 1};
        case TSymbologyId::siEAN128: return {"EAN128", 1};
        case TSymbologyId::siCode39: return {"39", 2};
        case TSymbologyId::siCode128: return {"128", 1};
        case TSymbologyId::siCode93: return {"93", 3};
        case TSymbologyId::siITF14: return {"ITF14", 2};
        case TSymbologyId::siEAN13Addon2: return {"EAN13+2", 1};
        case TSymbologyId::siEAN13Addon5: return {"EAN13+5", 1};
        default: throw std::logic_error("no BARCODE type for a two-dimensional symbology");
    }
}

// The longest quoted expression a printer takes; a longer one is skipped, and the label comes
// out without it.
constexpr std::size_t kMaxExpressionBytes = 2048;

// A barcode's quoted data as it goes into the command, refused when the printer would skip it.
std::string CheckedExpression(std::string AContent) {
    if (AContent.size() > kMaxExpressionBytes)
        throw TMessageError(TMessage::BarcodeDataTooLong, AContent.size(), kMaxExpressionBytes);
    return AContent;
}

struct TDataMatrixSize {
    std::int32_t Rows;
    std::int32_t Columns;
};

// The choices of the DataMatrixSize setting.
constexpr TDataMatrixSize kDataMatrixSizes[] = {
    {10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},   {20, 20},   {22, 22},   {24, 24},
    {26, 26}, {32, 32}, {36, 36}, {40, 40}, {44, 44},   {48, 48},   {52, 52},   {64, 64},
    {72, 72}, {80, 80}, {88, 88}, {96, 96}, {104, 104}, {120, 120}, {132, 132}, {144, 144},
    {8, 18},  {8, 32},  {12, 26}, {12, 36}, {16, 36},   {16, 48},
};

// "12x26" as rows and columns; nothing for any other text.
std::optional<TDataMatrixSize> ParseDataMatrixSize(std::string_view AText) {
    const auto x = AText.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    TDataMatrixSize size{};
    const auto rows = std::from_chars(AText.data(), AText.data() + x, size.Rows);
    const auto columns = std::from_chars(AText.data() + x + 1, AText.data() + AText.size(), size.Columns);
    if (rows.ec != std::errc() || rows.ptr != AText.data() + x || columns.ec != std::errc() ||
        columns.ptr != AText.data() + AText.size())
        return std::nullopt;
    return size;
}

// ESC starts a command the printer runs at once, wherever it stands, and the other control
// characters are no symbol's data. CR and LF reach the printer escaped and TAB is harmless
// inside the quotes, so a code of several lines stays possible; GS separates GS1 fields.
void CheckBarcodeControls(std::string_view AValue) {
    std::size_t position = 0;
    for (const char c : AValue) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++position;  // counted in characters, as a person counts
        const bool control = byte < 0x20 || byte == 0x7F;
        if (!control || c == '\t' || c == '\r' || c == '\n' || c == kGs1Separator) continue;
        char code[8];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(byte));
        throw TMessageError(TMessage::BarcodeControlCharacter, std::string_view(code), position);
    }
}

}  // namespace

TFieldBox RotatedBarcodePlacement(const TFieldBox& ABox, std::int32_t AOrientation, const TSymbology& ASymbology,
                                  bool A2DBarcodeAsPicture) {
    // The printer turns its own barcodes about the anchor; pictures are turned by us inside
    // the box, and QR Code and Data Matrix always keep their box.
    if (ASymbology.Is2D() && (A2DBarcodeAsPicture || ASymbology.Id != TSymbologyId::siPDF417)) return ABox;
    if (AOrientation == 0) return ABox;

    const std::int64_t w = ABox.Width;
    const std::int64_t h = ABox.Height;
    if (AOrientation == 180)
        return {static_cast<std::int32_t>(ABox.Left + w), static_cast<std::int32_t>(ABox.Top + h), ABox.Width,
                ABox.Height};
    const auto height = static_cast<std::int32_t>(w > h && w > 0 ? DivideRoundHalfEven(h * h, w) : w);
    if (AOrientation == 90) return {static_cast<std::int32_t>(ABox.Left + w), ABox.Top, ABox.Height, height};
    return {ABox.Left, static_cast<std::int32_t>(ABox.Top + h), ABox.Height, height};
}

std::string EscapeTsplString(std::string_view AText) {
    std::string out;
    out.reserve(AText.size());
    for (char c : AText) {
        switch (c) {
            case '"': out += "\\[\"]"; break;
            case '\r': out += "\\[R]"; break;
            case '\n': out += "\\[L]"; break;
            default: out += c; break;
        }
    }
    return out;
}

void TPrinterTSPL::ApplySettings(std::int32_t AResolution, bool AStretchImage, TTsplSettings ASettings) {
    if (ASettings.BarcodeNarrow <= 0 || ASettings.BarcodeNarrow > 10) ASettings.BarcodeNarrow = 1;
    FDotInMM = AResolution / 25;
    FDPI = AResolution;
    FIsTextGraphic = true;
    FStretchImage = AStretchImage;
    FSettings = std::move(ASettings);
}

std::string TPrinterTSPL::TextBitmap(std::string_view AText, std::int32_t AWidth, std::int32_t AHeight,
                                     std::int32_t AOrientation, std::int32_t AFontSize,
                                     std::string_view AFontName, std::string_view AFontStyle,
                                     std::string_view AAlign, std::string_view AVAlign,
                                     bool AMultiline) const {
    // GetGraphicText draws at DotInMM, so the bytes are exactly those the command announces.
    return BitmapData(GetGraphicText(AText, AWidth, AHeight, OrientationToRotation(AOrientation), AFontSize,
                                     AFontName, AFontStyle, AAlign, AVAlign, AMultiline));
}

std::unique_ptr<TPrinterTypeBase> TPrinterTSPL::CopySettings() const {
    auto copy = std::make_unique<TPrinterTSPL>();
    copy->FDotInMM = FDotInMM;
    copy->FDPI = FDPI;
    copy->FIsTextGraphic = FIsTextGraphic;
    copy->FStretchImage = FStretchImage;
    copy->FSettings = FSettings;
    copy->FCodepage = FCodepage;
    return copy;
}

void TPrinterTSPL::SetCodepage(const std::string& AValue) {
    if (AValue == FCodepage) return;
    FCodepage = AValue;
    FEncoder.reset();
}

const TCodePageEncoder& TPrinterTSPL::Encoder() const {
    if (!FEncoder) FEncoder.emplace(FCodepage);
    return *FEncoder;
}

std::string TPrinterTSPL::EncodeCommandText(std::string_view AText) const {
    if (IsAscii(AText)) return std::string(AText);
    return UserDataContent(AText);
}

std::string TPrinterTSPL::UserDataContent(std::string_view AValue) const {
    std::vector<std::string> missing;
    std::string bytes = Encoder().Encode(AValue, &missing);
    for (std::string& character : missing) FUnencodable.push_back({std::move(character), FCodepage});
    return bytes;
}

std::string TPrinterTSPL::TextContent(std::string_view AValue) const {
    return EscapeTsplString(EncodeCommandText(AValue));
}

std::string TPrinterTSPL::LinearBarcodeContent(std::string_view AValue) const {
    CheckBarcodeControls(AValue);
    if (IsAscii(AValue)) return CheckedExpression(EscapeTsplString(AValue));
    std::vector<std::string> missing;
    const std::string bytes = Encoder().Encode(AValue, &missing);
    if (!missing.empty())
        throw TMessageError(TMessage::BarcodeCharacterNotInCodepage, missing.front(),
                            CodePointName(missing.front()), FCodepage);
    // Escape after encoding: no multi-byte character of the code pages we offer has a quote,
    // CR or LF as a trailing byte, so the escape never splits one.
    return CheckedExpression(EscapeTsplString(bytes));
}

std::string TPrinterTSPL::TwoDBarcodeContent(std::string_view AValue) {
    CheckBarcodeControls(AValue);
    // UTF-8 has no quote, CR or LF inside a multi-byte character either.
    return CheckedExpression(EscapeTsplString(AValue));
}

void TPrinterTSPL::InitialScriptActions(std::int32_t AWidth, std::int32_t AHeigth, std::int32_t AGap,
                                        std::int32_t ADensity, std::int32_t ADirection, double ASpeed,
                                        const std::string& ACodepage) {
    // The label is untrusted input: a size no printer could image is refused before any
    // field is rasterised against it.
    CheckRasterSize(MillimetresToDots(AWidth, DotInMM()), MillimetresToDots(AHeigth, DotInMM()));
    SetCodepage(ACodepage);
    AddScriptString("SIZE %d mm,%d mm", {AWidth, AHeigth});
    // A bare number would be inches; the offset is part of the command.
    AddScriptString("GAP %d mm,0 mm", {AGap});
    AddScriptString("SPEED %d", {SpeedToWhole(ASpeed)});
    AddScriptString("DENSITY %d", {ADensity});
    AddScriptString("DIRECTION %d, 0", {ADirection});
    AddScriptString("CLS");
    AddScriptString("CODEPAGE %s", {ACodepage});
}

void TPrinterTSPL::FinalScriptActions() { AddScriptString("PRINT %s", {kQuantityMarker}); }

std::string_view TPrinterTSPL::BuiltInFontName(std::int32_t AModel) {
    switch (AModel) {
        case 2:
        case 3: return "0";
        case 4: return "5";
        default: return "10";
    }
}

std::int32_t TPrinterTSPL::BuiltInFontMagnification(std::int32_t AFontSize) {
    if (AFontSize >= 0 && AFontSize <= 10) return 1;
    if (AFontSize >= 11 && AFontSize <= 18) return 2;
    if (AFontSize >= 19 && AFontSize <= 26) return 3;
    if (AFontSize >= 27 && AFontSize <= 34) return 4;
    return 5;
}

void TPrinterTSPL::AddText(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop,
                           std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                           const std::string& AFontName, std::int32_t AFontSize,
                           const std::string& AFontStyle, const std::string& ABorder,
                           std::int32_t ABorderWidth, const std::string& /*ABorderStyle*/,
                           const std::string& AAlign, const std::string& AVAlign, bool AMultiline,
                           bool AIsStaticField, const std::string& AValue) {
    if (FIsTextGraphic) {
        const std::string data = AIsStaticField
                                     ? TextBitmap(AValue, AWidth, AHeight, AOrientation, AFontSize, AFontName,
                                                  AFontStyle, AAlign, AVAlign, AMultiline)
                                     : AFieldName;
        AddBitmap(Dots(ALeft), Dots(ATop), Dots(AWidth) / 8, Dots(AHeight), TBitmapMode::bmOr, data);
    } else {
        const std::int32_t magnification = BuiltInFontMagnification(AFontSize);
        const std::string content = AIsStaticField ? TextContent(AValue) : AFieldName;
        AddScriptString("TEXT %d,%d,\"%s\",%d,%d,%d,\"%s\"",
                        {Dots(ALeft), Dots(ATop), BuiltInFontName(FSettings.Model), AOrientation,
                         magnification, magnification, content});
    }
    PrintBorder(ABorder, ABorderWidth, ALeft, ATop, AWidth, AHeight);
}

void TPrinterTSPL::AddImage(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop,
                            std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                            const std::string& ABorder, std::int32_t ABorderWidth,
                            const std::string& /*ABorderStyle*/, bool AIsStaticField,
                            const std::string& AValue) {
    if (AIsStaticField && IsBlank(AValue)) return;
    std::int64_t widthBytes = 0;
    std::int64_t height = 0;
    std::string data;
    if (AIsStaticField) {
        const TMonoBitmap bitmap = GetPictureBitmap(AValue, AWidth, AHeight, OrientationToRotation(AOrientation));
        data = BitmapData(bitmap);
        if (FStretchImage) {
            widthBytes = Dots(AWidth) / 8;
            height = Dots(AHeight);
        } else {
            widthBytes = bitmap.Width() / 8;
            height = bitmap.Height();
        }
    } else {
        data = AFieldName;
    }
    AddBitmap(Dots(ALeft), Dots(ATop), widthBytes, height, TBitmapMode::bmOverwrite, data);
    PrintBorder(ABorder, ABorderWidth, ALeft, ATop, AWidth, AHeight);
}

std::string TPrinterTSPL::PDF417Options() const {
    std::string options;
    auto add = [&](char ALetter, std::int32_t AValue, std::int32_t AOmitted) {
        if (AValue != AOmitted) options += ALetter + std::to_string(AValue) + ',';
    };
    add('P', FSettings.PDF417DataCompression, -1);
    add('E', FSettings.PDF417CorrectionLevel, -1);
    add('M', FSettings.PDF417CenterPattern, -1);
    add('W', FSettings.PDF417ModuleWidth, -1);
    add('H', FSettings.PDF417ModuleHeight, -1);
    add('R', FSettings.PDF417Rows, 0);
    add('C', FSettings.PDF417Cols, 0);
    add('T', FSettings.PDF417Truncate, -1);
    return options;
}

namespace {

// The size written for the DataMatrixSize setting: its first "x" becomes a comma.
std::string DataMatrixSizeArguments(std::string_view ASize) {
    std::string size(ASize);
    if (const auto x = size.find('x'); x != std::string::npos) size[x] = ',';
    return size + ",";
}

}  // namespace

std::string TPrinterTSPL::DataMatrixOptions(std::int32_t AOrientation, std::string_view ASize) const {
    std::string options;
    if (FSettings.DataMatrixModuleSize != 0)
        options += "x" + std::to_string(FSettings.DataMatrixModuleSize) + ",";
    if (AOrientation != 0) options += "r" + std::to_string(AOrientation) + ",";
    return options + DataMatrixSizeArguments(ASize);
}

std::string TPrinterTSPL::DataMatrixSizeFor(std::string_view ABytes) const {
    const std::string& configured = FSettings.DataMatrixSize;
    const std::optional<TDataMatrixSize> wanted = ParseDataMatrixSize(configured);
    if (!wanted || DataMatrixHolds(ABytes, wanted->Rows, wanted->Columns)) return configured;
    const bool square = wanted->Rows == wanted->Columns;
    const TDataMatrixSize* best = nullptr;
    // Smallest first, preferring the configured shape.
    const auto rank = [square](const TDataMatrixSize& ASize) {
        return std::pair((ASize.Rows == ASize.Columns) != square, ASize.Rows * ASize.Columns);
    };
    for (const TDataMatrixSize& size : kDataMatrixSizes)
        if (size.Rows >= wanted->Rows && size.Columns >= wanted->Columns &&
            (!best || rank(size) < rank(*best)) && DataMatrixHolds(ABytes, size.Rows, size.Columns))
            best = &size;
    if (!best) return configured;  // nothing holds it; the printer will say so
    const std::string raised = std::to_string(best->Rows) + "x" + std::to_string(best->Columns);
    if (LogPasses(TLogLevel::llInfo))
        WriteLog(Message(TMessage::DataMatrixSizeRaised, configured, raised),
                 MessageText(TMessage::DataMatrixDataDoesNotFit), TLogLevel::llInfo);
    return raised;
}

std::string TPrinterTSPL::Gs1DataMatrixContent(std::string_view AValue) {
    return CheckedExpression(EscapeTsplString(Gs1DataMatrixEscapedText(ParseGs1ElementString(AValue))));
}

std::string TPrinterTSPL::Gs1DataMatrixLine(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                                            std::int32_t AHeight, std::int32_t AOrientation,
                                            std::string_view AContent) const {
    // The printer turns the symbol clockwise about the anchor, so the anchor goes to the corner
    // of the box that the turn brings to the symbol's top left: the symbol stays in the box.
    const std::int64_t right = Dots(static_cast<std::int64_t>(ALeft) + AWidth);
    const std::int64_t bottom = Dots(static_cast<std::int64_t>(ATop) + AHeight);
    const std::int64_t x = AOrientation == 90 || AOrientation == 180 ? right : Dots(ALeft);
    const std::int64_t y = AOrientation == 180 || AOrientation == 270 ? bottom : Dots(ATop);
    std::string line = "DMATRIX " + std::to_string(x) + "," + std::to_string(y) + "," +
                       std::to_string(Dots(AWidth)) + "," + std::to_string(Dots(AHeight)) + ",c126,";
    if (FSettings.DataMatrixModuleSize != 0)
        line += "x" + std::to_string(FSettings.DataMatrixModuleSize) + ",";
    if (AOrientation != 0) line += "r" + std::to_string(AOrientation) + ",";
    line += "\"";
    line += AContent;
    line += "\"";
    return line;
}

void TPrinterTSPL::Add2DCommand(const TSymbology& ASymbology, std::int32_t ALeft, std::int32_t ATop,
                                std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                                std::string_view AContent, std::optional<std::string_view> AValueBytes) {
    switch (ASymbology.Id) {
        case TSymbologyId::siPDF417:
            AddScriptString("PDF417 %d,%d,%d,%d,%d,%s\"%s\"", {Dots(ALeft), Dots(ATop), Dots(AWidth), Dots(AHeight),
                                                            AOrientation, PDF417Options(), AContent});
            return;
        case TSymbologyId::siDataMatrix:
        case TSymbologyId::siGS1DataMatrix:
            AddScriptString("DMATRIX %d,%d,%d,%d,%s\"%s\"",
                            {Dots(ALeft), Dots(ATop), Dots(AWidth), Dots(AHeight),
                             DataMatrixOptions(AOrientation, AValueBytes ? DataMatrixSizeFor(*AValueBytes)
                                                                         : FSettings.DataMatrixSize),
                             AContent});
            return;
        default:
            AddScriptString("QRCODE %d,%d,%s,%d,%s,%d,%s,\"%s\"",
                            {Dots(ALeft), Dots(ATop), FSettings.QRCodeECCLevel, FSettings.QRCodeCellWidth,
                             FSettings.QRCodeMode, AOrientation, FSettings.QRCodeModel, AContent});
            return;
    }
}

void TPrinterTSPL::AddBarcode(const std::string& AFieldName, const TSymbology& ASymbology, std::int32_t ALeft,
                              std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight,
                              std::int32_t AOrientation, bool APrintHRI, bool /*ACheckSymbol*/,
                              bool AIsStaticField, const std::string& AValue) {
    if (AIsStaticField) {
        if (AValue.empty()) return;
        CheckSymbologyValue(ASymbology, AValue);
    }
    if (!ASymbology.Is2D()) {
        const TTsplBarcode barcode = TsplBarcode(ASymbology.Id);
        const std::string content = AIsStaticField ? LinearBarcodeContent(AValue) : AFieldName;
        const std::int32_t narrow = FSettings.BarcodeNarrow;
        AddScriptString(
            "BARCODE %d,%d,\"%s\",%d,%d,%d,%d,%d,\"%s\"",
            {Dots(ALeft), Dots(ATop), barcode.Type, Dots(AHeight), APrintHRI ? 2 : 0, AOrientation,
             narrow, static_cast<std::int64_t>(narrow) * barcode.WideFactor, content});
        return;
    }
    if (!FSettings._2DBarcodeAsPicture &&
        IsGs1DataMatrix(ASymbology, AIsStaticField ? std::string_view(AValue) : std::string_view())) {
        const std::string content = AIsStaticField ? Gs1DataMatrixContent(AValue) : AFieldName;
        AddScriptString("%s", {Gs1DataMatrixLine(ALeft, ATop, AWidth, AHeight, AOrientation, content)});
        return;
    }
    if (!FSettings._2DBarcodeAsPicture) {
        if (AIsStaticField)
            Add2DCommand(ASymbology, ALeft, ATop, AWidth, AHeight, AOrientation, TwoDBarcodeContent(AValue),
                         AValue);
        else
            Add2DCommand(ASymbology, ALeft, ATop, AWidth, AHeight, AOrientation, AFieldName, std::nullopt);
        return;
    }
    if (!AIsStaticField) {
        AddBitmap(Dots(ALeft), Dots(ATop), 0, 0, TBitmapMode::bmOverwrite, AFieldName);
        return;
    }
    const TMonoBitmap bitmap = BarcodePicture(ASymbology, AWidth, AHeight, AOrientation, FDotInMM, AValue);
    AddBitmap(Dots(ALeft), Dots(ATop), bitmap.Width() / 8, bitmap.Height(), TBitmapMode::bmOverwrite,
              BitmapData(bitmap));
}

void TPrinterTSPL::AddBitmap(std::int64_t AX, std::int64_t AY, std::int64_t AWidthBytes, std::int64_t AHeight,
                             TBitmapMode AMode, std::string_view AData) {
    FScriptText.push_back(BitmapCommand(AX, AY, AWidthBytes, AHeight, AMode, AData));
}

void TPrinterTSPL::AddUserData(const std::string& AFieldName, bool AIsStaticField,
                               const std::string& AValue) {
    if (!AIsStaticField) {
        AddScriptString("%s", {AFieldName});
        return;
    }
    if (!AValue.empty()) AddScriptString("%s", {EncodeCommandText(AValue)});
}

void TPrinterTSPL::PrintBorder(const std::string& ABorder, std::int32_t ABorderWidth, std::int32_t ALeft,
                               std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight) {
    const std::int64_t t = ABorderWidth > 0 ? ABorderWidth : 1;
    std::vector<std::string_view> pieces;
    std::string_view rest = ABorder;
    for (;;) {
        const std::size_t blank = rest.find(' ');
        pieces.push_back(rest.substr(0, blank));
        if (blank == std::string_view::npos) break;
        rest.remove_prefix(blank + 1);
    }
    const std::int64_t left = Dots(ALeft);
    const std::int64_t top = Dots(ATop);
    const std::int64_t right = Dots(static_cast<std::int64_t>(ALeft) + AWidth);
    const std::int64_t bottom = Dots(static_cast<std::int64_t>(ATop) + AHeight);
    if (pieces.size() == 4) {
        AddScriptString("BOX %d,%d,%d,%d,%d", {left, top, right, bottom, t});
        return;
    }
    for (std::string_view piece : pieces) {
        if (EqualsIgnoringAsciiCase(piece, "left"))
            AddScriptString("BAR %d,%d,%d,%d", {left, top, t, Dots(AHeight)});
        else if (EqualsIgnoringAsciiCase(piece, "top"))
            AddScriptString("BAR %d,%d,%d,%d", {left, top, Dots(AWidth), t});
        else if (EqualsIgnoringAsciiCase(piece, "right"))
            AddScriptString("BAR %d,%d,%d,%d", {right - t, top, t, Dots(AHeight)});
        else if (EqualsIgnoringAsciiCase(piece, "bottom"))
            AddScriptString("BAR %d,%d,%d,%d", {left, bottom - t, Dots(AWidth), t});
    }
}

std::string TPrinterTSPL::RecalculateImage(const TFieldObject& AField, std::string_view AValue,
                                           const TMonoBitmap& ABitmap) const {
    if (AValue.empty()) return {};
    std::int64_t widthBytes = ABitmap.Width() / 8;
    std::int64_t height = ABitmap.Height();
    if (FStretchImage) {
        widthBytes = Dots(AField.Width) / 8;
        height = Dots(AField.Height);
    }
    return BitmapCommand(Dots(AField.Left), Dots(AField.Top), widthBytes, height, TBitmapMode::bmOverwrite,
                         AValue);
}

std::string TPrinterTSPL::RecalculateBarcode(std::string_view ALine, const TFieldObject& AField,
                                             std::string_view AValue) const {
    if (IsBlank(AValue)) return {};
    // The document reader refuses a barcode field of no known symbology.
    const TSymbology& symbology = *AField.Symbology;
    if (!FSettings._2DBarcodeAsPicture && IsGs1DataMatrix(symbology, AValue))
        return Gs1DataMatrixLine(AField.Left, AField.Top, AField.Width, AField.Height, AField.Orientation,
                                 Gs1DataMatrixContent(AValue));
    if (FSettings._2DBarcodeAsPicture && symbology.Is2D()) {
        const TMonoBitmap bitmap =
            BarcodePicture(symbology, AField.Width, AField.Height, AField.Orientation, FDotInMM, AValue);
        return BitmapCommand(Dots(AField.Left), Dots(AField.Top), bitmap.Width() / 8, bitmap.Height(),
                             TBitmapMode::bmOverwrite, BitmapData(bitmap));
    }
    CheckSymbologyValue(symbology, AValue);
    std::string line(ALine);
    const auto at = line.find(AField.FieldValue);
    if (at == std::string::npos) return line;
    line.replace(at, AField.FieldValue.size(),
                 symbology.Is2D() ? TwoDBarcodeContent(AValue) : LinearBarcodeContent(AValue));
    if (symbology.Id == TSymbologyId::siDataMatrix && line.starts_with("DMATRIX ")) {
        // The template holds the configured size just before the content's opening quote.
        const std::string configured = DataMatrixSizeArguments(FSettings.DataMatrixSize);
        const std::string size = DataMatrixSizeFor(AValue);
        if (size != FSettings.DataMatrixSize && at >= configured.size() + 1 &&
            line.compare(at - 1 - configured.size(), configured.size(), configured) == 0)
            line.replace(at - 1 - configured.size(), configured.size(), DataMatrixSizeArguments(size));
    }
    return line;
}

TSlotKind TPrinterTSPL::SlotKind(const TFieldObject& AField) const {
    switch (AField.FieldType) {
        case TFieldType::ftTextGraphic: return FIsTextGraphic ? TSlotKind::skRaster : TSlotKind::skInLine;
        case TFieldType::ftText: return TSlotKind::skCommands;
        case TFieldType::ftImage:
        case TFieldType::ftBarcode: return TSlotKind::skLine;
    }
    return TSlotKind::skNone;
}

std::string TPrinterTSPL::BlankRaster(const TFieldObject& AField) const {
    // The size the BITMAP command announces; an unfilled field sends exactly that.
    const std::int64_t width = MillimetresToDots(AField.Width, FDotInMM);
    const std::int64_t height = MillimetresToDots(AField.Height, FDotInMM);
    CheckRasterSize(width, height);
    return BlankBitmapData(width / 8, height);
}

std::string TPrinterTSPL::SlotValue(const TFieldObject& AField, TSlotKind AKind, std::string_view ALine,
                                    std::string_view AValue) const {
    switch (AField.FieldType) {
        case TFieldType::ftTextGraphic:
            if (AKind == TSlotKind::skInLine) return TextContent(AValue);
            return TextBitmap(AValue, AField.Width, AField.Height, AField.Orientation, AField.FontSize,
                              AField.FontName, AField.FontStyle, AField.Align, AField.VAlign,
                              AField.Multiline);
        case TFieldType::ftText: return UserDataContent(AValue);
        case TFieldType::ftBarcode: return RecalculateBarcode(ALine, AField, AValue);
        case TFieldType::ftImage: {
            const TMonoBitmap bitmap =
                GetPictureBitmap(AValue, AField.Width, AField.Height, OrientationToRotation(AField.Orientation));
            return RecalculateImage(AField, BitmapData(bitmap), bitmap);
        }
    }
    return {};
}

TFieldBox TPrinterTSPL::BarcodeBox(const TFieldBox& ABox, std::int32_t AOrientation,
                                   const TSymbology& ASymbology) const {
    return RotatedBarcodePlacement(ABox, AOrientation, ASymbology, FSettings._2DBarcodeAsPicture);
}

std::string_view TPrinterTSPL::StatusQuery() const { return kStatusQuery; }

double TPrinterTSPL::CopyPrintMs(std::int32_t AHeight, std::int32_t AGap, double ASpeed) const {
    const std::int64_t speed = SpeedToWhole(ASpeed);
    if (speed <= 0 || AHeight <= 0) return 0;
    constexpr double kMmPerInch = 25.4;
    return 1000.0 * (AHeight + std::max<std::int32_t>(AGap, 0)) / kMmPerInch / static_cast<double>(speed);
}

TPrinterReasons TPrinterTSPL::StatusReasons(std::optional<std::uint8_t> AReply) const {
    return StatusReplyReasons(AReply);
}

bool TPrinterTSPL::NeedsSetUp() const { return FSettings.Model == 3 || FSettings.Model == 4; }

bool TPrinterTSPL::SetUpPrinter(const TPrinterExchange& AExchange) const {
    return PrepareRibbon(FSettings.Model, FSettings.PrintMethod, AExchange);
}

std::string TPrinterTSPL::SendableScript(std::string AScript) const { return InkOnlyScript(AScript); }

std::string TPrinterTSPL::ScriptLogText(std::string_view AScript) const { return TsplScriptLogText(AScript); }

std::string TPrinterTSPL::GetErrorDescription(std::uint8_t AErrorCode) {
    return quorvane::GetErrorDescription(AErrorCode);
}

std::string TPrinterTSPL::Reset() { return std::string(kResetCommand); }

std::string TPrinterTSPL::SetRibbon() const { return SetRibbonCommand(FSettings.PrintMethod); }

std::string TPrinterTSPL::SetGapDetect() { return "GAPDETECT\r\n"; }

std::string TPrinterTSPL::SetAutodetect() { return "AUTODETECT\r\n"; }

}  // namespace quorvane
