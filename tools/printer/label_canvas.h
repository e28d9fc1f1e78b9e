#pragma once
// A label's dot matrix: one byte per dot, 1 = black (printed), 0 = white.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// A black/white picture drawn by a command before it is placed on the label.
struct MonoImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> dots;  // row-major, 1 = black

    MonoImage() = default;
    MonoImage(int w, int h) : width(w), height(h), dots(static_cast<std::size_t>(w) * h, 0) {}
    std::uint8_t& At(int x, int y) { return dots[static_cast<std::size_t>(y) * width + x]; }
    std::uint8_t At(int x, int y) const { return dots[static_cast<std::size_t>(y) * width + x]; }
};

enum class DrawMode { Overwrite, Or, Xor, Clear };

struct DotRect {
    long long left = 0, top = 0, right = 0, bottom = 0;  // right/bottom exclusive
};

class LabelCanvas {
public:
    static constexpr long long kMaxDots = 64ll << 20;

    LabelCanvas() = default;
    LabelCanvas(int width, int height);

    int Width() const { return FImage.width; }
    int Height() const { return FImage.height; }
    const MonoImage& Image() const { return FImage; }
    bool Black(int x, int y) const;

    void Clear();
    // Each returns false when ink fell outside the label (and was clipped); white dots of a
    // picture print nothing, so they never count.
    bool FillRect(long long x, long long y, long long w, long long h, DrawMode mode);
    // Rotation is clockwise around (x, y), the picture's top-left corner before rotating.
    // Overwrite copies white dots too; the other modes act on the picture's black dots.
    bool Place(const MonoImage& picture, long long x, long long y, int rotation, DrawMode mode);

    // DIRECTION 1 turns the printout by 180 degrees; mirror flips it left to right.
    MonoImage Oriented(bool turn180, bool mirror) const;

private:
    void Apply(long long x, long long y, std::uint8_t black, DrawMode mode);
    bool Inside(const DotRect& r) const;

    MonoImage FImage;
};

// Writes a 1-bit grey PNG (black dots on white); throws std::runtime_error on failure.
void WritePng(const MonoImage& image, const std::string& path, int dpi);
// Reads a PNG written by anything into black/white dots (grey < 128 is black); for tests.
MonoImage ReadPng(const std::string& path);

}  // namespace quorvane
