#include "tools/printer/text_renderer.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace quorvane {

namespace {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct GObjectDeleter {
    void operator()(void* o) const { g_object_unref(o); }
};
struct FontDescDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
struct FontOptionsDeleter {
    void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};

// Cell sizes of the resident bitmap fonts at 203 dpi; other resolutions scale them.
struct ResidentFont {
    const char* name;
    int w;
    int h;
};
constexpr ResidentFont kFonts[] = {
    {"1", 8, 12},  {"2", 12, 20}, {"3", 16, 24}, {"4", 24, 32},
    {"5", 32, 48}, {"6", 14, 19}, {"7", 21, 27}, {"8", 14, 25},
    // Simplified and traditional Chinese and Korean, 24 x 24 dots.
    {"TSS24.BF2", 24, 24}, {"TST24.BF2", 24, 24}, {"K", 24, 24},
};

// One font map for the process, kept to the end: pango's default map is per thread, and
// fontconfig state of a finished server thread would otherwise be lost. Pango objects are not
// shared between threads, hence the lock.
PangoFontMap* SharedFontMap() {
    static PangoFontMap* map = pango_cairo_font_map_new();
    return map;
}

std::mutex& FontMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

bool TextRenderer::LookupFont(const std::string& name, int dpi, FontCell& cell) {
    for (const auto& f : kFonts) {
        if (name == f.name) {
            cell.width = std::max(1, static_cast<int>(std::lround(f.w * dpi / 203.0)));
            cell.height = std::max(1, static_cast<int>(std::lround(f.h * dpi / 203.0)));
            cell.scalable = false;
            return true;
        }
    }
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name == "0" || (upper.size() > 4 && upper.ends_with(".TTF"))) {
        cell = FontCell{0, 0, true};
        return true;
    }
    return false;
}

MonoImage TextRenderer::Render(const std::string& utf8, const FontCell& cell, int xMul, int yMul, int dpi) {
    if (utf8.empty()) return {};
    // Render once at a nominal size with greys, then box-filter onto the target cells: thin
    // strokes survive the reduction and the cell grid is exact whatever the aspect ratio.
    const double nominal = 64.0;
    std::lock_guard lock(FontMutex());
    std::unique_ptr<PangoContext, GObjectDeleter> context(pango_font_map_create_context(SharedFontMap()));
    std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> opts(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(opts.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(opts.get(), CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context.get(), opts.get());
    std::unique_ptr<PangoLayout, GObjectDeleter> layout(pango_layout_new(context.get()));
    std::unique_ptr<PangoFontDescription, FontDescDeleter> desc(
        pango_font_description_from_string(cell.scalable ? "Liberation Sans" : "Liberation Mono"));
    pango_font_description_set_absolute_size(desc.get(), nominal * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), desc.get());
    pango_layout_set_text(layout.get(), utf8.data(), static_cast<int>(utf8.size()));
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
    if (logical.width <= 0 || logical.height <= 0) return {};
    if (static_cast<long long>(logical.width) * logical.height > LabelCanvas::kMaxDots) return {};

    double targetW, targetH;
    if (cell.scalable) {
        targetH = std::max(1, yMul) * dpi / 72.0;
        targetW = logical.width * (targetH / logical.height) * std::max(1, xMul) / std::max(1, yMul);
    } else {
        long chars = g_utf8_strlen(utf8.data(), static_cast<gssize>(utf8.size()));
        targetW = static_cast<double>(chars) * cell.width * std::max(1, xMul);
        targetH = static_cast<double>(cell.height) * std::max(1, yMul);
    }
    int w = std::clamp(static_cast<int>(std::lround(targetW)), 1, 30000);
    int h = std::clamp(static_cast<int>(std::lround(targetH)), 1, 30000);
    if (static_cast<long long>(w) * h > LabelCanvas::kMaxDots) return {};

    int sw = logical.width, sh = logical.height;
    std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_A8, sw, sh));
    std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(surface.get()));
    cairo_translate(cr.get(), -logical.x, -logical.y);
    pango_cairo_show_layout(cr.get(), layout.get());
    cairo_surface_flush(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    int stride = cairo_image_surface_get_stride(surface.get());

    MonoImage out(w, h);
    for (int y = 0; y < h; ++y) {
        int y0 = static_cast<int>(static_cast<long long>(y) * sh / h);
        int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(y + 1) * sh / h));
        for (int x = 0; x < w; ++x) {
            int x0 = static_cast<int>(static_cast<long long>(x) * sw / w);
            int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long long>(x + 1) * sw / w));
            long sum = 0;
            for (int yy = y0; yy < y1; ++yy)
                for (int xx = x0; xx < x1; ++xx) sum += data[static_cast<std::size_t>(yy) * stride + xx];
            long area = static_cast<long>(y1 - y0) * (x1 - x0);
            out.At(x, y) = sum * 100 >= area * 255 * 35 ? 1 : 0;
        }
    }
    return out;
}

}  // namespace quorvane
