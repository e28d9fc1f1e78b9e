#include "printer/text_layout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "printer/raster_limits.h"
#include "printer/text_handles_posix.h"
#include "printer/text_layout_glyphs_posix.h"

// Resolved when the machine's Pango has it (1.44 and later), null otherwise.
#pragma weak pango_attr_insert_hyphens_new

namespace quorvane {

namespace {

// Setting up fontconfig and a font map is costly: one of each serves every thread in turn, under
// TextEngineLock, for the life of the process.
class TPangoState {
public:
    TPangoState()
        : FFontMap(pango_cairo_font_map_new()), FContext(pango_font_map_create_context(FFontMap.get())) {
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
    TPangoState(const TPangoState&) = delete;
    TPangoState& operator=(const TPangoState&) = delete;
    PangoContext* Context() const { return FContext.get(); }

private:
    std::unique_ptr<PangoFontMap, GObjectUnref> FFontMap;
    std::unique_ptr<PangoContext, GObjectUnref> FContext;
};

// Only under TextEngineLock. Never destroyed: threads may still draw while the process exits.
PangoContext* SharedContext() {
    static TPangoState* const state = new TPangoState;
    return state->Context();
}

}  // namespace

struct TTextLayout::TImpl {
    // One drawn line: the layout window it belongs to and where it sits in the whole text.
    struct TLine {
        PangoLayout* Window = nullptr;
        PangoLayoutLine* Line = nullptr;
        PangoRectangle Logical{};  // Pango units, y from the top of the whole text
        int Baseline = 0;          // Pango units, from the top of the whole text
        std::size_t End = 0;       // byte offset in Text after the line's characters
    };

    TImpl() = default;
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;
    ~TImpl() {
        const std::lock_guard lock(TextEngineLock());
        Windows.clear();
    }

    std::string Text;
    std::unique_ptr<PangoFontDescription, FontDescriptionFree> Font;
    bool Underline = false;
    bool StrikeOut = false;
    std::int32_t Width = 0;
    std::uint32_t Format = 0;
    PangoAlignment Alignment = PANGO_ALIGN_LEFT;

    std::vector<std::unique_ptr<PangoLayout, GObjectUnref>> Windows;
    std::vector<TLine> Lines;
    int TextHeight = 0;  // Pango units, all lines laid out
    mutable std::size_t LaidOutBytes = 0;
    // A single line that is never cut is laid out unbounded and aligned here instead.
    std::int32_t BoxWidth = -1;
    std::uint32_t Align = 0;

    PangoLayout* NewLayout(std::string_view AText) const {
        LaidOutBytes += AText.size();
        PangoLayout* layout = pango_layout_new(SharedContext());
        pango_layout_set_text(layout, AText.data(), static_cast<int>(AText.size()));
        pango_layout_set_font_description(layout, Font.get());
        std::unique_ptr<PangoAttrList, AttrListUnref> attributes(pango_attr_list_new());
        if (Underline)
            pango_attr_list_insert(attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (StrikeOut) pango_attr_list_insert(attributes.get(), pango_attr_strikethrough_new(TRUE));
        // A word broken between characters gets no hyphen, as in an edit control. Pango before
        // 1.44 (RHEL 8, Astra Linux 1.7) inserts none and lacks the attribute: a weak reference.
        if (pango_attr_insert_hyphens_new != nullptr)
            pango_attr_list_insert(attributes.get(), pango_attr_insert_hyphens_new(FALSE));
        pango_layout_set_attributes(layout, attributes.get());
        pango_layout_set_width(layout, Width * PANGO_SCALE);
        pango_layout_set_alignment(layout, Alignment);
        return layout;
    }

    // Keeps the window's first ACount lines, placed below the lines already kept.
    void KeepLines(PangoLayout* AWindow, std::size_t AStart, int ACount) {
        const int base = TextHeight;
        std::unique_ptr<PangoLayoutIter, LayoutIterFree> iter(pango_layout_get_iter(AWindow));
        int index = 0;
        do {
            if (index >= ACount) break;
            PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter.get());
            TLine kept;
            kept.Window = AWindow;
            kept.Line = line;
            pango_layout_iter_get_line_extents(iter.get(), nullptr, &kept.Logical);
            kept.Baseline = pango_layout_iter_get_baseline(iter.get()) + base;
            kept.Logical.y += base;
            kept.End = AStart + static_cast<std::size_t>(line->start_index + line->length);
            Lines.push_back(kept);
            TextHeight = kept.Logical.y + kept.Logical.height;
            ++index;
        } while (pango_layout_iter_next_line(iter.get()));
    }

    void LayOutSingleLine() {
        // A cut line shows no more than its width allows: far longer text is cut before it is
        // laid out, still ending in an ellipsis.
        std::size_t cut = 16 * static_cast<std::size_t>(Width) + 1024;
        if ((Format & kTfEndEllipsis) && Text.size() > cut) {
            while (cut > 0 && (static_cast<unsigned char>(Text[cut]) & 0xC0) == 0x80) --cut;
            Text.resize(cut);
            Text += "\u2026";
        }
        PangoLayout* layout = NewLayout(Text);
        Windows.emplace_back(layout);
        pango_layout_set_single_paragraph_mode(layout, TRUE);
        pango_layout_set_ellipsize(layout,
                                   (Format & kTfEndEllipsis) ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
        if (!(Format & kTfEndEllipsis)) {
            pango_layout_set_width(layout, -1);
            BoxWidth = Width;
            Align = Format & (kTfCenter | kTfRight);
        }
        KeepLines(layout, 0, 1);
    }

    // Pango breaks a paragraph's lines first-fit, but re-measures the rest of a paragraph for
    // every line: one long word costs the square of its length. So the text is handed over in
    // windows a few lines long; every line of a window but its last is final (the last may be
    // cut short by the window's end and is laid out again with the next one). Lines stop once
    // they are taller than AMaxHeight, so the work is bounded by the box, not the text.
    void LayOutLines(std::int32_t AMaxHeight) {
        const int maxHeight = AMaxHeight < 0 ? -1 : AMaxHeight * PANGO_SCALE;
        std::size_t start = 0;
        std::size_t window = kFirstWindow;
        do {
            std::size_t end = std::min(Text.size(), start + window);
            while (end < Text.size() && end > start && (static_cast<unsigned char>(Text[end]) & 0xC0) == 0x80)
                --end;
            // A CR LF pair is one paragraph break.
            if (end < Text.size() && end > start && Text[end - 1] == '\r' && Text[end] == '\n') ++end;
            const bool last = end == Text.size();
            PangoLayout* layout = NewLayout(std::string_view(Text).substr(start, end - start));
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
            const int count = pango_layout_get_line_count(layout);
            if (last || count > 1) {
                Windows.emplace_back(layout);
                const std::size_t before = Lines.size();
                KeepLines(layout, start, last ? count : count - 1);
                if (last) break;
                std::size_t longest = 0;
                std::size_t lineStart = start;
                for (std::size_t i = before; i < Lines.size(); ++i) {
                    longest = std::max(longest, Lines[i].End - lineStart);
                    lineStart = Lines[i].End;
                }
                // The next window starts where the window's last line started.
                const PangoLayoutLine* open = pango_layout_get_line_readonly(layout, count - 1);
                start += static_cast<std::size_t>(open->start_index);
                window = std::max(kFirstWindow, 3 * longest);
            } else {
                g_object_unref(layout);
                window *= 2;  // the window did not reach the end of its first line
            }
        } while (maxHeight < 0 || TextHeight <= maxHeight);
    }

    static constexpr std::size_t kFirstWindow = 256;
};

TTextLayout::TTextLayout(std::string_view AText, const TTextFont& AFont, std::int32_t AFontDPI,
                         std::uint32_t AFormat, std::int32_t AWidth, std::int32_t AMaxHeight)
    : FImpl(std::make_unique<TImpl>()) {
    const std::lock_guard lock(TextEngineLock());
    TImpl& impl = *FImpl;
    // Documents are untrusted: Pango wants valid UTF-8 and no NUL bytes.
    std::unique_ptr<gchar, GFree> valid(g_utf8_make_valid(AText.data(), static_cast<gssize>(AText.size())));
    impl.Text = valid.get();
    if (AFormat & kTfSingleLine)
        for (char& c : impl.Text)
            if (c == '\r' || c == '\n') c = ' ';

    impl.Font.reset(pango_font_description_new());
    pango_font_description_set_family(impl.Font.get(), AFont.Name.c_str());
    // Points at the printer's resolution give the em height in dots; no glyph is drawn larger
    // than the largest raster (beyond that cairo's scaled fonts overflow).
    const double pixels = std::clamp(AFont.Size * AFontDPI / 72.0, 1.0, static_cast<double>(kMaxRasterSide));
    pango_font_description_set_absolute_size(impl.Font.get(), pixels * PANGO_SCALE);
    pango_font_description_set_weight(impl.Font.get(), AFont.Bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(impl.Font.get(), AFont.Italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    impl.Underline = AFont.Underline;
    impl.StrikeOut = AFont.StrikeOut;
    impl.Width = std::max(AWidth, 0);
    impl.Format = AFormat;
    if (AFormat & kTfCenter)
        impl.Alignment = PANGO_ALIGN_CENTER;
    else if (AFormat & kTfRight)
        impl.Alignment = PANGO_ALIGN_RIGHT;

    if (AFormat & kTfSingleLine)
        impl.LayOutSingleLine();
    else
        impl.LayOutLines(AMaxHeight);
}

TTextLayout::~TTextLayout() = default;

std::int32_t TTextLayout::Height() const { return PANGO_PIXELS_CEIL(FImpl->TextHeight); }

std::size_t TTextLayout::LaidOutBytes() const { return FImpl->LaidOutBytes; }

bool TTextLayout::TextAfter(std::size_t AEnd) const {
    const std::string& text = FImpl->Text;
    for (std::size_t i = AEnd; i < text.size(); ++i)
        if (!g_ascii_isspace(text[i])) return true;
    return false;
}

void TTextLayout::Draw(TMonoBitmap& ATarget, std::int32_t AX, std::int32_t AY, const TDotRect& AClip,
                       bool ACompleteLinesOnly, bool AReference) const {
    const std::lock_guard lock(TextEngineLock());
    const TDotRect clip = AClip.Within(ATarget.Width(), ATarget.Height());
    if (clip.Empty()) return;
    const TImpl& impl = *FImpl;

    // Lines drawn: the first always; with ACompleteLinesOnly none that crosses the clip's bottom.
    std::size_t drawn = 0;
    while (drawn < impl.Lines.size()) {
        const PangoRectangle& logical = impl.Lines[drawn].Logical;
        if (drawn > 0 && ACompleteLinesOnly && AY + PANGO_PIXELS(logical.y + logical.height) > AClip.Bottom)
            break;
        ++drawn;
    }
    // Wrapped text that goes on below the last line drawn ends that line in an ellipsis.
    std::unique_ptr<PangoLayout, GObjectUnref> ellipsized;
    if (ACompleteLinesOnly && (impl.Format & kTfEndEllipsis) && !(impl.Format & kTfSingleLine) && drawn > 0 &&
        TextAfter(impl.Lines[drawn - 1].End)) {
        const TImpl::TLine& line = impl.Lines[drawn - 1];
        const std::size_t start = line.End - static_cast<std::size_t>(line.Line->length);
        std::string text = impl.Text.substr(start, line.End - start);
        while (!text.empty() && g_ascii_isspace(text.back())) text.pop_back();
        text += "\u2026";
        ellipsized.reset(impl.NewLayout(text));
        pango_layout_set_single_paragraph_mode(ellipsized.get(), TRUE);
        pango_layout_set_ellipsize(ellipsized.get(), PANGO_ELLIPSIZE_END);
    }

    std::int32_t x = AX;
    if (impl.BoxWidth >= 0 && impl.Align != 0 && !impl.Lines.empty()) {
        const std::int32_t free = impl.BoxWidth - PANGO_PIXELS_CEIL(impl.Lines.front().Logical.width);
        x += (impl.Align & kTfCenter) ? free / 2 : free;
    }
    std::vector<TShownLine> shown(drawn);
    for (std::size_t i = 0; i < drawn; ++i) {
        const TImpl::TLine& line = impl.Lines[i];
        int left = line.Logical.x;
        shown[i].Line = line.Line;
        if (ellipsized && i + 1 == drawn) {
            shown[i].Line = pango_layout_get_line_readonly(ellipsized.get(), 0);
            std::unique_ptr<PangoLayoutIter, LayoutIterFree> iter(pango_layout_get_iter(ellipsized.get()));
            PangoRectangle logical{};
            pango_layout_iter_get_line_extents(iter.get(), nullptr, &logical);
            left = logical.x;
        }
        shown[i].Left = PANGO_PIXELS(left);
        shown[i].Baseline = PANGO_PIXELS(line.Baseline);
    }
    if (!AReference && DrawLineGlyphs(shown, x, AY, ATarget, clip)) return;

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
        cairo_translate(cr.get(), x, AY - clip.Top);
        for (const TShownLine& line : shown) {
            cairo_move_to(cr.get(), line.Left, line.Baseline);
            pango_cairo_show_layout_line(cr.get(), line.Line);
        }
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
