#include "printer/picture_decoder.h"

#include <gif_lib.h>
#include <png.h>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jerror.h>
#include <jpeglib.h>

#include "printer/bmp_reader.h"
#include "printer/picture_pixels.h"
#include "printer/raster_limits.h"

namespace quorvane {

namespace {

// ---- PNG: libpng's simplified reader, which reports failures by result instead of jumps.

struct PngImageFree {
    void operator()(png_image* AImage) const { png_image_free(AImage); }
};

std::optional<TMonoBitmap> DecodePng(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, ABytes.data(), ABytes.size())) return std::nullopt;
    const std::unique_ptr<png_image, PngImageFree> guard(&image);
    ALimit.Check(image.width, image.height);

    image.format = PNG_FORMAT_RGB;  // transparency is laid over the white background below
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    const png_color white{255, 255, 255};
    if (!png_image_finish_read(&image, &white, pixels.data(), 0, nullptr)) return std::nullopt;

    TMonoBitmap bitmap(static_cast<std::int32_t>(image.width), static_cast<std::int32_t>(image.height));
    const png_byte* p = pixels.data();
    for (std::int32_t y = 0; y < bitmap.Height(); ++y)
        for (std::int32_t x = 0; x < bitmap.Width(); ++x, p += 3)
            if (IsDark(p[0], p[1], p[2])) bitmap.SetPixel(x, y, true);
    return bitmap;
}

// ---- JPEG: libjpeg reports fatal errors through error_exit, which must not return; it jumps
// back into the two steps below. Nothing with a destructor lives between a jump and its target.

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void OnJpegError(j_common_ptr AInfo) {
    std::longjmp(reinterpret_cast<TJpegError*>(AInfo->err)->Jump, 1);
}

void OnJpegMessage(j_common_ptr AInfo, int ALevel) {
    // Warnings are dropped, except a cut-off stream: that is corrupt data, not a picture.
    if (ALevel == -1 && AInfo->err->msg_code == JWRN_JPEG_EOF) OnJpegError(AInfo);
}

class TJpegDecoder {
public:
    TJpegDecoder() {
        FInfo.err = jpeg_std_error(&FError.Manager);
        FError.Manager.error_exit = OnJpegError;
        FError.Manager.emit_message = OnJpegMessage;
    }
    TJpegDecoder(const TJpegDecoder&) = delete;
    TJpegDecoder& operator=(const TJpegDecoder&) = delete;
    ~TJpegDecoder() {
        if (FCreated) jpeg_destroy_decompress(&FInfo);
    }

    bool ReadHeader(std::span<const std::uint8_t> ABytes) {
        if (setjmp(FError.Jump)) return false;
        jpeg_create_decompress(&FInfo);
        FCreated = true;
        // Progressive pictures keep every coefficient in memory; bound that too.
        FInfo.mem->max_memory_to_use = 512L * 1024 * 1024;
        jpeg_mem_src(&FInfo, ABytes.data(), static_cast<unsigned long>(ABytes.size()));
        jpeg_read_header(&FInfo, TRUE);
        FMultipleScans = jpeg_has_multiple_scans(&FInfo) != 0;
        return true;
    }
    std::int64_t Width() const { return FInfo.image_width; }
    std::int64_t Height() const { return FInfo.image_height; }
    std::int64_t OutputWidth() const { return FInfo.output_width; }
    std::int64_t OutputHeight() const { return FInfo.output_height; }
    // A picture in several scans (progressive, say) keeps every coefficient of its full size
    // while it is decoded, whatever the output scale.
    bool MultipleScans() const { return FMultipleScans; }

    // Picks the output colours and the scale, and computes the output size.
    bool SetOutput(unsigned ANumerator, unsigned ADenominator) {
        if (setjmp(FError.Jump)) return false;
        const J_COLOR_SPACE source = FInfo.jpeg_color_space;
        if (source == JCS_GRAYSCALE)
            FInfo.out_color_space = JCS_GRAYSCALE;
        else if (source == JCS_CMYK || source == JCS_YCCK)
            FInfo.out_color_space = JCS_CMYK;
        else
            FInfo.out_color_space = JCS_RGB;
        FInfo.scale_num = ANumerator;
        FInfo.scale_denom = ADenominator;
        jpeg_calc_output_dimensions(&FInfo);
        return true;
    }

    bool ReadRows(TMonoBitmap& ABitmap) {
        if (setjmp(FError.Jump)) return false;
        jpeg_start_decompress(&FInfo);
        const int components = FInfo.output_components;
        // Adobe writes CMYK inverted (a stored 0 is full ink); others store ink directly.
        const bool inverted = FInfo.saw_Adobe_marker;
        JSAMPARRAY row =
            (*FInfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&FInfo), JPOOL_IMAGE,
                                       FInfo.output_width * static_cast<JDIMENSION>(components), 1);
        while (FInfo.output_scanline < FInfo.output_height) {
            const auto y = static_cast<std::int32_t>(FInfo.output_scanline);
            jpeg_read_scanlines(&FInfo, row, 1);
            const JSAMPLE* p = row[0];
            for (std::int32_t x = 0; x < ABitmap.Width(); ++x, p += components) {
                bool dark = false;
                if (components == 1) {
                    dark = IsDark(p[0], p[0], p[0]);
                } else if (components == 3) {
                    dark = IsDark(p[0], p[1], p[2]);
                } else {
                    const auto ink = [inverted](JSAMPLE v) { return inverted ? 255U - v : std::uint32_t{v}; };
                    const std::uint32_t k = 255 - ink(p[3]);
                    dark = IsDark((255 - ink(p[0])) * k / 255, (255 - ink(p[1])) * k / 255,
                                  (255 - ink(p[2])) * k / 255);
                }
                if (dark) ABitmap.SetPixel(x, y, true);
            }
        }
        jpeg_finish_decompress(&FInfo);
        return true;
    }

private:
    jpeg_decompress_struct FInfo{};
    TJpegError FError{};
    bool FCreated = false;
    bool FMultipleScans = false;
};

std::optional<TMonoBitmap> DecodeJpeg(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit) {
    TJpegDecoder decoder;
    if (!decoder.ReadHeader(ABytes)) return std::nullopt;
    const std::int64_t width = decoder.Width();
    const std::int64_t height = decoder.Height();
    CheckRasterSize(width, height);
    if (!decoder.SetOutput(1, 1)) return std::nullopt;
    if (!ALimit.Allows(width, height)) {
        if (decoder.MultipleScans()) ALimit.Check(width, height);  // refused: too large to hold
        // Too large to decode whole: the smallest eighth that still covers the box (or the
        // picture's own side, where that is smaller) is decoded instead. A picture within the
        // limit is decoded whole as always, so its print does not change.
        const std::int64_t wantWidth = std::min(width, ALimit.BoxWidth());
        const std::int64_t wantHeight = std::min(height, ALimit.BoxHeight());
        for (unsigned numerator = 1; numerator <= 8; ++numerator) {
            if (!decoder.SetOutput(numerator, 8)) return std::nullopt;
            if (decoder.OutputWidth() >= wantWidth && decoder.OutputHeight() >= wantHeight) break;
        }
        // Even an eighth is beyond the limit: refused with the picture's own size.
        if (!ALimit.Allows(decoder.OutputWidth(), decoder.OutputHeight())) ALimit.Check(width, height);
    }
    TMonoBitmap bitmap(static_cast<std::int32_t>(decoder.OutputWidth()),
                       static_cast<std::int32_t>(decoder.OutputHeight()));
    if (bitmap.Empty() || !decoder.ReadRows(bitmap)) return std::nullopt;
    return bitmap;
}

// ---- GIF: giflib, first frame only, read line by line.

struct TGifSource {
    std::span<const std::uint8_t> Bytes;
    std::size_t Position = 0;
};

int ReadGifBytes(GifFileType* AFile, GifByteType* ABuffer, int ALength) {
    auto* source = static_cast<TGifSource*>(AFile->UserData);
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(ALength, 0)),
                                                    source->Bytes.size() - source->Position);
    std::memcpy(ABuffer, source->Bytes.data() + source->Position, count);
    source->Position += count;
    return static_cast<int>(count);
}

struct GifClose {
    void operator()(GifFileType* AFile) const {
        int error = 0;
        DGifCloseFile(AFile, &error);
    }
};

std::optional<TMonoBitmap> DecodeGif(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit) {
    TGifSource source{ABytes};
    int error = 0;
    const std::unique_ptr<GifFileType, GifClose> gif(DGifOpen(&source, ReadGifBytes, &error));
    if (!gif) return std::nullopt;
    ALimit.Check(gif->SWidth, gif->SHeight);

    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return std::nullopt;
        if (record == TERMINATE_RECORD_TYPE) return std::nullopt;  // no frame at all
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return std::nullopt;
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
                GraphicsControlBlock control{};
                DGifExtensionToGCB(block[0], block + 1, &control);
                transparent = control.TransparentColor;
            }
            while (block != nullptr)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return std::nullopt;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) continue;

        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return std::nullopt;
        const GifImageDesc& frame = gif->Image;
        if (frame.Width <= 0 || frame.Height <= 0) return std::nullopt;
        ALimit.Check(frame.Width, frame.Height);
        const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
        if (colours == nullptr) return std::nullopt;

        // The screen is the picture; a frame outside it is clipped. Uncovered areas are paper.
        const bool screen = gif->SWidth > 0 && gif->SHeight > 0;
        TMonoBitmap bitmap(screen ? gif->SWidth : frame.Width, screen ? gif->SHeight : frame.Height);
        const int left = screen ? frame.Left : 0;
        const int top = screen ? frame.Top : 0;
        std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
        static constexpr std::array<int, 4> kStart{0, 4, 2, 1};
        static constexpr std::array<int, 4> kStep{8, 8, 4, 2};
        const int passes = frame.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int start = frame.Interlace ? kStart[pass] : 0;
            const int step = frame.Interlace ? kStep[pass] : 1;
            for (int row = start; row < frame.Height; row += step) {
                if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return std::nullopt;
                const int y = top + row;
                if (y < 0 || y >= bitmap.Height()) continue;
                for (int column = 0; column < frame.Width; ++column) {
                    const int x = left + column;
                    const int index = line[static_cast<std::size_t>(column)];
                    if (x < 0 || x >= bitmap.Width() || index == transparent || index >= colours->ColorCount)
                        continue;
                    const GifColorType& c = colours->Colors[index];
                    if (IsDark(c.Red, c.Green, c.Blue)) bitmap.SetPixel(x, y, true);
                }
            }
        }
        return bitmap;
    }
}

// The letter's 6-bit value, or -1 outside the standard alphabet.
int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

TPictureFormat DetectPictureFormat(std::span<const std::uint8_t> ABytes) {
    static constexpr std::array<std::uint8_t, 8> kPng{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    const auto startsWith = [&](std::span<const std::uint8_t> APrefix) {
        return ABytes.size() >= APrefix.size() && std::equal(APrefix.begin(), APrefix.end(), ABytes.begin());
    };
    static constexpr std::array<std::uint8_t, 2> kJpeg{0xFF, 0xD8};
    static constexpr std::array<std::uint8_t, 3> kGif{'G', 'I', 'F'};
    static constexpr std::array<std::uint8_t, 2> kBmp{'B', 'M'};
    if (startsWith(kPng)) return TPictureFormat::pfPng;
    if (startsWith(kJpeg)) return TPictureFormat::pfJpeg;
    if (startsWith(kGif)) return TPictureFormat::pfGif;
    if (startsWith(kBmp)) return TPictureFormat::pfBmp;
    return TPictureFormat::pfUnknown;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view AText) {
    // A picture value must not be half garbage: anything outside the alphabet refuses it.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(AText.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    std::size_t letters = 0;
    std::size_t padding = 0;
    for (const char c : AText) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = Base64Value(c);
        if (value < 0 || padding != 0) return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        if (++letters % 4 == 0) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
            bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
            bytes.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
        }
    }
    if (padding > 2 || letters % 4 == 1 || (padding != 0 && (letters + padding) % 4 != 0)) return std::nullopt;
    // The last group's two or three letters carry one or two bytes; their spare bits are dropped.
    if (letters % 4 == 2) {
        bytes.push_back(static_cast<std::uint8_t>(bits >> 4));
    } else if (letters % 4 == 3) {
        bytes.push_back(static_cast<std::uint8_t>(bits >> 10));
        bytes.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return bytes;
}

std::optional<TMonoBitmap> DecodePicture(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit) {
    switch (DetectPictureFormat(ABytes)) {
        case TPictureFormat::pfPng: return DecodePng(ABytes, ALimit);
        case TPictureFormat::pfJpeg: return DecodeJpeg(ABytes, ALimit);
        case TPictureFormat::pfGif: return DecodeGif(ABytes, ALimit);
        case TPictureFormat::pfBmp: return ReadBmp(ABytes, ALimit);
        default: return std::nullopt;
    }
}

}  // namespace quorvane
