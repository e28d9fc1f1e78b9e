#pragma once

// Owners for the Pango, cairo and GLib objects of text drawing, for std::unique_ptr.

#include <pango/pangocairo.h>

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

}  // namespace quorvane
