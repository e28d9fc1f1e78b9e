#include "addin/export_text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace quorvane {
namespace {

TEST(SameTextIgnoreCase, FoldsLatinAndCyrillic) {
    EXPECT_TRUE(SameTextIgnoreCase("codepage", "Codepage"));
    EXPECT_TRUE(SameTextIgnoreCase("CODEPAGE", "Codepage"));
    EXPECT_TRUE(SameTextIgnoreCase("шириназазора", "ШиринаЗазора"));
    EXPECT_TRUE(SameTextIgnoreCase("ШИРИНАЗАЗОРА", "ШиринаЗазора"));
    EXPECT_TRUE(SameTextIgnoreCase("ЁЛКА", "ёлка"));
    EXPECT_TRUE(SameTextIgnoreCase("2DШТРИХКОДКАРТИНКОЙ", "2DШтрихкодКартинкой"));
    EXPECT_TRUE(SameTextIgnoreCase("", ""));
}

TEST(SameTextIgnoreCase, ComparesWholeStrings) {
    EXPECT_FALSE(SameTextIgnoreCase("Порт", "Порты"));
    EXPECT_FALSE(SameTextIgnoreCase("Gap", "Ga"));
    EXPECT_FALSE(SameTextIgnoreCase("Модель", "Модаль"));
    EXPECT_FALSE(SameTextIgnoreCase("Gap", ""));
    EXPECT_FALSE(SameTextIgnoreCase("a\xFF", "a\xFE"));
    EXPECT_TRUE(SameTextIgnoreCase("a\xFF", "A\xFF"));
}

TEST(SameTextIgnoreCase, IndependentOfTheProcessLocale) {
    // A host may run in the plain C locale, where mbrtowc knows no Cyrillic.
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(SameTextIgnoreCase("РАЗРЕШЕНИЕ", "Разрешение"));
}

}  // namespace
}  // namespace quorvane
