#include "printer/printer_type_tspl.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "printer/barcode_picture.h"
#include "printer/graphic_text.h"
#include "printer/raster_limits.h"
#include "printer/ribbon_query.h"
#include "printer/status_query.h"

namespace quorvane {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view A, std::string_view B)
{
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (LowerAscii(A[i]) != LowerAscii(B[i]))
            return false;
    return true;
}

// Blank as the rest of the driver trims: every character up to the space.
bool IsBlank(std::string_view AText)
{
    for (char c : AText)
        if (static_cast<unsigned char>(c) > ' ')
            return false;
    return true;
}

bool IsAscii(std::string_view AText)
{
    for (char c : AText)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::int64_t SpeedToWhole(double ASpeed)
{
    if (!std::isfinite(ASpeed))
        return 0;
    // Halves go to the even neighbour: 2.5 gives 2, 3.5 gives 4.
    const double floor = std::floor(ASpeed);
    const double diff = ASpeed - floor;
    double rounded = floor;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0))
        rounded = floor + 1;
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int64_t>(rounded < low ? low : rounded > high ? high : rounded);
}

constexpr std::array<TLinearSymbology, 9> kLinearSymbologies{{
    {"ean8", "EAN8", 1, true},
    {"ean13", "EAN13", 1, true},
    {"ean128", "EAN128", 1, false},
    {"code39", "39", 2, false},
    {"code128", "128", 1, false},
    {"code93", "93", 3, false},
    {"itf14", "ITF14", 2, true},
    {"ean13addon2", "EAN13+2", 1, true},
    {"ean13addon5", "EAN13+5", 1, true},
}};

constexpr const char* kBarcodeDigitsError = "Недопустимые символы во входных данных штрихкода";

}  // namespace

const TLinearSymbology* FindLinearSymbology(std::string_view ADocumentName)
{
    for (const TLinearSymbology& symbology : kLinearSymbologies)
        if (EqualsIgnoringCase(symbology.DocumentName, ADocumentName))
            return &symbology;
    return nullptr;
}

std::string EscapeTsplString(std::string_view AText)
{
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

void TPrinterTSPL::ApplySettings(std::int32_t AResolution, bool AStretchImage,
                                 TTsplSettings ASettings)
{
    if (ASettings.BarcodeNarrow <= 0 || ASettings.BarcodeNarrow > 10)
        ASettings.BarcodeNarrow = 1;
    FDotInMM = AResolution / 25;
    FDPI = AResolution;
    FIsTextGraphic = true;
    FStretchImage = AStretchImage;
    FSettings = std::move(ASettings);
}

std::string TPrinterTSPL::TextBitmap(std::string_view AText, std::int32_t AWidth,
                                     std::int32_t AHeight, std::int32_t AOrientation,
                                     std::int32_t AFontSize, std::string_view AFontName,
                                     std::string_view AFontStyle, std::string_view AAlign,
                                     std::string_view AVAlign, bool AMultiline) const
{
    std::string bytes = GetGraphicText(AText, AWidth, AHeight, OrientationToRotation(AOrientation),
                                       AFontSize, AFontName, AFontStyle, AAlign, AVAlign,
                                       AMultiline);
    const std::int64_t rowBytes = MillimetresToDots(AWidth, FDotInMM) / 8;
    const std::int64_t rows = MillimetresToDots(AHeight, FDotInMM);
    if (static_cast<std::int64_t>(bytes.size()) == rowBytes * rows)
        return bytes;
    // The printer reads exactly what the command announces; anything else would swallow or
    // expose the commands that follow. Crop or pad the raster with white to that size.
    const std::int32_t dots = DotsPerMMFromDPI(FDPI);
    const std::int64_t haveRowBytes = MillimetresToDots(AWidth, dots) / 8;
    const std::int64_t haveRows = haveRowBytes > 0
        ? static_cast<std::int64_t>(bytes.size()) / haveRowBytes : 0;
    std::string fitted(static_cast<std::size_t>(rowBytes * rows), '\xFF');
    const std::int64_t copyRows = std::min(rows, haveRows);
    const std::int64_t copyBytes = std::min(rowBytes, haveRowBytes);
    for (std::int64_t row = 0; row < copyRows; ++row)
        fitted.replace(static_cast<std::size_t>(row * rowBytes), static_cast<std::size_t>(copyBytes),
                       bytes, static_cast<std::size_t>(row * haveRowBytes),
                       static_cast<std::size_t>(copyBytes));
    return fitted;
}

std::unique_ptr<TPrinterTSPL> TPrinterTSPL::CopySettings() const
{
    auto copy = std::make_unique<TPrinterTSPL>();
    copy->FDotInMM = FDotInMM;
    copy->FDPI = FDPI;
    copy->FIsTextGraphic = FIsTextGraphic;
    copy->FStretchImage = FStretchImage;
    copy->FSettings = FSettings;
    copy->FCodepage = FCodepage;
    return copy;
}

void TPrinterTSPL::SetCodepage(const std::string& AValue)
{
    if (AValue == FCodepage)
        return;
    FCodepage = AValue;
    FEncoder.reset();
}

std::string TPrinterTSPL::EncodeCommandText(std::string_view AText) const
{
    if (IsAscii(AText))
        return std::string(AText);
    if (!FEncoder)
        FEncoder.emplace(FCodepage);
    return FEncoder->Encode(AText);
}

std::string TPrinterTSPL::TextContent(std::string_view AValue) const
{
    return EscapeTsplString(EncodeCommandText(AValue));
}

std::string TPrinterTSPL::BarcodeContent(std::string_view AValue) const
{
    // Escape after encoding: no multi-byte character of the code pages we offer has a quote,
    // CR or LF as a trailing byte, so the escape never splits one.
    return EscapeTsplString(EncodeCommandText(AValue));
}

void TPrinterTSPL::InitialScriptActions(std::int32_t AWidth, std::int32_t AHeigth,
                                        std::int32_t AGap, std::int32_t ADensity,
                                        std::int32_t ADirection, double ASpeed,
                                        const std::string& ACodepage)
{
    // The label is untrusted input: a size no printer could image is refused before any
    // field is rasterised against it.
    CheckRasterSize(MillimetresToDots(AWidth, DotInMM()), MillimetresToDots(AHeigth, DotInMM()));
    SetCodepage(ACodepage);
    AddScriptString("SIZE %d mm,%d mm", {AWidth, AHeigth});
    AddScriptString("GAP %d", {AGap});
    AddScriptString("SPEED %d", {SpeedToWhole(ASpeed)});
    AddScriptString("DENSITY %d", {ADensity});
    AddScriptString("DIRECTION %d, 0", {ADirection});
    AddScriptString("CLS");
    AddScriptString("CODEPAGE %s", {ACodepage});
}

void TPrinterTSPL::FinalScriptActions()
{
    AddScriptString("PRINT %s", {kQuantityMarker});
}

std::string_view TPrinterTSPL::BuiltInFontName(std::int32_t AModel)
{
    switch (AModel) {
    case 2:
    case 3: return "0";
    case 4: return "5";
    default: return "10";
    }
}

std::int32_t TPrinterTSPL::BuiltInFontMagnification(std::int32_t AFontSize)
{
    if (AFontSize >= 0 && AFontSize <= 10)
        return 1;
    if (AFontSize >= 11 && AFontSize <= 18)
        return 2;
    if (AFontSize >= 19 && AFontSize <= 26)
        return 3;
    if (AFontSize >= 27 && AFontSize <= 34)
        return 4;
    return 5;
}

void TPrinterTSPL::AddText(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop,
                           std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                           const std::string& AFontName, std::int32_t AFontSize,
                           const std::string& AFontStyle, const std::string& ABorder,
                           std::int32_t ABorderWidth, const std::string& /*ABorderStyle*/,
                           const std::string& AAlign, const std::string& AVAlign,
                           bool AMultiline, bool AIsStaticField, const std::string& AValue)
{
    if (FIsTextGraphic) {
        const std::string data = AIsStaticField
            ? TextBitmap(AValue, AWidth, AHeight, AOrientation, AFontSize, AFontName,
                         AFontStyle, AAlign, AVAlign, AMultiline)
            : AFieldName;
        AddScriptString("BITMAP %d,%d,%d,%d,%d,%s",
                        {Dots(ALeft), Dots(ATop), Dots(AWidth) / 8, Dots(AHeight), 1, data});
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
                            const std::string& AValue)
{
    if (AIsStaticField && IsBlank(AValue))
        return;
    std::int64_t widthBytes = 0;
    std::int64_t height = 0;
    std::string data;
    if (AIsStaticField) {
        TMonoBitmap bitmap;
        data = GetBinaryFromBase64Image(AValue, AWidth, AHeight,
                                        OrientationToRotation(AOrientation), bitmap);
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
    AddScriptString("BITMAP %d,%d,%d,%d,%d,%s",
                    {Dots(ALeft), Dots(ATop), widthBytes, height, 0, data});
    PrintBorder(ABorder, ABorderWidth, ALeft, ATop, AWidth, AHeight);
}

std::string TPrinterTSPL::PDF417Options() const
{
    std::string options;
    auto add = [&](char ALetter, std::int32_t AValue, std::int32_t AOmitted) {
        if (AValue != AOmitted)
            options += ALetter + std::to_string(AValue) + ',';
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

std::string TPrinterTSPL::DataMatrixOptions(std::int32_t AOrientation) const
{
    std::string options;
    if (FSettings.DataMatrixModuleSize != 0)
        options += "x" + std::to_string(FSettings.DataMatrixModuleSize) + ",";
    if (AOrientation != 0)
        options += "r" + std::to_string(AOrientation) + ",";
    std::string size = FSettings.DataMatrixSize;
    if (const auto x = size.find('x'); x != std::string::npos)
        size[x] = ',';
    return options + size + ",";
}

void TPrinterTSPL::Add2DCommand(std::string_view AType, std::int32_t ALeft, std::int32_t ATop,
                                std::int32_t AWidth, std::int32_t AHeight,
                                std::int32_t AOrientation, std::string_view AContent)
{
    if (EqualsIgnoringCase(AType, "PDF417")) {
        AddScriptString("PDF417 %d,%d,%d,%d,%d,%s\"%s\"",
                        {Dots(ALeft), Dots(ATop), Dots(AWidth), Dots(AHeight), AOrientation,
                         PDF417Options(), AContent});
    } else if (EqualsIgnoringCase(AType, "DataMatrix")) {
        AddScriptString("DMATRIX %d,%d,%d,%d,%s\"%s\"",
                        {Dots(ALeft), Dots(ATop), Dots(AWidth), Dots(AHeight),
                         DataMatrixOptions(AOrientation), AContent});
    } else {
        AddScriptString("QRCODE %d,%d,%s,%d,%s,%d,%s,\"%s\"",
                        {Dots(ALeft), Dots(ATop), FSettings.QRCodeECCLevel,
                         FSettings.QRCodeCellWidth, FSettings.QRCodeMode, AOrientation,
                         FSettings.QRCodeModel, AContent});
    }
}

void TPrinterTSPL::AddBarcode(const std::string& AFieldName, const std::string& AType,
                              std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                              std::int32_t AHeight, std::int32_t AOrientation, bool APrintHRI,
                              bool /*ACheckSymbol*/, bool AIsStaticField,
                              const std::string& AValue)
{
    if (AIsStaticField) {
        if (AValue.empty())
            return;
        CheckBarcodeDigits(AType, AValue);
    }
    if (const TLinearSymbology* linear = FindLinearSymbology(AType)) {
        const std::string content = AIsStaticField ? BarcodeContent(AValue) : AFieldName;
        const std::int32_t narrow = FSettings.BarcodeNarrow;
        AddScriptString("BARCODE %d,%d,\"%s\",%d,%d,%d,%d,%d,\"%s\"",
                        {Dots(ALeft), Dots(ATop), linear->TsplType, Dots(AHeight),
                         APrintHRI ? 2 : 0, AOrientation, narrow,
                         static_cast<std::int64_t>(narrow) * linear->WideFactor, content});
        return;
    }
    if (!Is2DSymbology(AType))
        return;  // an unknown symbology prints nothing, by design of the layout format
    if (!FSettings._2DBarcodeAsPicture) {
        Add2DCommand(AType, ALeft, ATop, AWidth, AHeight, AOrientation,
                     AIsStaticField ? BarcodeContent(AValue) : AFieldName);
        return;
    }
    if (!AIsStaticField) {
        AddScriptString("BITMAP %d,%d,%d,%d,%d,%s",
                        {Dots(ALeft), Dots(ATop), 0, 0, 0, AFieldName});
        return;
    }
    TMonoBitmap bitmap;
    const std::string bytes =
        BarcodePicture(AType, AWidth, AHeight, AOrientation, FDotInMM, AValue, bitmap);
    AddScriptString("BITMAP %d,%d,%d,%d,%d,%s",
                    {Dots(ALeft), Dots(ATop), bitmap.Width() / 8, bitmap.Height(), 0, bytes});
}

void TPrinterTSPL::AddUserData(const std::string& AFieldName, bool AIsStaticField,
                               const std::string& AValue)
{
    if (!AIsStaticField) {
        AddScriptString("%s", {AFieldName});
        return;
    }
    if (!AValue.empty())
        AddScriptString("%s", {EncodeCommandText(AValue)});
}

void TPrinterTSPL::PrintBorder(const std::string& ABorder, std::int32_t ABorderWidth,
                               std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth,
                               std::int32_t AHeight)
{
    const std::int64_t t = ABorderWidth > 0 ? ABorderWidth : 1;
    std::vector<std::string_view> pieces;
    std::string_view rest = ABorder;
    for (;;) {
        const std::size_t blank = rest.find(' ');
        pieces.push_back(rest.substr(0, blank));
        if (blank == std::string_view::npos)
            break;
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
        if (EqualsIgnoringCase(piece, "left"))
            AddScriptString("BAR %d,%d,%d,%d", {left, top, t, Dots(AHeight)});
        else if (EqualsIgnoringCase(piece, "top"))
            AddScriptString("BAR %d,%d,%d,%d", {left, top, Dots(AWidth), t});
        else if (EqualsIgnoringCase(piece, "right"))
            AddScriptString("BAR %d,%d,%d,%d", {right - t, top, t, Dots(AHeight)});
        else if (EqualsIgnoringCase(piece, "bottom"))
            AddScriptString("BAR %d,%d,%d,%d", {left, bottom - t, Dots(AWidth), t});
    }
}

std::string TPrinterTSPL::RecalculateImage(const TFieldObject& AField, std::string_view AValue,
                                           const TMonoBitmap& ABitmap) const
{
    if (AValue.empty())
        return {};
    std::int64_t widthBytes = ABitmap.Width() / 8;
    std::int64_t height = ABitmap.Height();
    if (FStretchImage) {
        widthBytes = Dots(AField.Width) / 8;
        height = Dots(AField.Height);
    }
    std::string line = "BITMAP " + std::to_string(Dots(AField.Left)) + "," +
                       std::to_string(Dots(AField.Top)) + "," + std::to_string(widthBytes) + "," +
                       std::to_string(height) + ",0,";
    line += AValue;
    return line;
}

std::string TPrinterTSPL::RecalculateBarcode(std::string_view ALine, const TFieldObject& AField,
                                             std::string_view AValue) const
{
    if (IsBlank(AValue))
        return {};
    if (FSettings._2DBarcodeAsPicture && Is2DSymbology(AField.BarcodeType)) {
        TMonoBitmap bitmap;
        const std::string bytes = BarcodePicture(AField.BarcodeType, AField.Width, AField.Height,
                                                 AField.Orientation, FDotInMM, AValue, bitmap);
        std::string line = "BITMAP " + std::to_string(Dots(AField.Left)) + "," +
                           std::to_string(Dots(AField.Top)) + "," +
                           std::to_string(bitmap.Width() / 8) + "," +
                           std::to_string(bitmap.Height()) + ",0,";
        line += bytes;
        return line;
    }
    CheckBarcodeDigits(AField.BarcodeType, AValue);
    std::string line(ALine);
    if (const auto at = line.find(AField.FieldValue); at != std::string::npos)
        line.replace(at, AField.FieldValue.size(), BarcodeContent(AValue));
    return line;
}

void TPrinterTSPL::CheckBarcodeDigits(std::string_view AType, std::string_view AValue)
{
    const TLinearSymbology* linear = FindLinearSymbology(AType);
    if (!linear || !linear->DigitsOnly)
        return;
    for (char c : AValue)
        if (c < '0' || c > '9')
            throw std::runtime_error(kBarcodeDigitsError);
}

std::string TPrinterTSPL::GetErrorDescription(std::uint8_t AErrorCode)
{
    return quorvane::GetErrorDescription(AErrorCode);
}

std::string TPrinterTSPL::Reset()
{
    return std::string(kResetCommand);
}

std::string TPrinterTSPL::SetRibbon() const
{
    return SetRibbonCommand(FSettings.PrintMethod);
}

std::string TPrinterTSPL::SetGapDetect()
{
    return "GAPDETECT\r\n";
}

std::string TPrinterTSPL::SetAutodetect()
{
    return "AUTODETECT\r\n";
}

}  // namespace quorvane
