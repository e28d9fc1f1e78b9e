// Marking codes: label documents with GS1 element strings printed through both routes to the
// virtual printer and read back from its labels as a checkout scanner reads them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/label_document.h"
#include "errors/messages.h"
#include "printer/gs1_element_string.h"
#include "printer/tspl/printer_type_tspl.h"
#include "tests/virtual_printer/printer_test_support.h"

namespace quorvane {
namespace {

const std::string GS = "\x1D";
const std::string kKey92 = "MEQCIBQ5m/KjJo8xZ0j+7Bbx2xWz3MuUkoJ2A5l9Vv1U";  // 44 characters

std::string XmlEscaped(const std::string& AText) {
    std::string out;
    for (char c : AText) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// A 40 x 40 mm label with one barcode; a static one carries its value in the layout.
std::string Document(const std::string& AType, int AOrientation, const std::string& AValueXml,
                     bool AStatic = false) {
    const std::string value = "Value=\"" + AValueXml + "\"";
    return "<Data><Formatting Width=\"40\" Height=\"40\">"
           "<Barcode FieldName=\"Маркировка\" Type=\"" +
           AType +
           "\" Left=\"4\" Top=\"4\" "
           "Width=\"30\" Height=\"30\" Orientation=\"" +
           std::to_string(AOrientation) + "\" " + (AStatic ? "Static=\"True\" " + value : std::string()) +
           "/></Formatting><Labels><Label Quantity=\"1\"><Record FieldName=\"Маркировка\" " +
           (AStatic ? std::string() : value) + "/></Label></Labels></Data>";
}

struct TJob {
    std::string Script;
    test::JobResult Printed;
};

TJob Print(const std::string& ADocument, int ADpi, bool AAsPicture) {
    TPrinterTSPL printer;
    TTsplSettings tspl;
    tspl._2DBarcodeAsPicture = AAsPicture;
    printer.ApplySettings(ADpi, false, tspl);
    TDocumentSettings settings;
    const pugi::xml_document document = ParseLabelDocument(ADocument);
    TLabelTemplate labelTemplate;
    LoadTemplate(document, labelTemplate, printer, settings);
    TJob job;
    for (const TScriptObject& script : FillLabels(document, labelTemplate, printer, settings))
        job.Script += script.FValue;
    PrinterOptions options;
    options.dpi = ADpi;
    job.Printed = test::RunJob(job.Script, options);
    return job;
}

std::string Scan(const MonoImage& AImage) { return test::DecodeWithIdentifier(AImage, "DataMatrix"); }

struct TMarkingCase {
    const char* Product;
    std::string Type;
    std::string ValueXml;  // as written into the document
    std::string Scanned;   // what the scanner must report after "]d2"
    int Orientation;
    bool Static = false;
};

// Realistic codes of several product groups, written each way a document may carry them.
const std::vector<TMarkingCase>& MarkingCases() {
    static const std::vector<TMarkingCase> cases = {
        {"dairy: AI 93 tail, raw GS in the document", "DataMatrix",
         "010460700978001621" + XmlEscaped("5Ab'%\"") + GS + "93dGVz",
         "010460700978001621"
         "5Ab'%\"" +
             GS + "93dGVz",
         0},
        {"shoes: AI 91 + 92 key, &#29;", "DataMatrix",
         "010465011804123321" + XmlEscaped("<Sh&o\"e'7%Kx>") + "&#29;91EE06&#29;92" + kKey92,
         "010465011804123321<Sh&o\"e'7%Kx>" + GS + "91EE06" + GS + "92" + kKey92, 90},
        {"medicine: expiry, batch, serial, key; ]d2 prefix, &#x1D;", "datamatrix",
         "]d201046012345678931726123110LOT-42&#x1D;21A1b2C3d4E5f6G&#x1D;91FF01&#x1D;92" + kKey92,
         "01046012345678931726123110LOT-42" + GS + "21A1b2C3d4E5f6G" + GS + "91FF01" + GS + "92" + kKey92,
         180},
        {"beer: net weight after the tail, GS1DataMatrix, redundant GS", "GS1DataMatrix",
         "0104620028131157&#29;21" + XmlEscaped("w&ter<1") + "&#29;93Zq0/&#29;3103000500",
         "010462002813115721w&ter<1" + GS + "93Zq0/" + GS + "3103000500", 270},
        {"leading GS, no other mark, static field", "DataMatrix", "&#29;01029000001234582199",
         "01029000001234582199", 0, true},
    };
    return cases;
}

class MarkingCodeRoutes : public ::testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(MarkingCodeRoutes, ScannerReadsGs1WithSeparators) {
    const auto [asPicture, dpi] = GetParam();
    for (const TMarkingCase& c : MarkingCases()) {
        SCOPED_TRACE(c.Product);
        const TJob job = Print(Document(c.Type, c.Orientation, c.ValueXml, c.Static), dpi, asPicture);
        EXPECT_TRUE(job.Printed.problems.empty()) << ::testing::PrintToString(job.Printed.problems);
        ASSERT_EQ(job.Printed.labels.size(), 1U);
        EXPECT_EQ(Scan(job.Printed.labels[0].image), "]d2" + c.Scanned);
    }
}

INSTANTIATE_TEST_SUITE_P(PictureAndCommand, MarkingCodeRoutes,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(203, 300)));

TEST(MarkingCode, CommandCarriesFnc1AndEscapes) {
    const TJob job = Print(Document("DataMatrix", 90, MarkingCases()[0].ValueXml), 203, false);
    EXPECT_NE(job.Script.find("\r\nDMATRIX 272,32,240,240,c126,x3,r90,"
                              "\"~1010460700978001621"
                              "5Ab'%\\[\"]~193dGVz\"\r\n"),
              std::string::npos)
        << job.Script;
}

TEST(MarkingCode, PlainDataMatrixStaysPlain) {
    // No mark: the value is data as it stands, with the configured size, as before.
    for (const bool asPicture : {false, true}) {
        const TJob job = Print(Document("DataMatrix", 0, "010460"), 203, asPicture);
        ASSERT_EQ(job.Printed.labels.size(), 1U);
        EXPECT_EQ(Scan(job.Printed.labels[0].image), "]d1010460");
        if (!asPicture) {
            EXPECT_NE(job.Script.find("\r\nDMATRIX 32,32,240,240,x3,10,10,\"010460\"\r\n"),
                      std::string::npos);
        }
    }
}

TEST(MarkingCode, InvalidElementStringsFailNamingTheField) {
    const std::pair<std::string, std::string> cases[] = {
        {"01046070097800162112345&#29;45abc", "неизвестный идентификатор применения (AI) в позиции 25"},
        {"010460700978001", "поле (01) должно содержать 14 знаков, а содержит 13"},
        {"0104607009780017215Ab", "неверная контрольная цифра в поле (01)"},
        {"01046070097800AB215Ab", "в поле (01) допустимы только цифры (позиция 15)"},
        {"010460700978001621123456789012345678901", "поле (21) длиннее 20 знаков"},
        {"0104607009780016215Жb", "недопустимый знак в поле (21) (позиция 20)"},
        {"01046070097800162112&#29;8005123", "поле (8005) должно содержать 6 знаков, а содержит 3"},
        {"]d2", MessageText(TMessage::Gs1EmptyValue)},
    };
    for (const bool asPicture : {false, true})
        for (const auto& [value, detail] : cases) {
            SCOPED_TRACE(value);
            try {
                Print(Document("GS1DataMatrix", 0, value, value.starts_with("]")), 203, asPicture);
                ADD_FAILURE() << "printed";
            } catch (const std::runtime_error& error) {
                EXPECT_EQ(std::string(error.what()),
                          "Код маркировки не является строкой элементов GS1 (" + detail +
                              "): поле «Маркировка» (Barcode GS1DataMatrix), " +
                              (value.starts_with("]") ? "шаблон этикетки" : "этикетка 1"));
            }
        }
}

TEST(Gs1ElementString, SeparatorOnlyAfterFieldsOfOpenLength) {
    const std::pair<std::string, std::string> cases[] = {
        // a redundant separator after a predefined length, and a trailing one, are dropped
        {"0104607009780016" + GS + "17261231" + "10AB1" + GS,
         "~10104607009780016172612311"
         "0AB1"},
        // a fixed length that is not predefined by its first two digits still needs one
        {GS + "01046070097800168005000150" + GS + "3103000500", "~101046070097800168005000150~13103000500"},
        {"]d2"
         "2401-2" +
             GS + "91ab",
         "~12401-2~191ab"},
    };
    for (const auto& [value, escaped] : cases)
        EXPECT_EQ(Gs1DataMatrixEscapedText(ParseGs1ElementString(value)), escaped) << value;
}

// A check digit of 0 needs the final reduction of the weighted sum; rows run 0 to 9 by index.
TEST(Gs1ElementString, CheckDigitsZeroToNineAcceptedAndAWrongOneRefused) {
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {"01",  // GTIN-13, padded to 14
         {"04607009780030", "04607009780061", "04607009780092", "04607009780023", "04607009780054",
          "04607009780085", "04607009780016", "04607009780047", "04607009780078", "04607009780009"}},
        {"01",  // GTIN-14
         {"14607009780020", "14607009780051", "14607009780082", "14607009780013", "14607009780044",
          "14607009780075", "14607009780006", "14607009780037", "14607009780068", "14607009780099"}},
        {"00",  // SSCC
         {"346070097000000190", "346070097000000121", "346070097000000152", "346070097000000183",
          "346070097000000114", "346070097000000145", "346070097000000176", "346070097000000107",
          "346070097000000138", "346070097000000169"}},
    };
    for (const auto& [ai, values] : rows)
        for (std::size_t digit = 0; digit < values.size(); ++digit) {
            const std::string& value = values[digit];
            SCOPED_TRACE(ai + value);
            ASSERT_EQ(value.back(), static_cast<char>('0' + digit));
            try {
                const std::vector<TGs1Element> elements = ParseGs1ElementString(ai + value);
                ASSERT_EQ(elements.size(), 1U);
                EXPECT_EQ(elements[0].Data, value);
            } catch (const EGs1ElementString& error) {
                ADD_FAILURE() << "refused: " << error.what();
            }
            std::string wrong = value;
            wrong.back() = static_cast<char>('0' + (digit + 1) % 10);
            try {
                ParseGs1ElementString(ai + wrong);
                ADD_FAILURE() << "accepted " << wrong;
            } catch (const EGs1ElementString& error) {
                EXPECT_EQ(error.Id(), TMessage::Gs1BadCheckDigit) << error.what();
            }
        }
}

}  // namespace
}  // namespace quorvane
