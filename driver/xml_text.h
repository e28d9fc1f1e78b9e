#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Drops what XML 1.0 forbids before a text is parsed: keeps TAB, LF, CR and the characters
// U+0020..U+D7FF, U+E000..U+FFFD and U+10000..U+10FFFF (emoji and rare CJK are data people
// print); drops bytes that are not well-formed UTF-8.
std::string RemoveInvalidXMLChars(std::string_view text);

// The same for a label document, except that a group separator (U+001D), which marking codes
// need between their fields, is kept as the character reference "&#29;".
std::string LabelDocumentXmlText(std::string_view text);

// The offset in a cleaned text of its first character reference to U+0000 ("&#0;", "&#x00;"),
// outside comments and CDATA sections; npos when there is none. XML forbids it, and the parser
// would end the value there: a barcode would lose the rest of its data without a word.
std::size_t FindNulReference(std::string_view text);

// Where the character at AOffset of LabelDocumentXmlText(text) came from in text: a place the
// parser names is shown in the document as it was written. Past the end: text.size().
std::size_t LabelDocumentSourceOffset(std::string_view text, std::size_t offset);

}  // namespace quorvane
