#include "help/markdown_renderer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <glib.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/common/files.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using TEntries = std::vector<std::pair<std::string, std::string>>;

using test::ReadFile;

std::size_t Count(const std::string& AText, const std::string& APart) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = AText.find(APart, at)) != std::string::npos; at += APart.size()) ++n;
    return n;
}

// "%D0%BB" -> the byte D0 BB, as a browser reads a link's fragment.
std::string PercentDecoded(const std::string& AText) {
    std::string out;
    for (std::size_t i = 0; i < AText.size(); ++i) {
        if (AText[i] == '%' && i + 2 < AText.size()) {
            out += static_cast<char>(std::stoi(AText.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += AText[i];
        }
    }
    return out;
}

// A fresh TMPDIR per test, so every folder a renderer leaves behind is seen.
class MarkdownRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-help-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        FRoot = pattern;
        FTmp = FRoot / "tmp";
        fs::create_directory(FTmp);
        const char* old = std::getenv("TMPDIR");
        if (old != nullptr) FOldTmp = old;
        setenv("TMPDIR", FTmp.c_str(), 1);
    }
    void TearDown() override {
        if (FOldTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", FOldTmp.c_str(), 1);
        fs::remove_all(FRoot);
    }

    std::string MakeArchive(const TEntries& AEntries) {
        const std::string path = (FRoot / "in.zip").string();
        int error = 0;
        zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        EXPECT_NE(zip, nullptr);
        for (const auto& [name, bytes] : AEntries) {
            zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
            EXPECT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0) << name;
        }
        EXPECT_EQ(zip_close(zip), 0);
        return ReadFile(path);
    }

    bool TmpIsEmpty() const { return fs::is_empty(FTmp); }

    // Renders an archive and keeps what the viewer saw while the page was shown.
    struct TShown {
        std::string Page;
        std::string Caption;
        std::string Bytes;
        std::vector<std::string> Files;
        mode_t FolderMode = 0;
    };
    TShown RenderAndCapture(const TEntries& AEntries, const std::string& ACaption = "Справка") {
        const std::string archive = MakeArchive(AEntries);
        TShown shown;
        TMarkdownRenderer renderer;
        renderer.RenderArchive(archive, ACaption, [&](const std::string& APage, const std::string& ACap) {
            shown.Page = APage;
            shown.Caption = ACap;
            shown.Bytes = ReadFile(APage);
            for (const auto& e : fs::recursive_directory_iterator(fs::path(APage).parent_path()))
                shown.Files.push_back(fs::relative(e.path(), fs::path(APage).parent_path()).string());
            std::sort(shown.Files.begin(), shown.Files.end());
            struct stat st {};
            stat(fs::path(APage).parent_path().c_str(), &st);
            shown.FolderMode = st.st_mode & 07777;
        });
        return shown;
    }

    fs::path FRoot;
    fs::path FTmp;
    std::string FOldTmp;
};

const char kBom[] = "\xEF\xBB\xBF";

// "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}", upper-case hex, Y one of 8 9 A B.
bool IsRegistryGuid(const std::string& AText) {
    if (AText.size() != 38 || AText.front() != '{' || AText.back() != '}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const char c = AText[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return AText[15] == '4' && std::string("89AB").find(AText[20]) != std::string::npos;
}

// The relative file references (src="..." and href="...") of a page.
std::vector<std::string> FileReferences(const std::string& APage) {
    std::vector<std::string> refs;
    for (const std::string attr : {"src=\"", "href=\""}) {
        for (std::size_t at = APage.find(attr); at != std::string::npos; at = APage.find(attr, at + 1)) {
            const std::size_t start = at + attr.size();
            const std::string ref = APage.substr(start, APage.find('"', start) - start);
            if (ref.find_first_of("#:") == std::string::npos) refs.push_back(ref);
        }
    }
    return refs;
}

TEST_F(MarkdownRendererTest, PageLinksTheStyleSheetAndSitsBesideThePictures) {
    const TShown shown = RenderAndCapture({{"help.md", "# Title\n\nText ![a](pic.png)\n"},
                                           {"github.css", "body{}"},
                                           {"pic.png", "PNG"},
                                           {"img/b.png", "PNG"}});
    EXPECT_EQ(shown.Bytes, std::string(kBom) +
                               "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<link href=\"github.css\" "
                               "rel=\"stylesheet\">\r\n</head>\r\n<body>\r\n<h1 id=\"title\">Title</h1>\n"
                               "<p>Text <img src=\"pic.png\" alt=\"a\" /></p>\n\r\n</body>\r\n</html>");
    EXPECT_EQ(shown.Caption, "Справка");
    EXPECT_EQ(fs::path(shown.Page).filename(), "md.html");
    EXPECT_EQ(shown.Files, (std::vector<std::string>{"github.css", "help.md", "img", "img/b.png", "md.html",
                                                     "md.zip", "pic.png"}));
    EXPECT_EQ(shown.FolderMode, 0700u);
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(MarkdownRendererTest, WithoutStyleSheetThePageIsTheHtmlAlone) {
    const TShown shown = RenderAndCapture({{"a.md", "*x*\n"}});
    EXPECT_EQ(shown.Bytes, std::string(kBom) + "<p><em>x</em></p>\n");
}

TEST_F(MarkdownRendererTest, SeveralSourcesTheFirstByNameIsUsedWhateverTheArchiveOrder) {
    TEntries entries{{"b.md", "# B\n"}, {"a.md", "# A\n"}, {"d.md", "# D\n"}, {"c.md", "# C\n"},
                     {"b.css", "b{}"},  {"d.css", "d{}"},  {"a.css", "a{}"},  {"c.css", "c{}"}};
    for (int order = 0; order < 2; ++order) {
        const TShown shown = RenderAndCapture(entries);
        EXPECT_NE(shown.Bytes.find("<link href=\"a.css\""), std::string::npos) << shown.Bytes;
        EXPECT_NE(shown.Bytes.find("<h1 id=\"a\">A</h1>"), std::string::npos) << shown.Bytes;
        std::reverse(entries.begin(), entries.end());
    }
}

TEST_F(MarkdownRendererTest, ByteOrderMarkSelectsTheEncoding) {
    const std::string utf8 = "# Справка\n";
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (const char16_t c : std::u16string(u"# Справка\n")) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    for (const std::string& md : {utf8, std::string(kBom) + utf8, le, be}) {
        const TShown shown = RenderAndCapture({{"help.md", md}});
        EXPECT_EQ(shown.Bytes, std::string(kBom) + "<h1 id=\"справка\">Справка</h1>\n");
    }
    EXPECT_EQ(DecodeMarkdownText(std::string(kBom)), "");
}

TEST_F(MarkdownRendererTest, EachRenderUsesItsOwnFolderAndRemovesIt) {
    const TShown first = RenderAndCapture({{"help.md", "a"}});
    const TShown second = RenderAndCapture({{"help.md", "b"}});
    const fs::path a = fs::path(first.Page).parent_path(), b = fs::path(second.Page).parent_path();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.parent_path(), FTmp);
    EXPECT_TRUE(IsRegistryGuid(a.filename().string())) << a;
    EXPECT_TRUE(IsRegistryGuid(b.filename().string())) << b;
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(MarkdownRendererTest, FailuresLeaveNoFolderBehind) {
    const std::string good = MakeArchive({{"help.md", "a"}});
    {
        TMarkdownRenderer renderer;
        EXPECT_THROW(renderer.RenderArchive(good, "c",
                                            [](const std::string&, const std::string&) {
                                                throw std::runtime_error("viewer failed");
                                            }),
                     std::runtime_error);
    }
    EXPECT_TRUE(TmpIsEmpty());

    const std::string noMarkdown = MakeArchive({{"github.css", "x"}, {"notes.txt", "y"}});
    bool shown = false;
    try {
        TMarkdownRenderer renderer;
        renderer.RenderArchive(noMarkdown, "c",
                               [&](const std::string&, const std::string&) { shown = true; });
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Mardown file not found");
    }
    EXPECT_FALSE(shown);
    EXPECT_TRUE(TmpIsEmpty());

    TMarkdownRenderer renderer;
    EXPECT_THROW(renderer.RenderArchive("not a zip", "c", [](const std::string&, const std::string&) {}),
                 std::runtime_error);
}

TEST_F(MarkdownRendererTest, MissingResourceFailsBeforeAnyFolderExists) {
    EXPECT_FALSE(TMarkdownRenderer::SourceExist(""));
    EXPECT_FALSE(TMarkdownRenderer::SourceExist("no-such-help"));
    EXPECT_TRUE(TMarkdownRenderer::SourceExist("HELP"));
    bool shown = false;
    try {
        TMarkdownRenderer::Render("no-such-help", "c",
                                  [&](const std::string&, const std::string&) { shown = true; });
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "File not found: no-such-help");
    }
    EXPECT_FALSE(shown);
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(MarkdownRendererTest, EntriesLeavingTheFolderAreRefused) {
    for (const std::string name :
         {"../evil.md", "/abs.md", "sub/../../evil.md", "..\\evil.md", "C:/evil.md"}) {
        const std::string archive = MakeArchive({{"help.md", "a"}, {name, "x"}});
        TMarkdownRenderer renderer;
        try {
            renderer.RenderArchive(archive, "c", [](const std::string&, const std::string&) {});
            ADD_FAILURE() << name << " accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "Invalid path in the help archive: " + name);
        }
        // Nothing of the archive was unpacked, not even its harmless entry.
        EXPECT_FALSE(fs::exists(fs::path(renderer.TempDirectory()) / "help.md")) << name;
    }
    EXPECT_FALSE(fs::exists(FRoot / "evil.md"));
    EXPECT_FALSE(fs::exists(FTmp / "evil.md"));
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(MarkdownRendererTest, EmbeddedHelpRendersWithItsStyleSheetAndPictures) {
    std::string page, bytes;
    std::vector<std::string> missing;
    std::size_t refs = 0;
    TMarkdownRenderer::Render("help", "Справка", [&](const std::string& APage, const std::string&) {
        page = APage;
        bytes = ReadFile(APage);
        for (const std::string& ref : FileReferences(bytes))
            if (!fs::exists(fs::path(APage).parent_path() / ref)) missing.push_back(ref);
        refs = FileReferences(bytes).size();
    });
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(bytes.rfind(std::string(kBom) + "<!DOCTYPE html>\r\n", 0), 0u);
    EXPECT_NE(bytes.find("<link href=\"github.css\" rel=\"stylesheet\">"), std::string::npos);
    EXPECT_GE(refs, 4u);  // the style sheet and the pictures
    EXPECT_TRUE(missing.empty()) << missing.front();
    EXPECT_TRUE(TmpIsEmpty());

    // The help's tables are tables, not "|" text; each contents entry leads to its section, and
    // each section has its entry.
    EXPECT_GE(Count(bytes, "<table>"), 3u);
    EXPECT_EQ(Count(bytes, "|---"), 0u);
    std::set<std::string> targets;
    for (std::size_t at = 0; (at = bytes.find("href=\"#", at)) != std::string::npos;) {
        at += 7;
        const std::string target = PercentDecoded(bytes.substr(at, bytes.find('"', at) - at));
        EXPECT_NE(bytes.find(" id=\"" + target + "\""), std::string::npos) << target;
        targets.insert(target);
    }
    std::size_t sections = 0;
    for (std::size_t at = 0; (at = bytes.find("<h2 id=\"", at)) != std::string::npos; ++sections) {
        at += 8;
        const std::string id = bytes.substr(at, bytes.find('"', at) - at);
        EXPECT_TRUE(targets.contains(id)) << "the contents leave out the section " << id;
    }
    EXPECT_GE(sections, 8u);
    EXPECT_NE(bytes.find("<h2 id=\"лог-драйвера\">Лог драйвера</h2>"), std::string::npos);
}

TEST_F(MarkdownRendererTest, TablesStrikethroughAndAutolinksStaySafe) {
    const fs::path md = FRoot / "doc.md", out = FRoot / "doc.html";
    std::ofstream(md) << "# A b\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\n~~old~~ https://example.org/x\n\n"
                         "<script>alert(1)</script>\n\n[x](javascript:alert(1))\n\n## A b\n";
    TMarkdownRenderer::ConvertToHtml(md.string(), out.string(), "");
    const std::string html = ReadFile(out);
    EXPECT_NE(html.find("<td>1</td>"), std::string::npos) << html;
    EXPECT_NE(html.find("<del>old</del>"), std::string::npos) << html;
    EXPECT_NE(html.find("<a href=\"https://example.org/x\">"), std::string::npos) << html;
    EXPECT_EQ(html.find("<script>"), std::string::npos) << html;
    EXPECT_EQ(html.find("javascript:"), std::string::npos) << html;
    EXPECT_NE(html.find("<h1 id=\"a-b\">"), std::string::npos) << html;
    EXPECT_NE(html.find("<h2 id=\"a-b-1\">"), std::string::npos) << html;
}

// A heading cut inside a UTF-8 sequence: the page holds the replacement character instead.
TEST_F(MarkdownRendererTest, InvalidUtf8BecomesTheReplacementCharacter) {
    const fs::path md = FRoot / "doc.md", out = FRoot / "doc.html";
    std::ofstream(md, std::ios::binary) << "# A\xFC\n\nx\xC3\n\n## B\xF0\x9F";
    TMarkdownRenderer::ConvertToHtml(md.string(), out.string(), "");
    const std::string html = ReadFile(out);
    EXPECT_TRUE(g_utf8_validate(html.data(), static_cast<gssize>(html.size()), nullptr)) << html;
    EXPECT_NE(html.find("<h1 id=\"a\">A\uFFFD</h1>"), std::string::npos) << html;
    EXPECT_NE(html.find("<h2 id=\"b\">B\uFFFD</h2>"), std::string::npos) << html;
}

TEST_F(MarkdownRendererTest, ConvertToHtmlChecksItsFilesAndLinksTheBareStyleSheetName) {
    const fs::path md = FRoot / "doc.md", css = FRoot / "sub" / "style.css", out = FRoot / "doc.html";
    std::ofstream(md) << "text\n";
    try {
        TMarkdownRenderer::ConvertToHtml((FRoot / "none.md").string(), out.string(), "");
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "File not found: " + (FRoot / "none.md").string());
    }
    try {
        TMarkdownRenderer::ConvertToHtml(md.string(), out.string(), css.string());
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "File not found: " + css.string());
    }
    EXPECT_FALSE(fs::exists(out));

    fs::create_directory(css.parent_path());
    std::ofstream(css) << "p{}";
    std::ofstream(out) << "an old, longer page that must not survive";
    TMarkdownRenderer::ConvertToHtml(md.string(), out.string(), css.string());
    EXPECT_EQ(ReadFile(out),
              std::string(kBom) +
                  "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<link href=\"style.css\" "
                  "rel=\"stylesheet\">\r\n</head>\r\n<body>\r\n<p>text</p>\n\r\n</body>\r\n</html>");
    TMarkdownRenderer::ConvertToHtml(md.string(), out.string(), "");
    EXPECT_EQ(ReadFile(out), std::string(kBom) + "<p>text</p>\n");
}

}  // namespace
}  // namespace quorvane
