#pragma once

// Owners for the Pango, cairo and GLib objects of text drawing, for std::unique_ptr.

#include <pango/pangocairo.h>

#include <array>
#include <cstdint>

namespace quorvane {

struct GObjectUnref {
    void operator()(gpointer AObject) const { g_object_unref(AObject); }
};
struct GFree {
    void operator()(gchar* AText) const { g_free(AText); }
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
struct ScaledFontDestroy {
    void operator()(cairo_scaled_font_t* AFont) const { cairo_scaled_font_destroy(AFont); }
};
struct SurfaceDestroy {
    void operator()(cairo_surface_t* ASurface) const { cairo_surface_destroy(ASurface); }
};
struct CairoDestroy {
    void operator()(cairo_t* ACairo) const { cairo_destroy(ACairo); }
};

// Byte with its bits in reverse order: cairo's one-bit surfaces keep the first pixel in the low
// bit on little-endian machines, the raster in the high bit.
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
inline constexpr auto kBitReverse = MakeBitReverseTable();

}  // namespace quorvane
