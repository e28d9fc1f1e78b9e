#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/label_document.h"
#include "errors/messages.h"
#include "printer/tspl/code_page.h"
#include "printer/tspl/printer_type_tspl.h"

namespace quorvane {
namespace {

pugi::xml_document Parse(const std::string& AText) { return ParseLabelDocument(AText); }

TDocumentSettings Defaults() { return {}; }

// The labels as the template and the values assemble them, before the printer language cuts
// each BITMAP down to its ink (tested with the language): the bytes these tests look at.
std::vector<TScriptObject> AssembledLabels(const pugi::xml_document& ADocument, const TLabelTemplate& ATemplate,
                                           TPrinterTypeBase& APrinter) {
    const TLabelDocument document(ADocument);
    PrepareLabels(document, ATemplate, APrinter);
    TLabelBuilder builder(ATemplate, APrinter, nullptr, true);
    std::vector<TScriptObject> scripts;
    std::size_t number = 0;
    const std::unique_ptr<TLabelCursor> labels = document.Labels();
    for (TLabelNode label = labels->Next(); label; label = labels->Next())
        scripts.push_back(builder.Build(label.Node, ++number));
    return scripts;
}

// Builds the template and fills the labels of one document.
struct TRun {
    TPrinterTSPL Printer;
    TLabelTemplate Template;
    TDocumentSettings Settings = Defaults();

    std::vector<TScriptObject> Print(const std::string& ADocument) {
        const pugi::xml_document document = Parse(ADocument);
        LoadTemplate(document, Template, Printer, Settings);
        return AssembledLabels(document, Template, Printer);
    }

    std::string LoadError(const std::string& ADocument) {
        try {
            LoadTemplate(Parse(ADocument), Template, Printer, Settings);
        } catch (const std::exception& error) {
            return error.what();
        }
        return "no error";
    }
};

std::string Doc(const std::string& AFormatting, const std::string& ALabels,
                const std::string& ASize = "Width=\"30\" Height=\"20\"") {
    return "<Data><Formatting " + ASize + ">" + AFormatting + "</Formatting><Labels>" + ALabels +
           "</Labels></Data>";
}

std::vector<std::string> SplitLines(const std::string& AScript) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = AScript.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(AScript.substr(start, at - start));
    EXPECT_EQ(start, AScript.size()) << "script does not end with CR LF";
    return lines;
}

TEST(LabelDocument, WorkedExampleByteForByte) {
    TRun run;
    const auto scripts =
        run.Print(Doc("<Text FieldName=\"Name\" Left=\"1\" Top=\"2\" Width=\"30\" Height=\"20\"/>",
                      "<Label Quantity=\"2\"><Record FieldName=\"Name\" Value=\"Молоко 3,2%\"/></Label>"));

    const TFieldObject* field = run.Template.FindField("Name");
    ASSERT_NE(field, nullptr);
    const std::string& token = field->FieldValue;
    ASSERT_EQ(token.size(), 38U);
    EXPECT_EQ(token.find_first_not_of("0123456789ABCDEF-{}"), std::string::npos);
    const std::string head =
        "SIZE 30 mm,20 mm\r\nGAP 3 mm,0 mm\r\nSPEED 2\r\nDENSITY 7\r\n"
        "DIRECTION 0, 0\r\nCLS\r\nCODEPAGE 1251\r\nBITMAP 8,16,30,160,1,";
    EXPECT_EQ(run.Template.Text(), head + token + "\r\nPRINT {2180C648-B6D4-4E65-9661-15B4B9D8D3FC}\r\n");

    const std::string bitmap =
        BitmapData(run.Printer.GetGraphicText("Молоко 3,2%", 30, 20, TRotation::r0, 0, "", "", "", "", false));
    ASSERT_EQ(bitmap.size(), 4800U);
    ASSERT_EQ(scripts.size(), 1U);
    EXPECT_EQ(scripts[0].FQuantity, 2);
    EXPECT_EQ(scripts[0].FValue, head + bitmap + "\r\nPRINT 2\r\n");
}

TEST(Attributes, Integers) {
    const auto doc = Parse(
        "<a d='12' s=' -7\t' h1='$1F' h2='0x1f' h3='-$10' m='$FFFFFFFF' "
        "f='1.5' e='' w='12abc' big='2147483648' neg='-2147483648' p='+3'/>");
    const pugi::xml_node a = doc.child("a");
    EXPECT_EQ(AttrToInt(a, "d", 0), 12);
    EXPECT_EQ(AttrToInt(a, "s", 0), -7);
    EXPECT_EQ(AttrToInt(a, "h1", 0), 31);
    EXPECT_EQ(AttrToInt(a, "h2", 0), 31);
    EXPECT_EQ(AttrToInt(a, "h3", 0), -16);
    EXPECT_EQ(AttrToInt(a, "m", 0), -1);
    EXPECT_EQ(AttrToInt(a, "f", 5), 5);
    EXPECT_EQ(AttrToInt(a, "e", 5), 5);
    EXPECT_EQ(AttrToInt(a, "w", 5), 5);
    EXPECT_EQ(AttrToInt(a, "big", 5), 5);
    EXPECT_EQ(AttrToInt(a, "neg", 5), -2147483647 - 1);
    EXPECT_EQ(AttrToInt(a, "p", 5), 3);
    EXPECT_EQ(AttrToInt(a, "absent", 9), 9);
}

TEST(Attributes, FloatsAndBooleans) {
    const auto doc = Parse(
        "<a p='30.5' c='30,5' e=' 2.5e1 ' x='1e' two='1,5.5' t='TRUE' f='false' "
        "o='1' y='yes' b=' true'/>");
    const pugi::xml_node a = doc.child("a");
    EXPECT_DOUBLE_EQ(AttrToFloat(a, "p", -1), 30.5);
    EXPECT_DOUBLE_EQ(AttrToFloat(a, "c", -1), 30.5);
    EXPECT_DOUBLE_EQ(AttrToFloat(a, "e", -1), 25);
    EXPECT_DOUBLE_EQ(AttrToFloat(a, "x", -1), -1);
    EXPECT_DOUBLE_EQ(AttrToFloat(a, "two", -1), -1);
    EXPECT_TRUE(AttrToBool(a, "t", false));
    EXPECT_FALSE(AttrToBool(a, "f", true));
    EXPECT_TRUE(AttrToBool(a, "o", true));
    EXPECT_FALSE(AttrToBool(a, "y", false));
    EXPECT_FALSE(AttrToBool(a, "b", false));  // not trimmed
    EXPECT_TRUE(AttrToBool(a, "absent", true));
}

TEST(LabelDocument, MillimetresRoundHalfToEven) {
    for (const auto& [width, expected] : std::vector<std::pair<std::string, std::string>>{
             {"30.4", "SIZE 30 mm"}, {"30.5", "SIZE 30 mm"}, {"31.5", "SIZE 32 mm"}}) {
        TRun run;
        const auto scripts = run.Print(Doc("", "<Label/>", "Width=\"" + width + "\" Height=\"20\""));
        EXPECT_EQ(SplitLines(scripts.at(0).FValue)[0], expected + ",20 mm") << width;
    }
}

// A point and a comma both separate decimals under any regional settings, halves still to even.
TEST(LabelDocument, EitherDecimalSeparatorUnderAnyRegionalSettings) {
    const char* saved = std::getenv("LC_ALL");
    const std::string previous = saved ? saved : "";
    for (const char* locale : {"ru_RU.UTF-8", "C"}) {
        setenv("LC_ALL", locale, 1);
        TRun run;
        const auto scripts =
            run.Print(Doc("<Text FieldName=\"a\" Left=\"1,5\" Top=\"2.5\" Width=\"30,4\" Height=\"10.5\"/>",
                          "<Label Quantity=\"1\"/>", "Width=\"31.5\" Height=\"20,5\""));
        const auto lines = SplitLines(scripts.at(0).FValue);
        EXPECT_EQ(lines[0], "SIZE 32 mm,20 mm") << locale;
        EXPECT_EQ(lines[7].substr(0, 22), "BITMAP 16,16,30,80,1,\xFF") << locale;
    }
    if (saved)
        setenv("LC_ALL", previous.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST(LabelDocument, ChecksInOrderWithTheirTexts) {
    const std::string size = MessageText(TMessage::LabelSizeInvalid);
    const std::string name = MessageText(TMessage::FieldNameEmpty);
    const std::string left = MessageText(TMessage::FieldLeftMissing);
    const std::string top = MessageText(TMessage::FieldTopMissing);
    // Each message: the check's text, then the element, attribute and value that failed it.
    const struct {
        std::string document;
        const std::string& text;
        std::string context;
    } cases[] = {
        {Doc("<Text/>", "", "Width=\"30\""), size, "нет атрибута Height"},
        {Doc("", "", "Width=\"-1\" Height=\"20\""), size, "Width=\"-1\""},
        {Doc("", "", "Width=\"abc\" Height=\"20\""), size, "Width=\"abc\""},
        {Doc("", "", "Width=\"30\" Height=\"20;5\""), size, "Height=\"20;5\""},
        {Doc("<Text Left=\"x\"/>", ""), name, "элемент Text № 1 в Formatting, нет атрибута FieldName"},
        {Doc("<UserData FieldName=\"u\"/><Image FieldName=\"\" Left=\"1\" Top=\"1\"/>", ""), name,
         "элемент Image № 2 в Formatting, FieldName=\"\""},
        {Doc("<Text FieldName=\"a\"/>", ""), left, "элемент Text «a», нет атрибута Left"},
        {Doc("<Text FieldName=\"a\" Left=\"-1\" Top=\"1\"/>", ""), left, "элемент Text «a», Left=\"-1\""},
        {Doc("<TEXT FieldName=\"a\" Left=\"-1.4\" Top=\"1\"/>", ""), left, "элемент TEXT «a», Left=\"-1.4\""},
        {Doc("<Image FieldName=\"a\" Left=\"0\"/>", ""), top, "элемент Image «a», нет атрибута Top"},
        {Doc("<Barcode FieldName=\"b\" Type=\"code128\" Orientation=\"90\" "
             "Top=\"1\" Width=\"40\" Height=\"10\"/>",
             ""),
         left, "элемент Barcode «b», нет атрибута Left"},
        {Doc("<UserData Value=\"CLS\"/>", ""), name,
         "элемент UserData № 1 в Formatting, нет атрибута FieldName"},
    };
    TRun run;
    for (const auto& c : cases) EXPECT_EQ(run.LoadError(c.document), c.text + ": " + c.context);
    EXPECT_EQ(run.LoadError(Doc("<UserData FieldName=\"u\"/><Text FieldName=\"t\" Left=\"0\" "
                                "Top=\"0\"/>",
                                "")),
              "no error");
}

TEST(LabelDocument, ElementNamesAndMissingParts) {
    TRun run;
    const auto scripts = run.Print(
        "<Root><Formatting Width=\"30\" Height=\"20\"><TEXT FieldName=\"a\" Left=\"0\" Top=\"0\" "
        "Width=\"1\" Height=\"1\"/><text FieldName=\"b\" Left=\"1\" Top=\"0\" Width=\"1\" "
        "Height=\"1\"/><Other FieldName=\"c\"/><!-- note --></Formatting><Labels>"
        "<LABEL><record FieldName=\"a\" Value=\"x\"/></LABEL><label Quantity=\"$A\"/>"
        "<Sheet/></Labels></Root>");
    EXPECT_EQ(run.Template.FieldCount(), 2U);
    ASSERT_EQ(scripts.size(), 2U);
    EXPECT_EQ(scripts[0].FQuantity, 1);
    EXPECT_EQ(SplitLines(scripts[0].FValue).back(), "PRINT 1");
    EXPECT_EQ(scripts[1].FQuantity, 10);

    EXPECT_EQ(run.LoadError("<Data><formatting Width=\"30\" Height=\"20\"/><Labels/></Data>"),
              "В документе этикеток нет элемента Formatting");
    const auto noLabels = Parse("<Data><Formatting Width=\"30\" Height=\"20\"/></Data>");
    LoadTemplate(noLabels, run.Template, run.Printer, run.Settings);
    EXPECT_THROW(FillLabels(noLabels, run.Template, run.Printer, run.Settings), std::runtime_error);
}

TEST(LabelDocument, ParsingDropsForbiddenCharactersAndReportsErrors) {
    const auto doc = Parse("<a v='x\xF0\x9F\x98\x80y\x01z&#65;'><!-- &#0; --><![CDATA[&#x0;]]></a>");
    EXPECT_STREQ(doc.child("a").attribute("v").value(), "x\xF0\x9F\x98\x80yzA");  // the emoji stays, the control goes
    // Russian, with the line and the column in characters where the parser stopped.
    const std::pair<const char*, std::string> broken[] = {
        {"<a><b></a>", "закрывающий тег не соответствует открывающему, строка 1, столбец 9"},
        {"<Data>\n  <Formatting Ширина=\"30\" Height=30/>\n</Data>",
         "ошибка в атрибуте элемента (значение должно быть в кавычках, после имени — знак «=»), строка 2, столбец 34"},
        {"", "в документе нет ни одного элемента, строка 1, столбец 1"},
        // Counted as written: the group separator became "&#29;" and the U+0001 was dropped.
        {"<a v='\x1D\x01'><b></a>", "закрывающий тег не соответствует открывающему, строка 1, столбец 16"},
        // The parser would end the value at the NUL: a barcode would print without the rest.
        {"<a>\n<b v='AB&#x00;CD'/><!-- &#0; --></a>",
         "ссылка на символ с кодом 0 (&#0;), которого не может быть в XML, строка 2, столбец 9"},
    };
    for (const auto& [text, reason] : broken) {
        try {
            Parse(text);
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), "Документ этикеток не является правильным XML: " + reason);
        }
    }
}

TEST(LabelDocument, UserDataInTheCodepageSetting) {
    EXPECT_EQ(TCodePageEncoder("866").Encode("Ж"), "\x86");
    EXPECT_EQ(TCodePageEncoder("utf-8").Encode("Ж"), "\xD0\x96");
    EXPECT_EQ(TCodePageEncoder("1251").Encode("Ж"), "\xC6");
    EXPECT_THROW(TCodePageEncoder("Cyrillic"), std::runtime_error);

    const std::string doc =
        Doc("<UserData FieldName=\"u\"/><UserData FieldName=\"s\" "
            "Static=\"true\" Value=\"REM Ж\"/>",
            "<Label Quantity=\"1\"><Record FieldName=\"u\" "
            "Value=\"TEXT 0,0,&quot;3&quot;,0,1,1,&quot;Ж&quot;\"/></Label>");
    for (const auto& [codepage, letter] : std::vector<std::pair<std::string, std::string>>{
             {"866", "\x86"}, {"utf-8", "\xD0\x96"}, {"1251", "\xC6"}}) {
        TRun run;
        run.Settings.Codepage = codepage;
        const auto lines = SplitLines(run.Print(doc).at(0).FValue);
        ASSERT_EQ(lines.size(), 10U);
        // Raw commands stay raw: quotes are not escaped.
        EXPECT_EQ(lines[7], "TEXT 0,0,\"3\",0,1,1,\"" + letter + "\"") << codepage;
        EXPECT_EQ(lines[8], "REM " + letter) << codepage;
    }
    TRun bad;
    bad.Settings.Codepage = "win";
    try {
        bad.Print(doc);
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "'win' is not a valid integer value");
    }
}

TEST(LabelDocument, StaticFieldsAreRenderedOnceAndIgnoreRecords) {
    TRun run;
    const auto scripts =
        run.Print(Doc("<Barcode FieldName=\"b\" Type=\"ean13\" Static=\"true\" Value=\"4601234567890\" "
                      "Left=\"0\" Top=\"1\" Height=\"10\"/><Image FieldName=\"i\" Static=\"true\" Left=\"0\" "
                      "Top=\"0\" Border=\"left\"/>",
                      "<Label Quantity=\"3\"><Record FieldName=\"b\" Value=\"1\"/><Record FieldName=\"i\" "
                      "Value=\"!!\"/></Label>"));
    const auto lines = SplitLines(scripts.at(0).FValue);
    ASSERT_EQ(lines.size(), 9U);
    EXPECT_EQ(lines[7], "BARCODE 0,8,\"EAN13\",80,0,0,2,2,\"4601234567890\"");
    EXPECT_EQ(lines[8], "PRINT 3");
}

// An inventory of every kind of field, non-static.
const std::string kAllKinds =
    "<Text FieldName=\"t\" Left=\"0\" Top=\"0\" Width=\"2\" Height=\"1\"/>"
    "<Image FieldName=\"i\" Left=\"1\" Top=\"1\" Width=\"4\" Height=\"4\"/>"
    "<Barcode FieldName=\"b\" Type=\"code128\" Left=\"2\" Top=\"2\" Width=\"30\" Height=\"5\"/>"
    "<UserData FieldName=\"u\"/>";

// TSPL with bare LF line ends: the template and the labels must take their line ends from the
// language, not assume TSPL's.
class TLineFeedPrinter : public TPrinterTSPL {
public:
    std::string_view LineEnd() const override { return "\n"; }
};

TEST(LabelDocument, LineEndsAreTheLanguages) {
    const std::string document =
        Doc(kAllKinds,
            "<Label Quantity=\"2\"><Record FieldName=\"t\" Value=\"x\"/><Record FieldName=\"b\" Value=\"B1\"/>"
            "<Record FieldName=\"u\" Value=\"CLS\"/></Label>");
    TRun crlf;
    const auto expected = crlf.Print(document);
    TLineFeedPrinter printer;
    TLabelTemplate lineFeedTemplate;
    const pugi::xml_document parsed = Parse(document);
    LoadTemplate(parsed, lineFeedTemplate, printer, Defaults());
    const auto scripts = AssembledLabels(parsed, lineFeedTemplate, printer);
    const auto toLineFeeds = [](std::string AText) {
        for (std::size_t at; (at = AText.find("\r\n")) != std::string::npos;) AText.replace(at, 2, "\n");
        return AText;
    };
    // The template holds tokens only here, no raster bytes that might be a CR.
    const std::string lineFeedText = lineFeedTemplate.Text();
    const std::string crlfText = crlf.Template.Text();
    EXPECT_EQ(lineFeedText.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(lineFeedText.begin(), lineFeedText.end(), '\n'),
              std::count(crlfText.begin(), crlfText.end(), '\n'));
    ASSERT_EQ(scripts.size(), 1U);
    EXPECT_EQ(scripts[0].FValue, toLineFeeds(expected.at(0).FValue));
}

TEST(LabelDocumentFixes, FieldsWithoutARecordPrintEmpty) {
    TRun run;
    const auto scripts =
        run.Print(Doc(kAllKinds + "<Text FieldName=\"dup\" Left=\"0\" Top=\"0\" Width=\"1\" Height=\"1\"/>"
                                  "<Text FieldName=\"dup\" Left=\"1\" Top=\"0\" Width=\"1\" Height=\"1\"/>",
                      "<Label Quantity=\"1\"><Record FieldName=\"T\" Value=\"case differs\"/>"
                      "<Record FieldName=\"dup\" Value=\"second\"/></Label>"));
    const std::string& script = scripts.at(0).FValue;
    for (const char* name : {"t", "i", "b", "u", "dup"})
        EXPECT_EQ(script.find(run.Template.FindField(name)->FieldValue), std::string::npos) << name;
    EXPECT_EQ(script.find('{'), std::string::npos) << "a token is left";

    const std::string blankText = "BITMAP 0,0,2,8,1," + std::string(16, '\xFF') + "\r\n";
    const std::string blankDup = "BITMAP 0,0,1,8,1," + std::string(8, '\xFF') + "\r\n";
    const std::string second =
        "BITMAP 8,0,1,8,1," +
        BitmapData(run.Printer.GetGraphicText("second", 1, 1, TRotation::r0, 0, "", "", "", "", false)) + "\r\n";
    const std::string head =
        "SIZE 30 mm,20 mm\r\nGAP 3 mm,0 mm\r\nSPEED 2\r\nDENSITY 7\r\n"
        "DIRECTION 0, 0\r\nCLS\r\nCODEPAGE 1251\r\n";
    // Text: a blank box of exactly the announced size; picture and barcode: empty lines;
    // user data: nothing at all.
    EXPECT_EQ(script, head + blankText + "\r\n" + "\r\n" + blankDup + second + "PRINT 1\r\n");
}

TEST(LabelDocumentFixes, UnfilledTextSendsTheAnnouncedBytesAtEveryResolution) {
    // At 12 dots/mm a 1 mm box is 12 dots: the command announces 12 div 8 = 1 byte per row.
    struct TCase {
        std::int32_t Resolution, Width, Height, Orientation;
        std::size_t WidthBytes, Rows;
    };
    for (const TCase& c : std::vector<TCase>{{300, 1, 1, 0, 1, 12},
                                             {300, 1, 2, 90, 1, 24},
                                             {300, 3, 1, 270, 4, 12},
                                             {600, 1, 1, 0, 3, 24},
                                             {600, 1, 2, 180, 3, 48}}) {
        SCOPED_TRACE(std::to_string(c.Resolution) + " dpi, " + std::to_string(c.Orientation) + " degrees");
        TRun run;
        run.Printer.ApplySettings(c.Resolution, false, TTsplSettings());
        const auto scripts = run.Print(Doc(
            "<Text FieldName=\"t\" Left=\"0\" Top=\"0\" Width=\"" + std::to_string(c.Width) + "\" Height=\"" +
                std::to_string(c.Height) + "\" Orientation=\"" + std::to_string(c.Orientation) + "\"/>",
            "<Label Quantity=\"1\"/>"));
        const std::vector<std::string> lines = SplitLines(scripts.at(0).FValue);
        ASSERT_EQ(lines.size(), 9U);
        const std::string command =
            "BITMAP 0,0," + std::to_string(c.WidthBytes) + "," + std::to_string(c.Rows) + ",1,";
        ASSERT_EQ(lines[7].substr(0, command.size()), command);
        EXPECT_EQ(lines[7].substr(command.size()), std::string(c.WidthBytes * c.Rows, '\xFF'));
    }
}

TEST(LabelDocumentFixes, TheFirstRecordOfAFieldIsPrinted) {
    TRun run;
    const auto scripts =
        run.Print(Doc("<Barcode FieldName=\"b\" Type=\"code128\" Left=\"0\" Top=\"0\" "
                      "Width=\"30\" Height=\"5\"/>",
                      "<Label Quantity=\"1\"><Record FieldName=\"b\" Value=\"FIRST\"/>"
                      "<Record FieldName=\"b\" Value=\"LATER\"/></Label>"));
    const std::string& script = scripts.at(0).FValue;
    EXPECT_NE(script.find("\"FIRST\""), std::string::npos) << script;
    EXPECT_EQ(script.find("LATER"), std::string::npos) << script;
}

TEST(LabelDocumentFixes, BarcodeValuesCannotBreakOutOfTheCommand) {
    TRun run;
    const auto scripts = run.Print(Doc(kAllKinds,
                                       "<Label Quantity=\"1\"><Record FieldName=\"b\" "
                                       "Value=\"1&quot;,0&#13;&#10;PRINT 99&#13;&#10;\"/></Label>"));
    const auto lines = SplitLines(scripts.at(0).FValue);
    EXPECT_EQ(lines[9], "BARCODE 16,16,\"128\",40,0,0,2,2,\"1\\[\"],0\\[R]\\[L]PRINT 99\\[R]\\[L]\"");
    EXPECT_EQ(lines.back(), "PRINT 1");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "PRINT 99"), 0);
}

TEST(LabelDocumentFixes, InsertedValuesAreNeverSearchedAgain) {
    TRun run;
    const std::string doc = Doc(kAllKinds, "<Label Quantity=\"1\"/>");
    LoadTemplate(Parse(doc), run.Template, run.Printer, run.Settings);
    const std::string textToken = run.Template.FindField("t")->FieldValue;
    const std::string barcodeToken = run.Template.FindField("b")->FieldValue;
    const std::string trap = std::string("REM ") + kQuantityMarker + " " + textToken + " " + barcodeToken;
    // User data comes first in the label, so literal replacement would put the text, the
    // barcode and the copy count into it.
    const auto labels =
        Parse("<Data><Labels><Label Quantity=\"4\"><Record FieldName=\"u\" Value=\"" + trap +
              "\"/><Record FieldName=\"t\" Value=\"x\"/><Record FieldName=\"b\" Value=\"B1\"/>"
              "</Label></Labels></Data>");
    const auto scripts = AssembledLabels(labels, run.Template, run.Printer);
    const auto lines = SplitLines(scripts.at(0).FValue);
    ASSERT_EQ(lines.size(), 12U);
    EXPECT_EQ(lines[7], "BITMAP 0,0,2,8,1," +
                            BitmapData(run.Printer.GetGraphicText("x", 2, 1, TRotation::r0, 0, "", "", "", "", false)));
    EXPECT_EQ(lines[9], "BARCODE 16,16,\"128\",40,0,0,2,2,\"B1\"");
    EXPECT_EQ(lines[10], trap);
    EXPECT_EQ(lines[11], "PRINT 4");
}

TEST(LabelDocumentFixes, BarcodeTextFollowsTheCodepageSetting) {
    const std::string doc = Doc(kAllKinds,
                                "<Label Quantity=\"1\"><Record FieldName=\"b\" "
                                "Value=\"Ж1\"/></Label>");
    TRun cp1251;
    EXPECT_EQ(SplitLines(cp1251.Print(doc).at(0).FValue)[9],
              "BARCODE 16,16,\"128\",40,0,0,2,2,\"\xC6"
              "1\"");
    TRun utf8;
    utf8.Settings.Codepage = "UTF-8";
    EXPECT_EQ(SplitLines(utf8.Print(doc).at(0).FValue)[9],
              "BARCODE 16,16,\"128\",40,0,0,2,2,\"\xD0\x96"
              "1\"");
}

// A template reused after the Codepage setting changed keeps announcing its own code page, so
// every label's text must be written in that one.
TEST(LabelDocumentFixes, AReusedTemplateWritesTextInTheCodePageItAnnounces) {
    const std::string doc = Doc(kAllKinds,
                                "<Label Quantity=\"1\"><Record FieldName=\"b\" "
                                "Value=\"Ж1\"/><Record FieldName=\"u\" "
                                "Value=\"REM Ж\"/></Label>");
    TRun run;
    run.Print(doc);
    for (const char* later : {"866", "UTF-8"}) {
        run.Settings.Codepage = later;
        const auto lines =
            SplitLines(AssembledLabels(Parse(doc), run.Template, run.Printer).at(0).FValue);
        ASSERT_EQ(lines.size(), 12U) << later;
        EXPECT_EQ(lines[6], "CODEPAGE 1251") << later;
        EXPECT_EQ(lines[9],
                  "BARCODE 16,16,\"128\",40,0,0,2,2,\"\xC6"
                  "1\"")
            << later;
        EXPECT_EQ(lines[10], "REM \xC6") << later;
    }
}

// A failure of a field's data keeps its own text first and names the field, its kind and the
// label after it; the barcode library's English reason comes after a Russian sentence.
TEST(LabelDocument, LabelFailuresCarryTheirMessageAndNameTheField) {
    const std::string ok = "<Label Quantity=\"1\"/>";
    const std::string tooWide =
        "Qk0+AAAAAAAAAD4AAAAoAAAAIE4AAAEAAAABAAEAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const std::string farTooLarge =
        "Qk0+AAAAAAAAAD4AAAAoAAAAQB8AAKAPAAABAAEAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAP///wA=";
    const struct {
        std::string formatting, labels, start, context;
    } cases[] = {
        {"<Barcode FieldName=\"e\" Type=\"EAN13\" Left=\"0\" Top=\"0\"/>",
         ok + "<Label><Record FieldName=\"e\" Value=\"46012345678X\"/></Label>",
         MessageText(TMessage::BarcodeInvalidCharacters), "поле «e» (Barcode EAN13), этикетка 2"},
        {kAllKinds, "<Label><Record FieldName=\"i\" Value=\"bm90IGEgcGljdHVyZQ==\"/></Label>",
         MessageText(TMessage::ImageConversionFailed), "поле «i» (Image), этикетка 1"},
        {kAllKinds, ok + ok + "<Label><Record FieldName=\"i\" Value=\"" + tooWide + "\"/></Label>",
         "Слишком большое изображение: 20000 x 1 точек", "поле «i» (Image), этикетка 3"},
        {"<Barcode FieldName=\"q\" Type=\"QRCode\" Left=\"0\" Top=\"0\" Width=\"20\" Height=\"20\"/>",
         "<Label><Record FieldName=\"q\" Value=\"" + std::string(8000, '7') + "\"/></Label>",
         "Библиотека штрихкодов не смогла построить код из этих данных (Error ",
         "): поле «q» (Barcode QRCode), этикетка 1"},
        {"<Text FieldName=\"big\" Left=\"0\" Top=\"0\" Width=\"2100\" Height=\"10\"/>", ok,
         "Слишком большое изображение: 16800 x 80 точек", "поле «big» (Text), шаблон этикетки"},
        // 62 bytes that declare 8000 x 4000 pixels, for a 4 x 4 mm box: per label and static.
        {kAllKinds, "<Label><Record FieldName=\"i\" Value=\"" + farTooLarge + "\"/></Label>",
         "Слишком большое изображение для поля 32 x 32 точек: 8000 x 4000 точек (допустимо не более 2048 "
         "точек по стороне)",
         "поле «i» (Image), этикетка 1"},
        {"<Image FieldName=\"s\" Static=\"true\" Left=\"1\" Top=\"1\" Width=\"4\" Height=\"4\" Value=\"" +
             farTooLarge + "\"/>",
         ok, "Слишком большое изображение для поля 32 x 32 точек: 8000 x 4000",
         "поле «s» (Image), шаблон этикетки"},
    };
    for (const auto& c : cases) {
        TRun run;
        try {
            run.Print(Doc(c.formatting, c.labels));
            ADD_FAILURE() << c.start;
        } catch (const std::runtime_error& error) {
            const std::string text = error.what();
            EXPECT_EQ(text.rfind(c.start, 0), 0U) << text;
            EXPECT_TRUE(text.ends_with(c.context)) << text;
        }
    }
}

TEST(LabelDocument, StreamedScriptsComeInOrderAndReceiverErrorsPassUnchanged) {
    struct ESent : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    TRun run;
    const auto document = Parse(Doc(kAllKinds,
                                    "<Label Quantity=\"1\"/><Label Quantity=\"2\"/>"
                                    "<Label Quantity=\"3\"/>"));
    LoadTemplate(document, run.Template, run.Printer, run.Settings);
    std::vector<std::int32_t> seen;
    EXPECT_THROW(FillLabels(document, run.Template, run.Printer, run.Settings,
                            [&](TScriptObject&& AScript) {
                                seen.push_back(AScript.FQuantity);
                                if (seen.size() == 2) throw ESent("port closed");
                            }),
                 ESent);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2}));
}

TEST(LabelDocument, AFailedRebuildKeepsThePreviousTemplate) {
    TRun run;
    const auto first = run.Print(Doc(kAllKinds, "<Label Quantity=\"1\"/>"));
    EXPECT_THROW(
        LoadTemplate(Parse(Doc("<Text FieldName=\"x\"/>", "")), run.Template, run.Printer, run.Settings),
        std::runtime_error);
    const auto again =
        AssembledLabels(Parse(Doc("", "<Label Quantity=\"1\"/>")), run.Template, run.Printer);
    ASSERT_EQ(again.size(), 1U);
    EXPECT_EQ(again[0].FValue, first.at(0).FValue);
}

TEST(LabelDocument, PicturesPerLabel) {
    TRun run;
    // A 1 x 1 white PNG is enough to see the line rebuilt with the fitted size.
    const std::string png =
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAAAAAA6fptVAAAACklEQVR4nGP4DwABAQEAsTj2FAAAAABJRU5ErkJggg==";
    // A value of blanks and control characters is blank for a static picture and a label's alike.
    const auto scripts =
        run.Print(Doc(kAllKinds + "<Image FieldName=\"s\" Static=\"true\" Left=\"1\" Top=\"1\" Width=\"4\" "
                                  "Height=\"4\" Value=\" &#11;\"/>",
                      "<Label><Record FieldName=\"i\" Value=\"" + png +
                          "\"/></Label>"
                          "<Label><Record FieldName=\"i\" Value=\" \"/></Label>"
                          "<Label><Record FieldName=\"i\" Value=\" &#11;\"/></Label>"));
    ASSERT_EQ(scripts.size(), 3U);
    EXPECT_EQ(SplitLines(scripts[0].FValue)[8], "BITMAP 8,8,4,32,0," + std::string(128, '\xFF'));
    for (const TScriptObject& blank : {scripts[1], scripts[2]}) {
        const auto lines = SplitLines(blank.FValue);
        ASSERT_EQ(lines.size(), 11U);
        EXPECT_EQ(lines[8], "");
    }
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

std::string FillError(TRun& ARun, const std::string& ADocument) {
    try {
        ARun.Print(ADocument);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

// ESC starts a command the printer runs at once, even inside a quoted value, and the other
// control characters have no business in a symbol: refused before anything is sent, naming the
// field. CR, LF and TAB are carried escaped or as they are; GS keeps its GS1 route.
TEST(LabelDocumentFixes, ControlCharactersInBarcodeValuesAreRefused) {
    const std::string qr =
        "<Barcode FieldName=\"q\" Type=\"QRCode\" Left=\"0\" Top=\"0\" Width=\"20\" Height=\"20\" ";
    const struct {
        std::string formatting, labels, error;
    } cases[] = {
        {kAllKinds, "<Label Quantity=\"1\"><Record FieldName=\"b\" Value=\"1&#27;!R\"/></Label>",
         "Недопустимый управляющий символ U+001B в данных штрихкода (позиция 2): "
         "поле «b» (Barcode code128), этикетка 1"},
        {qr + "Static=\"true\" Value=\"ab&#127;\"/>", "",
         "Недопустимый управляющий символ U+007F в данных штрихкода (позиция 3): "
         "поле «q» (Barcode QRCode), шаблон этикетки"},
        {qr + "/>", "<Label Quantity=\"1\"><Record FieldName=\"q\" Value=\"Ж&#7;\"/></Label>",
         "Недопустимый управляющий символ U+0007 в данных штрихкода (позиция 2): "
         "поле «q» (Barcode QRCode), этикетка 1"},
    };
    for (const auto& c : cases) {
        TRun run;
        run.Printer.Settings()._2DBarcodeAsPicture = false;
        EXPECT_EQ(FillError(run, Doc(c.formatting, c.labels)), c.error);
    }

    TRun run;
    run.Printer.Settings()._2DBarcodeAsPicture = false;
    const auto scripts = run.Print(Doc(qr + "/>",
                                       "<Label Quantity=\"1\"><Record FieldName=\"q\" "
                                       "Value=\"a&#9;b&#13;&#10;c\"/></Label>"));
    EXPECT_NE(scripts.at(0).FValue.find(",\"a\tb\\[R]\\[L]c\"\r\n"), std::string::npos)
        << scripts.at(0).FValue;
}

TEST(HostileDocuments, SizesThatCannotPrintAreRefusedBeforeAnyScript) {
    const std::string text = "<Text FieldName=\"t\" Left=\"1\" Top=\"1\" ";
    const std::pair<std::string, std::string> cases[] = {
        {Doc("", "", "Width=\"-30\" Height=\"-20\""),
         "Размер этикетки должен быть больше нуля: атрибут Width элемента Formatting равен -30"},
        {Doc("", "", "Width=\"30\" Height=\"0.4\""),
         "Размер этикетки должен быть больше нуля: атрибут Height элемента Formatting равен 0"},
        {Doc("", "", "Width=\"-0.5\" Height=\"20\""),
         "Размер этикетки должен быть больше нуля: атрибут Width элемента Formatting равен 0"},
        {Doc("", "", "Width=\"-1\" Height=\"-20\""), "Некорректно заданы размеры этикетки: Width=\"-1\""},
        {Doc(text + "Width=\"-50\" Height=\"-400\"/>", ""),
         "Размер поля \"t\" не может быть отрицательным: атрибут Width элемента Text равен -50"},
        {Doc("<barcode FieldName=\"b\" Type=\"code128\" Orientation=\"90\" Left=\"1\" Top=\"1\" "
             "Width=\"-40\" Height=\"10\"/>",
             ""),
         "Размер поля \"b\" не может быть отрицательным: атрибут Width элемента barcode равен -40"},
        {Doc("<Image FieldName=\"i\" Left=\"1\" Top=\"1\" Width=\"4\" Height=\"-4\"/>", ""),
         "Размер поля \"i\" не может быть отрицательным: атрибут Height элемента Image равен -4"},
        // Not given: a field's size 0 is kept.
        {Doc(text + "/><Image FieldName=\"i\" Left=\"1\" Top=\"1\"/>", "<Label/>"), "no error"},
    };
    for (const auto& [document, message] : cases) {
        TRun run;
        EXPECT_EQ(FillError(run, document), message) << document;
    }

    // Resolution below one dot per millimetre: on a new template and on a reused one.
    const std::string document = Doc(text + "Width=\"10\" Height=\"5\"/>", "<Label/>");
    for (const std::int32_t resolution : {0, -203, 24}) {
        TRun run;
        run.Printer.ApplySettings(resolution, false, {});
        EXPECT_EQ(FillError(run, document),
                  "Некорректно задано разрешение принтера (Resolution): " + std::to_string(resolution));
        TRun reused;
        const pugi::xml_document parsed = Parse(document);
        LoadTemplate(parsed, reused.Template, reused.Printer, reused.Settings);
        reused.Printer.ApplySettings(resolution, false, {});
        EXPECT_THROW(FillLabels(parsed, reused.Template, reused.Printer, reused.Settings),
                     std::runtime_error);
    }
}

TEST(HostileDocuments, FontSizesBeyondAnyRasterAreRefusedLargeOnesDraw) {
    auto document = [](const std::string& AFontSize) {
        return Doc(
            "<Text FieldName=\"t\" Left=\"0\" Top=\"0\" Width=\"60\" Height=\"60\" Static=\"True\" "
            "Value=\"I\" FontSize=\"" +
                AFontSize + "\"/>",
            "<Label/>");
    };
    for (const char* size : {"30000", "2147483647", "$7FFFFFFF", "5812"}) {
        TRun run;
        EXPECT_EQ(
            FillError(run, document(size)),
            std::string("Слишком большой размер шрифта (FontSize) у поля \"t\": ") +
                std::to_string(AttrToInt(Parse("<a s=\"" + std::string(size) + "\"/>").child("a"), "s", 0)));
    }
    TRun largest;
    EXPECT_EQ(FillError(largest, document("5811")), "no error");
    for (const char* size : {"300", "-5"}) {
        TRun run;
        const std::string script = run.Print(document(size)).at(0).FValue;
        const std::size_t data = script.find("BITMAP 0,0,60,480,1,");
        ASSERT_NE(data, std::string::npos) << size;
        EXPECT_NE(script.find_first_not_of('\xFF', data + 20), script.find("\r\n", data))
            << "no ink at " << size;
    }
}

// A barcode type the printer has no command for, or a value its symbology cannot hold, is
// refused naming the field, before anything is sent; so is data the printer would skip.
TEST(HostileDocuments, BarcodesThePrinterCannotDrawAreRefused) {
    const auto barcode = [](const std::string& AType, const std::string& AExtra = "") {
        return "<Barcode FieldName=\"b\" Type=\"" + AType + "\" Left=\"1\" Top=\"1\" Width=\"28\" Height=\"8\"" +
               AExtra + "/>";
    };
    const auto value = [](const std::string& AValue) {
        return "<Label Quantity=\"1\"><Record FieldName=\"b\" Value=\"" + AValue + "\"/></Label>";
    };
    const std::string known = "допустимы: EAN8, EAN13, EAN128, Code39, Code128, Code93, ITF14, EAN13Addon2, "
                              "EAN13Addon5, PDF417, DataMatrix, GS1DataMatrix, QRCode";
    for (const char* type : {"EAN-13", "UPCA", "Codabar", "QR", "ITF", ""}) {
        TRun run;
        EXPECT_EQ(FillError(run, Doc(barcode(type), value("1"))),
                  "Неизвестный тип штрихкода «" + std::string(type) + "»; " + known + ": поле «b» (Barcode" +
                      (*type ? " " + std::string(type) : std::string()) + "), шаблон этикетки");
    }
    const std::string qr(3000, 'q');
    TRun drawn;
    drawn.Printer.Settings()._2DBarcodeAsPicture = false;
    const struct {
        std::string formatting, labels, error;
    } cases[] = {
        {barcode("EAN8"), value("4607001771234"),
         "Штрихкод EAN8 должен содержать 7 или 8 цифр, а содержит 13: поле «b» (Barcode EAN8), этикетка 1"},
        {barcode("ean13", " Static=\"True\" Value=\"46070017\""), "",
         "Штрихкод EAN13 должен содержать 12 или 13 цифр, а содержит 8: поле «b» (Barcode ean13), шаблон этикетки"},
        {barcode("EAN13"), value(std::string(100000, '4')),
         "Штрихкод EAN13 должен содержать 12 или 13 цифр, а содержит 100000: поле «b» (Barcode EAN13), этикетка 1"},
        {barcode("Code128"), value(std::string(2049, '7')),
         "Слишком длинные данные штрихкода: 2049 байт в команде (принтер принимает не более 2048): поле «b» "
         "(Barcode Code128), этикетка 1"},
        {barcode("EAN13") + barcode("Code39"), value("460700177123") + value("ABC-1"), "no error"},
    };
    for (const auto& c : cases) {
        TRun run;
        EXPECT_EQ(FillError(run, Doc(c.formatting, c.labels)), c.error);
    }
    EXPECT_EQ(FillError(drawn, Doc(barcode("QRCode"), value(qr))),
              "Слишком длинные данные штрихкода: 3000 байт в команде (принтер принимает не более 2048): поле «b» "
              "(Barcode QRCode), этикетка 1");
    TRun fits;
    fits.Printer.Settings()._2DBarcodeAsPicture = false;
    EXPECT_EQ(FillError(fits, Doc(barcode("QRCode"), value(std::string(2048, 'q')))), "no error");
}

// Geometry no printer can draw is refused naming the field, as pictures too large for theirs are.
TEST(HostileDocuments, GeometryNobodyCanPrintIsRefused) {
    const auto text = [](const std::string& AAttributes) {
        return "<Text FieldName=\"t\" Left=\"1\" Top=\"1\" " + AAttributes + "/>";
    };
    const struct {
        std::string formatting, error;
    } cases[] = {
        {text("Width=\"1e308\" Height=\"5\""), "Некорректное число в атрибуте Width поля «t»: \"1e308\""},
        {"<Barcode FieldName=\"b\" Type=\"Code128\" Left=\"1\" Top=\"1\" Width=\"20\" Height=\"NaN\"/>",
         "Некорректное число в атрибуте Height поля «b»: \"NaN\""},
        {"<Image FieldName=\"i\" Left=\"500\" Top=\"1\"/>",
         "Поле «i» выходит за пределы этикетки 30 x 20 мм: Left=\"500\""},
        {"<Text FieldName=\"t\" Left=\"1\" Top=\"20\"/>", "Поле «t» выходит за пределы этикетки 30 x 20 мм: Top=\"20\""},
        {"<Text FieldName=\"t\" Left=\"-3\" Top=\"2\"/>", "Поле «t» выходит за пределы этикетки 30 x 20 мм: Left=\"-3\""},
        {text("Width=\"10\" Height=\"5\" Orientation=\"45\""),
         "Некорректный поворот (Orientation) у поля «t»: 45; допустимо: 0, 90, 180, 270"},
        {"<Barcode FieldName=\"b\" Type=\"QRCode\" Left=\"1\" Top=\"1\" Orientation=\"360\"/>",
         "Некорректный поворот (Orientation) у поля «b»: 360; допустимо: 0, 90, 180, 270"},
        {text("Width=\"10\" Height=\"5\" Border=\"left\" BorderWidth=\"2147483647\""),
         "Слишком толстая рамка (BorderWidth) у поля «t»: 2147483647 точек; допустимо не более 160"},
        {text("Width=\"10\" Height=\"5\" Border=\"left top right bottom\" BorderWidth=\"160\" "
              "Orientation=\"270\"") +
             "<Image FieldName=\"i\" Left=\"29\" Top=\"19\" BorderWidth=\"99999\"/>",
         "no error"},
    };
    for (const auto& c : cases) {
        TRun run;
        EXPECT_EQ(FillError(run, Doc(c.formatting, "<Label/>")), c.error) << c.formatting;
    }
}

TEST(HostileDocuments, AQuantityGivenMustBeACopyCount) {
    const std::string field = "<Text FieldName=\"t\" Left=\"0\" Top=\"0\" Width=\"2\" Height=\"1\"/>";
    for (const char* bad : {"abc", "nan", "1e308", "2147483648", "99999999999", "0", "-1", ""}) {
        TRun run;
        EXPECT_EQ(FillError(run, Doc(field, "<Label Quantity=\"2\"/><Label Quantity=\"" + std::string(bad) +
                                                "\"/>")),
                  "Некорректно задано количество (Quantity) у этикетки №2: \"" + std::string(bad) + "\"");
    }
    TRun run;
    const auto scripts =
        run.Print(Doc(field, "<Label/><Label Quantity=\" 999999999 \"/><Label Quantity=\"$10\"/>"));
    ASSERT_EQ(scripts.size(), 3U);
    EXPECT_EQ(scripts[0].FQuantity, 1);
    EXPECT_NE(scripts[0].FValue.find("PRINT 1\r\n"), std::string::npos);
    EXPECT_EQ(scripts[1].FQuantity, 999999999);
    EXPECT_EQ(scripts[2].FQuantity, 16);
}

}  // namespace
}  // namespace quorvane
