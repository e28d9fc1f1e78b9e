#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "printer/graphic_text.h"
#include "printer/mono_bitmap.h"

namespace quorvane {

// A rectangle in dots: left/top inclusive, right/bottom exclusive.
struct TDotRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    std::int32_t Width() const { return Right - Left; }
    std::int32_t Height() const { return Bottom - Top; }
    bool Empty() const { return Right <= Left || Bottom <= Top; }
    // The part of this rectangle inside a raster of AWidth x AHeight dots.
    TDotRect Within(std::int32_t AWidth, std::int32_t AHeight) const {
        return {std::max(Left, 0), std::max(Top, 0), std::min(Right, AWidth), std::min(Bottom, AHeight)};
    }
};

// One text laid out for a box width with the system's text engine, drawn without smoothing into
// a one-bit raster. Layouts may be made and drawn on any thread.
class TTextLayout {
public:
    // AFormat: kTfSingleLine (one line, CR and LF read as blanks, cut with an ellipsis at the
    // end when kTfEndEllipsis is set) or word-wrapping (a last drawn line ends in an ellipsis
    // when kTfEndEllipsis is set and text remains); kTfCenter/kTfRight align horizontally.
    // Wrapped lines are laid out only until they are taller than AMaxHeight (when not negative).
    TTextLayout(std::string_view AText, const TTextFont& AFont, std::int32_t AFontDPI, std::uint32_t AFormat,
                std::int32_t AWidth, std::int32_t AMaxHeight = -1);
    TTextLayout(const TTextLayout&) = delete;
    TTextLayout& operator=(const TTextLayout&) = delete;
    ~TTextLayout();

    // Height the text needs, in dots (all lines laid out).
    std::int32_t Height() const;

    // Bytes of text handed to the layout engine, retries included: the measure of its work.
    std::size_t LaidOutBytes() const;

    // Draws the text with its top-left corner at (AX, AY), clipped to AClip. With
    // ACompleteLinesOnly a line that would cross AClip's bottom is left out, and so is every
    // line after it; the first line is always drawn. AReference draws through the engine's
    // general path where it has a faster one, the reference the faster one is checked against.
    void Draw(TMonoBitmap& ATarget, std::int32_t AX, std::int32_t AY, const TDotRect& AClip,
              bool ACompleteLinesOnly, bool AReference = false) const;

private:
    // Whether anything but blanks follows position AEnd of the text (as the layout keeps it).
    bool TextAfter(std::size_t AEnd) const;

    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

}  // namespace quorvane
