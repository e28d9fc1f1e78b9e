#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

enum class TSymbologyId : std::uint8_t {
    siEAN8,
    siEAN13,
    siEAN128,
    siCode39,
    siCode128,
    siCode93,
    siITF14,
    siEAN13Addon2,
    siEAN13Addon5,
    siPDF417,
    siDataMatrix,
    siGS1DataMatrix,
    siQRCode,
};

enum class TSymbologyKind : std::uint8_t { kdLinear, kd2D };

// A barcode type a document may name. A printer language maps Id onto its own command.
struct TSymbology {
    TSymbologyId Id;
    std::string_view DocumentName;  // as the document's Type, compared ignoring case
    TSymbologyKind Kind;
    int LibraryId;  // the barcode library's symbology for a symbol drawn as a picture; 0: none
    bool DigitsOnly;
    std::int32_t Digits;  // the data's digits without the check digit, which may follow; 0: any length

    bool Is2D() const { return Kind == TSymbologyKind::kd2D; }
};

// Every symbology a document may name, linear ones first.
std::span<const TSymbology> Symbologies();

// The entry for ADocumentName in any case, or nullptr for a name no entry has.
const TSymbology* FindSymbology(std::string_view ADocumentName);

// The names a document may give, as it is told when it names another.
std::string KnownSymbologyNames();

// Fails with "Недопустимые символы во входных данных штрихкода" when a digit-only symbology
// gets anything but 0-9.
void CheckSymbologyDigits(const TSymbology& ASymbology, std::string_view AValue);
// The digit check, then the digit count of the fixed-length symbologies, with or without the
// check digit.
void CheckSymbologyValue(const TSymbology& ASymbology, std::string_view AValue);

// A value printed as GS1 DataMatrix: any value of GS1DataMatrix, and a DataMatrix value with a
// GS1 mark (HasGs1Mark).
bool IsGs1DataMatrix(const TSymbology& ASymbology, std::string_view AValue);

}  // namespace quorvane
