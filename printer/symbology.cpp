#include "printer/symbology.h"

#include <zint.h>

#include "errors/messages.h"
#include "printer/gs1_element_string.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

using enum TSymbologyId;
using enum TSymbologyKind;

constexpr TSymbology kSymbologies[] = {
    {siEAN8, "EAN8", kdLinear, 0, true, 7},
    {siEAN13, "EAN13", kdLinear, 0, true, 12},
    {siEAN128, "EAN128", kdLinear, 0, false, 0},
    {siCode39, "Code39", kdLinear, 0, false, 0},
    {siCode128, "Code128", kdLinear, 0, false, 0},
    {siCode93, "Code93", kdLinear, 0, false, 0},
    {siITF14, "ITF14", kdLinear, 0, true, 13},
    {siEAN13Addon2, "EAN13Addon2", kdLinear, 0, true, 14},
    {siEAN13Addon5, "EAN13Addon5", kdLinear, 0, true, 17},
    {siPDF417, "PDF417", kd2D, BARCODE_PDF417, false, 0},
    {siDataMatrix, "DataMatrix", kd2D, BARCODE_DATAMATRIX, false, 0},
    {siGS1DataMatrix, "GS1DataMatrix", kd2D, BARCODE_DATAMATRIX, false, 0},
    {siQRCode, "QRCode", kd2D, BARCODE_QRCODE, false, 0},
};

}  // namespace

std::span<const TSymbology> Symbologies() { return kSymbologies; }

const TSymbology* FindSymbology(std::string_view ADocumentName) {
    for (const TSymbology& symbology : kSymbologies)
        if (EqualsIgnoringAsciiCase(symbology.DocumentName, ADocumentName)) return &symbology;
    return nullptr;
}

std::string KnownSymbologyNames() {
    std::string names;
    for (const TSymbology& symbology : kSymbologies) {
        if (!names.empty()) names += ", ";
        names += symbology.DocumentName;
    }
    return names;
}

void CheckSymbologyDigits(const TSymbology& ASymbology, std::string_view AValue) {
    if (!ASymbology.DigitsOnly) return;
    for (char c : AValue)
        if (c < '0' || c > '9') throw TMessageError(TMessage::BarcodeInvalidCharacters);
}

void CheckSymbologyValue(const TSymbology& ASymbology, std::string_view AValue) {
    CheckSymbologyDigits(ASymbology, AValue);
    if (ASymbology.Digits == 0) return;
    const auto count = static_cast<std::int64_t>(AValue.size());
    if (count != ASymbology.Digits && count != ASymbology.Digits + 1)
        throw TMessageError(TMessage::BarcodeLengthWrong, ASymbology.DocumentName, ASymbology.Digits,
                            ASymbology.Digits + 1, count);
}

bool IsGs1DataMatrix(const TSymbology& ASymbology, std::string_view AValue) {
    return ASymbology.Id == siGS1DataMatrix || (ASymbology.Id == siDataMatrix && HasGs1Mark(AValue));
}

}  // namespace quorvane
