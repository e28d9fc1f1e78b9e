#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "driver/document_attributes.h"
#include "driver/label_stream.h"
#include "printer/field_object.h"
#include "printer/printer_type_base.h"

namespace quorvane {

// The settings the document reader uses besides those the printer language already holds
// (resolution, model, barcode options: copied into it at Open).
struct TDocumentSettings {
    std::int32_t Gap = 3;
    std::int32_t Density = 7;
    std::int32_t Direction = 0;
    double Speed = 2;
    std::string Codepage = "1251";
};

// One label's finished script and its copy count.
class TScriptObject {
public:
    TScriptObject(std::int32_t AQuantity, std::string AValue)
        : FQuantity(AQuantity), FValue(std::move(AValue)) {}

    std::int32_t FQuantity;
    std::string FValue;
};

// The layout's fields and its template, split once at every place a label's value goes, so a
// label is built by concatenation: values never become part of what is searched later.
class TLabelTemplate {
public:
    TLabelTemplate();
    ~TLabelTemplate();
    TLabelTemplate(TLabelTemplate&&) noexcept;
    TLabelTemplate& operator=(TLabelTemplate&&) noexcept;

    bool Empty() const { return FPieces.empty(); }
    void Clear();

    // The field a record with this FieldName fills (exact, case-sensitive; of two fields with
    // one name the later one); nullptr when none.
    const TFieldObject* FindField(std::string_view AFieldName) const;
    std::size_t FieldCount() const { return FByName.size(); }

    // The template as the printer would receive it with every value still a token.
    std::string Text() const;

    // The code page the template announces to the printer; every label's text is written in
    // it, whatever the setting says when the template is reused.
    const std::string& Codepage() const { return FCodepage; }
    // What one copy of a label takes the printer, as its language reckons; 0: unknown.
    double CopyPrintMs() const { return FCopyPrintMs; }

private:
    friend class TTemplateBuilder;
    friend class TLabelFiller;

    struct TPiece {
        std::string Literal;  // bytes copied as they are, before the slot
        TSlotKind Slot = TSlotKind::skNone;
        std::size_t Field = 0;  // index into FFields
        std::string Line;       // template line of a skLine slot
        std::string Blank;      // what an unfilled skRaster slot sends
    };

    std::vector<std::unique_ptr<TFieldObject>> FFields;  // every field, document order
    std::vector<std::size_t> FSlotPiece;                 // field -> index into FPieces; npos: no slot
    std::unordered_map<std::string, std::size_t> FByName;
    std::vector<TPiece> FPieces;
    std::size_t FLiteralSize = 0;
    std::string FCodepage;
    std::string FLineEnd;  // the language's, after every line
    double FCopyPrintMs = 0;
};

// How the reader reads an attribute's text.
enum class TAttributeReader { arMillimetres, arInteger, arBoolean, arText };

struct TDocumentAttribute {
    std::string_view Name;
    TAttributeReader Reader;
};

// An element the reader recognises and the attributes it reads from it.
struct TDocumentElement {
    std::string_view Name;
    std::span<const TDocumentAttribute> Attributes;
};

// Every element and attribute of a label document the reader reads, in document order: the
// reference for people who write documents is checked against it.
std::span<const TDocumentElement> LabelDocumentElements();

// Parses a label document after dropping what XML forbids; fails with the parser's message.
pugi::xml_document ParseLabelDocument(std::string_view AText);

// Builds the template from the document's Formatting. Runs the printer's Init, writes every
// field through it and replaces ATemplate only when the whole layout has been read, so a
// failed rebuild leaves the previous template usable.
void LoadTemplate(const TLabelDocument& ADocument, TLabelTemplate& ATemplate, TPrinterTypeBase& APrinter,
                  const TDocumentSettings& ASettings);

// One script per Label of the document's Labels, handed to AEmit in document order. The text
// goes in the template's code page; the settings are those the template was built with, and
// none of them is read again here.
void FillLabels(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
                TPrinterTypeBase& APrinter, const TDocumentSettings& ASettings,
                const std::function<void(TScriptObject&&)>& AEmit);

// The same, collected into a list.
std::vector<TScriptObject> FillLabels(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
                                      TPrinterTypeBase& APrinter, const TDocumentSettings& ASettings);

// Where a label builder gets a slot's value from: lets a job reuse values rendered for earlier
// labels, and leave out renders that cannot fail while it only checks labels.
class TSlotValueSource {
public:
    virtual ~TSlotValueSource() = default;
    // The value of field AField (index in the template) for AValue; ARender renders it.
    // ATextRaster: a text slot drawn as a raster (skRaster), whose only failure (the box too
    // large for a raster) depends on the field, never on the value.
    virtual std::string Value(std::size_t AField, std::string_view AValue, bool ATextRaster,
                              const std::function<std::string()>& ARender) = 0;
};

class TLabelFiller;

// Builds labels one at a time as FillLabels does. It keeps per-label state and encoders: one
// builder per thread, each with its own generator.
class TLabelBuilder {
public:
    // AFullBitmaps: the script as assembled, without the language's trimming (SendableScript);
    // only to show that trimming prints the same.
    TLabelBuilder(const TLabelTemplate& ATemplate, TPrinterTypeBase& APrinter,
                  TSlotValueSource* ASource = nullptr, bool AFullBitmaps = false);
    ~TLabelBuilder();
    TLabelBuilder(const TLabelBuilder&) = delete;
    TLabelBuilder& operator=(const TLabelBuilder&) = delete;

    // The script of the label, the ANumber-th of its document (from 1, for messages); a failure
    // comes as a general failure with its text, as in FillLabels.
    TScriptObject Build(const pugi::xml_node& ALabel, std::size_t ANumber);
    // Fills the label's values and assembles nothing.
    void Check(const pugi::xml_node& ALabel, std::size_t ANumber);

private:
    std::unique_ptr<TLabelFiller> FFiller;
};

// What FillLabels does before the first label: finds Labels, reads every copy count and hands
// the code page the template announces to the generator; fails as FillLabels does. Returns
// the number of labels.
std::size_t PrepareLabels(const TLabelDocument& ADocument, const TLabelTemplate& ATemplate,
                          TPrinterTypeBase& APrinter);

// A child of Labels that is a label (the others are ignored).
bool IsLabelElement(const pugi::xml_node& ANode);

}  // namespace quorvane
