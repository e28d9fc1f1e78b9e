#include "driver/label_document.h"

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>

#include "driver/xml_text.h"
#include "errors/messages.h"
#include "log/driver_log.h"
#include "printer/barcode_picture.h"
#include "printer/symbology.h"
#include "printer/gs1_element_string.h"
#include "printer/raster_limits.h"
#include "text/ascii_text.h"
#include "text/utf8_text.h"

namespace quorvane {

namespace {

constexpr TMessage kSizeError = TMessage::LabelSizeInvalid;
constexpr TMessage kNameError = TMessage::FieldNameEmpty;
constexpr TMessage kLeftError = TMessage::FieldLeftMissing;
constexpr TMessage kTopError = TMessage::FieldTopMissing;

// The failure as a general one (without an equipment code), its message id kept.
[[noreturn]] void ThrowGeneral(const std::exception& AError) {
    if (const auto* known = dynamic_cast<const TMessageError*>(&AError))
        throw TMessageError::WithText(known->Id(), known->what());
    throw std::runtime_error(AError.what());
}

// A label size that is given but not positive, a negative field size, a font larger than any
// raster, a resolution below one dot per millimetre and a copy count the printer does not take
// never reach the printer.
void CheckLabelSize(const char* AName, std::int32_t AValue) {
    if (AValue <= 0) throw TMessageError(TMessage::LabelSizeNotPositive, AName, AValue);
}

void CheckFieldSize(const pugi::xml_node& AElement, const std::string& AFieldName, const char* AName,
                    std::int32_t AValue) {
    if (AValue < 0)
        throw TMessageError(TMessage::FieldSizeNegative, AFieldName, AName, AElement.name(), AValue);
}

void CheckResolution(const TPrinterTypeBase& APrinter) {
    if (APrinter.DotInMM() <= 0) throw TMessageError(TMessage::ResolutionInvalid, APrinter.DPI());
}

// Copy counts of the PRINT command. No manual gives -1 a meaning, so a label without Quantity
// is printed once rather than left to what a printer makes of -1.
constexpr std::int64_t kMaxQuantity = 999999999;

std::int32_t Quantity(const pugi::xml_node& ALabel, std::size_t ANumber) {
    const pugi::xml_attribute attr = ALabel.attribute("Quantity");
    if (!attr) return 1;
    std::int32_t value = 0;
    if (!ParseInt(attr.value(), value) || value < 1 || value > kMaxQuantity)
        throw TMessageError(TMessage::QuantityInvalid, ANumber, attr.value());
    return value;
}

// Fails when the root has no child AName.
void RequiredChild(bool AFound, const char* AName) {
    if (!AFound) throw TMessageError(TMessage::DocumentElementMissing, AName);
}

// A field element as the document names it: `элемент Text «Price»`.
std::string ElementOf(const pugi::xml_node& AElement, std::string_view AFieldName) {
    return Message(TMessage::FieldElement, AElement.name(), AFieldName);
}

// The field a failure belongs to: `поле «Code» (Barcode QRCode), этикетка 2`; ALabel 0 is the
// template itself (static fields).
std::string FieldPlace(std::string_view AFieldName, const TFieldObject& AField, int ALabel) {
    std::string kind;
    switch (AField.FieldType) {
        case TFieldType::ftTextGraphic: kind = "Text"; break;
        case TFieldType::ftText: kind = "UserData"; break;
        case TFieldType::ftImage: kind = "Image"; break;
        case TFieldType::ftBarcode:
            kind = AField.BarcodeType.empty() ? "Barcode" : "Barcode " + AField.BarcodeType;
            break;
    }
    return ALabel > 0 ? Message(TMessage::FieldOfLabel, AFieldName, kind, ALabel)
                      : Message(TMessage::FieldOfTemplate, AFieldName, kind);
}

// Runs AStep, a step that writes one field's data; a failure of that data names the field after
// its own text. The barcode library's English reason and a GS1 parser's detail get a Russian
// sentence in front.
template <class TStep>
auto ForField(std::string_view AFieldName, const TFieldObject& AField, int ALabel, TStep&& AStep) {
    try {
        return AStep();
    } catch (const EGs1ElementString& error) {
        throw TMessageError(TMessage::MarkingCodeNotGs1, error.what(),
                            FieldPlace(AFieldName, AField, ALabel));
    } catch (const EBarcodePicture& error) {
        // A barcode library that is not installed is no fault of the data.
        const std::string reason = error.what();
        if (reason.starts_with("не установлена библиотека"))
            throw TMessageError(TMessage::BarcodeCannotBeBuilt, reason,
                                FieldPlace(AFieldName, AField, ALabel));
        throw TMessageError(TMessage::BarcodeLibraryRefused, reason, FieldPlace(AFieldName, AField, ALabel));
    } catch (const std::runtime_error& error) {
        const std::string text = std::string(error.what()) + ": " + FieldPlace(AFieldName, AField, ALabel);
        if (const auto* known = dynamic_cast<const TMessageError*>(&error))
            throw TMessageError::WithText(known->Id(), text);
        throw std::runtime_error(text);
    }
}

// Characters of the field's value that the code page lacks went to the printer as "?": the
// label still prints, and the log says which character of which field.
void WarnUnencodable(const TPrinterTypeBase& APrinter, std::string_view AFieldName, const TFieldObject& AField,
                     int ALabel) {
    for (const TPrinterTypeBase::TUnencodable& lost : APrinter.TakeUnencodable())
        if (LogPasses(TLogLevel::llWarning))
            WriteLog(Message(TMessage::CharacterSentAsQuestionMark, lost.Character, CodePointName(lost.Character),
                             lost.Codepage, FieldPlace(AFieldName, AField, ALabel)),
                     "", TLogLevel::llWarning);
}

// AReason with the line and column (in characters) of the cleaned text's AOffset, counted in the
// document as written (ASource): people count lines, the parser counts bytes of the cleaned text.
std::string DocumentErrorText(TMessage AReason, std::size_t AOffset, std::string_view ASource) {
    const std::size_t offset = LabelDocumentSourceOffset(ASource, AOffset);
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        if (ASource[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(ASource[i]) & 0xC0) != 0x80) {
            ++column;  // UTF-8 continuation bytes belong to the character before
        }
    }
    return Message(TMessage::DocumentNotXml, MessageText(AReason), line, column);
}

// What the parser found wrong, in Russian, at the place where it stopped.
std::string ParseErrorText(const pugi::xml_parse_result& AResult, std::string_view ASource) {
    TMessage reason = TMessage::XmlParseError;
    switch (AResult.status) {
        case pugi::status_unrecognized_tag: reason = TMessage::XmlBadTag; break;
        case pugi::status_bad_pi: reason = TMessage::XmlBadDeclaration; break;
        case pugi::status_bad_comment: reason = TMessage::XmlBadComment; break;
        case pugi::status_bad_cdata: reason = TMessage::XmlBadCdata; break;
        case pugi::status_bad_doctype: reason = TMessage::XmlBadDoctype; break;
        case pugi::status_bad_pcdata: reason = TMessage::XmlBadText; break;
        case pugi::status_bad_start_element: reason = TMessage::XmlBadStartTag; break;
        case pugi::status_bad_attribute: reason = TMessage::XmlBadAttribute; break;
        case pugi::status_bad_end_element: reason = TMessage::XmlBadEndTag; break;
        case pugi::status_end_element_mismatch: reason = TMessage::XmlTagMismatch; break;
        case pugi::status_no_document_element: reason = TMessage::XmlNoElement; break;
        case pugi::status_append_invalid_root: reason = TMessage::XmlBadRoot; break;
        case pugi::status_out_of_memory: reason = TMessage::XmlOutOfMemory; break;
        default: break;
    }
    return DocumentErrorText(reason, static_cast<std::size_t>(std::max<std::ptrdiff_t>(AResult.offset, 0)), ASource);
}

using enum TAttributeReader;

constexpr TDocumentAttribute kFormattingAttributes[] = {{"Width", arMillimetres}, {"Height", arMillimetres}};
constexpr TDocumentAttribute kTextAttributes[] = {
    {"FieldName", arText},    {"Left", arMillimetres},   {"Top", arMillimetres},
    {"Width", arMillimetres}, {"Height", arMillimetres}, {"Orientation", arInteger},
    {"FontName", arText},     {"FontSize", arInteger},   {"FontStyle", arText},
    {"Align", arText},        {"VAlign", arText},        {"Multiline", arBoolean},
    {"Static", arBoolean},    {"Border", arText},        {"BorderWidth", arInteger},
    {"BorderStyle", arText},  {"Value", arText}};
constexpr TDocumentAttribute kBarcodeAttributes[] = {
    {"FieldName", arText},    {"Left", arMillimetres},    {"Top", arMillimetres},
    {"Width", arMillimetres}, {"Height", arMillimetres},  {"Orientation", arInteger},
    {"Type", arText},         {"FontName", arText},       {"FontStyle", arText},
    {"PrintHRI", arBoolean},  {"CheckSymbol", arBoolean}, {"Static", arBoolean},
    {"Value", arText}};
constexpr TDocumentAttribute kImageAttributes[] = {
    {"FieldName", arText},     {"Left", arMillimetres},    {"Top", arMillimetres}, {"Width", arMillimetres},
    {"Height", arMillimetres}, {"Orientation", arInteger}, {"FontName", arText},   {"FontSize", arInteger},
    {"FontStyle", arText},     {"Static", arBoolean},      {"Border", arText},     {"BorderWidth", arInteger},
    {"BorderStyle", arText},   {"Value", arText}};
constexpr TDocumentAttribute kUserDataAttributes[] = {
    {"FieldName", arText}, {"Static", arBoolean}, {"Value", arText}};
constexpr TDocumentAttribute kLabelAttributes[] = {{"Quantity", arInteger}};
constexpr TDocumentAttribute kRecordAttributes[] = {{"FieldName", arText}, {"Value", arText}};

constexpr TDocumentElement kDocumentElements[] = {
    {"Formatting", kFormattingAttributes}, {"Text", kTextAttributes},         {"Barcode", kBarcodeAttributes},
    {"Image", kImageAttributes},           {"UserData", kUserDataAttributes}, {"Labels", {}},
    {"Label", kLabelAttributes},           {"Record", kRecordAttributes}};

}  // namespace

std::span<const TDocumentElement> LabelDocumentElements() { return kDocumentElements; }

TLabelTemplate::TLabelTemplate() = default;
TLabelTemplate::~TLabelTemplate() = default;
TLabelTemplate::TLabelTemplate(TLabelTemplate&&) noexcept = default;
TLabelTemplate& TLabelTemplate::operator=(TLabelTemplate&&) noexcept = default;

void TLabelTemplate::Clear() { *this = TLabelTemplate(); }

const TFieldObject* TLabelTemplate::FindField(std::string_view AFieldName) const {
    const auto found = FByName.find(std::string(AFieldName));
    return found == FByName.end() ? nullptr : FFields[found->second].get();
}

std::string TLabelTemplate::Text() const {
    std::string text;
    for (const TPiece& piece : FPieces) {
        text += piece.Literal;
        switch (piece.Slot) {
            case TSlotKind::skNone: break;
            case TSlotKind::skQuantity: text += kQuantityMarker; break;
            case TSlotKind::skLine: text += piece.Line; break;
            case TSlotKind::skCommands: text += FFields[piece.Field]->FieldValue + FLineEnd; break;
            default: text += FFields[piece.Field]->FieldValue; break;
        }
    }
    return text;
}

// Reads Formatting field by field through the printer, then splits its script at the slots.
class TTemplateBuilder {
public:
    TTemplateBuilder(TPrinterTypeBase& APrinter, const TDocumentSettings& ASettings)
        : FPrinter(APrinter), FSettings(ASettings) {}

    TLabelTemplate Build(const pugi::xml_node& AFormatting) {
        const std::int32_t width = AttrToMillimetres(AFormatting, "Width", -1);
        const std::int32_t height = AttrToMillimetres(AFormatting, "Height", -1);
        if (width == -1 || height == -1)
            throw TMessageError::WithText(
                kSizeError, std::string(MessageText(kSizeError)) + ": " +
                                DescribeNumberAttribute(AFormatting, width == -1 ? "Width" : "Height"));
        CheckLabelSize("Width", width);
        CheckLabelSize("Height", height);
        FLabelWidth = width;
        FLabelHeight = height;
        CheckResolution(FPrinter);
        FPrinter.Init();
        FPrinter.InitialScriptActions(width, height, FSettings.Gap, FSettings.Density, FSettings.Direction,
                                      FSettings.Speed, FSettings.Codepage);
        FTemplate.FCodepage = FSettings.Codepage;
        FTemplate.FLineEnd = std::string(FPrinter.LineEnd());
        FTemplate.FCopyPrintMs = FPrinter.CopyPrintMs(height, FSettings.Gap, FSettings.Speed);
        for (const pugi::xml_node& element : AFormatting.children()) {
            if (element.type() != pugi::node_element) continue;
            const std::string_view name = element.name();
            ++FElementNumber;
            if (EqualsIgnoringAsciiCase(name, "Text"))
                AddText(element);
            else if (EqualsIgnoringAsciiCase(name, "Barcode"))
                AddBarcode(element);
            else if (EqualsIgnoringAsciiCase(name, "Image"))
                AddImage(element);
            else if (EqualsIgnoringAsciiCase(name, "UserData"))
                AddUserData(element);
        }
        const std::size_t finalStart = FPrinter.ScriptText().size();
        FPrinter.FinalScriptActions();
        Split(finalStart);
        return std::move(FTemplate);
    }

private:
    struct TMarked {
        TSlotKind Kind;
        std::size_t Field;
        std::size_t Offset;  // of the token in its entry
    };

    std::int32_t Mm(const pugi::xml_node& AElement, const char* AName, std::int32_t ADefault) {
        return AttrToMillimetres(AElement, AName, ADefault);
    }

    std::string CheckedName(const pugi::xml_node& AElement) const {
        std::string name = AttrToText(AElement, "FieldName");
        if (name.empty())
            throw TMessageError::WithText(
                kNameError,
                std::string(MessageText(kNameError)) + ": " +
                    Message(TMessage::NamelessElement, AElement.name(), FElementNumber) + ", " +
                    (AElement.attribute("FieldName") ? "FieldName=\"\""
                                                     : Message(TMessage::AttributeMissing, "FieldName")));
        return name;
    }

    void CheckPosition(const pugi::xml_node& AElement, std::string_view AName, std::int32_t ALeft,
                       std::int32_t ATop) const {
        const auto fail = [&](TMessage AId, const char* AAttribute) {
            throw TMessageError::WithText(
                AId, std::string(MessageText(AId)) + ": " + ElementOf(AElement, AName) + ", " +
                         DescribeNumberAttribute(AElement, AAttribute));
        };
        if (ALeft == -1) fail(kLeftError, "Left");
        if (ATop == -1) fail(kTopError, "Top");
        // A field that starts off the label prints nothing of itself.
        const auto outside = [&](const char* AAttribute) {
            throw TMessageError(TMessage::FieldOutsideLabel, AName, FLabelWidth, FLabelHeight,
                                DescribeNumberAttribute(AElement, AAttribute));
        };
        if (ALeft < 0 || ALeft >= FLabelWidth) outside("Left");
        if (ATop < 0 || ATop >= FLabelHeight) outside("Top");
    }

    // A field's Width or Height: 0 when not given; a value that does not read as millimetres
    // is refused rather than taken as 0, which would leave the field empty.
    std::int32_t FieldSize(const pugi::xml_node& AElement, const std::string& AName, const char* AAttribute) const {
        const pugi::xml_attribute attr = AElement.attribute(AAttribute);
        if (!attr) return 0;
        const std::optional<std::int32_t> value = ParseMillimetres(attr.value());
        if (!value) throw TMessageError(TMessage::FieldNumberUnreadable, AName, AAttribute, attr.value());
        CheckFieldSize(AElement, AName, AAttribute, *value);
        return *value;
    }

    // The printer turns a field by quarter turns only.
    static std::int32_t Orientation(const pugi::xml_node& AElement, const std::string& AName) {
        const std::int32_t orientation = AttrToInt(AElement, "Orientation", 0);
        if (orientation != 0 && orientation != 90 && orientation != 180 && orientation != 270)
            throw TMessageError(TMessage::OrientationInvalid, AName, AElement.attribute("Orientation").value());
        return orientation;
    }

    // A frame line no thicker than the label's shorter side, in dots.
    std::int32_t BorderWidth(const pugi::xml_node& AElement, const std::string& AName) const {
        const std::int32_t width = AttrToInt(AElement, "BorderWidth", 0);
        const std::int64_t limit = MillimetresToDots(std::min(FLabelWidth, FLabelHeight), FPrinter.DotInMM());
        if (!AttrToText(AElement, "Border").empty() && width > limit)
            throw TMessageError(TMessage::BorderWidthInvalid, AName, width, limit);
        return width;
    }

    // Stores the field under its name (a later field of the same name takes the name over)
    // and remembers where in the lines the printer just wrote its token is, and its slot kind.
    void Register(const std::string& AName, std::unique_ptr<TFieldObject> AField, std::size_t AFirstEntry) {
        const std::size_t index = FTemplate.FFields.size();
        const TSlotKind kind = FPrinter.SlotKind(*AField);
        const std::optional<TTokenPlace> place = FPrinter.FindToken(AField->FieldValue, AFirstEntry);
        FTemplate.FFields.push_back(std::move(AField));
        FTemplate.FByName[AName] = index;
        FNames.push_back(AName);
        FTemplate.FSlotPiece.push_back(std::string::npos);
        if (place) FMarks[place->Entry] = {kind, index, place->Offset};
    }

    void AddText(const pugi::xml_node& AElement) {
        const std::string name = CheckedName(AElement);
        const std::int32_t left = Mm(AElement, "Left", -1);
        const std::int32_t top = Mm(AElement, "Top", -1);
        CheckPosition(AElement, name, left, top);
        const std::int32_t width = FieldSize(AElement, name, "Width");
        const std::int32_t height = FieldSize(AElement, name, "Height");
        const std::int32_t orientation = Orientation(AElement, name);
        const std::int32_t borderWidth = BorderWidth(AElement, name);
        const std::int32_t fontSize = AttrToInt(AElement, "FontSize", 0);
        // Characters taller than the largest raster cannot be drawn.
        if (static_cast<std::int64_t>(fontSize) * FPrinter.DPI() / 72 > kMaxRasterSide)
            throw TMessageError(TMessage::FontSizeTooLarge, name, fontSize);
        const std::string fontName = AttrToText(AElement, "FontName");
        const std::string fontStyle = AttrToText(AElement, "FontStyle");
        const std::string align = AttrToText(AElement, "Align");
        const std::string valign = AttrToText(AElement, "VAlign");
        const bool multiline = AttrToBool(AElement, "Multiline", false);
        const bool isStatic = AttrToBool(AElement, "Static", false);
        const std::string token = NewPlaceholderToken();
        auto field = std::make_unique<TFieldObject>(TFieldType::ftTextGraphic, token, width, height, left,
                                                    top, orientation, fontSize, fontName, fontStyle, align,
                                                    valign, multiline, isStatic, std::string());
        const std::size_t first = FPrinter.ScriptText().size();
        ForField(name, *field, 0, [&] {
            FPrinter.AddText(token, left, top, width, height, orientation, fontName, fontSize, fontStyle,
                             AttrToText(AElement, "Border"), borderWidth,
                             AttrToText(AElement, "BorderStyle"), align, valign, multiline, isStatic,
                             AttrToText(AElement, "Value"));
        });
        WarnUnencodable(FPrinter, name, *field, 0);
        Register(name, std::move(field), isStatic ? FPrinter.ScriptText().size() : first);
    }

    void AddBarcode(const pugi::xml_node& AElement) {
        const std::string name = CheckedName(AElement);
        TFieldBox box{Mm(AElement, "Left", -1), Mm(AElement, "Top", -1), 0, 0};
        CheckPosition(AElement, name, box.Left, box.Top);
        box.Width = FieldSize(AElement, name, "Width");
        box.Height = FieldSize(AElement, name, "Height");
        const std::int32_t orientation = Orientation(AElement, name);
        const std::string type = AttrToText(AElement, "Type");
        const bool isStatic = AttrToBool(AElement, "Static", false);
        const std::string token = NewPlaceholderToken();
        auto field = std::make_unique<TFieldObject>(
            TFieldType::ftBarcode, token, box.Width, box.Height, box.Left, box.Top, orientation, 0,
            AttrToText(AElement, "FontName"), AttrToText(AElement, "FontStyle"), std::string(), std::string(),
            false, isStatic, type);
        const TSymbology* symbology = field->Symbology;
        if (symbology) {
            box = FPrinter.BarcodeBox(box, orientation, *symbology);
            field->Left = box.Left;
            field->Top = box.Top;
            field->Width = box.Width;
            field->Height = box.Height;
        }
        const std::size_t first = FPrinter.ScriptText().size();
        ForField(name, *field, 0, [&] {
            // A type no printer command stands for would leave the field off every label unsaid.
            if (!symbology) throw TMessageError(TMessage::BarcodeTypeUnknown, type, KnownSymbologyNames());
            FPrinter.AddBarcode(token, *symbology, box.Left, box.Top, box.Width, box.Height, orientation,
                                AttrToBool(AElement, "PrintHRI", false),
                                AttrToBool(AElement, "CheckSymbol", false), isStatic,
                                AttrToText(AElement, "Value"));
        });
        Register(name, std::move(field), isStatic ? FPrinter.ScriptText().size() : first);
    }

    void AddImage(const pugi::xml_node& AElement) {
        const std::string name = CheckedName(AElement);
        const std::int32_t left = Mm(AElement, "Left", -1);
        const std::int32_t top = Mm(AElement, "Top", -1);
        CheckPosition(AElement, name, left, top);
        const std::int32_t width = FieldSize(AElement, name, "Width");
        const std::int32_t height = FieldSize(AElement, name, "Height");
        const std::int32_t orientation = Orientation(AElement, name);
        const std::int32_t borderWidth = BorderWidth(AElement, name);
        const bool isStatic = AttrToBool(AElement, "Static", false);
        const std::string token = NewPlaceholderToken();
        auto field = std::make_unique<TFieldObject>(
            TFieldType::ftImage, token, width, height, left, top, orientation,
            AttrToInt(AElement, "FontSize", 0), AttrToText(AElement, "FontName"),
            AttrToText(AElement, "FontStyle"), std::string(), std::string(), false, isStatic, std::string());
        const std::size_t first = FPrinter.ScriptText().size();
        ForField(name, *field, 0, [&] {
            FPrinter.AddImage(token, left, top, width, height, orientation, AttrToText(AElement, "Border"),
                              borderWidth, AttrToText(AElement, "BorderStyle"),
                              isStatic, AttrToText(AElement, "Value"));
        });
        Register(name, std::move(field), isStatic ? FPrinter.ScriptText().size() : first);
    }

    void AddUserData(const pugi::xml_node& AElement) {
        const std::string name = CheckedName(AElement);
        const bool isStatic = AttrToBool(AElement, "Static", false);
        const std::string token = NewPlaceholderToken();
        auto field = std::make_unique<TFieldObject>(TFieldType::ftText, token, 0, 0, 0, 0, 0, 0,
                                                    std::string(), std::string(), std::string(),
                                                    std::string(), false, false, std::string());
        const std::size_t first = FPrinter.ScriptText().size();
        FPrinter.AddUserData(token, isStatic, AttrToText(AElement, "Value"));
        WarnUnencodable(FPrinter, name, *field, 0);
        Register(name, std::move(field), isStatic ? FPrinter.ScriptText().size() : first);
    }

    // Cuts the script into literal runs and slots. Each slot's line was found while its field
    // was written, so bytes of static bitmaps are never searched for tokens.
    void Split(std::size_t AFinalStart) {
        const auto& script = FPrinter.ScriptText();
        std::string literal;
        const std::string_view lineEnd = FPrinter.LineEnd();
        auto piece = [](TSlotKind AKind, std::size_t AField = 0, std::string ALine = {}) {
            TLabelTemplate::TPiece result;
            result.Slot = AKind;
            result.Field = AField;
            result.Line = std::move(ALine);
            return result;
        };
        auto emit = [&](TLabelTemplate::TPiece APiece) {
            APiece.Literal = std::move(literal);
            literal.clear();
            FTemplate.FLiteralSize += APiece.Literal.size();
            if (APiece.Slot != TSlotKind::skNone && APiece.Slot != TSlotKind::skQuantity)
                FTemplate.FSlotPiece[APiece.Field] = FTemplate.FPieces.size();
            FTemplate.FPieces.push_back(std::move(APiece));
        };
        bool quantityFound = false;
        for (std::size_t entry = 0; entry < script.size(); ++entry) {
            const std::string& line = script[entry];
            if (entry >= AFinalStart && !quantityFound) {
                if (const auto at = line.find(kQuantityMarker); at != std::string::npos) {
                    literal.append(line, 0, at);
                    emit(piece(TSlotKind::skQuantity));
                    literal.append(line, at + std::string_view(kQuantityMarker).size());
                    literal += lineEnd;
                    quantityFound = true;
                    continue;
                }
            }
            const auto mark = FMarks.find(entry);
            if (mark == FMarks.end()) {
                literal += line;
                literal += lineEnd;
                continue;
            }
            const TMarked marked = mark->second;
            const TFieldObject& field = *FTemplate.FFields[marked.Field];
            if (marked.Kind == TSlotKind::skLine || marked.Kind == TSlotKind::skCommands) {
                emit(piece(marked.Kind, marked.Field,
                           marked.Kind == TSlotKind::skLine ? line : std::string()));
                if (marked.Kind == TSlotKind::skLine) literal += lineEnd;
                continue;
            }
            const std::size_t at = marked.Offset;
            literal.append(line, 0, at);
            TLabelTemplate::TPiece value = piece(marked.Kind, marked.Field);
            if (marked.Kind == TSlotKind::skRaster)
                value.Blank =
                    ForField(FNames[marked.Field], field, 0, [&] { return FPrinter.BlankRaster(field); });
            emit(std::move(value));
            literal.append(line, at + field.FieldValue.size());
            literal += lineEnd;
        }
        if (!literal.empty()) emit(piece(TSlotKind::skNone));
    }

    TPrinterTypeBase& FPrinter;
    const TDocumentSettings& FSettings;
    TLabelTemplate FTemplate;
    std::unordered_map<std::size_t, TMarked> FMarks;  // script entry -> slot
    // The name each field was stored under, by index; a field whose name a later one took
    // keeps it for its messages.
    std::vector<std::string> FNames;
    int FElementNumber = 0;  // position of the element being read among Formatting's elements
    std::int32_t FLabelWidth = 0;  // mm
    std::int32_t FLabelHeight = 0;
};

// Builds one label's script from the template and the label's records.
class TLabelFiller {
public:
    TLabelFiller(const TLabelTemplate& ATemplate, TPrinterTypeBase& APrinter)
        : FTemplate(ATemplate),
          FPrinter(APrinter),
          FValues(ATemplate.FFields.size()),
          FFilled(ATemplate.FFields.size(), false) {}

    void SetSource(TSlotValueSource* ASource) { FSource = ASource; }
    void SetFullBitmaps(bool AValue) { FFullBitmaps = AValue; }

    TScriptObject Fill(const pugi::xml_node& ALabel, std::size_t ANumber) {
        const std::int32_t quantity = FillValues(ALabel, ANumber);
        std::string script = Assemble(quantity);
        return TScriptObject(quantity, FFullBitmaps ? std::move(script) : FPrinter.SendableScript(std::move(script)));
    }

    // Renders the label's values into FValues and returns its quantity.
    std::int32_t FillValues(const pugi::xml_node& ALabel, std::size_t ANumber) {
        const std::int32_t quantity = Quantity(ALabel, ANumber);
        std::fill(FFilled.begin(), FFilled.end(), false);
        for (const pugi::xml_node& record : ALabel.children()) {
            if (record.type() != pugi::node_element || !EqualsIgnoringAsciiCase(record.name(), "Record"))
                continue;
            const auto found = FTemplate.FByName.find(record.attribute("FieldName").value());
            if (found == FTemplate.FByName.end()) continue;
            const std::size_t index = found->second;
            const TFieldObject& field = *FTemplate.FFields[index];
            // The first record of a field fills it; its token is gone for any later one.
            if (field.IsStatic || FFilled[index] || FTemplate.FSlotPiece[index] == std::string::npos)
                continue;
            const std::string_view value = record.attribute("Value").value();
            const auto render = [&] {
                return ForField(found->first, field, static_cast<int>(ANumber),
                                [&] { return Render(index, field, value); });
            };
            if (FSource)
                FValues[index] =
                    FSource->Value(index, value, SlotOf(index).Slot == TSlotKind::skRaster, render);
            else
                FValues[index] = render();
            WarnUnencodable(FPrinter, found->first, field, static_cast<int>(ANumber));
            FFilled[index] = true;
        }
        return quantity;
    }

private:
    const TLabelTemplate::TPiece& SlotOf(std::size_t AField) const {
        return FTemplate.FPieces[FTemplate.FSlotPiece[AField]];
    }

    std::string Render(std::size_t AIndex, const TFieldObject& AField, std::string_view AValue) {
        const TLabelTemplate::TPiece& slot = SlotOf(AIndex);
        return FPrinter.SlotValue(AField, slot.Slot, slot.Line, AValue);
    }

    std::string Assemble(std::int32_t AQuantity) const {
        const std::string quantity = std::to_string(AQuantity);
        std::size_t size = FTemplate.FLiteralSize;
        for (const auto& piece : FTemplate.FPieces) {
            if (piece.Slot == TSlotKind::skNone || piece.Slot == TSlotKind::skQuantity) continue;
            size += FFilled[piece.Field] ? FValues[piece.Field].size() + FTemplate.FLineEnd.size()
                                         : piece.Blank.size();
        }
        std::string script;
        script.reserve(size + quantity.size());
        for (const auto& piece : FTemplate.FPieces) {
            script += piece.Literal;
            const bool filled = piece.Slot != TSlotKind::skNone && piece.Slot != TSlotKind::skQuantity &&
                                FFilled[piece.Field];
            switch (piece.Slot) {
                case TSlotKind::skNone: break;
                case TSlotKind::skQuantity: script += quantity; break;
                case TSlotKind::skRaster:
                    // An unfilled raster still sends the bytes its command announces: a blank box.
                    script += filled ? FValues[piece.Field] : piece.Blank;
                    break;
                case TSlotKind::skInLine:
                case TSlotKind::skLine:
                    if (filled) script += FValues[piece.Field];
                    break;
                case TSlotKind::skCommands:
                    if (filled && !FValues[piece.Field].empty()) {
                        script += FValues[piece.Field];
                        script += FTemplate.FLineEnd;
                    }
                    break;
            }
        }
        return script;
    }

    const TLabelTemplate& FTemplate;
    TPrinterTypeBase& FPrinter;
    std::vector<std::string> FValues;
    std::vector<bool> FFilled;
    TSlotValueSource* FSource = nullptr;
    bool FFullBitmaps = false;
};

pugi::xml_document ParseLabelDocument(std::string_view AText) {
    // The cleaned text goes into a buffer the document parses in place and owns: a large document
    // is held once while its nodes are made, not twice (pugixml would copy it again).
    std::size_t size = 0;
    void* buffer = nullptr;
    {
        const std::string clean = LabelDocumentXmlText(AText);
        if (const std::size_t nul = FindNulReference(clean); nul != std::string::npos)
            throw TMessageError::WithText(TMessage::DocumentNotXml,
                                          DocumentErrorText(TMessage::XmlNulReference, nul, AText));
        size = clean.size();
        buffer = pugi::get_memory_allocation_function()(std::max<std::size_t>(size, 1));
        if (buffer == nullptr) throw std::bad_alloc();
        std::copy(clean.begin(), clean.end(), static_cast<char*>(buffer));
    }
    pugi::xml_document document;
    const pugi::xml_parse_result result =
        document.load_buffer_inplace_own(buffer, size, pugi::parse_default, pugi::encoding_utf8);
    if (!result) throw TMessageError::WithText(TMessage::DocumentNotXml, ParseErrorText(result, AText));
    return document;
}

void LoadTemplate(const TLabelDocument& ADocument, TLabelTemplate& ATemplate, TPrinterTypeBase& APrinter,
                  const TDocumentSettings& ASettings) {
    const pugi::xml_node formatting = ADocument.Formatting();
    RequiredChild(formatting, "Formatting");
    TTemplateBuilder builder(APrinter, ASettings);
    ATemplate = builder.Build(formatting);
}

void FillLabels(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
                TPrinterTypeBase& APrinter, const TDocumentSettings& /*ASettings*/,
                const std::function<void(TScriptObject&&)>& AEmit) {
    // Failures of the document become general failures with their text; what the receiver
    // of the scripts throws (a transport, say) passes unchanged.
    auto generalFailure = [](auto&& AStep) {
        try {
            return AStep();
        } catch (const std::exception& error) {
            ThrowGeneral(error);
        }
    };
    PrepareLabels(ADocument, ATemplate, APrinter);
    TLabelFiller filler(ATemplate, APrinter);
    std::size_t number = 0;
    const std::unique_ptr<TLabelCursor> labels = ADocument.Labels();
    for (TLabelNode label = labels->Next(); label; label = labels->Next()) {
        ++number;
        AEmit(generalFailure([&] { return filler.Fill(label.Node, number); }));
    }
}

std::size_t PrepareLabels(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
                          TPrinterTypeBase& APrinter) {
    try {
        const bool found = ADocument.HasLabels();
        RequiredChild(found, "Labels");
        CheckResolution(APrinter);
        // Every copy count is read before the first script goes out.
        std::size_t number = 0;
        const std::unique_ptr<TLabelCursor> labels = ADocument.Labels();
        for (TLabelNode label = labels->Next(); label; label = labels->Next()) Quantity(label.Node, ++number);
        // Barcode and user-data text in the code page the template announces.
        APrinter.SetCodepage(ATemplate.Codepage());
        return number;
    } catch (const std::exception& error) {
        ThrowGeneral(error);
    }
}

bool IsLabelElement(const pugi::xml_node& ANode) {
    return ANode.type() == pugi::node_element && EqualsIgnoringAsciiCase(ANode.name(), "Label");
}

TLabelBuilder::TLabelBuilder(const TLabelTemplate& ATemplate, TPrinterTypeBase& APrinter,
                             TSlotValueSource* ASource, bool AFullBitmaps)
    : FFiller(std::make_unique<TLabelFiller>(ATemplate, APrinter)) {
    FFiller->SetSource(ASource);
    FFiller->SetFullBitmaps(AFullBitmaps);
}

TLabelBuilder::~TLabelBuilder() = default;

TScriptObject TLabelBuilder::Build(const pugi::xml_node& ALabel, std::size_t ANumber) {
    try {
        return FFiller->Fill(ALabel, ANumber);
    } catch (const std::exception& error) {
        ThrowGeneral(error);
    }
}

void TLabelBuilder::Check(const pugi::xml_node& ALabel, std::size_t ANumber) {
    try {
        FFiller->FillValues(ALabel, ANumber);
    } catch (const std::exception& error) {
        ThrowGeneral(error);
    }
}

std::vector<TScriptObject> FillLabels(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
                                      TPrinterTypeBase& APrinter, const TDocumentSettings& ASettings) {
    std::vector<TScriptObject> scripts;
    FillLabels(ADocument, ATemplate, APrinter, ASettings,
               [&](TScriptObject&& AScript) { scripts.push_back(std::move(AScript)); });
    return scripts;
}

}  // namespace quorvane
