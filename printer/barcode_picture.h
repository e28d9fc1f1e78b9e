#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "printer/mono_bitmap.h"
#include "printer/symbology.h"

namespace quorvane {

// A value the barcode library refuses; the message is the library's own text.
class EBarcodePicture : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TBarcodeCanvasSize {
    std::int32_t Width;   // millimetres
    std::int32_t Height;  // millimetres
};

// Canvas for a box AWidth x AHeight mm: the box itself, or for 90 and 270 degrees width AHeight
// and height AWidth when AHeight >= AWidth, else Round(AHeight * AHeight / AWidth).
TBarcodeCanvasSize BarcodeImageSize(std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation);

// Renders the symbol on a white canvas of (ACanvasWidth x D) x (ACanvasHeight x D) dots, scaled
// from the top-left corner keeping its proportions, whole dots per module whenever one fits.
// Throws EBarcodePicture with the library's text when it refuses the value, std::invalid_argument
// for a symbology the library does not draw for us.
TMonoBitmap RenderBarcodeImage(const TSymbology& ASymbology, std::int32_t ACanvasWidth,
                               std::int32_t ACanvasHeight, std::int32_t ADotInMM, std::string_view AValue);

// Turns the canvas ABitmap by AOrientation and fits it into the box (ACanvasHeight x ACanvasWidth
// mm for 90 and 270, else ACanvasWidth x ACanvasHeight).
void FitBarcodeImage(std::int32_t ACanvasWidth, std::int32_t ACanvasHeight, std::int32_t AOrientation,
                     std::int32_t ADotInMM, TMonoBitmap& ABitmap);

// All three steps for a field box AWidth x AHeight mm: the symbol's raster, turned and fitted.
// A GS1 value (IsGs1DataMatrix) becomes a square GS1 DataMatrix of the smallest size that holds
// it, or fails with EGs1ElementString.
TMonoBitmap BarcodePicture(const TSymbology& ASymbology, std::int32_t AWidth, std::int32_t AHeight,
                           std::int32_t AOrientation, std::int32_t ADotInMM, std::string_view AValue);

// While one lives on a thread, QR Codes drawn there get a fixed mask instead of the best one.
// Whether the library takes a value never depends on the mask, and choosing it is most of the
// encoding's work, so a pass that only checks values uses this. Such a picture is a valid
// symbol but not the one printed: keep none drawn while Used() is true.
class TQuickSymbolCheck {
public:
    TQuickSymbolCheck();
    ~TQuickSymbolCheck();
    TQuickSymbolCheck(const TQuickSymbolCheck&) = delete;
    TQuickSymbolCheck& operator=(const TQuickSymbolCheck&) = delete;

    // Whether a symbol was drawn with the fixed mask.
    bool Used() const { return FUsed; }

private:
    friend class TQuickSymbolCheckAccess;
    TQuickSymbolCheck* FOuter;
    bool FUsed = false;
};

// True when the library encodes ABytes, taken byte for byte as a printer takes a DMATRIX
// command's content, into an ECC 200 symbol of ARows x AColumns; false for a size ECC 200 lacks.
bool DataMatrixHolds(std::string_view ABytes, std::int32_t ARows, std::int32_t AColumns);

}  // namespace quorvane
