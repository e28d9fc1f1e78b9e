#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "errors/messages.h"
#include "printer/tspl/code_page.h"

namespace quorvane {
namespace {

TEST(CodePage, CyrillicLetterInEachFamily) {
    for (const auto& [codePage, bytes] :
         std::vector<std::pair<std::string, std::string>>{{"866", "\x86"},
                                                          {"1251", "\xC6"},
                                                          {"utf-8", "\xD0\x96"},
                                                          {"UTF-8", "\xD0\x96"},
                                                          {"65001", "\xD0\x96"},
                                                          {"932", "\x84\x47"}})
        EXPECT_EQ(TCodePageEncoder(codePage).Encode("Ж"), bytes) << codePage;
    EXPECT_EQ(TCodePageEncoder("1251").Encode("Цена: 120 ₽ №5"),
              "\xD6\xE5\xED\xE0: 120 ? \xB9"
              "5");
}

TEST(CodePage, UnrepresentableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(TCodePageEncoder("1252").Encode("aЖb"), "a?b");
    EXPECT_EQ(TCodePageEncoder("437").Encode("中文x"), "??x");
    // A stray byte that is no UTF-8 is one unknown character as well.
    EXPECT_EQ(TCodePageEncoder("1251").Encode("Ж\xFFЖ"), "\xC6?\xC6");
    // The encoder is reusable: no state leaks from one value into the next.
    const TCodePageEncoder encoder("1251");
    EXPECT_EQ(encoder.Encode("中Ж"), "?\xC6");
    EXPECT_EQ(encoder.Encode("Ж"), "\xC6");
}

TEST(CodePage, EveryCodePageOfTheSettingsListIsAvailable) {
    for (const char* number : {"437",  "737",  "850",  "851",  "852", "855",  "857",  "860",  "861",  "862",
                               "863",  "864",  "865",  "866",  "869", "1250", "1251", "1252", "1253", "1254",
                               "1255", "1256", "1257", "1258", "932", "936",  "949",  "950"}) {
        EXPECT_NO_THROW(TCodePageEncoder{number}) << number;
        EXPECT_EQ(TCodePageEncoder(number).Encode("A1 ?"), "A1 ?") << number;
    }
    // DOS Greek, which not every system converts by itself.
    EXPECT_EQ(TCodePageEncoder("851").Encode("Ωω€"), "\xD5\xFA?");
    EXPECT_EQ(DecodeCodePage("\xD5\xFA\x91", "851"), "Ωω\xEF\xBF\xBD");
}

// Each ISO 8859 page by a letter that sits elsewhere, or nowhere, in its neighbours.
TEST(CodePage, IsoPagesEncodeTheirOwnLetters) {
    for (const auto& [codePage, text, bytes] :
         std::vector<std::tuple<std::string, std::string, std::string>>{{"28591", "é½", "\xE9\xBD"},
                                                                        {"28592", "Ł", "\xA3"},
                                                                        {"28593", "Ħ", "\xA1"},
                                                                        {"28594", "ĸ", "\xA2"},
                                                                        {"28595", "Ж", "\xB6"},
                                                                        {"28596", "ع", "\xD9"},
                                                                        {"28597", "Ω", "\xD9"},
                                                                        {"28598", "א", "\xE0"},
                                                                        {"28599", "ğ", "\xF0"},
                                                                        {"28603", "ą", "\xE0"},
                                                                        {"28605", "€", "\xA4"}}) {
        try {
            EXPECT_EQ(TCodePageEncoder(codePage).Encode(text), bytes) << codePage;
        } catch (const std::runtime_error& error) {
            ADD_FAILURE() << codePage << ": " << error.what();
        }
    }
}

TEST(CodePage, BadSettings) {
    try {
        TCodePageEncoder encoder("cp1251");
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "'cp1251' is not a valid integer value");
    }
    try {
        TCodePageEncoder encoder("12345");
        FAIL();
    } catch (const TMessageError& error) {
        EXPECT_EQ(error.Id(), TMessage::CodePageNotSupported);
        EXPECT_EQ(error.what(), Message(TMessage::CodePageNotSupported, 12345));
    }
    EXPECT_THROW(TCodePageEncoder(""), std::runtime_error);
}

}  // namespace
}  // namespace quorvane
