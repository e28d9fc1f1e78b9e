#include "driver/label_stream.h"

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <type_traits>

#include <expat.h>

#include "driver/label_document.h"
#include "addin/wide_string.h"
#include "driver/xml_text.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

// Text handed to the parser at a time: the parser keeps only what it has not finished, and the
// labels of one piece wait in small documents of about 32 KB each until they are taken.
constexpr std::size_t kChunk = std::size_t{16} << 10;
// A character reference shorter than this is never cut between two pieces.
constexpr std::size_t kReferenceWindow = 16;

// expat refuses references to control characters ("&#29;", the group separator of marking
// codes, above all) that pugixml takes. Such a reference reaches expat as the noncharacter
// U+FDD0 followed by U+FDD0 + its code, and the document's own U+FDD0 as two of them;
// attribute values are turned back when they are read.
constexpr std::string_view kEscape = "\xEF\xB7\x90";  // U+FDD0

// The code of a reference to a control character that expat refuses at the start of AText
// ("&#29;", "&#x1D;"), and its length; 0 for anything else.
unsigned ControlReference(std::string_view AText, std::size_t& ALength) {
    if (AText.substr(0, 2) != "&#") return 0;
    const bool hex = AText.size() > 2 && AText[2] == 'x';
    std::size_t i = hex ? 3 : 2;
    const std::size_t digits = i;
    unsigned code = 0;
    for (; i < AText.size() && code < 0x110000; ++i) {
        const char c = AText[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        code = code * (hex ? 16 : 10) + digit;
    }
    if (i == digits || i >= AText.size() || AText[i] != ';') return 0;
    if (code == 0 || code >= 0x20 || code == 0x09 || code == 0x0A || code == 0x0D) return 0;
    ALength = i + 1;
    return code;
}

std::string EscapeForExpat(std::string_view AText) {
    std::string result;
    result.reserve(AText.size() + AText.size() / 16);
    std::size_t at = 0;
    while (at < AText.size()) {
        const std::size_t next = AText.find_first_of("&\xEF", at);
        if (next == std::string_view::npos) {
            result.append(AText.substr(at));
            break;
        }
        result.append(AText.substr(at, next - at));
        std::size_t length = 0;
        if (AText.substr(next, kEscape.size()) == kEscape) {
            result.append(kEscape).append(kEscape);
            at = next + kEscape.size();
        } else if (const unsigned code = ControlReference(AText.substr(next), length)) {
            result.append(kEscape).append("\xEF\xB7").push_back(static_cast<char>(0x90 + code));
            at = next + length;
        } else {
            result.push_back(AText[next]);
            at = next + 1;
        }
    }
    return result;
}

std::string Unescape(std::string_view AValue) {
    std::string result;
    result.reserve(AValue.size());
    std::size_t at = 0;
    for (std::size_t found; (found = AValue.find(kEscape, at)) != std::string_view::npos;) {
        result.append(AValue.substr(at, found - at));
        const std::size_t code = found + 2 * kEscape.size() - 1;
        if (code >= AValue.size()) throw std::logic_error("a control character escape is cut short");
        const auto value = static_cast<unsigned char>(AValue[code]) - 0x90U;
        if (value == 0)
            result.append(kEscape);
        else
            result.push_back(static_cast<char>(value));
        at = code + 1;
    }
    result.append(AValue.substr(at));
    return result;
}

// The document's text as its holder has it: UTF-8, or the host's UTF-16.
struct TSourceText {
    std::string_view Narrow;
    std::u16string_view Wide;
    bool IsWide = false;

    std::size_t Size() const { return IsWide ? Wide.size() : Narrow.size(); }
    std::string Utf8(std::size_t AFrom, std::size_t AEnd) const {
        return IsWide ? WideToUtf8(Wide.substr(AFrom, AEnd - AFrom)) : std::string(Narrow.substr(AFrom, AEnd - AFrom));
    }
};

// Where the piece of AText that starts at AFrom ends: no character and no short reference is
// cut, so each piece is converted, cleaned and escaped on its own as the whole text would be.
template <class TChar>
std::size_t PieceEnd(std::basic_string_view<TChar> AText, std::size_t AFrom) {
    if (AText.size() - AFrom <= kChunk) return AText.size();
    std::size_t end = AFrom + kChunk;
    // Only the last few units are looked at: a search back through the whole text would make
    // reading a large document quadratic.
    const std::size_t window = end - std::min(kReferenceWindow, end - AFrom - 1);
    const std::size_t amp = AText.substr(window, end - window).rfind(TChar('&'));
    if (amp != std::basic_string_view<TChar>::npos &&
        AText.substr(window + amp, end - window - amp).find(TChar(';')) == std::basic_string_view<TChar>::npos)
        end = window + amp;
    // A UTF-8 continuation byte, or the low half of a surrogate pair.
    const auto continuation = [&](std::size_t AAt) {
        const auto unit = static_cast<std::make_unsigned_t<TChar>>(AText[AAt]);
        if constexpr (sizeof(TChar) == 1) {
            return (unit & 0xC0) == 0x80;
        } else {
            const auto before = static_cast<std::make_unsigned_t<TChar>>(AText[AAt - 1]);
            return unit >= 0xDC00 && unit <= 0xDFFF && before >= 0xD800 && before <= 0xDBFF;
        }
    };
    while (end > AFrom && continuation(end)) --end;
    if (end == AFrom) {
        // Nothing but stray bytes: cut after them.
        end = AFrom + kChunk;
        while (end < AText.size() && continuation(end)) ++end;
    }
    return end;
}

struct TParserFree {
    void operator()(XML_ParserStruct* AParser) const { XML_ParserFree(AParser); }
};

// One pass of expat over a document's text. Kept: the first Formatting of the root with its
// elements (when asked), and the Label elements of the first Labels with their child elements,
// each in a small document of its own. Nothing deeper is read by anyone.
class TTextPass {
public:
    TTextPass(const TSourceText& AText, bool AKeepFormatting, bool AKeepLabels)
        : FText(AText),
          FParser(XML_ParserCreate("UTF-8")),
          FKeepFormatting(AKeepFormatting),
          FKeepLabels(AKeepLabels) {
        if (!FParser) throw std::bad_alloc();
        XML_SetUserData(FParser.get(), this);
        XML_SetElementHandler(FParser.get(), &TTextPass::OnStart, &TTextPass::OnEnd);
        XML_SetStartDoctypeDeclHandler(FParser.get(), &TTextPass::OnDoctype);
    }

    // Reads the next piece; false when the text is finished or the parser stopped.
    bool Feed() {
        if (FFinished || FFailed) return false;
        const std::size_t end = FText.IsWide ? PieceEnd(FText.Wide, FPosition) : PieceEnd(FText.Narrow, FPosition);
        const std::string piece = EscapeForExpat(LabelDocumentXmlText(FText.Utf8(FPosition, end)));
        FPosition = end;
        const bool last = FPosition >= FText.Size();
        if (XML_Parse(FParser.get(), piece.data(), static_cast<int>(piece.size()), last) != XML_STATUS_OK ||
            FFailed) {
            FFailed = true;
            return false;
        }
        FFinished = last;
        return true;
    }

    // expat refused the text, or it has a document type declaration: its entities and
    // defaults are pugixml's business.
    bool Failed() const { return FFailed; }

    pugi::xml_document Formatting;
    bool LabelsSeen = false;
    std::deque<TLabelNode> Ready;

private:
    enum class TRegion { rgNone, rgFormatting, rgLabels };

    static void AddAttributes(pugi::xml_node ANode, const XML_Char** AAttributes) {
        for (const XML_Char** attribute = AAttributes; *attribute; attribute += 2)
            ANode.append_attribute(attribute[0]).set_value(Unescape(attribute[1]).c_str());
    }

    static void OnStart(void* AUser, const XML_Char* AName, const XML_Char** AAttributes) {
        auto& pass = *static_cast<TTextPass*>(AUser);
        const std::string_view name = AName;
        switch (++pass.FDepth) {
            case 2:
                pass.FRegion = TRegion::rgNone;
                if (name == "Formatting" && !pass.FFormattingSeen) {
                    pass.FFormattingSeen = true;
                    pass.FRegion = TRegion::rgFormatting;
                    if (pass.FKeepFormatting) {
                        pass.FFormattingNode = pass.Formatting.append_child(AName);
                        AddAttributes(pass.FFormattingNode, AAttributes);
                    }
                } else if (name == "Labels" && !pass.LabelsSeen) {
                    pass.LabelsSeen = true;
                    pass.FRegion = TRegion::rgLabels;
                }
                break;
            case 3:
                if (pass.FRegion == TRegion::rgFormatting && pass.FKeepFormatting) {
                    AddAttributes(pass.FFormattingNode.append_child(AName), AAttributes);
                } else if (pass.FRegion == TRegion::rgLabels && pass.FKeepLabels &&
                           EqualsIgnoringAsciiCase(name, "Label")) {
                    auto owner = std::make_shared<pugi::xml_document>();
                    const pugi::xml_node label = owner->append_child(AName);
                    AddAttributes(label, AAttributes);
                    pass.FLabel = {std::move(owner), label};
                }
                break;
            case 4:
                if (pass.FLabel) AddAttributes(pass.FLabel.Node.append_child(AName), AAttributes);
                break;
            default: break;
        }
    }

    static void OnEnd(void* AUser, const XML_Char*) {
        auto& pass = *static_cast<TTextPass*>(AUser);
        if (pass.FDepth == 3) {
            if (pass.FLabel) pass.Ready.push_back(std::move(pass.FLabel));
            pass.FLabel = {};
        }
        if (pass.FDepth == 2) pass.FRegion = TRegion::rgNone;
        --pass.FDepth;
    }

    static void OnDoctype(void* AUser, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        auto& pass = *static_cast<TTextPass*>(AUser);
        pass.FFailed = true;
        XML_StopParser(pass.FParser.get(), XML_FALSE);
    }

    const TSourceText FText;
    std::size_t FPosition = 0;
    std::unique_ptr<XML_ParserStruct, TParserFree> FParser;
    const bool FKeepFormatting;
    const bool FKeepLabels;
    bool FFinished = false;
    bool FFailed = false;
    int FDepth = 0;
    TRegion FRegion = TRegion::rgNone;
    bool FFormattingSeen = false;
    pugi::xml_node FFormattingNode;
    TLabelNode FLabel;  // the label being read
};

class TTreeCursor : public TLabelCursor {
public:
    explicit TTreeCursor(pugi::xml_node AFirst) : FNext(AFirst) {}

    TLabelNode Next() override {
        while (FNext && !IsLabelElement(FNext)) FNext = FNext.next_sibling();
        TLabelNode label{nullptr, FNext};
        if (FNext) FNext = FNext.next_sibling();
        return label;
    }

private:
    pugi::xml_node FNext;
};

class TTextCursor : public TLabelCursor {
public:
    explicit TTextCursor(const TSourceText& AText) : FPass(AText, false, true) {}

    TLabelNode Next() override {
        while (FPass.Ready.empty() && FPass.Feed()) {
        }
        // The text was read through once already: it cannot fail now.
        if (FPass.Failed()) throw std::logic_error("a label document failed on its second reading");
        if (FPass.Ready.empty()) return {};
        TLabelNode label = std::move(FPass.Ready.front());
        FPass.Ready.pop_front();
        return label;
    }

private:
    TTextPass FPass;
};

}  // namespace

struct TLabelDocument::TState {
    const pugi::xml_document* Tree = nullptr;
    std::unique_ptr<pugi::xml_document> OwnTree;  // a text only pugixml can judge
    TSourceText Text;                               // read again for every pass over the labels
    pugi::xml_document Formatting;                  // of a text read in passes
    bool HasLabels = false;
};

TLabelDocument::TLabelDocument(const pugi::xml_document& ATree) {
    auto state = std::make_shared<TState>();
    state->Tree = &ATree;
    FState = std::move(state);
}

pugi::xml_node TLabelDocument::Formatting() const {
    return FState->Tree ? FState->Tree->document_element().child("Formatting")
                        : FState->Formatting.child("Formatting");
}

bool TLabelDocument::HasLabels() const {
    return FState->Tree ? static_cast<bool>(FState->Tree->document_element().child("Labels")) : FState->HasLabels;
}

std::unique_ptr<TLabelCursor> TLabelDocument::Labels() const {
    if (FState->Tree)
        return std::make_unique<TTreeCursor>(FState->Tree->document_element().child("Labels").first_child());
    return std::make_unique<TTextCursor>(FState->Text);
}

bool TLabelDocument::Streamed() const { return FState->Tree == nullptr; }

namespace {

void ReadText(TLabelDocument::TState& AState, const TSourceText& AText) {
    TTextPass pass(AText, true, false);
    while (pass.Feed()) {
    }
    if (pass.Failed()) {
        AState.OwnTree = std::make_unique<pugi::xml_document>(
            ParseLabelDocument(AText.IsWide ? AText.Utf8(0, AText.Size()) : std::string(AText.Narrow)));
        AState.Tree = AState.OwnTree.get();
    } else {
        AState.Text = AText;
        AState.Formatting.reset(pass.Formatting);
        AState.HasLabels = pass.LabelsSeen;
    }
}

}  // namespace

TLabelDocument ReadLabelDocument(std::string_view AText) {
    auto state = std::make_shared<TLabelDocument::TState>();
    ReadText(*state, TSourceText{AText, {}, false});
    return TLabelDocument(std::move(state));
}

TLabelDocument ReadLabelDocument(std::u16string_view AText) {
    auto state = std::make_shared<TLabelDocument::TState>();
    ReadText(*state, TSourceText{{}, AText, true});
    return TLabelDocument(std::move(state));
}

}  // namespace quorvane
