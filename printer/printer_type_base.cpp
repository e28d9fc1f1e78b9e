#include "printer/printer_type_base.h"

#include <algorithm>
#include <stdexcept>

#include "printer/bitmap_transform.h"
#include "printer/picture_decoder.h"
#include "printer/raster_limits.h"
#include "printer/rounding.h"
#include "text/ascii_text.h"

namespace quorvane {

TPrinterTypeBase::TPrinterTypeBase() { Init(); }

TPrinterTypeBase::~TPrinterTypeBase() = default;

void TPrinterTypeBase::Init() { FScriptText.clear(); }

void TPrinterTypeBase::AddScriptString(std::string_view AFormatString,
                                       std::initializer_list<TScriptValue> AValues) {
    std::string line;
    line.reserve(AFormatString.size());
    auto value = AValues.begin();
    for (std::size_t i = 0; i < AFormatString.size(); ++i) {
        const char c = AFormatString[i];
        const char next = i + 1 < AFormatString.size() ? AFormatString[i + 1] : '\0';
        if (c != '%' || (next != 'd' && next != 's')) {
            line += c;
            continue;
        }
        if (value == AValues.end())
            throw std::logic_error("AddScriptString: too few values for \"" + std::string(AFormatString) +
                                   "\"");
        if (value->IsNumber() != (next == 'd'))
            throw std::logic_error("AddScriptString: value of the wrong kind for \"" +
                                   std::string(AFormatString) + "\"");
        if (next == 'd')
            line += std::to_string(value->Number());
        else
            line += value->Text();
        ++value;
        ++i;
    }
    if (value != AValues.end())
        throw std::logic_error("AddScriptString: too many values for \"" + std::string(AFormatString) + "\"");
    FScriptText.push_back(std::move(line));
}

std::optional<TTokenPlace> TPrinterTypeBase::FindToken(std::string_view AToken,
                                                       std::size_t AFirstEntry) const {
    for (std::size_t entry = AFirstEntry; entry < FScriptText.size(); ++entry)
        if (const std::size_t at = FScriptText[entry].find(AToken); at != std::string::npos)
            return TTokenPlace{entry, at};
    return std::nullopt;
}

std::string TPrinterTypeBase::Script() const {
    const std::string_view lineEnd = LineEnd();
    std::size_t size = 0;
    for (const std::string& entry : FScriptText) size += entry.size() + lineEnd.size();
    std::string script;
    script.reserve(size);
    for (const std::string& entry : FScriptText) {
        script += entry;
        script += lineEnd;
    }
    return script;
}

TRotation TPrinterTypeBase::OrientationToRotation(std::int32_t AOrientation) {
    switch (AOrientation) {
        case 90: return TRotation::r90;
        case 180: return TRotation::r180;
        case 270: return TRotation::r270;
        default: return TRotation::r0;
    }
}

TMonoBitmap TPrinterTypeBase::GetBitmapFromBase64(std::string_view AValue, const TPictureLimit& ALimit) {
    const auto bytes = DecodeBase64(AValue);
    if (!bytes) throw EImageConversion();
    auto bitmap = GetBitmapFromGraphic(*bytes, ALimit);
    if (!bitmap) throw EImageConversion();
    return std::move(*bitmap);
}

std::optional<TMonoBitmap> TPrinterTypeBase::GetBitmapFromGraphic(std::span<const std::uint8_t> ABytes,
                                                                  const TPictureLimit& ALimit) {
    return DecodePicture(ABytes, ALimit);
}

TMonoBitmap TPrinterTypeBase::GetPictureBitmap(std::string_view ABase64String, std::int32_t AWidth,
                                              std::int32_t AHeight, TRotation ARotation) const {
    if (IsBlank(ABase64String)) return {};
    const std::int64_t width = MillimetresToDots(AWidth, FDotInMM);
    const std::int64_t height = MillimetresToDots(AHeight, FDotInMM);
    // Refuse an oversized box before the picture is even decoded.
    CheckRasterSize(width, height);
    // The box as the picture stands before it is turned into it.
    const bool turned = ARotation == TRotation::r90 || ARotation == TRotation::r270;
    TMonoBitmap bitmap =
        GetBitmapFromBase64(ABase64String, turned ? TPictureLimit(height, width) : TPictureLimit(width, height));
    RotateBitmap(bitmap, ARotation);
    if (FStretchImage)
        StretchBitmap(bitmap, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    else
        FitBitmap(bitmap, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    return bitmap;
}

}  // namespace quorvane
