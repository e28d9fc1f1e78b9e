#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The help page as a rich-text document for the Windows help window: the markdown's headings,
// paragraphs, lists, code, tables, pictures and links in RTF, which the system's rich edit
// control shows as it is on Windows and under Wine.
struct THelpRtf {
    // A place the window has to find again in the loaded text: a link to make clickable or a
    // heading a link can lead to. Listed in document order.
    struct TMark {
        bool Heading = false;
        std::string Text;    // as shown, UTF-8
        std::string Target;  // a link's destination, or a heading's id
    };
    std::string Rtf;
    std::vector<TMark> Marks;
};

// The colour of links and the smallest heading size (half-points), by which the window tells
// a mark from the same words elsewhere.
inline constexpr unsigned kHelpLinkRed = 0x03, kHelpLinkGreen = 0x66, kHelpLinkBlue = 0xD6;
inline constexpr int kHelpHeadingHalfPoints = 24;

// APicture gives the RTF picture group for a picture's relative file name, or "" when it
// cannot be shown; its description is shown in brackets then.
using THelpPictureSource = std::function<std::string(const std::string& AFileName)>;

THelpRtf MarkdownToRtf(const std::string& AText, const THelpPictureSource& APicture);

// A PNG as an RTF picture (a device-independent bitmap, the picture form the rich edit control
// shows under Wine as well as on Windows), at most AMaxWidth pixels wide; "" if not a PNG.
std::string PngToRtfPicture(std::string_view APng, int AMaxWidth);

}  // namespace quorvane
