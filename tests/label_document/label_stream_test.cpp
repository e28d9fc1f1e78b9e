#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addin/wide_string.h"
#include "driver/label_document.h"
#include "driver/label_pipeline.h"
#include "printer/tspl/printer_type_tspl.h"

namespace quorvane {
namespace {

// Every label's copy count and script, or the failure, with the code page that passes values
// through unchanged.
std::string Outcome(const TLabelDocument& ADocument, bool AJob = false) {
    TPrinterTSPL printer;
    TLabelTemplate labelTemplate;
    TDocumentSettings settings;
    settings.Codepage = "utf-8";
    std::string result;
    const auto keep = [&](TScriptObject&& AScript) {
        result += std::to_string(AScript.FQuantity) + "|" + AScript.FValue + "\n";
    };
    try {
        LoadTemplate(ADocument, labelTemplate, printer, settings);
        if (AJob) {
            TLabelJob job(ADocument, labelTemplate, printer, settings, {2, std::size_t{1} << 20, 0});
            job.Check();
            job.Build(keep);
        } else {
            FillLabels(ADocument, labelTemplate, printer, settings, keep);
        }
    } catch (const std::exception& error) {
        return std::string("error: ") + error.what();
    }
    return result;
}

std::string TreeOutcome(const std::string& AText) {
    try {
        const pugi::xml_document tree = ParseLabelDocument(AText);
        return Outcome(tree);
    } catch (const std::exception& error) {
        return std::string("error: ") + error.what();
    }
}

// Large outcomes are shown from where they part.
void ExpectSame(const std::string& AActual, const std::string& AExpected) {
    const auto [actual, expected] = std::mismatch(AActual.begin(), AActual.end(), AExpected.begin(), AExpected.end());
    const auto from = [](const std::string& AText, std::string::const_iterator AAt) {
        return AText.substr(static_cast<std::size_t>(AAt - AText.begin()), 200);
    };
    EXPECT_TRUE(AActual == AExpected) << "at " << actual - AActual.begin() << ": «" << from(AActual, actual)
                                      << "» instead of «" << from(AExpected, expected) << "»";
}

// What the streaming reader makes of AText, as UTF-8 and as the host's UTF-16: the same as
// the tree, read from the text or not.
void ExpectAsTree(const std::string& AText, bool AStreamed, const std::u16string& AWide = {}) {
    const std::string expected = TreeOutcome(AText);
    const std::u16string wide = AWide.empty() ? Utf8ToWide(AText) : AWide;
    for (const bool host : {false, true}) {
        SCOPED_TRACE(host ? "UTF-16" : "UTF-8");
        try {
            const TLabelDocument document = host ? ReadLabelDocument(wide) : ReadLabelDocument(AText);
            EXPECT_EQ(document.Streamed(), AStreamed);
            ExpectSame(Outcome(document), expected);
            if (AStreamed) ExpectSame(Outcome(document, true), expected);
        } catch (const std::exception& error) {
            EXPECT_FALSE(AStreamed) << error.what();
            ExpectSame(std::string("error: ") + error.what(), expected);
        }
    }
}

const std::string kHead =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1251\"?><Data><Formatting Width=\"30\" Height=\"20\">"
    "<UserData FieldName=\"u\"/><UserData FieldName=\"v\"/></Formatting><Label><Record FieldName=\"u\" "
    "Value=\"outside\"/></Label><Labels>";
const std::string kTail =
    "<label><Record FieldName=\"u\" Value=\"lower\"/></label><Other/></Labels><Formatting Width=\"1\"/>"
    "<Labels><Label><Record FieldName=\"u\" Value=\"second Labels\"/></Label></Labels></Data>";

// A marking code's group separators written raw and as references, the escape's own character,
// line ends and entities in values, and what a label may hold besides its records.
std::string Label(int AIndex) {
    return "<Label Quantity=\"" + std::to_string(AIndex % 3 + 1) + "\" Pad=\"" + std::string(AIndex % 17, 'p') +
           "\"><Record FieldName=\"u\" Value=\"0104&#29;21ab\x1D" "91&#x1d;X&#0029;\xEF\xB7\x90\xEF\xB7\x9D\"/>"
           "<!-- c --><?pi x?><![CDATA[<x>]]><Record FieldName=\"v\" Value=\"a&#13;&#10;b\r\nc\td&amp;&lt;&gt;"
           "&quot;&apos;\xF0\x9F\x98\x80\"><Record FieldName=\"u\" Value=\"deep\"/></Record>"
           "<record FieldName=\"u\" Value=\"later\"/></Label>";
}

std::string Document(int ALabels, std::size_t APadding = 0) {
    std::string text = kHead;
    if (APadding > 0) text += "<!--" + std::string(APadding - 7, '.') + "-->";
    for (int i = 0; i < ALabels; ++i) text += Label(i);
    return text + kTail;
}

// The same document shifted so that ANeedle straddles the end of the reader's first piece.
std::string Straddling(const std::string& ANeedle) {
    constexpr std::size_t kPiece = std::size_t{16} << 10;
    const std::string plain = Document(400);
    const std::size_t at = plain.rfind(ANeedle, kPiece - 10);
    return Document(400, kPiece - 2 - at);
}

TEST(LabelStream, ValuesReadFromTheTextAreThoseOfTheTree) {
    ExpectAsTree(Document(1), true);
    ExpectAsTree(Document(3000), true);
    for (const std::string needle : {"&#29;", "&#x1d;", "\xEF\xB7\x90", "\xF0\x9F\x98\x80", "\x1D"}) {
        SCOPED_TRACE(needle);
        const std::string text = Straddling(needle);
        ASSERT_EQ(text.find(needle, (std::size_t{16} << 10) - 2), (std::size_t{16} << 10) - 2);
        ExpectAsTree(text, true);
    }
    // In UTF-16 a character beyond the first plane is two units.
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::u16string wide = Utf8ToWide(Document(400));
    const std::size_t at = wide.rfind(Utf8ToWide(emoji), (std::size_t{16} << 10) - 10);
    const std::size_t padding = (std::size_t{16} << 10) - 1 - at;
    const std::string text = Document(400, padding);
    wide = Utf8ToWide(text);
    ASSERT_EQ(wide.find(Utf8ToWide(emoji), (std::size_t{16} << 10) - 1), (std::size_t{16} << 10) - 1);
    ExpectAsTree(text, true, wide);
}

// What expat refuses or would read otherwise is left to the tree: accepted as before, or
// refused with the tree's message; a fault at the very end is found before any label.
TEST(LabelStream, TextsTheStreamingReaderRefusesAreJudgedByTheTree) {
    for (const std::string& text : {
             "<!DOCTYPE Data [<!ENTITY e \"x\">]>" + Document(2),
             kHead + "<Label><Record FieldName=\"u\" Value=\"&nbsp;&e;\"/></Label>" + kTail,
             kHead + "<Label><Record FieldName=\"u\" Value=\"1\" Value=\"2\"/></Label>" + kTail,
             kHead + "<Label><Record FieldName=\"u\" Value=\"&#0;\"/></Label>" + kTail,
             kHead + "<Label><Record FieldName=\"u\" Value=\"&#xFFFE;&#1;\"/></Label>" + kTail,
             Document(3000).substr(0, Document(3000).size() - 7),
             Document(3000) + "<Data/>",
             std::string(),
         }) {
        SCOPED_TRACE(text.substr(0, 120));
        ExpectAsTree(text, false);
    }
}

}  // namespace
}  // namespace quorvane
