#include "help/help_rtf.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/common/files.h"

namespace quorvane {
namespace {

std::size_t Count(const std::string& AText, const std::string& APart) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = AText.find(APart, at)) != std::string::npos; at += APart.size()) ++n;
    return n;
}

std::string NoPictures(const std::string&) { return {}; }

// The shipped help: every table row and every contents link survives, and each link to a
// section names a heading the window can find.
TEST(HelpRtfTest, TheHelpKeepsItsTablesLinksAndHeadings) {
    const std::string markdown = test::ReadFile(QUORVANE_SOURCE_DIR "/help/content/help.md");
    std::vector<std::string> pictures;
    const THelpRtf rtf = MarkdownToRtf(markdown, [&](const std::string& AName) {
        pictures.push_back(AName);
        return AName == "log-window.png" ? std::string("{\\pict PICTURE}") : std::string();
    });
    std::size_t tableRows = 0;
    for (std::size_t at = 0; (at = markdown.find("\n|", at)) != std::string::npos; ++at)
        if (markdown.compare(at + 1, 4, "|---") != 0) ++tableRows;
    EXPECT_EQ(Count(rtf.Rtf, "\\row\n"), tableRows);
    EXPECT_EQ(Count(rtf.Rtf, "\\trowd"), tableRows);
    EXPECT_EQ(Count(rtf.Rtf, "{\\pict PICTURE}"), 1u);
    EXPECT_EQ(pictures.size(), 4u);
    // A picture that cannot be shown leaves its description.
    EXPECT_NE(rtf.Rtf.find("[\\u1057?\\u1087?\\u1086?\\u1089?\\u1086?\\u1073?\\u1099? "), std::string::npos);

    std::set<std::string> headings;
    std::vector<std::string> sectionLinks;
    for (const THelpRtf::TMark& mark : rtf.Marks)
        if (mark.Heading)
            headings.insert(mark.Target);
        else if (mark.Target.starts_with("#"))
            sectionLinks.push_back(mark.Target.substr(1));
    EXPECT_EQ(sectionLinks.size(), 10u);
    for (const std::string& id : sectionLinks) EXPECT_TRUE(headings.count(id)) << id;
    ASSERT_FALSE(rtf.Marks.empty());
    EXPECT_EQ(rtf.Marks[0].Text, "Драйвер принтеров этикеток quorvane");
    EXPECT_EQ(rtf.Marks[1].Text, "Что делает драйвер");
    EXPECT_FALSE(rtf.Marks[1].Heading);
}

TEST(HelpRtfTest, EscapesTextAndCapturesWhatALinkShows) {
    const THelpRtf rtf = MarkdownToRtf("# A {b} \\ c\n\nSee [the *x* \xF0\x9F\x98\x80](http://h/) now.\n",
                                       NoPictures);
    EXPECT_NE(rtf.Rtf.find("A \\{b\\} \\\\ c"), std::string::npos);
    EXPECT_NE(rtf.Rtf.find("\\u-10179?\\u-8704?"), std::string::npos);  // U+1F600 as two halves
    ASSERT_EQ(rtf.Marks.size(), 2u);
    EXPECT_EQ(rtf.Marks[0].Target, "a-b--c");
    EXPECT_EQ(rtf.Marks[1].Text, "the x \xF0\x9F\x98\x80");
    EXPECT_EQ(rtf.Marks[1].Target, "http://h/");
    EXPECT_EQ(Count(rtf.Rtf, "{") - Count(rtf.Rtf, "\\{"), Count(rtf.Rtf, "}") - Count(rtf.Rtf, "\\}"));
}

// A 3x2 picture, top row red, bottom row blue, half-transparent in its last pixel: the bitmap
// holds the rows bottom-up in blue-green-red order, padded to four bytes, laid over white.
TEST(HelpRtfTest, APngBecomesABottomUpBitmap) {
    const unsigned char rgba[] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255,
                                  0,   0, 255, 255, 0, 0, 255, 255, 0, 0, 0, 0};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 3;
    image.height = 2;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> png(1024);
    png_alloc_size_t size = png.size();
    ASSERT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, rgba, 0, nullptr));
    const std::string rtf = PngToRtfPicture(std::string_view(reinterpret_cast<char*>(png.data()), size), 2);
    ASSERT_TRUE(rtf.starts_with("{\\pict\\dibitmap0\\picw3\\pich2\\picwgoal30\\pichgoal15\n")) << rtf;
    std::string hex = rtf.substr(rtf.find('\n') + 1);
    hex.erase(std::remove(hex.begin(), hex.end(), '\n'), hex.end());
    hex.pop_back();  // "}"
    EXPECT_EQ(hex.substr(0, 8), "28000000");
    EXPECT_EQ(hex.substr(80), "ff0000ff0000ffffff000000" "0000ff0000ff0000ff000000");
    EXPECT_EQ(PngToRtfPicture("not a picture", 100), "");
}

}  // namespace
}  // namespace quorvane
