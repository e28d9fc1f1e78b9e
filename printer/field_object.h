#pragma once

#include <cstdint>
#include <string>

#include "printer/symbology.h"

namespace quorvane {

// Kind of a field of the label layout.
enum class TFieldType : std::uint8_t { ftText = 0, ftTextGraphic = 1, ftImage = 2, ftBarcode = 3 };

// Vertical alignment of text inside its box.
enum class TValign : std::uint8_t { vaTop = 0, vaCenter = 1, vaBottom = 2 };

// Clockwise quarter-turn of a raster.
enum class TRotation : std::uint8_t { r0 = 0, r90 = 1, r180 = 2, r270 = 3 };

// Copy count of the PRINT command in a template; replaced per label by the quantity.
inline constexpr const char* kQuantityMarker = "{2180C648-B6D4-4E65-9661-15B4B9D8D3FC}";

// A fresh GUID in registry form ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex,
// 38 characters) from the system's random source. Stands for a field's value in a template.
std::string NewPlaceholderToken();

// One field of the current layout. Geometry is whole millimetres, orientation degrees clockwise.
class TFieldObject {
public:
    TFieldObject(TFieldType AFieldType, std::string AFieldValue, std::int32_t AWidth, std::int32_t AHeight,
                 std::int32_t ALeft, std::int32_t ATop, std::int32_t AOrientation, std::int32_t AFontSize,
                 std::string AFontName, std::string AFontStyle, std::string AAlign, std::string AVAlign,
                 bool AMultiline, bool AIsStatic, std::string ABarcodeType);

    TFieldType FieldType;
    std::string FieldValue;   // the placeholder token, never the printed value
    std::string BarcodeType;  // symbology as written in the document; empty for other kinds
    const TSymbology* Symbology;  // BarcodeType's entry; nullptr for other kinds and unknown names
    std::int32_t Left;
    std::int32_t Top;
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t Orientation;
    std::int32_t FontSize;  // points; 0 = not given
    std::string FontName;   // empty = not given
    std::string FontStyle;
    std::string Align;
    std::string VAlign;
    bool Multiline;
    bool IsStatic;
};

}  // namespace quorvane
