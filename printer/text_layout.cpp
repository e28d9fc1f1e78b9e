#include "printer/text_layout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string>

namespace quorvane {

namespace {

struct GObjectUnref {
    void operator()(gpointer AObject) const { g_object_unref(AObject); }
};
struct FontDescriptionFree {
    void operator()(PangoFontDescription* ADescription) const { pango_font_description_free(ADescription); }
};
struct AttrListUnref {
    void operator()(PangoAttrList* AList) const { pango_attr_list_unref(AList); }
};
struct LayoutIterFree {
    void operator()(PangoLayoutIter* AIter) const { pango_layout_iter_free(AIter); }
};
struct SurfaceDestroy {
    void operator()(cairo_surface_t* ASurface) const { cairo_surface_destroy(ASurface); }
};
struct CairoDestroy {
    void operator()(cairo_t* ACairo) const { cairo_destroy(ACairo); }
};
struct GFree {
    void operator()(gchar* AText) const { g_free(AText); }
};

// Setting up fontconfig and a font map is costly; every thread keeps one of each for good.
class TPangoThreadState {
public:
    TPangoThreadState()
        : FFontMap(pango_cairo_font_map_new()),
          FContext(pango_font_map_create_context(FFontMap.get())) {
        // One-bit output: no smoothing, glyph outlines hinted for a monochrome target, and whole
        // dots for advances so that measuring and drawing agree.
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        pango_cairo_context_set_font_options(FContext.get(), options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(FContext.get(), 72.0);
    }
    PangoContext* Context() const { return FContext.get(); }

private:
    std::unique_ptr<PangoFontMap, GObjectUnref> FFontMap;
    std::unique_ptr<PangoContext, GObjectUnref> FContext;
};

PangoContext* ThreadContext() {
    thread_local TPangoThreadState state;
    return state.Context();
}

constexpr std::array<std::uint8_t, 256> MakeBitReverseTable() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (unsigned b = 0; b < 8; ++b)
            if (i & (1U << b)) r |= 0x80U >> b;
        table[i] = static_cast<std::uint8_t>(r);
    }
    return table;
}
constexpr auto kBitReverse = MakeBitReverseTable();

}  // namespace

struct TTextLayout::TImpl {
    std::unique_ptr<PangoLayout, GObjectUnref> Layout;
    // A single line that is never cut is laid out unbounded and aligned here instead.
    std::int32_t BoxWidth = -1;
    std::uint32_t Align = 0;
};

TTextLayout::TTextLayout(std::string_view AText, const TTextFont& AFont, std::int32_t AFontDPI,
                         std::uint32_t AFormat, std::int32_t AWidth)
    : FImpl(std::make_unique<TImpl>()) {
    FImpl->Layout.reset(pango_layout_new(ThreadContext()));
    PangoLayout* layout = FImpl->Layout.get();

    // Documents are untrusted: Pango wants valid UTF-8 and no NUL bytes.
    std::unique_ptr<gchar, GFree> valid(g_utf8_make_valid(AText.data(), static_cast<gssize>(AText.size())));
    std::string text(valid.get());
    if (AFormat & kTfSingleLine)
        for (char& c : text)
            if (c == '\r' || c == '\n') c = ' ';
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));

    std::unique_ptr<PangoFontDescription, FontDescriptionFree> description(pango_font_description_new());
    pango_font_description_set_family(description.get(), AFont.Name.c_str());
    // Points at the printer's resolution give the em height in dots.
    const double pixels = AFont.Size * AFontDPI / 72.0;
    pango_font_description_set_absolute_size(description.get(), std::max(1.0, pixels) * PANGO_SCALE);
    pango_font_description_set_weight(description.get(), AFont.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description.get(), AFont.Italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_layout_set_font_description(layout, description.get());

    if (AFont.Underline || AFont.StrikeOut) {
        std::unique_ptr<PangoAttrList, AttrListUnref> attributes(pango_attr_list_new());
        if (AFont.Underline) pango_attr_list_insert(attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (AFont.StrikeOut) pango_attr_list_insert(attributes.get(), pango_attr_strikethrough_new(TRUE));
        pango_layout_set_attributes(layout, attributes.get());
    }

    pango_layout_set_width(layout, std::max(AWidth, 0) * PANGO_SCALE);
    if (AFormat & kTfCenter)
        pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    else if (AFormat & kTfRight)
        pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
    else
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
    if (AFormat & kTfSingleLine) {
        pango_layout_set_single_paragraph_mode(layout, TRUE);
        pango_layout_set_ellipsize(layout, (AFormat & kTfEndEllipsis) ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
        if (!(AFormat & kTfEndEllipsis)) {
            pango_layout_set_width(layout, -1);
            FImpl->BoxWidth = std::max(AWidth, 0);
            FImpl->Align = AFormat & (kTfCenter | kTfRight);
        }
    } else {
        // A word longer than the line is broken between characters, as an edit control does.
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
}

TTextLayout::~TTextLayout() = default;

std::int32_t TTextLayout::Height() const {
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(FImpl->Layout.get(), nullptr, &logical);
    return logical.height;
}

void TTextLayout::Draw(TMonoBitmap& ATarget, std::int32_t AX, std::int32_t AY, const TDotRect& AClip,
                       bool ACompleteLinesOnly) const {
    TDotRect clip = AClip;
    clip.Left = std::max(clip.Left, 0);
    clip.Top = std::max(clip.Top, 0);
    clip.Right = std::min(clip.Right, ATarget.Width());
    clip.Bottom = std::min(clip.Bottom, ATarget.Height());
    if (clip.Empty()) return;

    // Draw into a one-bit surface of whole target rows from x = 0, so that the ink is copied
    // across byte by byte; the clip rectangle bounds the drawing.
    const std::int32_t width = clip.Right;
    std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_A1, width, clip.Height()));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) throw std::bad_alloc();
    {
        std::unique_ptr<cairo_t, CairoDestroy> cr(cairo_create(surface.get()));
        cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
        cairo_set_source_rgba(cr.get(), 0, 0, 0, 1);
        cairo_rectangle(cr.get(), clip.Left, 0, clip.Width(), clip.Height());
        cairo_clip(cr.get());
        PangoLayout* layout = FImpl->Layout.get();
        std::int32_t x = AX;
        if (FImpl->BoxWidth >= 0 && FImpl->Align != 0) {
            PangoRectangle logical{};
            pango_layout_get_pixel_extents(layout, nullptr, &logical);
            const std::int32_t free = FImpl->BoxWidth - logical.width;
            x += (FImpl->Align & kTfCenter) ? free / 2 : free;
        }
        cairo_translate(cr.get(), x, AY - clip.Top);

        std::unique_ptr<PangoLayoutIter, LayoutIterFree> iter(pango_layout_get_iter(layout));
        bool first = true;
        do {
            PangoRectangle logical{};
            pango_layout_iter_get_line_extents(iter.get(), nullptr, &logical);
            const int bottom = PANGO_PIXELS(logical.y + logical.height);
            if (!first && ACompleteLinesOnly && AY + bottom > AClip.Bottom) break;
            first = false;
            const int baseline = PANGO_PIXELS(pango_layout_iter_get_baseline(iter.get()));
            cairo_move_to(cr.get(), PANGO_PIXELS(logical.x), baseline);
            pango_cairo_show_layout_line(cr.get(), pango_layout_iter_get_line_readonly(iter.get()));
        } while (pango_layout_iter_next_line(iter.get()));
    }
    cairo_surface_flush(surface.get());

    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8;
    for (std::int32_t y = 0; y < clip.Height(); ++y) {
        const unsigned char* in = data + static_cast<std::ptrdiff_t>(y) * stride;
        std::uint8_t* out = ATarget.Row(clip.Top + y);
        for (std::size_t xb = 0; xb < bytes; ++xb) {
            if (in[xb] == 0) continue;
            // cairo keeps the first pixel in the low bit on little-endian machines.
            out[xb] |= std::endian::native == std::endian::little ? kBitReverse[in[xb]] : in[xb];
        }
    }
}

}  // namespace quorvane
