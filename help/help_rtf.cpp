#include "help/help_rtf.h"

#include "help/markdown_renderer.h"
#include "help/markdown_tree.h"

#include <cmark-gfm-core-extensions.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

namespace {

// Body text 10 pt, code 9 pt; headings by level, never below kHelpHeadingHalfPoints.
constexpr int kBodyHalfPoints = 20;
constexpr int kHeadingHalfPoints[] = {36, 30, 26, 24, 24, 24};
constexpr int kPageTwips = 12600;  // the text width of the window as it opens
constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

// The next code point of UTF-8 text (valid: the parser replaced anything else).
char32_t NextCodePoint(std::string_view AText, std::size_t& AAt) {
    const auto b = static_cast<unsigned char>(AText[AAt++]);
    int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t c = more == 3 ? b & 0x07 : more == 2 ? b & 0x0F : more == 1 ? b & 0x1F : b;
    for (; more > 0 && AAt < AText.size(); --more) c = (c << 6) | (static_cast<unsigned char>(AText[AAt++]) & 0x3F);
    return c;
}

void AppendUnicode(std::string& AOut, unsigned AUnit) {
    AOut += "\\u" + std::to_string(static_cast<int>(static_cast<std::int16_t>(AUnit))) + "?";
}

std::string Escaped(std::string_view AText) {
    std::string out;
    for (std::size_t at = 0; at < AText.size();) {
        const char32_t c = NextCodePoint(AText, at);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\n' || c == '\r') {
            out += ' ';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x10000) {
            AppendUnicode(out, static_cast<unsigned>(c));
        } else {
            const char32_t v = c - 0x10000;
            AppendUnicode(out, 0xD800 + static_cast<unsigned>(v >> 10));
            AppendUnicode(out, 0xDC00 + static_cast<unsigned>(v & 0x3FF));
        }
    }
    return out;
}

std::string TypeName(cmark_node* ANode) { return cmark_node_get_type_string(ANode); }

class TRtfWriter {
public:
    TRtfWriter(cmark_node* ADocument, const THelpPictureSource& APicture)
        : FPicture(APicture), FHeadingIds(HeadingIds(ADocument)) {}

    THelpRtf Write(cmark_node* ADocument) {
        FOut = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1"
               "{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
               "{\\colortbl;\\red" + std::to_string(kHelpLinkRed) + "\\green" + std::to_string(kHelpLinkGreen) +
               "\\blue" + std::to_string(kHelpLinkBlue) + ";\\red36\\green41\\blue47;}\\cf2\\fs" +
               std::to_string(kBodyHalfPoints) + "\n";
        for (cmark_node* node = cmark_node_first_child(ADocument); node != nullptr; node = cmark_node_next(node))
            Block(node, true);
        FOut += "}";
        return {FOut, FMarks};
    }

private:
    const THelpPictureSource& FPicture;
    std::vector<std::string> FHeadingIds;
    std::size_t FNextHeading = 0;
    std::string FOut;
    std::vector<THelpRtf::TMark> FMarks;
    std::string* FCapture = nullptr;  // the shown text of the mark being written
    int FIndent = 0;                  // twips
    std::string FItemPrefix;          // a list item's bullet or number, before its first paragraph

    // AFormat applies to the paragraph's text; AReset restores the body's before its end.
    void Paragraph(const std::string& AFormat, cmark_node* AInlines, const std::string& AReset = "") {
        FOut += "\\pard\\sa120\\li" + std::to_string(FIndent);
        if (!FItemPrefix.empty()) FOut += "\\fi-300\\tx" + std::to_string(FIndent);
        FOut += AFormat + " ";
        FOut += Escaped(FItemPrefix);
        FItemPrefix.clear();
        Inlines(AInlines);
        FOut += AReset + "\\par\n";
    }

    void Block(cmark_node* ANode, bool ATopLevel) {
        switch (cmark_node_get_type(ANode)) {
            case CMARK_NODE_HEADING: {
                const int level = std::clamp(cmark_node_get_heading_level(ANode), 1, 6);
                std::string text;
                FCapture = &text;
                Paragraph("\\sb240\\keepn\\b\\fs" + std::to_string(kHeadingHalfPoints[level - 1]), ANode,
                          "\\b0\\fs" + std::to_string(kBodyHalfPoints));
                FCapture = nullptr;
                if (ATopLevel && FNextHeading < FHeadingIds.size())
                    FMarks.push_back({true, text, FHeadingIds[FNextHeading++]});
                break;
            }
            case CMARK_NODE_PARAGRAPH:
                Paragraph("", ANode);
                break;
            case CMARK_NODE_LIST: {
                const bool ordered = cmark_node_get_list_type(ANode) == CMARK_ORDERED_LIST;
                int number = cmark_node_get_list_start(ANode);
                FIndent += 360;
                for (cmark_node* item = cmark_node_first_child(ANode); item != nullptr; item = cmark_node_next(item)) {
                    FItemPrefix = ordered ? std::to_string(number++) + ".\t" : "\xE2\x80\xA2\t";
                    for (cmark_node* child = cmark_node_first_child(item); child != nullptr;
                         child = cmark_node_next(child))
                        Block(child, false);
                    FItemPrefix.clear();
                }
                FIndent -= 360;
                break;
            }
            case CMARK_NODE_BLOCK_QUOTE:
                FIndent += 360;
                for (cmark_node* child = cmark_node_first_child(ANode); child != nullptr; child = cmark_node_next(child))
                    Block(child, false);
                FIndent -= 360;
                break;
            case CMARK_NODE_CODE_BLOCK: {
                std::string code = cmark_node_get_literal(ANode);
                if (!code.empty() && code.back() == '\n') code.pop_back();
                FOut += "\\pard\\sa120\\li" + std::to_string(FIndent + 240) + "\\f1\\fs18 ";
                for (std::size_t start = 0;;) {
                    const std::size_t end = code.find('\n', start);
                    FOut += Escaped(code.substr(start, end - start));
                    if (end == std::string::npos) break;
                    FOut += "\\line ";
                    start = end + 1;
                }
                FOut += "\\f0\\fs" + std::to_string(kBodyHalfPoints) + "\\par\n";
                break;
            }
            case CMARK_NODE_THEMATIC_BREAK:
                FOut += "\\pard\\sa120\\brdrb\\brdrs\\brdrw10\\par\\pard\n";
                break;
            default:
                if (TypeName(ANode) == "table") Table(ANode);
                break;  // raw HTML is left out, as on the HTML page
        }
    }

    // Columns share the page by their longest cell, each at least a tenth of it.
    void Table(cmark_node* ANode) {
        const int columns = std::max<int>(1, cmark_gfm_extensions_get_table_columns(ANode));
        std::vector<std::size_t> longest(static_cast<std::size_t>(columns), 1);
        for (cmark_node* row = cmark_node_first_child(ANode); row != nullptr; row = cmark_node_next(row)) {
            std::size_t i = 0;
            for (cmark_node* cell = cmark_node_first_child(row); cell != nullptr && i < longest.size();
                 cell = cmark_node_next(cell), ++i)
                longest[i] = std::max(longest[i], NodeText(cell).size());
        }
        std::size_t total = 0;
        for (std::size_t& length : longest) {
            length = std::max(length, std::size_t{8});
            total += length;
        }
        const int width = kPageTwips - FIndent;
        for (cmark_node* row = cmark_node_first_child(ANode); row != nullptr; row = cmark_node_next(row)) {
            const bool header = cmark_gfm_extensions_get_table_row_is_header(row) != 0;
            FOut += "\\trowd\\trgaph80\\trleft" + std::to_string(FIndent);
            std::size_t right = 0;
            for (std::size_t i = 0; i < longest.size(); ++i) {
                right += longest[i];
                FOut += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                        "\\clbrdrr\\brdrs\\brdrw10\\cellx" +
                        std::to_string(FIndent + static_cast<int>(width * right / total));
            }
            FOut += "\n";
            std::size_t i = 0;
            for (cmark_node* cell = cmark_node_first_child(row); cell != nullptr && i < longest.size();
                 cell = cmark_node_next(cell), ++i) {
                FOut += header ? "\\pard\\intbl\\b " : "\\pard\\intbl ";
                Inlines(cell);
                FOut += header ? "\\b0\\cell\n" : "\\cell\n";
            }
            for (; i < longest.size(); ++i) FOut += "\\pard\\intbl\\cell\n";
            FOut += "\\row\n";
        }
        FOut += "\\pard\\sa120\\par\n";
    }

    void Text(std::string_view AText) {
        FOut += Escaped(AText);
        if (FCapture != nullptr) FCapture->append(AText);
    }

    void Inlines(cmark_node* AParent) {
        for (cmark_node* node = cmark_node_first_child(AParent); node != nullptr; node = cmark_node_next(node)) {
            switch (cmark_node_get_type(node)) {
                case CMARK_NODE_TEXT:
                    Text(cmark_node_get_literal(node));
                    break;
                case CMARK_NODE_SOFTBREAK:
                    Text(" ");
                    break;
                case CMARK_NODE_LINEBREAK:
                    FOut += "\\line ";
                    if (FCapture != nullptr) *FCapture += ' ';
                    break;
                case CMARK_NODE_CODE:
                    FOut += "{\\f1 ";
                    Text(cmark_node_get_literal(node));
                    FOut += "}";
                    break;
                case CMARK_NODE_EMPH:
                    Styled("\\i", node);
                    break;
                case CMARK_NODE_STRONG:
                    Styled("\\b", node);
                    break;
                case CMARK_NODE_LINK:
                    Link(node);
                    break;
                case CMARK_NODE_IMAGE: {
                    const std::string picture = FPicture(cmark_node_get_url(node));
                    if (!picture.empty())
                        FOut += picture;
                    else
                        Text("[" + NodeText(node) + "]");
                    break;
                }
                default:
                    if (TypeName(node) == "strikethrough") Styled("\\strike", node);
                    break;  // raw HTML is left out
            }
        }
    }

    void Styled(const char* AControl, cmark_node* ANode) {
        FOut += std::string("{") + AControl + " ";
        Inlines(ANode);
        FOut += "}";
    }

    void Link(cmark_node* ANode) {
        std::string text;
        std::string* outer = FCapture;
        FCapture = &text;
        FOut += "{\\cf1\\ul ";
        Inlines(ANode);
        FOut += "}";
        FCapture = outer;
        if (outer != nullptr) *outer += text;
        if (!text.empty()) FMarks.push_back({false, text, cmark_node_get_url(ANode)});
    }
};

struct TPngImage {
    png_image Image{};
    TPngImage() { Image.version = PNG_IMAGE_VERSION; }
    ~TPngImage() { png_image_free(&Image); }
};

}  // namespace

THelpRtf MarkdownToRtf(const std::string& AText, const THelpPictureSource& APicture) {
    const TMarkdownTree tree(AText);
    return TRtfWriter(tree.Document(), APicture).Write(tree.Document());
}

std::string PngToRtfPicture(std::string_view APng, int AMaxWidth) {
    TPngImage png;
    if (!png_image_begin_read_from_memory(&png.Image, APng.data(), APng.size())) return {};
    png.Image.format = PNG_FORMAT_BGR;
    const int width = static_cast<int>(png.Image.width);
    const int height = static_cast<int>(png.Image.height);
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return {};
    const int stride = (width * 3 + 3) / 4 * 4;
    std::vector<unsigned char> dib(40 + static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    const png_color white{255, 255, 255};
    // A negative stride fills the rows bottom-up, as a device-independent bitmap holds them.
    if (!png_image_finish_read(&png.Image, &white, dib.data() + 40, -stride, nullptr)) return {};
    auto put = [&dib](std::size_t AAt, std::uint32_t AValue, int ABytes) {
        for (int i = 0; i < ABytes; ++i) dib[AAt + static_cast<std::size_t>(i)] = static_cast<unsigned char>(AValue >> (8 * i));
    };
    put(0, 40, 4);  // BITMAPINFOHEADER
    put(4, static_cast<std::uint32_t>(width), 4);
    put(8, static_cast<std::uint32_t>(height), 4);
    put(12, 1, 2);
    put(14, 24, 2);
    put(20, static_cast<std::uint32_t>(dib.size() - 40), 4);
    const int shownWidth = std::min(width, std::max(AMaxWidth, 1));
    const int shownHeight = static_cast<int>(static_cast<long long>(height) * shownWidth / width);
    std::string out = "{\\pict\\dibitmap0\\picw" + std::to_string(width) + "\\pich" + std::to_string(height) +
                      "\\picwgoal" + std::to_string(shownWidth * kTwipsPerPixel) + "\\pichgoal" +
                      std::to_string(std::max(shownHeight, 1) * kTwipsPerPixel) + "\n";
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < dib.size(); ++i) {
        out += digits[dib[i] >> 4];
        out += digits[dib[i] & 15];
        if (i % 64 == 63) out += '\n';
    }
    return out + "}";
}

}  // namespace quorvane
