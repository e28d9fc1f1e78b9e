#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "errors/messages.h"

namespace quorvane {

// A value that is no valid GS1 element string; the text says what is wrong, in Russian.
class EGs1ElementString : public TMessageError {
public:
    explicit EGs1ElementString(const TMessageError& AError) : TMessageError(AError) {}
};

// The group separator (GS, U+001D) that ends a variable-length field.
inline constexpr char kGs1Separator = '\x1D';

// One application identifier and its data.
struct TGs1Element {
    std::string Ai;
    std::string Data;
    // The element's length is predefined by the AI's first two digits, so no separator has to
    // follow it.
    bool PredefinedLength = false;
};

// The value begins with the symbology identifier "]d2" a scanner puts in front of what it read,
// or with a group separator, or holds one: such a Data Matrix value is a GS1 element string.
bool HasGs1Mark(std::string_view AValue);

// Splits an element string by the GS1 application identifiers: a leading "]d2" and leading
// separators are no data; a separator is needed after each field whose length is not
// predefined, unless it is last, and a redundant one is accepted. Throws EGs1ElementString for
// an unknown AI, a wrong fixed length, a character outside the field's set, a variable field
// over its maximum, a wrong check digit, or an empty value.
std::vector<TGs1Element> ParseGs1ElementString(std::string_view AValue);

// The elements as the barcode library's GS1 input: "[01]04600439931256[21]abc".
std::string Gs1BracketedText(const std::vector<TGs1Element>& AElements);

// The elements as the content of a DMATRIX command with escape character "~" (c126): "~1"
// (FNC1) first and after every field not of predefined length that is not last, "~~" for "~".
std::string Gs1DataMatrixEscapedText(const std::vector<TGs1Element>& AElements);

}  // namespace quorvane
