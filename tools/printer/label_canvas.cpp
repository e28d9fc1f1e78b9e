#include "tools/printer/label_canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace quorvane {

LabelCanvas::LabelCanvas(int width, int height) : FImage(width, height) {}

bool LabelCanvas::Black(int x, int y) const {
    return x >= 0 && y >= 0 && x < FImage.width && y < FImage.height && FImage.At(x, y);
}

void LabelCanvas::Clear() { std::fill(FImage.dots.begin(), FImage.dots.end(), 0); }

bool LabelCanvas::Inside(const DotRect& r) const {
    return r.left >= 0 && r.top >= 0 && r.right <= FImage.width && r.bottom <= FImage.height;
}

void LabelCanvas::Apply(long long x, long long y, std::uint8_t black, DrawMode mode) {
    if (x < 0 || y < 0 || x >= FImage.width || y >= FImage.height) return;
    std::uint8_t& d = FImage.At(static_cast<int>(x), static_cast<int>(y));
    switch (mode) {
        case DrawMode::Overwrite: d = black; break;
        case DrawMode::Or: d |= black; break;
        case DrawMode::Xor: d ^= black; break;
        case DrawMode::Clear:
            if (black) d = 0;
            break;
    }
}

bool LabelCanvas::FillRect(long long x, long long y, long long w, long long h, DrawMode mode) {
    if (w <= 0 || h <= 0) return true;
    DotRect r{x, y, x + w, y + h};
    long long x0 = std::max(0ll, x), y0 = std::max(0ll, y);
    long long x1 = std::min<long long>(FImage.width, r.right),
              y1 = std::min<long long>(FImage.height, r.bottom);
    for (long long yy = y0; yy < y1; ++yy)
        for (long long xx = x0; xx < x1; ++xx) Apply(xx, yy, 1, mode);
    return Inside(r);
}

bool LabelCanvas::Place(const MonoImage& pic, long long x, long long y, int rotation, DrawMode mode) {
    bool inside = true;
    for (int j = 0; j < pic.height; ++j) {
        for (int i = 0; i < pic.width; ++i) {
            std::uint8_t b = pic.At(i, j);
            if (!b && mode != DrawMode::Overwrite) continue;
            long long dx, dy;
            switch (rotation) {
                case 90:
                    dx = x - j - 1;
                    dy = y + i;
                    break;
                case 180:
                    dx = x - i - 1;
                    dy = y - j - 1;
                    break;
                case 270:
                    dx = x + j;
                    dy = y - i - 1;
                    break;
                default:
                    dx = x + i;
                    dy = y + j;
                    break;
            }
            if (b && (dx < 0 || dy < 0 || dx >= FImage.width || dy >= FImage.height)) inside = false;
            Apply(dx, dy, b, mode);
        }
    }
    return inside;
}

MonoImage LabelCanvas::Oriented(bool turn180, bool mirror) const {
    if (!turn180 && !mirror) return FImage;
    MonoImage out(FImage.width, FImage.height);
    for (int y = 0; y < FImage.height; ++y) {
        for (int x = 0; x < FImage.width; ++x) {
            int sx = x, sy = y;
            if (turn180) {
                sx = FImage.width - 1 - sx;
                sy = FImage.height - 1 - sy;
            }
            if (mirror) sx = FImage.width - 1 - sx;
            out.At(x, y) = FImage.At(sx, sy);
        }
    }
    return out;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// libpng reports errors by longjmp; everything with a destructor lives in the caller.
bool WritePngRows(std::FILE* file, const std::vector<std::vector<png_byte>>& rows, int width, int dpi) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(rows.size()), 1,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    auto perMetre = static_cast<png_uint_32>(std::lround(dpi / 0.0254));
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    for (const auto& row : rows) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void WritePng(const MonoImage& image, const std::string& path, int dpi) {
    int width = std::max(1, image.width), height = std::max(1, image.height);
    std::vector<std::vector<png_byte>> rows(height, std::vector<png_byte>((width + 7) / 8, 0xff));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.At(x, y)) rows[y][x / 8] &= static_cast<png_byte>(~(0x80 >> (x % 8)));
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file || !WritePngRows(file.get(), rows, width, dpi) || std::fflush(file.get()) != 0)
        throw std::runtime_error("cannot write " + path);
}

MonoImage ReadPng(const std::string& path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) throw std::runtime_error("cannot read " + path);
    img.format = PNG_FORMAT_GRAY;
    std::vector<png_byte> buf(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) {
        png_image_free(&img);
        throw std::runtime_error("cannot decode " + path);
    }
    MonoImage out(static_cast<int>(img.width), static_cast<int>(img.height));
    for (std::size_t i = 0; i < out.dots.size(); ++i) out.dots[i] = buf[i] < 128 ? 1 : 0;
    return out;
}

}  // namespace quorvane
