#include "printer/printer_type_base.h"

#include <algorithm>

#include "printer/graphic_text.h"

namespace quorvane {

// The one member of the printer type that lays out text, in a file of its own so that the rest
// builds without the text layout.
TMonoBitmap TPrinterTypeBase::GetGraphicText(std::string_view AText, std::int32_t AWidth,
                                             std::int32_t AHeight, TRotation ARotation,
                                             std::int32_t AFontSize, std::string_view AFontName,
                                             std::string_view AFontStyle, std::string_view AAlign,
                                             std::string_view AVAlign, bool AMultiline) const {
    TExtGraphicText element;
    TTextFont& font = element.Font();
    ApplyFontStyle(font, AFontStyle);
    element.SetDPI(FDPI);
    // A printer command may announce the box in DotInMM dots (none below 25 dpi); the raster
    // must have exactly that size even for a resolution whose two roundings disagree.
    element.SetDotsPerMM(std::max<std::int32_t>(FDotInMM, 0));
    element.SetWidth(AWidth);
    element.SetHeight(AHeight);
    element.SetData(std::string(AText));
    element.SetRotation(ARotation);
    if (!AFontName.empty()) font.Name = std::string(AFontName);
    if (AFontSize > 0) font.Size = AFontSize;
    const TTextAlignment alignment = TextFormatFromAlign(AAlign, AVAlign);
    element.SetTextFormat(alignment.Format | (AMultiline ? kTfMultilineFlags : kTfSingleLineFlags));
    return element.GetBitMapExt(alignment.VAlign);
}

}  // namespace quorvane
