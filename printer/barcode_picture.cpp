#include "printer/barcode_picture.h"

#include <zint.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "printer/bitmap_transform.h"
#include "printer/gs1_element_string.h"
#include "printer/printer_type_base.h"
#include "printer/raster_limits.h"
#include "printer/rounding.h"

namespace quorvane {

namespace {

thread_local TQuickSymbolCheck* tQuickCheck = nullptr;

}  // namespace

class TQuickSymbolCheckAccess {
public:
    // Marks the innermost check of this thread used; false when there is none.
    static bool Use() {
        if (!tQuickCheck) return false;
        tQuickCheck->FUsed = true;
        return true;
    }
};

TQuickSymbolCheck::TQuickSymbolCheck() : FOuter(tQuickCheck) { tQuickCheck = this; }

TQuickSymbolCheck::~TQuickSymbolCheck() { tQuickCheck = FOuter; }

namespace {

struct ZintDelete {
    void operator()(zint_symbol* ASymbol) const { ZBarcode_Delete(ASymbol); }
};

// Draws the one-dot-per-module symbol onto the canvas from its top-left corner, as large as
// it fits keeping its proportions. Whole dots per module whenever one dot fits: uneven modules
// scan worse on a thermal head.
void PlaceSymbol(const zint_symbol& ASymbol, TMonoBitmap& ACanvas) {
    const std::int64_t sw = ASymbol.bitmap_width;
    const std::int64_t sh = ASymbol.bitmap_height;
    if (sw <= 0 || sh <= 0 || ACanvas.Empty()) return;
    const auto dark = [&](std::int64_t x, std::int64_t y) { return ASymbol.bitmap[(y * sw + x) * 3] < 128; };
    const std::int64_t module = std::min(ACanvas.Width() / sw, ACanvas.Height() / sh);
    if (module >= 1) {
        // A row of modules is drawn once, run by run, and copied down the module's height.
        for (std::int64_t y = 0; y < sh; ++y) {
            const auto top = static_cast<std::int32_t>(y * module);
            for (std::int64_t x = 0; x < sw;) {
                if (!dark(x, y)) {
                    ++x;
                    continue;
                }
                std::int64_t end = x + 1;
                while (end < sw && dark(end, y)) ++end;
                ACanvas.FillRect(static_cast<std::int32_t>(x * module), top,
                                 static_cast<std::int32_t>((end - x) * module), 1, true);
                x = end;
            }
            for (std::int64_t r = 1; r < module; ++r)
                std::copy_n(ACanvas.Row(top), ACanvas.Stride(),
                            ACanvas.Row(top + static_cast<std::int32_t>(r)));
        }
        return;
    }
    // Smaller than one dot per module: the symbol will hardly scan, but it keeps its shape.
    std::int64_t w = ACanvas.Width();
    std::int64_t h = ACanvas.Height();
    if (sw * h > sh * w)
        h = w * sh / sw;
    else
        w = h * sw / sh;
    for (std::int64_t y = 0; y < h; ++y)
        for (std::int64_t x = 0; x < w; ++x)
            if (dark((2 * x + 1) * sw / (2 * w), (2 * y + 1) * sh / (2 * h)))
                ACanvas.SetPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), true);
}

}  // namespace

TBarcodeCanvasSize BarcodeImageSize(std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation) {
    if (AOrientation != 90 && AOrientation != 270) return {AWidth, AHeight};
    if (AHeight >= AWidth || AWidth <= 0) return {AHeight, AWidth};
    const std::int64_t h = AHeight;
    return {AHeight, static_cast<std::int32_t>(DivideRoundHalfEven(h * h, AWidth))};
}

namespace {

// The library's symbol for AData in AInputMode, placed on a canvas of the given millimetres.
TMonoBitmap RenderSymbol(int ASymbology, int AInputMode, std::int32_t ACanvasWidth,
                         std::int32_t ACanvasHeight, std::int32_t ADotInMM, std::string_view AData) {
    const std::int64_t width = MillimetresToDots(ACanvasWidth, ADotInMM);
    const std::int64_t height = MillimetresToDots(ACanvasHeight, ADotInMM);
    CheckRasterSize(width, height);

    const std::unique_ptr<zint_symbol, ZintDelete> symbol(ZBarcode_Create());
    if (!symbol) throw std::bad_alloc();
    symbol->symbology = ASymbology;
    symbol->input_mode = AInputMode;
    if (ASymbology == BARCODE_DATAMATRIX) symbol->option_3 = DM_SQUARE;
    // The library's mask numbers count from 1, above the option's low byte.
    if (ASymbology == BARCODE_QRCODE && TQuickSymbolCheckAccess::Use()) symbol->option_3 = 1 << 8;
    symbol->scale = 0.5f;  // one pixel per module; scaling to the canvas is ours
    if (AData.size() > INT_MAX) throw EBarcodePicture("Input too long");
    int result = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(AData.data()),
                                 static_cast<int>(AData.size()));
    if (result >= ZINT_ERROR) throw EBarcodePicture(symbol->errtxt);
    result = ZBarcode_Buffer(symbol.get(), 0);
    if (result >= ZINT_ERROR) throw EBarcodePicture(symbol->errtxt);

    TMonoBitmap canvas(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    PlaceSymbol(*symbol, canvas);
    return canvas;
}

}  // namespace

TMonoBitmap RenderBarcodeImage(const TSymbology& ASymbology, std::int32_t ACanvasWidth,
                               std::int32_t ACanvasHeight, std::int32_t ADotInMM, std::string_view AValue) {
    const int symbology = ASymbology.LibraryId;
    if (symbology == 0)
        throw std::invalid_argument("not a two-dimensional symbology: " + std::string(ASymbology.DocumentName));
    if (IsGs1DataMatrix(ASymbology, AValue)) {
        // FNC1 first and as separator. The AIs were checked against our own table; the
        // library's older table must not refuse what that one accepts.
        const std::string bracketed = Gs1BracketedText(ParseGs1ElementString(AValue));
        return RenderSymbol(symbology, GS1_MODE | GS1NOCHECK_MODE, ACanvasWidth, ACanvasHeight, ADotInMM,
                            bracketed);
    }
    return RenderSymbol(symbology, UNICODE_MODE, ACanvasWidth, ACanvasHeight, ADotInMM, AValue);
}

void FitBarcodeImage(std::int32_t ACanvasWidth, std::int32_t ACanvasHeight, std::int32_t AOrientation,
                     std::int32_t ADotInMM, TMonoBitmap& ABitmap) {
    RotateBitmap(ABitmap, TPrinterTypeBase::OrientationToRotation(AOrientation));
    const bool quarter = AOrientation == 90 || AOrientation == 270;
    const std::int64_t width = MillimetresToDots(quarter ? ACanvasHeight : ACanvasWidth, ADotInMM);
    const std::int64_t height = MillimetresToDots(quarter ? ACanvasWidth : ACanvasHeight, ADotInMM);
    CheckRasterSize(width, height);
    if (ABitmap.Width() != width || ABitmap.Height() != height)
        FitBitmap(ABitmap, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
}

TMonoBitmap BarcodePicture(const TSymbology& ASymbology, std::int32_t AWidth, std::int32_t AHeight,
                           std::int32_t AOrientation, std::int32_t ADotInMM, std::string_view AValue) {
    const TBarcodeCanvasSize canvas = BarcodeImageSize(AWidth, AHeight, AOrientation);
    TMonoBitmap bitmap = RenderBarcodeImage(ASymbology, canvas.Width, canvas.Height, ADotInMM, AValue);
    FitBarcodeImage(canvas.Width, canvas.Height, AOrientation, ADotInMM, bitmap);
    return bitmap;
}

bool DataMatrixHolds(std::string_view ABytes, std::int32_t ARows, std::int32_t AColumns) {
    // The library's size numbers (option 2) of the ECC 200 squares, then the rectangles.
    static constexpr std::int32_t kSizes[][3] = {
        {10, 10, 1},  {12, 12, 2},  {14, 14, 3},    {16, 16, 4},    {18, 18, 5},    {20, 20, 6},
        {22, 22, 7},  {24, 24, 8},  {26, 26, 9},    {32, 32, 10},   {36, 36, 11},   {40, 40, 12},
        {44, 44, 13}, {48, 48, 14}, {52, 52, 15},   {64, 64, 16},   {72, 72, 17},   {80, 80, 18},
        {88, 88, 19}, {96, 96, 20}, {104, 104, 21}, {120, 120, 22}, {132, 132, 23}, {144, 144, 24},
        {8, 18, 25},  {8, 32, 26},  {12, 26, 27},   {12, 36, 28},   {16, 36, 29},   {16, 48, 30},
    };
    const auto size =
        std::ranges::find_if(kSizes, [&](const auto& s) { return s[0] == ARows && s[1] == AColumns; });
    if (size == std::end(kSizes) || ABytes.size() > INT_MAX) return false;
    const std::unique_ptr<zint_symbol, ZintDelete> symbol(ZBarcode_Create());
    if (!symbol) throw std::bad_alloc();
    symbol->symbology = BARCODE_DATAMATRIX;
    symbol->input_mode = DATA_MODE;
    symbol->option_2 = (*size)[2];
    return ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(ABytes.data()),
                           static_cast<int>(ABytes.size())) < ZINT_ERROR;
}

}  // namespace quorvane
