#include "printer/text_layout_glyphs_posix.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "printer/text_handles_posix.h"

namespace quorvane {

namespace {

// Fonts above this size in dots are left to cairo: their glyphs would crowd out the cache, and
// cairo fills the largest ones as paths, which depends on more than the rounded position.
constexpr double kMaxCachedFontDots = 512;
// Glyph images kept; beyond it the cache starts again empty.
constexpr std::size_t kGlyphCacheBytes = std::size_t{4} << 20;

// The ink of one glyph as cairo draws it at a whole-dot position: rows packed most significant
// bit first, placed at (Left, Top) from that position.
struct TGlyphImage {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::size_t Stride = 0;
    std::vector<std::uint8_t> Bits;
};

// cairo rounds a device position half up.
std::int32_t RoundPosition(double AValue) { return static_cast<std::int32_t>(std::floor(AValue + 0.5)); }

// A glyph drawn alone by cairo, with the scaled font and drawing state the layout's own
// drawing would use. Empty when the glyph leaves no ink; nullopt when it does not fit a
// reasonable scratch surface.
std::optional<TGlyphImage> RasteriseGlyph(cairo_scaled_font_t* AFont, unsigned long AGlyph) {
    cairo_glyph_t glyph{AGlyph, 0, 0};
    cairo_text_extents_t extents{};
    cairo_scaled_font_glyph_extents(AFont, &glyph, 1, &extents);
    if (cairo_scaled_font_status(AFont) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    // The extents are those of the outline; the hinted bitmap may reach a little beyond, so the
    // scratch surface gets a margin, and a glyph that touches the margin's edge is drawn again
    // on a larger one.
    for (double margin = 4 + extents.height / 8; margin <= 4 * kMaxCachedFontDots; margin *= 4) {
        const double left = std::floor(extents.x_bearing - margin);
        const double top = std::floor(extents.y_bearing - margin);
        const double width = std::ceil(extents.width + 2 * margin) + 1;
        const double height = std::ceil(extents.height + 2 * margin) + 1;
        if (!(width < 8 * kMaxCachedFontDots && height < 8 * kMaxCachedFontDots)) return std::nullopt;
        const int w = static_cast<int>(width);
        const int h = static_cast<int>(height);
        const std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(
            cairo_image_surface_create(CAIRO_FORMAT_A1, w, h));
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw std::bad_alloc();
        {
            const std::unique_ptr<cairo_t, CairoDestroy> cr(cairo_create(surface.get()));
            cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
            cairo_set_source_rgba(cr.get(), 0, 0, 0, 1);
            cairo_set_scaled_font(cr.get(), AFont);
            glyph.x = -left;
            glyph.y = -top;
            cairo_show_glyphs(cr.get(), &glyph, 1);
            if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
        }
        cairo_surface_flush(surface.get());
        const unsigned char* data = cairo_image_surface_get_data(surface.get());
        const int stride = cairo_image_surface_get_stride(surface.get());
        // cairo keeps the first pixel in the low bit on little-endian machines.
        const auto ink = [&](int AX, int AY) {
            const unsigned char byte = data[static_cast<std::ptrdiff_t>(AY) * stride + AX / 8];
            const int bit = std::endian::native == std::endian::little ? AX % 8 : 7 - AX % 8;
            return ((byte >> bit) & 1U) != 0;
        };
        int x0 = w, y0 = h, x1 = -1, y1 = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (ink(x, y)) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                    y0 = std::min(y0, y);
                    y1 = std::max(y1, y);
                }
        TGlyphImage image;
        if (x1 < 0) return image;
        if (x0 == 0 || y0 == 0 || x1 == w - 1 || y1 == h - 1) continue;
        image.Left = x0 + static_cast<std::int32_t>(left);
        image.Top = y0 + static_cast<std::int32_t>(top);
        image.Width = x1 - x0 + 1;
        image.Height = y1 - y0 + 1;
        image.Stride = (static_cast<std::size_t>(image.Width) + 7) / 8;
        image.Bits.assign(image.Stride * static_cast<std::size_t>(image.Height), 0);
        for (int y = 0; y < image.Height; ++y)
            for (int x = 0; x < image.Width; ++x)
                if (ink(x0 + x, y0 + y))
                    image
                        .Bits[static_cast<std::size_t>(y) * image.Stride + static_cast<std::size_t>(x / 8)] |=
                        static_cast<std::uint8_t>(0x80U >> (x % 8));
        return image;
    }
    return std::nullopt;
}

// Glyph images, keyed by scaled font and glyph. The cache holds a reference to
// every font it keys by, so a font's address cannot come back as another font.
class TGlyphCache {
public:
    // nullptr when the glyph cannot be kept; images stay put until Trim.
    const TGlyphImage* Find(cairo_scaled_font_t* AFont, unsigned long AGlyph) {
        const TKey key{AFont, AGlyph};
        if (const auto found = FImages.find(key); found != FImages.end())
            return found->second ? &*found->second : nullptr;
        if (FFonts.emplace(AFont, nullptr).second) FFonts[AFont].reset(cairo_scaled_font_reference(AFont));
        std::optional<TGlyphImage> image = RasteriseGlyph(AFont, AGlyph);
        if (image) FBytes += image->Bits.size() + sizeof(TGlyphImage);
        const auto added = FImages.emplace(key, std::move(image)).first;
        return added->second ? &*added->second : nullptr;
    }

    // Called between drawings only, as it invalidates every image handed out.
    void Trim() {
        if (FBytes <= kGlyphCacheBytes) return;
        FImages.clear();
        FFonts.clear();
        FBytes = 0;
    }

private:
    struct TKey {
        cairo_scaled_font_t* Font;
        unsigned long Glyph;
        bool operator==(const TKey&) const = default;
    };
    struct TKeyHash {
        std::size_t operator()(const TKey& AKey) const {
            return std::hash<const void*>()(AKey.Font) ^ (AKey.Glyph * 0x9E3779B97F4A7C15ULL);
        }
    };

    std::unordered_map<TKey, std::optional<TGlyphImage>, TKeyHash> FImages;
    std::unordered_map<cairo_scaled_font_t*, std::unique_ptr<cairo_scaled_font_t, ScaledFontDestroy>> FFonts;
    std::size_t FBytes = 0;
};

struct TPlacedGlyph {
    const TGlyphImage* Image;
    std::int32_t X;  // device position the glyph was drawn at
    std::int32_t Y;
};

// What a line's drawing hands the collector: where its glyphs go, and whether it met
// anything but plain glyphs.
struct TCollection {
    TGlyphCache* Cache = nullptr;
    std::vector<TPlacedGlyph>* Glyphs = nullptr;
    double XOffset = 0;  // the current point, in user space
    double YOffset = 0;
    double TX = 0;  // user to device translation
    double TY = 0;
    bool Refused = false;
};

// A Pango renderer that draws nothing: Pango's own line drawing (runs, offsets, attributes)
// calls it for every glyph string and decoration, and it records where cairo would put each
// glyph. The positions follow pango-cairo's renderer: the current point plus the string's
// position plus each glyph's, converted to device space by the translation, then rounded.
struct TGlyphCollector {
    PangoRenderer Parent;
    TCollection* Collection;
};
struct TGlyphCollectorClass {
    PangoRendererClass Parent;
};

TCollection& CollectionOf(PangoRenderer* ARenderer) {
    return *reinterpret_cast<TGlyphCollector*>(ARenderer)->Collection;
}

void CollectGlyphs(PangoRenderer* ARenderer, PangoFont* AFont, PangoGlyphString* AGlyphs, int AX, int AY) {
    TCollection& collection = CollectionOf(ARenderer);
    if (collection.Refused) return;
    // Every font of a cairo font map is a cairo font; the call checks it. Fonts are shared
    // with Pango's own threads, so this code reads nothing of them itself.
    cairo_scaled_font_t* font = pango_cairo_font_get_scaled_font(reinterpret_cast<PangoCairoFont*>(AFont));
    if (!font || cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) {
        collection.Refused = true;
        return;
    }
    const double baseX = collection.XOffset + static_cast<double>(AX) / PANGO_SCALE;
    const double baseY = collection.YOffset + static_cast<double>(AY) / PANGO_SCALE;
    int position = 0;
    for (int i = 0; i < AGlyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& info = AGlyphs->glyphs[i];
        if (info.glyph != PANGO_GLYPH_EMPTY) {
            if (info.glyph & PANGO_GLYPH_UNKNOWN_FLAG) {
                collection.Refused = true;
                return;
            }
            const double cx = baseX + static_cast<double>(position + info.geometry.x_offset) / PANGO_SCALE;
            const double cy = info.geometry.y_offset == 0
                                  ? baseY
                                  : baseY + static_cast<double>(info.geometry.y_offset) / PANGO_SCALE;
            const TGlyphImage* image = collection.Cache->Find(font, info.glyph);
            if (!image) {
                collection.Refused = true;
                return;
            }
            if (image->Width > 0)
                collection.Glyphs->push_back(
                    {image, RoundPosition(cx + collection.TX), RoundPosition(cy + collection.TY)});
        }
        position += info.geometry.width;
    }
}

void RefuseRectangle(PangoRenderer* ARenderer, PangoRenderPart, int, int, int, int) {
    CollectionOf(ARenderer).Refused = true;
}
void RefuseUnderline(PangoRenderer* ARenderer, int, int, int, int) { CollectionOf(ARenderer).Refused = true; }
void RefuseTrapezoid(PangoRenderer* ARenderer, PangoRenderPart, double, double, double, double, double,
                     double) {
    CollectionOf(ARenderer).Refused = true;
}
void RefuseShape(PangoRenderer* ARenderer, PangoAttrShape*, int, int) {
    CollectionOf(ARenderer).Refused = true;
}
void RefuseGlyph(PangoRenderer* ARenderer, PangoFont*, PangoGlyph, double, double) {
    CollectionOf(ARenderer).Refused = true;
}

void InitCollectorClass(gpointer AClass, gpointer) {
    auto* renderer = static_cast<PangoRendererClass*>(AClass);
    renderer->draw_glyphs = CollectGlyphs;
    renderer->draw_rectangle = RefuseRectangle;
    renderer->draw_error_underline = RefuseUnderline;
    renderer->draw_shape = RefuseShape;
    renderer->draw_trapezoid = RefuseTrapezoid;
    renderer->draw_glyph = RefuseGlyph;
}

GType CollectorType() {
    // Named after this copy of the code: a process may hold the drawing code twice (a host
    // and the component it loads), and a type name can be registered once only.
    static const GType type = [] {
        static const char marker = 0;
        char name[64];
        std::snprintf(name, sizeof name, "QuorvaneGlyphCollector%p", static_cast<const void*>(&marker));
        return g_type_register_static_simple(PANGO_TYPE_RENDERER, g_intern_string(name),
                                             sizeof(TGlyphCollectorClass), InitCollectorClass,
                                             sizeof(TGlyphCollector), nullptr, GTypeFlags(0));
    }();
    return type;
}

// The glyph images and the collector, shared by every thread under TextEngineLock.
struct TGlyphState {
    TGlyphState() {
        Collection.Cache = &Cache;
        Collection.Glyphs = &Glyphs;
        reinterpret_cast<TGlyphCollector*>(Collector.get())->Collection = &Collection;
    }
    TGlyphState(const TGlyphState&) = delete;
    TGlyphState& operator=(const TGlyphState&) = delete;

    TGlyphCache Cache;
    std::vector<TPlacedGlyph> Glyphs;
    TCollection Collection;
    std::unique_ptr<PangoRenderer, GObjectUnref> Collector{
        static_cast<PangoRenderer*>(g_object_new(CollectorType(), nullptr))};
};

// Never destroyed, like the font map whose fonts it keeps.
TGlyphState& SharedGlyphs() {
    static TGlyphState* const state = new TGlyphState;
    return *state;
}

// ORs the image into the target, dot by dot where it crosses the clip.
void Blit(const TGlyphImage& AImage, std::int32_t AX, std::int32_t AY, TMonoBitmap& ATarget,
          const TDotRect& AClip) {
    const std::int32_t top = std::max(AY, AClip.Top);
    const std::int32_t bottom = std::min(AY + AImage.Height, AClip.Bottom);
    if (top >= bottom || AX >= AClip.Right || AX + AImage.Width <= AClip.Left) return;
    if (AX >= AClip.Left && AX + AImage.Width <= AClip.Right) {
        // Whole rows: each source byte lands on two target bytes. Bits past the image's width
        // are clear, so nothing spills beyond AX + Width, which the clip keeps in the row.
        const unsigned shift = static_cast<unsigned>(AX) & 7U;
        const std::size_t first = static_cast<std::size_t>(AX) >> 3;
        const std::size_t rowBytes = ATarget.Stride();
        for (std::int32_t y = top; y < bottom; ++y) {
            const std::uint8_t* in = AImage.Bits.data() + static_cast<std::size_t>(y - AY) * AImage.Stride;
            std::uint8_t* out = ATarget.Row(y) + first;
            for (std::size_t k = 0; k < AImage.Stride; ++k) {
                const std::uint8_t b = in[k];
                if (b == 0) continue;
                out[k] |= static_cast<std::uint8_t>(b >> shift);
                if (shift != 0 && first + k + 1 < rowBytes)
                    out[k + 1] |= static_cast<std::uint8_t>(b << (8U - shift));
            }
        }
        return;
    }
    const std::int32_t left = std::max(AX, AClip.Left);
    const std::int32_t right = std::min(AX + AImage.Width, AClip.Right);
    for (std::int32_t y = top; y < bottom; ++y) {
        const std::uint8_t* in = AImage.Bits.data() + static_cast<std::size_t>(y - AY) * AImage.Stride;
        for (std::int32_t x = left; x < right; ++x) {
            const std::int32_t sx = x - AX;
            if ((in[sx >> 3] >> (7 - (sx & 7))) & 1U) ATarget.SetPixel(x, y, true);
        }
    }
}

}  // namespace

std::mutex& TextEngineLock() {
    // Never destroyed: threads may still draw while the process exits.
    static std::mutex* const lock = new std::mutex;
    return *lock;
}

bool DrawLineGlyphs(std::span<const TShownLine> ALines, std::int32_t AX, std::int32_t AY,
                    TMonoBitmap& ATarget, const TDotRect& AClip) {
    TGlyphState& state = SharedGlyphs();
    for (const TShownLine& shown : ALines) {
        // Every font of a line shares the size of the layout's description.
        const PangoFontDescription* description = pango_layout_get_font_description(shown.Line->layout);
        if (!description || static_cast<double>(pango_font_description_get_size(description)) / PANGO_SCALE >
                                kMaxCachedFontDots)
            return false;
    }
    state.Cache.Trim();
    state.Glyphs.clear();
    TCollection& collection = state.Collection;
    collection.Refused = false;
    // cairo draws into a surface of the clip's rows: its origin is the clip's top.
    collection.TX = AX;
    collection.TY = AY - AClip.Top;
    for (const TShownLine& shown : ALines) {
        collection.XOffset = shown.Left;
        collection.YOffset = shown.Baseline;
        pango_renderer_draw_layout_line(state.Collector.get(), shown.Line, 0, 0);
        if (collection.Refused) return false;
    }
    for (const TPlacedGlyph& glyph : state.Glyphs)
        Blit(*glyph.Image, glyph.X + glyph.Image->Left, glyph.Y + glyph.Image->Top + AClip.Top, ATarget,
             AClip);
    return true;
}

}  // namespace quorvane
