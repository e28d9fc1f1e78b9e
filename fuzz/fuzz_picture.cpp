// Picture bytes -> raster: our own BMP reader first, then each decoder through format
// detection, then fitting and rotation into a field's box as a label does.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>

#include "printer/bitmap_transform.h"
#include "printer/bmp_reader.h"
#include "printer/picture_decoder.h"
#include "printer/raster_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
    using namespace quorvane;
    const std::span<const std::uint8_t> bytes(AData, ASize);
    try {
        if (std::optional<TMonoBitmap> bmp = ReadBmp(bytes)) {
            if (bmp->Width() < 0 || bmp->Height() < 0) __builtin_trap();
        }
        // A small box, turned by the last byte: what a picture field does with the raster. No
        // picture is decoded larger than the box can use.
        const std::int32_t box = 8 + (ASize > 0 ? AData[ASize - 1] % 64 : 0);
        const TPictureLimit limit(box * 2, box);
        std::optional<TMonoBitmap> picture = DecodePicture(bytes, limit);
        if (!picture) return 0;
        if (DetectPictureFormat(bytes) == TPictureFormat::pfUnknown) __builtin_trap();
        if (picture->Width() > limit.Side() || picture->Height() > limit.Side()) __builtin_trap();
        RotateBitmap(*picture, static_cast<TRotation>(ASize % 4));
        FitBitmap(*picture, box * 2, box);
        if (picture->Width() > box * 2 || picture->Height() > box) __builtin_trap();
    } catch (const ERasterTooLarge&) {
        // A declared size beyond the bounds is refused before decoding.
    } catch (const EPictureTooLarge&) {
        // So is one far beyond what the box can use.
    }
    return 0;
}
