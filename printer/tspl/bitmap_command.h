#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "printer/mono_bitmap.h"

namespace quorvane {

// How the BITMAP command puts its raster onto the label.
enum class TBitmapMode : std::uint8_t { bmOverwrite = 0, bmOr = 1, bmXor = 2 };

// "BITMAP x,y,width,height,mode," followed by AData: the width in bytes, the height in dots and
// AData the raster (per row width bytes, most significant bit leftmost, a set bit white) or a
// field's token standing for it.
std::string BitmapCommand(std::int64_t AX, std::int64_t AY, std::int64_t AWidthBytes, std::int64_t AHeight,
                          TBitmapMode AMode, std::string_view AData);

// The data of ABitmap as the command carries it: per row the first width div 8 bytes, most
// significant bit leftmost, a set bit white; exactly (width div 8) x height bytes.
std::string BitmapData(const TMonoBitmap& ABitmap);

// The data of a white raster of AWidthBytes x AHeight.
std::string BlankBitmapData(std::int64_t AWidthBytes, std::int64_t AHeight);

// The head "BITMAP x,y,width,height,mode," at a line's front (any case, blanks around the
// numbers allowed): its length and the number of data bytes it announces.
struct TBitmapHead {
    std::size_t Size = 0;
    std::int64_t DataBytes = 0;
    std::int64_t X = 0;
    std::int64_t Y = 0;
    std::int64_t WidthBytes = 0;
    std::int64_t Height = 0;
    std::int64_t Mode = 0;
};

// Nothing when ALine starts with no such command.
std::optional<TBitmapHead> ParseBitmapHead(std::string_view ALine);

}  // namespace quorvane
