#include "printer/text_layout.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "printer/raster_limits.h"
#include "text/windows_text.h"

namespace quorvane {

namespace {

struct DCDelete {
    void operator()(HDC ADC) const { ::DeleteDC(ADC); }
};
struct GdiObjectDelete {
    void operator()(HGDIOBJ AObject) const { ::DeleteObject(AObject); }
};
using TDCOwner = std::unique_ptr<std::remove_pointer_t<HDC>, DCDelete>;
using TFontOwner = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDelete>;
using TBitmapOwner = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDelete>;

// An object selected into a DC for the owner's life; the object it replaced comes back after.
class TSelection {
public:
    TSelection(HDC ADC, HGDIOBJ AObject) : FDC(ADC), FOld(::SelectObject(ADC, AObject)) {
        if (FOld == nullptr || FOld == HGDI_ERROR) throw std::bad_alloc();
    }
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;
    ~TSelection() { ::SelectObject(FDC, FOld); }

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// The DC's drawing state (clip, colours, alignment) as it was, restored at the end of a drawing.
class TSavedState {
public:
    explicit TSavedState(HDC ADC) : FDC(ADC), FSaved(::SaveDC(ADC)) {
        if (FSaved == 0) throw std::bad_alloc();
    }
    TSavedState(const TSavedState&) = delete;
    TSavedState& operator=(const TSavedState&) = delete;
    ~TSavedState() { ::RestoreDC(FDC, FSaved); }

private:
    HDC FDC;
    int FSaved;
};

// Where a line may break: after a run of blanks (tabs are blanks by then).
bool IsBreakBlank(wchar_t AChar) { return AChar == L' '; }

// Spaces and control characters, as the trimming of values counts them.
bool IsControlOrSpace(wchar_t AChar) { return AChar <= L' '; }

constexpr wchar_t kEllipsis = L'\u2026';

// Where a character the field's face lacks is taken from, first come first served: faces of
// Windows that carry Cyrillic and the rouble sign, then DejaVu Sans where it is installed. GDI
// itself draws a missing character as the face's box, where the Linux build takes it from
// another face.
constexpr const wchar_t* kFallbackFaces[] = {L"Segoe UI", L"Arial", L"Microsoft Sans Serif", L"Tahoma",
                                             L"DejaVu Sans"};
constexpr int kOwnFace = -1;

}  // namespace

struct TTextLayout::TImpl {
    // One laid-out line: units [Start, End) of Text are drawn, Next starts the following line.
    struct TLine {
        std::size_t Start = 0;
        std::size_t End = 0;
        std::size_t Next = 0;
    };

    // Units [Start, End) of a text drawn with one face: the field's own or a fallback.
    struct TRun {
        std::size_t Start = 0;
        std::size_t End = 0;
        int Face = kOwnFace;
    };

    TImpl(TDCOwner ADC, TFontOwner AFont, const LOGFONTW& ALogFont)
        : DC(std::move(ADC)), Font(std::move(AFont)), Selected(DC.get(), Font.get()), LogFont(ALogFont) {}
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;

    // Declared in the order they are made: the font leaves the DC before either is deleted.
    TDCOwner DC;
    TFontOwner Font;
    TSelection Selected;
    LOGFONTW LogFont;
    // The fallback faces' fonts, made when first needed, and the face found for each character.
    mutable std::vector<TFontOwner> Fallbacks;
    mutable std::unordered_map<wchar_t, int> FaceOfCharacter;

    std::wstring Text;
    std::int32_t Width = 0;
    std::uint32_t Format = 0;
    std::int32_t LineHeight = 0;
    std::int32_t Ascent = 0;
    std::vector<TLine> Lines;
    mutable std::size_t LaidOutBytes = 0;

    HFONT FontOf(int AFace) const {
        if (AFace == kOwnFace) return Font.get();
        if (Fallbacks.empty()) Fallbacks.resize(std::size(kFallbackFaces));
        TFontOwner& font = Fallbacks[static_cast<std::size_t>(AFace)];
        if (!font) {
            LOGFONTW fallback = LogFont;
            std::fill(std::begin(fallback.lfFaceName), std::end(fallback.lfFaceName), L'\0');
            std::wcsncpy(fallback.lfFaceName, kFallbackFaces[AFace], LF_FACESIZE - 1);
            font.reset(::CreateFontIndirectW(&fallback));
            if (!font) throw std::bad_alloc();
        }
        return font.get();
    }

    // The first fallback face that has AChar; the field's own face (and its box) when none has.
    int FallbackFace(wchar_t AChar) const {
        const auto known = FaceOfCharacter.find(AChar);
        if (known != FaceOfCharacter.end()) return known->second;
        int found = kOwnFace;
        for (int face = 0; face < static_cast<int>(std::size(kFallbackFaces)) && found == kOwnFace; ++face) {
            const TSelection selected(DC.get(), FontOf(face));
            WORD glyph = 0xFFFF;
            if (::GetGlyphIndicesW(DC.get(), &AChar, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == 1 && glyph != 0xFFFF)
                found = face;
        }
        FaceOfCharacter.emplace(AChar, found);
        return found;
    }

    // AText cut into runs of one face each: one run of the field's face when it has every glyph.
    // Surrogate pairs stay with the field's face (GDI looks glyphs up one unit at a time).
    std::vector<TRun> Runs(std::wstring_view AText) const {
        std::vector<TRun> runs;
        if (AText.empty()) return runs;
        std::vector<WORD> glyphs(AText.size());
        if (::GetGlyphIndicesW(DC.get(), AText.data(), static_cast<int>(AText.size()), glyphs.data(),
                               GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
            std::fill(glyphs.begin(), glyphs.end(), WORD{0});
        for (std::size_t i = 0; i < AText.size(); ++i) {
            const int face = glyphs[i] == 0xFFFF && !IS_HIGH_SURROGATE(AText[i]) && !IS_LOW_SURROGATE(AText[i]) ? FallbackFace(AText[i]) : kOwnFace;
            if (runs.empty() || runs.back().Face != face)
                runs.push_back({i, i + 1, face});
            else
                runs.back().End = i + 1;
        }
        return runs;
    }

    static bool OwnFaceOnly(const std::vector<TRun>& ARuns) {
        return ARuns.size() == 1 && ARuns.front().Face == kOwnFace;
    }

    // The right edge of every unit of AText, run by run; and the width of a run.
    std::int32_t RunExtent(std::wstring_view AText, const TRun& ARun, INT* AEdges) const {
        const TSelection selected(DC.get(), FontOf(ARun.Face));
        SIZE size{};
        ::GetTextExtentExPointW(DC.get(), AText.data() + ARun.Start, static_cast<int>(ARun.End - ARun.Start), 0,
                                nullptr, AEdges, &size);
        return size.cx;
    }
    std::vector<INT> Edges(std::wstring_view AText, const std::vector<TRun>& ARuns) const {
        std::vector<INT> edges(AText.size());
        std::int32_t x = 0;
        for (const TRun& run : ARuns) {
            const std::int32_t width = RunExtent(AText, run, edges.data() + run.Start);
            for (std::size_t i = run.Start; i < run.End; ++i) edges[i] += x;
            x += width;
        }
        return edges;
    }

    std::int32_t Extent(std::wstring_view AText) const {
        if (AText.empty()) return 0;
        const std::vector<TRun> runs = Runs(AText);
        if (!OwnFaceOnly(runs)) return Edges(AText, runs).back();
        SIZE size{};
        ::GetTextExtentPoint32W(DC.get(), AText.data(), static_cast<int>(AText.size()), &size);
        return size.cx;
    }

    // How many units at the start of AText fit into AWidth dots.
    std::size_t FitCount(std::wstring_view AText, std::int32_t AWidth) const {
        if (AText.empty()) return 0;
        LaidOutBytes += AText.size() * sizeof(wchar_t);
        const std::vector<TRun> runs = Runs(AText);
        if (!OwnFaceOnly(runs)) {
            const std::vector<INT> edges = Edges(AText, runs);
            return static_cast<std::size_t>(std::upper_bound(edges.begin(), edges.end(), std::max(AWidth, 0)) -
                                            edges.begin());
        }
        INT fit = 0;
        SIZE size{};
        ::GetTextExtentExPointW(DC.get(), AText.data(), static_cast<int>(AText.size()), std::max(AWidth, 0), &fit,
                                nullptr, &size);
        return static_cast<std::size_t>(std::clamp<INT>(fit, 0, static_cast<INT>(AText.size())));
    }

    // AText from AX with its baseline at ABaseline, each run in its face.
    void DrawRuns(HDC ADC, std::wstring_view AText, std::int32_t AX, std::int32_t ABaseline) const {
        for (const TRun& run : Runs(AText)) {
            const TSelection selected(ADC, FontOf(run.Face));
            const auto count = static_cast<UINT>(run.End - run.Start);
            ::ExtTextOutW(ADC, AX, ABaseline, 0, nullptr, AText.data() + run.Start, count, nullptr);
            SIZE size{};
            ::GetTextExtentPoint32W(ADC, AText.data() + run.Start, static_cast<int>(count), &size);
            AX += size.cx;
        }
    }

    // AText whole when it fits the width, otherwise as much of it as fits beside an ellipsis.
    std::wstring Ellipsized(std::wstring_view AText) const {
        if (Extent(AText) <= Width) return std::wstring(AText);
        std::size_t fit = FitCount(AText, Width - Extent(std::wstring_view(&kEllipsis, 1)));
        if (fit > 0 && fit < AText.size() && IS_LOW_SURROGATE(AText[fit])) --fit;
        std::wstring cut(AText.substr(0, fit));
        cut += kEllipsis;
        return cut;
    }

    std::int32_t Height() const { return static_cast<std::int32_t>(Lines.size()) * LineHeight; }

    void LayOutSingleLine() {
        // A cut line shows no more than its width allows: far longer text is cut before it is
        // measured, still ending in an ellipsis.
        std::size_t cut = 16 * static_cast<std::size_t>(Width) + 1024;
        if ((Format & kTfEndEllipsis) && Text.size() > cut) {
            if (IS_LOW_SURROGATE(Text[cut])) --cut;
            Text.resize(cut);
            Text += kEllipsis;
        }
        Lines.push_back({0, Text.size(), Text.size()});
    }

    // First fit, breaking after blanks and, in a word longer than the width, between characters.
    // Each line measures a window of the text that grows only while the line fills it, and lines
    // stop once they are taller than AMaxHeight: the work is bounded by the box, not the text.
    void LayOutLines(std::int32_t AMaxHeight) {
        std::size_t start = 0;
        while (AMaxHeight < 0 || Height() <= AMaxHeight) {
            // The paragraph ends at CR LF, LF or CR.
            std::size_t end = Text.find_first_of(L"\r\n", start);
            const bool last = end == std::wstring::npos;
            if (last) end = Text.size();
            std::size_t next = end;
            if (!last) next += (Text[end] == L'\r' && end + 1 < Text.size() && Text[end + 1] == L'\n') ? 2 : 1;
            start = LayOutParagraph(start, end, AMaxHeight);
            if (start < end) break;  // stopped by the height
            if (last) break;
            start = next;
        }
    }

    // Returns where it stopped: AEnd, or earlier when the lines grew taller than AMaxHeight.
    std::size_t LayOutParagraph(std::size_t AStart, std::size_t AEnd, std::int32_t AMaxHeight) {
        std::size_t p = AStart;
        do {
            const std::wstring_view rest = std::wstring_view(Text).substr(p, AEnd - p);
            std::size_t window = std::min<std::size_t>(rest.size(), kFirstWindow);
            std::size_t fit = FitCount(rest.substr(0, window), Width);
            while (fit == window && window < rest.size()) {
                window = std::min(rest.size(), 2 * window);
                fit = FitCount(rest.substr(0, window), Width);
            }
            if (fit >= rest.size()) {
                Lines.push_back({p, AEnd, AEnd});
                return AEnd;
            }
            // Unit fit is the first that does not fit: break at the last blank up to it.
            std::size_t blank = fit;
            while (blank > 0 && !IsBreakBlank(rest[blank])) --blank;
            TLine line;
            line.Start = p;
            if (blank > 0) {
                std::size_t content = blank;
                while (content > 0 && IsBreakBlank(rest[content - 1])) --content;
                std::size_t after = blank;
                while (after < rest.size() && IsBreakBlank(rest[after])) ++after;
                line.End = p + content;
                line.Next = p + after;
            } else {
                // No blank: as many characters as fit, at least one, never half a surrogate pair
                // (GDI may count the first unit of a pair as fitting without the second).
                std::size_t count = std::max<std::size_t>(fit, 1);
                if (count < rest.size() && IS_LOW_SURROGATE(rest[count])) {
                    if (count > 1)
                        --count;
                    else
                        ++count;
                }
                line.End = line.Next = p + count;
            }
            Lines.push_back(line);
            p = line.Next;
        } while (p < AEnd && (AMaxHeight < 0 || Height() <= AMaxHeight));
        return p;
    }

    static constexpr std::size_t kFirstWindow = 256;
};

TTextLayout::TTextLayout(std::string_view AText, const TTextFont& AFont, std::int32_t AFontDPI,
                         std::uint32_t AFormat, std::int32_t AWidth, std::int32_t AMaxHeight) {
    // Points at the printer's resolution give the em height in dots (a negative height asks GDI
    // for the em, not the cell); no glyph is drawn larger than the largest raster.
    const double pixels = std::clamp(AFont.Size * AFontDPI / 72.0, 1.0, static_cast<double>(kMaxRasterSide));
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(std::lround(pixels));
    font.lfWeight = AFont.Bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = AFont.Italic ? TRUE : FALSE;
    font.lfUnderline = AFont.Underline ? TRUE : FALSE;
    font.lfStrikeOut = AFont.StrikeOut ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    // One-bit output: glyphs without smoothing.
    font.lfQuality = NONANTIALIASED_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::wstring face = WindowsText(AFont.Name).substr(0, LF_FACESIZE - 1);
    std::copy(face.begin(), face.end(), font.lfFaceName);

    TDCOwner dc(::CreateCompatibleDC(nullptr));
    if (!dc) throw std::bad_alloc();
    TFontOwner handle(::CreateFontIndirectW(&font));
    if (!handle) throw std::bad_alloc();
    FImpl = std::make_unique<TImpl>(std::move(dc), std::move(handle), font);
    TImpl& impl = *FImpl;

    TEXTMETRICW metrics{};
    ::GetTextMetricsW(impl.DC.get(), &metrics);
    impl.LineHeight = metrics.tmHeight;
    impl.Ascent = metrics.tmAscent;
    impl.Width = std::max(AWidth, 0);
    impl.Format = AFormat;
    // Documents are untrusted: malformed UTF-8 arrives as U+FFFD, and so does NUL. GDI draws a
    // tab as a missing glyph: it is read as a blank.
    impl.Text = WindowsText(AText);
    for (wchar_t& c : impl.Text) {
        if (c == L'\0') c = L'\uFFFD';
        if (c == L'\t') c = L' ';
        if ((AFormat & kTfSingleLine) && (c == L'\r' || c == L'\n')) c = L' ';
    }
    if (AFormat & kTfSingleLine)
        impl.LayOutSingleLine();
    else
        impl.LayOutLines(AMaxHeight);
}

TTextLayout::~TTextLayout() = default;

std::int32_t TTextLayout::Height() const { return FImpl->Height(); }

std::size_t TTextLayout::LaidOutBytes() const { return FImpl->LaidOutBytes; }

bool TTextLayout::TextAfter(std::size_t AEnd) const {
    const std::wstring& text = FImpl->Text;
    return std::any_of(text.begin() + static_cast<std::ptrdiff_t>(std::min(AEnd, text.size())), text.end(),
                       [](wchar_t c) { return !IsControlOrSpace(c); });
}

void TTextLayout::Draw(TMonoBitmap& ATarget, std::int32_t AX, std::int32_t AY, const TDotRect& AClip,
                       bool ACompleteLinesOnly, bool /*AReference*/) const {
    const TDotRect clip = AClip.Within(ATarget.Width(), ATarget.Height());
    if (clip.Empty()) return;
    TImpl& impl = *FImpl;

    // Lines drawn: the first always; with ACompleteLinesOnly none that crosses the clip's bottom.
    std::size_t drawn = 0;
    while (drawn < impl.Lines.size()) {
        const std::int32_t bottom = AY + static_cast<std::int32_t>(drawn + 1) * impl.LineHeight;
        if (drawn > 0 && ACompleteLinesOnly && bottom > AClip.Bottom) break;
        ++drawn;
    }
    std::vector<std::wstring> shown(drawn);
    for (std::size_t i = 0; i < drawn; ++i) {
        const TImpl::TLine& line = impl.Lines[i];
        shown[i] = impl.Text.substr(line.Start, line.End - line.Start);
    }
    if ((impl.Format & kTfSingleLine) && (impl.Format & kTfEndEllipsis) && drawn > 0) {
        shown[0] = impl.Ellipsized(shown[0]);
    } else if (ACompleteLinesOnly && (impl.Format & kTfEndEllipsis) && drawn > 0 &&
               TextAfter(impl.Lines[drawn - 1].Next)) {
        // Wrapped text that goes on below the last line drawn ends that line in an ellipsis.
        std::wstring& last = shown[drawn - 1];
        while (!last.empty() && IsControlOrSpace(last.back())) last.pop_back();
        last += kEllipsis;
        last = impl.Ellipsized(last);
    }

    // Drawn into a one-bit DIB of whole target rows from x = 0, so that the ink is copied across
    // byte by byte. Colour 0 is white and 1 black: a set bit is ink, as in the raster, and DIB
    // rows, like the raster's, keep the leftmost pixel in the high bit.
    const std::int32_t width = clip.Right;
    const std::int32_t height = clip.Height();
    struct {
        BITMAPINFOHEADER Header;
        RGBQUAD Colours[2];
    } info{};
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = width;
    info.Header.biHeight = -height;  // top-down
    info.Header.biPlanes = 1;
    info.Header.biBitCount = 1;
    info.Header.biCompression = BI_RGB;
    info.Colours[0] = RGBQUAD{255, 255, 255, 0};
    info.Colours[1] = RGBQUAD{0, 0, 0, 0};
    void* bits = nullptr;
    const TBitmapOwner bitmap(::CreateDIBSection(impl.DC.get(), reinterpret_cast<const BITMAPINFO*>(&info),
                                                 DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) throw std::bad_alloc();
    const std::size_t stride = (static_cast<std::size_t>(width) + 31) / 32 * 4;
    std::memset(bits, 0, stride * static_cast<std::size_t>(height));
    {
        const TSelection selected(impl.DC.get(), bitmap.get());
        const TSavedState state(impl.DC.get());
        HDC dc = impl.DC.get();
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(0, 0, 0));
        // On the field's baseline, so that a fallback face's glyphs stand on the same line.
        ::SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
        ::IntersectClipRect(dc, clip.Left, 0, clip.Right, height);
        for (std::size_t i = 0; i < drawn; ++i) {
            const std::wstring& text = shown[i];
            std::int32_t x = AX;
            const std::int32_t free = impl.Width - impl.Extent(text);
            if (impl.Format & kTfCenter)
                x += free / 2;
            else if (impl.Format & kTfRight)
                x += free;
            const std::int32_t y = AY - clip.Top + static_cast<std::int32_t>(i) * impl.LineHeight;
            impl.DrawRuns(dc, text, x, y + impl.Ascent);
        }
        ::GdiFlush();
    }

    const auto* data = static_cast<const std::uint8_t*>(bits);
    const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = data + static_cast<std::size_t>(y) * stride;
        std::uint8_t* out = ATarget.Row(clip.Top + y);
        for (std::size_t xb = 0; xb < bytes; ++xb) out[xb] |= in[xb];
    }
}

}  // namespace quorvane
