#include <gtest/gtest.h>

#include <gif_lib.h>
#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "errors/messages.h"
#include "printer/bitmap_transform.h"
#include "printer/picture_decoder.h"
#include "printer/printer_type_base.h"
#include "printer/raster_limits.h"
#include "tests/common/base64.h"
#include "tests/common/bmp_fixture.h"
#include "tests/printer/plain_printer.h"
#include "tests/printer/raster_probe.h"

namespace quorvane {
namespace {

using test::Base64;
using test::Bytes;
using test::HalfBlack;
using test::MakeBmp;
using test::PixelFn;
using test::Put16;
using test::Put32;

// ---- fixtures, made with the same libraries the decoders use

Bytes MakePng(int width, int height, png_uint_32 format, const PixelFn& pixel) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    const int channels = PNG_IMAGE_PIXEL_CHANNELS(format);
    std::vector<png_byte> pixels(static_cast<std::size_t>(width * height * channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto p = pixel(x, y);
            png_byte* out = &pixels[static_cast<std::size_t>((y * width + x) * channels)];
            if (channels == 1)
                out[0] = p[0];
            else
                for (int c = 0; c < channels; ++c) out[c] = p[static_cast<std::size_t>(c)];
        }
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr));
    Bytes bytes(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr));
    return bytes;
}

Bytes MakeJpeg(int width, int height, J_COLOR_SPACE space, const PixelFn& pixel, bool progressive = false) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width * info.input_components));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            const auto p = pixel(x, y);
            JSAMPLE* out = &row[static_cast<std::size_t>(x * info.input_components)];
            if (space == JCS_GRAYSCALE) {
                out[0] = p[0];
            } else if (space == JCS_CMYK) {
                // Adobe style, as libjpeg marks it: stored values are 255 minus the ink.
                out[0] = 255, out[1] = 255, out[2] = 255, out[3] = p[0];
            } else {
                out[0] = p[0], out[1] = p[1], out[2] = p[2];
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

int WriteGifBytes(GifFileType* AFile, const GifByteType* AData, int ALength) {
    auto* out = static_cast<Bytes*>(AFile->UserData);
    out->insert(out->end(), AData, AData + ALength);
    return ALength;
}

// A screen of 40 x 20 whose first frame is 20 x 10 at (10, 5). Palette: 0 black, 1 white, 2 red,
// 3 black but transparent. The frame's rows: left quarter index 0, then 2, then 3, then 1.
Bytes MakeGif(bool AInterlace) {
    Bytes bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, WriteGifBytes, &error);
    EXPECT_NE(gif, nullptr);
    GifColorType colours[4] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifPutScreenDesc(gif, 40, 20, 2, 1, map);
    GraphicsControlBlock control{};
    control.TransparentColor = 3;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
    EGifPutImageDesc(gif, 10, 5, 20, 10, AInterlace, nullptr);
    std::vector<GifPixelType> line(20);
    for (int x = 0; x < 20; ++x)
        line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(x / 5 == 0   ? 0
                                                                      : x / 5 == 1 ? 2
                                                                      : x / 5 == 2 ? 3
                                                                                   : 1);
    for (int y = 0; y < 10; ++y) EGifPutLine(gif, line.data(), 20);
    // A second frame, all black over the whole screen, that must not be printed.
    EGifPutImageDesc(gif, 0, 0, 40, 20, false, nullptr);
    std::vector<GifPixelType> black(40, 0);
    for (int y = 0; y < 20; ++y) EGifPutLine(gif, black.data(), 40);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytes;
}

// The packed bytes of a raster's top row, ink as set bits.
std::string FirstRow(const TMonoBitmap& ABitmap) {
    return std::string(reinterpret_cast<const char*>(ABitmap.Row(0)), ABitmap.Stride());
}

void ExpectHalfBlack(const std::optional<TMonoBitmap>& ABitmap, int AWidth, int AHeight) {
    ASSERT_TRUE(ABitmap.has_value());
    ASSERT_EQ(ABitmap->Width(), AWidth);
    ASSERT_EQ(ABitmap->Height(), AHeight);
    for (int y = 0; y < AHeight; ++y)
        for (int x = 0; x < AWidth; ++x)
            ASSERT_EQ(ABitmap->Pixel(x, y), x < AWidth / 2) << x << "," << y << "\n" << test::Ascii(*ABitmap);
}

void ExpectPictureMessage(std::string_view ABase64) {
    try {
        TPrinterTypeBase::GetBitmapFromBase64(ABase64);
        ADD_FAILURE() << "decoded " << ABase64.substr(0, 40);
    } catch (const EImageConversion& e) {
        EXPECT_STREQ(e.what(), MessageText(TMessage::ImageConversionFailed));
    }
}

// ---- decoding

TEST(PictureDecoding, PngInEveryChannelLayoutWithTransparencyAsPaper) {
    const auto half = [](int x, int y) { return HalfBlack(x, y, 64); };
    ExpectHalfBlack(DecodePicture(MakePng(64, 16, PNG_FORMAT_GRAY, half)), 64, 16);
    ExpectHalfBlack(DecodePicture(MakePng(64, 16, PNG_FORMAT_RGB, half)), 64, 16);
    // Black but fully transparent on the right: paper.
    const auto clear = [](int x, int) -> std::array<std::uint8_t, 4> {
        return {0, 0, 0, static_cast<std::uint8_t>(x < 32 ? 255 : 0)};
    };
    ExpectHalfBlack(DecodePicture(MakePng(64, 16, PNG_FORMAT_RGBA, clear)), 64, 16);
}

TEST(PictureDecoding, ColoursGoToTheNearerOfBlackAndWhite) {
    const std::array<std::uint8_t, 4> colours[] = {
        {255, 0, 0, 255},      // red, sum 255: black
        {255, 255, 0, 255},    // yellow, sum 510: white
        {127, 127, 128, 255},  // sum 382: black
        {127, 128, 128, 255},  // sum 383: white
        {0, 0, 0, 100},        // black at 100/255 over paper: mostly paper
    };
    const bool dark[] = {true, false, true, false, false};
    for (std::size_t i = 0; i < std::size(colours); ++i) {
        const auto picture =
            DecodePicture(MakePng(1, 1, PNG_FORMAT_RGBA, [&](int, int) { return colours[i]; }));
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->Pixel(0, 0), dark[i]) << i;
    }
}

TEST(PictureDecoding, JpegGreyColourAndCmyk) {
    const auto half = [](int x, int y) { return HalfBlack(x, y, 64); };
    ExpectHalfBlack(DecodePicture(MakeJpeg(64, 32, JCS_GRAYSCALE, half)), 64, 32);
    ExpectHalfBlack(DecodePicture(MakeJpeg(64, 32, JCS_RGB, half)), 64, 32);
    ExpectHalfBlack(DecodePicture(MakeJpeg(64, 32, JCS_CMYK, half)), 64, 32);
}

TEST(PictureDecoding, GifFirstFrameOnItsScreen) {
    for (bool interlace : {false, true}) {
        const Bytes gif = MakeGif(interlace);
        const auto picture = DecodePicture(gif);
        ASSERT_TRUE(picture) << interlace;
        ASSERT_EQ(picture->Width(), 40);
        ASSERT_EQ(picture->Height(), 20);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool inFrame = x >= 10 && x < 30 && y >= 5 && y < 15;
                const int quarter = (x - 10) / 5;  // black, red, transparent, white
                ASSERT_EQ(picture->Pixel(x, y), inFrame && quarter <= 1) << x << "," << y;
            }
    }
}

TEST(PictureDecoding, BmpEveryDepthBothDirections) {
    const auto half = [](int x, int y) { return HalfBlack(x, y, 37); };
    for (int bits : {1, 4, 8, 24, 32})
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, top-down " << topDown);
            ExpectHalfBlack(DecodePicture(MakeBmp(bits, 37, 5, topDown, half)), 37, 5);
        }
    // A pattern that tells rows apart: only row 0 is black.
    const auto firstRow = [](int, int y) -> std::array<std::uint8_t, 4> {
        const std::uint8_t v = y == 0 ? 0 : 255;
        return {v, v, v, 255};
    };
    for (bool topDown : {false, true}) {
        const auto picture = DecodePicture(MakeBmp(24, 8, 4, topDown, firstRow));
        ASSERT_TRUE(picture);
        EXPECT_TRUE(picture->Pixel(3, 0));
        EXPECT_FALSE(picture->Pixel(3, 3));
    }
    // Alpha through bit fields: transparent black is paper.
    const auto clear = [](int x, int) -> std::array<std::uint8_t, 4> {
        return {0, 0, 0, static_cast<std::uint8_t>(x < 18 ? 255 : 0)};
    };
    ExpectHalfBlack(DecodePicture(MakeBmp(32, 37, 3, false, clear, true)), 37, 3);
}

TEST(PictureDecoding, Base64ValueWithLineBreaks) {
    const Bytes png = MakePng(64, 16, PNG_FORMAT_GRAY, [](int x, int y) { return HalfBlack(x, y, 64); });
    std::string text = Base64(png);
    for (std::size_t at = 76; at < text.size(); at += 78) text.insert(at, "\r\n");
    ExpectHalfBlack(TPrinterTypeBase::GetBitmapFromBase64(" " + text + "\n"), 64, 16);
    // Missing padding is tolerated.
    std::string unpadded = Base64(png);
    while (unpadded.back() == '=') unpadded.pop_back();
    ExpectHalfBlack(TPrinterTypeBase::GetBitmapFromBase64(unpadded), 64, 16);
    // Every length of the last group, padded or not, and every bit of the bytes in it.
    const Bytes all = {0xFF, 0x00, 0xFB, 0xEF, 0xBE, 0x80, 0x7F};
    for (std::size_t length = 0; length <= all.size(); ++length) {
        const Bytes bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(length));
        std::string padded = Base64(bytes);
        EXPECT_EQ(DecodeBase64(padded), bytes) << padded;
        while (!padded.empty() && padded.back() == '=') padded.pop_back();
        EXPECT_EQ(DecodeBase64(padded), bytes) << padded;
    }
}

TEST(PictureDecoding, UnknownCorruptOrMalformedGiveThePictureMessage) {
    const Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ExpectPictureMessage(Base64(tiff));
    ExpectPictureMessage(Base64(Bytes{'M', 'M', 0, 42, 0, 0, 0, 8}));
    ExpectPictureMessage("not base64 at all!");
    ExpectPictureMessage("QUJD=RA==");  // padding inside
    ExpectPictureMessage("QUJDR");      // a lone trailing letter
    ExpectPictureMessage("");

    const auto half = [](int x, int y) { return HalfBlack(x, y, 64); };
    const Bytes sources[] = {MakePng(64, 16, PNG_FORMAT_RGB, half), MakeJpeg(64, 32, JCS_RGB, half),
                             MakeGif(false), MakeBmp(24, 64, 16, false, half)};
    for (const Bytes& source : sources) {
        // Cut short, and with the data after the header overwritten.
        const Bytes cut(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(source.size() / 2));
        EXPECT_FALSE(DecodePicture(cut).has_value()) << source[0];
        ExpectPictureMessage(Base64(cut));
        Bytes garbage = source;
        for (std::size_t i = 12; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 7919);
        EXPECT_FALSE(DecodePicture(garbage).has_value()) << source[0];
    }
    EXPECT_FALSE(DecodePicture(Bytes{0xFF, 0xD8}).has_value());
    EXPECT_FALSE(DecodePicture(Bytes{'B', 'M'}).has_value());
    EXPECT_FALSE(DecodePicture(Bytes{'G', 'I', 'F'}).has_value());
}

long MaxResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(PictureDecoding, HeadersDeclaringHugePicturesAreRefusedBeforeDecoding) {
    const auto half = [](int x, int y) { return HalfBlack(x, y, 16); };
    std::vector<Bytes> bombs;

    // PNG: IHDR says 16000 x 16000 (CRC fixed up), 256 million pixels.
    Bytes png = MakePng(16, 16, PNG_FORMAT_RGB, half);
    Put32(png, 16, 0), Put32(png, 20, 0);
    png[16 + 2] = 16000 >> 8, png[16 + 3] = 16000 & 0xFF, png[20 + 2] = 16000 >> 8,
             png[20 + 3] = 16000 & 0xFF;
    const auto crc = static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), png.data() + 12, 17));
    png[29] = crc >> 24, png[30] = (crc >> 16) & 0xFF, png[31] = (crc >> 8) & 0xFF, png[32] = crc & 0xFF;
    bombs.push_back(png);

    // JPEG: the frame header says 65000 x 65000.
    Bytes jpeg = MakeJpeg(16, 16, JCS_GRAYSCALE, half);
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 65000 >> 8, jpeg[i + 6] = 65000 & 0xFF, jpeg[i + 7] = 65000 >> 8,
                     jpeg[i + 8] = 65000 & 0xFF;
            break;
        }
    bombs.push_back(jpeg);

    // GIF: a 65535 x 65535 screen.
    Bytes gif = MakeGif(false);
    Put16(gif, 6, 65535), Put16(gif, 8, 65535);
    bombs.push_back(gif);
    // GIF: a small screen with a 60000 x 60000 frame.
    Bytes frame = MakeGif(false);
    for (std::size_t i = 13 + 12; i + 9 < frame.size(); ++i)
        if (frame[i] == 0x2C) {
            Put16(frame, i + 5, 60000), Put16(frame, i + 7, 60000);
            break;
        }
    bombs.push_back(frame);

    // BMP: 100000 x 100000 and 8 bits.
    Bytes bmp = MakeBmp(8, 4, 4, false, half);
    Put32(bmp, 18, 100000), Put32(bmp, 22, 100000);
    bombs.push_back(bmp);

    const long before = MaxResidentKilobytes();
    for (const Bytes& bomb : bombs) {
        EXPECT_THROW(DecodePicture(bomb), ERasterTooLarge) << bomb[0] << bomb[1];
        try {
            TPrinterTypeBase::GetBitmapFromBase64(Base64(bomb));
        } catch (const ERasterTooLarge& e) {
            EXPECT_NE(std::string(e.what()).find("Слишком большое изображение"), std::string::npos);
        }
    }
    EXPECT_LT(MaxResidentKilobytes() - before, 64 * 1024);
}

// Sets the size a JPEG's frame header (baseline or progressive) declares.
void SetJpegSize(Bytes& AJpeg, int AWidth, int AHeight) {
    for (std::size_t i = 2; i + 8 < AJpeg.size(); ++i)
        if (AJpeg[i] == 0xFF && (AJpeg[i + 1] == 0xC0 || AJpeg[i + 1] == 0xC2)) {
            AJpeg[i + 5] = static_cast<std::uint8_t>(AHeight >> 8), AJpeg[i + 6] = AHeight & 0xFF;
            AJpeg[i + 7] = static_cast<std::uint8_t>(AWidth >> 8), AJpeg[i + 8] = AWidth & 0xFF;
            return;
        }
    ADD_FAILURE() << "no frame header";
}

// Small files that declare 8000 x 4000 pixels, within the raster bounds: for a 20 x 20 mm box
// (160 dots) each is refused by its header, naming both sizes, before a pixel is decoded.
TEST(PictureValue, PicturesFarLargerThanTheirBoxAreRefusedBeforeDecoding) {
    const auto half = [](int x, int y) { return HalfBlack(x, y, 16); };
    std::vector<Bytes> bombs;
    Bytes png = MakePng(16, 16, PNG_FORMAT_RGB, half);
    Put32(png, 16, 0), Put32(png, 20, 0);
    png[16 + 2] = 8000 >> 8, png[16 + 3] = 8000 & 0xFF, png[20 + 2] = 4000 >> 8, png[20 + 3] = 4000 & 0xFF;
    const auto crc = static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), png.data() + 12, 17));
    png[29] = crc >> 24, png[30] = (crc >> 16) & 0xFF, png[31] = (crc >> 8) & 0xFF, png[32] = crc & 0xFF;
    bombs.push_back(png);
    // Progressive: every coefficient of the full size would be held, so no scaling helps.
    Bytes jpeg = MakeJpeg(16, 16, JCS_RGB, half, true);
    SetJpegSize(jpeg, 8000, 4000);
    bombs.push_back(jpeg);
    Bytes gif = MakeGif(false);
    Put16(gif, 6, 8000), Put16(gif, 8, 4000);
    bombs.push_back(gif);
    Bytes bmp = MakeBmp(24, 4, 4, false, half);
    Put32(bmp, 18, 8000), Put32(bmp, 22, 4000);
    bombs.push_back(bmp);

    test::TPlainPrinter printer;
    const long before = MaxResidentKilobytes();
    for (const Bytes& bomb : bombs) {
        try {
            printer.GetPictureBitmap(Base64(bomb), 20, 20, TRotation::r0);
            ADD_FAILURE() << "decoded " << bomb[1] << bomb[2];
        } catch (const EPictureTooLarge& e) {
            EXPECT_STREQ(e.what(),
                         "Слишком большое изображение для поля 160 x 160 точек: 8000 x 4000 точек (допустимо не "
                         "более 2048 точек по стороне)");
        } catch (const std::exception& e) {
            ADD_FAILURE() << bomb[1] << bomb[2] << ": " << e.what();
        }
    }
    EXPECT_LT(MaxResidentKilobytes() - before, 32 * 1024);
}

// A baseline JPEG beyond the limit is decoded at the smallest eighth that still covers the box,
// and prints as the whole picture would.
TEST(PictureValue, LargeBaselineJpegIsDecodedScaledDownToItsBox) {
    const auto half = [](int x, int y) { return HalfBlack(x, y, 4096); };
    const Bytes jpeg = MakeJpeg(4096, 2048, JCS_GRAYSCALE, half);
    ExpectHalfBlack(DecodePicture(jpeg, TPictureLimit(160, 160)), 512, 256);
    ExpectHalfBlack(DecodePicture(jpeg, TPictureLimit(600, 100)), 1024, 512);  // 600 needs two eighths
    ExpectHalfBlack(DecodePicture(jpeg), 4096, 2048);  // no box: whole

    test::TPlainPrinter printer;
    const TMonoBitmap scaled = printer.GetPictureBitmap(Base64(jpeg), 20, 20, TRotation::r0);
    EXPECT_EQ(scaled.Width(), 160);
    EXPECT_EQ(scaled.Height(), 80);
    EXPECT_EQ(FirstRow(scaled), std::string(10, '\xFF') + std::string(10, '\0'));

    const Bytes progressive = MakeJpeg(4096, 2048, JCS_GRAYSCALE, half, true);
    EXPECT_THROW(printer.GetPictureBitmap(Base64(progressive), 20, 20, TRotation::r0), EPictureTooLarge);
}

// ---- scaling, rotation, and the picture value as printer bytes

TMonoBitmap Pattern(int w, int h) {
    TMonoBitmap bitmap(w, h);
    bitmap.SetPixel(0, 0, true);      // top-left
    bitmap.SetPixel(w - 1, 0, true);  // top-right
    bitmap.SetPixel(w - 1, 1, true);
    return bitmap;
}

TEST(PictureTransform, QuarterTurnsAreClockwise) {
    TMonoBitmap bitmap = Pattern(5, 3);
    RotateBitmap(bitmap, TRotation::r90);
    ASSERT_EQ(bitmap.Width(), 3);
    ASSERT_EQ(bitmap.Height(), 5);
    // The top-left corner goes to the top-right, the top-right to the bottom-right.
    EXPECT_TRUE(bitmap.Pixel(2, 0));
    EXPECT_TRUE(bitmap.Pixel(2, 4));
    EXPECT_TRUE(bitmap.Pixel(1, 4));
    EXPECT_EQ(bitmap.CountBlack(), 3);

    TMonoBitmap half = Pattern(5, 3);
    RotateBitmap(half, TRotation::r180);
    EXPECT_TRUE(half.Pixel(4, 2));
    EXPECT_TRUE(half.Pixel(0, 2));
    EXPECT_TRUE(half.Pixel(0, 1));

    TMonoBitmap back = Pattern(5, 3);
    RotateBitmap(back, TRotation::r270);
    ASSERT_EQ(back.Width(), 3);
    EXPECT_TRUE(back.Pixel(0, 4));
    EXPECT_TRUE(back.Pixel(0, 0));
    EXPECT_TRUE(back.Pixel(1, 0));
    RotateBitmap(back, TRotation::r90);
    EXPECT_EQ(back, Pattern(5, 3));

    TMonoBitmap same = Pattern(5, 3);
    RotateBitmap(same, TRotation::r0);
    EXPECT_EQ(same, Pattern(5, 3));
}

TEST(PictureTransform, FitKeepsProportionsAndStretchFillsTheBox) {
    TMonoBitmap fit(100, 50);
    FitBitmap(fit, 160, 160);
    EXPECT_EQ(fit.Width(), 160);
    EXPECT_EQ(fit.Height(), 80);
    TMonoBitmap tall(50, 100);
    FitBitmap(tall, 160, 160);
    EXPECT_EQ(tall.Width(), 80);
    EXPECT_EQ(tall.Height(), 160);
    TMonoBitmap truncated(300, 200);
    FitBitmap(truncated, 100, 100);  // 100 x 200 div 300 = 66
    EXPECT_EQ(truncated.Height(), 66);
    TMonoBitmap equal(20, 10);
    FitBitmap(equal, 40, 20);
    EXPECT_EQ(equal.Width(), 40);
    EXPECT_EQ(equal.Height(), 20);

    TMonoBitmap stretch = Pattern(100, 50);
    StretchBitmap(stretch, 160, 160);
    EXPECT_EQ(stretch.Width(), 160);
    EXPECT_EQ(stretch.Height(), 160);

    // Doubling repeats every pixel in a 2 x 2 block.
    TMonoBitmap doubled = Pattern(5, 3);
    StretchBitmap(doubled, 10, 6);
    EXPECT_EQ(doubled.CountBlack(), 12);
    EXPECT_TRUE(doubled.Pixel(1, 1));
    EXPECT_TRUE(doubled.Pixel(9, 3));
    EXPECT_FALSE(doubled.Pixel(9, 4));

    TMonoBitmap nothing = Pattern(5, 3);
    FitBitmap(nothing, 0, 10);
    EXPECT_TRUE(nothing.Empty());
}

TEST(PictureValue, FittedOrStretchedIntoTheFieldBox) {
    const std::string value =
        Base64(MakePng(100, 50, PNG_FORMAT_GRAY, [](int x, int y) { return HalfBlack(x, y, 100); }));
    test::TPlainPrinter printer;  // 8 dots per millimetre: a 20 mm box is 160 dots
    TMonoBitmap scaled = printer.GetPictureBitmap(value, 20, 20, TRotation::r0);
    EXPECT_EQ(scaled.Width(), 160);
    EXPECT_EQ(scaled.Height(), 80);
    EXPECT_EQ(FirstRow(scaled), std::string(10, '\xFF') + std::string(10, '\0'));

    scaled = printer.GetPictureBitmap(value, 20, 20, TRotation::r90);
    EXPECT_EQ(scaled.Width(), 80);
    EXPECT_EQ(scaled.Height(), 160);
    // Turned clockwise: the black left half is now on top.
    EXPECT_TRUE(scaled.Pixel(40, 10));
    EXPECT_FALSE(scaled.Pixel(40, 150));

    printer.SetStretchImage(true);
    scaled = printer.GetPictureBitmap(value, 20, 20, TRotation::r0);
    EXPECT_EQ(scaled.Width(), 160);
    EXPECT_EQ(scaled.Height(), 160);

    EXPECT_TRUE(printer.GetPictureBitmap("  \r\n ", 20, 20, TRotation::r0).Empty());
    EXPECT_TRUE(printer.GetPictureBitmap(value, 0, 20, TRotation::r0).Empty());
    EXPECT_THROW(printer.GetPictureBitmap(value, 3000, 3000, TRotation::r0), ERasterTooLarge);
    EXPECT_THROW(printer.GetPictureBitmap("!!", 20, 20, TRotation::r0), EImageConversion);
}

}  // namespace
}  // namespace quorvane
