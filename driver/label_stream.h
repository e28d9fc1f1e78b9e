#pragma once

#include <memory>
#include <string_view>

#include <pugixml.hpp>

namespace quorvane {

// One Label element. A label read from the text owns the small document it lives in, so it
// stays valid while a builder thread works on it.
struct TLabelNode {
    std::shared_ptr<const pugi::xml_document> Owner;
    pugi::xml_node Node;

    explicit operator bool() const { return static_cast<bool>(Node); }
};

// The Label elements of a document's Labels in document order.
class TLabelCursor {
public:
    virtual ~TLabelCursor() = default;
    // The next label; empty after the last one.
    virtual TLabelNode Next() = 0;
};

// A label document that has been checked for well-formedness. A large document is not held as
// a tree: its Formatting is kept (it is small) and its labels are read again from the text each
// time they are asked for, a few at a time. Copies share the same reading.
class TLabelDocument {
public:
    // A parsed tree the caller keeps while the document is used.
    TLabelDocument(const pugi::xml_document& ATree);  // NOLINT: trees are label documents as well

    // The first Formatting element of the root; empty when there is none.
    pugi::xml_node Formatting() const;
    // Whether the root has a Labels element.
    bool HasLabels() const;
    // A new pass over the labels.
    std::unique_ptr<TLabelCursor> Labels() const;
    // Whether the labels are read from the text (false: from a tree).
    bool Streamed() const;

    // Made by ReadLabelDocument.
    struct TState;
    explicit TLabelDocument(std::shared_ptr<const TState> AState) : FState(std::move(AState)) {}

private:
    std::shared_ptr<const TState> FState;
};

// Checks a label document's text as ParseLabelDocument does, with the same failures and
// messages, without building its tree. AText must outlive the document and its cursors. A text
// the streaming reader refuses, or one with a document type declaration, is judged and held as
// a tree, so what is accepted and what its values are stays as ParseLabelDocument has it.
TLabelDocument ReadLabelDocument(std::string_view AText);
// The same for the host's UTF-16 text, converted a piece at a time as it is read.
TLabelDocument ReadLabelDocument(std::u16string_view AText);

}  // namespace quorvane
