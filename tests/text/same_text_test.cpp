#include "text/same_text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace quorvane {
namespace {

TEST(SameTextIgnoreCase, FoldsLatinAndCyrillicAndComparesWholeStrings) {
    const struct {
        const char* A;
        const char* B;
        bool Same;
    } cases[] = {
        {"codepage", "Codepage", true},
        {"CODEPAGE", "Codepage", true},
        {"шириназазора", "ШиринаЗазора", true},
        {"ШИРИНАЗАЗОРА", "ШиринаЗазора", true},
        {"ЁЛКА", "ёлка", true},
        {"2DШТРИХКОДКАРТИНКОЙ", "2DШтрихкодКартинкой", true},
        {"", "", true},
        {"Порт", "Порты", false},
        {"Gap", "Ga", false},
        {"Модель", "Модаль", false},
        {"Gap", "", false},
        // Bytes that are not UTF-8 match only themselves.
        {"a\xFF", "a\xFE", false},
        {"a\xFF", "A\xFF", true},
    };
    for (const auto& c : cases) EXPECT_EQ(SameTextIgnoreCase(c.A, c.B), c.Same) << c.A << " / " << c.B;
}

TEST(SameTextIgnoreCase, IndependentOfTheProcessLocale) {
    // A host may run in the plain C locale, where mbrtowc knows no Cyrillic.
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(SameTextIgnoreCase("РАЗРЕШЕНИЕ", "Разрешение"));
}

}  // namespace
}  // namespace quorvane
