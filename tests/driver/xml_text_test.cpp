#include "driver/xml_text.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(RemoveInvalidXMLChars, KeepsAllowedControlsAndText) {
    const std::string text = "a\tb\nc\rd Привет €\xEF\xBF\xBD";  // ends with U+FFFD
    EXPECT_EQ(RemoveInvalidXMLChars(text), text);
}

TEST(RemoveInvalidXMLChars, DropsForbiddenCharacters) {
    // U+0001, U+001F, U+FFFE and U+FFFF go; a character above U+FFFF (an emoji) is XML and stays.
    const std::string text =
        "x\x01y\x1Fz\xEF\xBF\xBE"
        "w\xEF\xBF\xBFv\xF0\x9F\x98\x80u";
    EXPECT_EQ(RemoveInvalidXMLChars(text), "xyzwv\xF0\x9F\x98\x80u");
}

TEST(RemoveInvalidXMLChars, BoundariesOfTheKeptRanges) {
    EXPECT_EQ(RemoveInvalidXMLChars("\xED\x9F\xBF"), "\xED\x9F\xBF");  // U+D7FF kept
    EXPECT_EQ(RemoveInvalidXMLChars("\xEE\x80\x80"), "\xEE\x80\x80");  // U+E000 kept
    EXPECT_EQ(RemoveInvalidXMLChars("\xED\xA0\x80"), "");              // encoded U+D800 dropped
    EXPECT_EQ(RemoveInvalidXMLChars("\xF0\x90\x80\x80"), "\xF0\x90\x80\x80");  // U+10000 kept
    EXPECT_EQ(RemoveInvalidXMLChars("\xF4\x8F\xBF\xBF"), "\xF4\x8F\xBF\xBF");  // U+10FFFF kept
    EXPECT_EQ(RemoveInvalidXMLChars("\xF4\x90\x80\x80"), "");  // past U+10FFFF: no character
    EXPECT_EQ(RemoveInvalidXMLChars(std::string("a\0b", 3)), "ab");
}

TEST(RemoveInvalidXMLChars, DropsMalformedBytesWithoutLosingNeighbours) {
    EXPECT_EQ(RemoveInvalidXMLChars("a\xFF"
                                    "b\xC0\xAF"
                                    "c\xD0"),
              "abc");  // stray, overlong, cut short
    EXPECT_EQ(RemoveInvalidXMLChars("\xD0Ж"), "Ж");
}

TEST(LabelDocumentXmlText, KeepsTheGroupSeparatorAsAReference) {
    EXPECT_EQ(LabelDocumentXmlText("a\x1D"
                                   "b\x01"
                                   "c\x1F"),
              "a&#29;bc");
    EXPECT_EQ(RemoveInvalidXMLChars("a\x1D"
                                    "b"),
              "ab");
}

}  // namespace
}  // namespace quorvane
