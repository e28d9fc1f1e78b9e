#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "errors/messages.h"
#include "printer/mono_bitmap.h"
#include "printer/raster_limits.h"

namespace quorvane {

// The one message for every picture that cannot be turned into a raster.
class EImageConversion : public TMessageError {
public:
    EImageConversion() : TMessageError(TMessage::ImageConversionFailed) {}
};

enum class TPictureFormat { pfUnknown, pfPng, pfJpeg, pfGif, pfBmp };

// Recognises the format by its first bytes.
TPictureFormat DetectPictureFormat(std::span<const std::uint8_t> ABytes);

// Strict standard Base64 (whitespace between groups allowed); std::nullopt when malformed.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view AText);

// Decodes PNG, JPEG, GIF (first frame) or BMP and reduces it to black and white: transparent
// areas become white, every other pixel the nearer of black and white. std::nullopt for an
// unknown format or corrupt data. A picture whose header declares more pixels than the raster
// bounds throws ERasterTooLarge, and one larger than ALimit allows EPictureTooLarge, before its
// pixels are decoded; a baseline JPEG beyond ALimit is decoded at the smallest eighth of its
// size that still covers the box instead.
std::optional<TMonoBitmap> DecodePicture(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit = {});

}  // namespace quorvane
