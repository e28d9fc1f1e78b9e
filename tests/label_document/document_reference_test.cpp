#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/label_document.h"
#include "printer/barcode_picture.h"
#include "printer/tspl/printer_type_tspl.h"
#include "text/ascii_text.h"

namespace quorvane {
namespace {

std::string SourceFile(const std::string& APath) {
    std::ifstream in(std::string(QUORVANE_SOURCE_DIR) + "/" + APath, std::ios::binary);
    EXPECT_TRUE(in) << APath;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReaderWord(TAttributeReader AReader) {
    switch (AReader) {
        case TAttributeReader::arMillimetres: return "мм";
        case TAttributeReader::arInteger: return "целое";
        case TAttributeReader::arBoolean: return "да/нет";
        case TAttributeReader::arText: return "текст";
    }
    return "";
}

std::string Lower(std::string_view AText) {
    std::string out(AText);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

// What the help's reference of the label document lists: its element sections with their
// attribute rows (name -> value word), and its barcode types.
struct TReference {
    std::vector<std::string> Elements;
    std::map<std::string, std::map<std::string, std::string>> Attributes;
    std::set<std::string> BarcodeTypes;  // lower case: the document gives them in any case
};

TReference ReadReference() {
    const std::string help = SourceFile("help/content/help.md");
    const std::string heading = "\n## Документ этикеток\n";
    const std::size_t start = help.find(heading);
    EXPECT_NE(start, std::string::npos) << "the help has no section on the label document";
    TReference reference;
    if (start == std::string::npos) return reference;
    const std::string section = help.substr(start, help.find("\n## ", start + heading.size()) - start);
    const std::regex elementHeading("^### Элемент `(\\w+)`");
    const std::regex row("^\\| `(\\w+)` \\| ([^|]+?) \\|");
    std::string element;
    bool types = false;
    std::istringstream lines(section);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (line.starts_with("### ")) {
            types = line == "### Типы штрихкодов";
            element = std::regex_search(line, m, elementHeading) ? m[1].str() : std::string();
            if (!element.empty()) {
                reference.Elements.push_back(element);
                reference.Attributes[element];
            }
        } else if (std::regex_search(line, m, row)) {
            if (types)
                reference.BarcodeTypes.insert(Lower(m[1].str()));
            else if (!element.empty())
                reference.Attributes[element][m[1].str()] = m[2].str();
        }
    }
    return reference;
}

// The help lists exactly what the reader reads: every element, every attribute with the way its
// value is read, and every barcode type name, no more and no fewer.
TEST(LabelDocumentReference, ListsEveryElementAttributeAndBarcodeTypeTheReaderKnows) {
    const TReference reference = ReadReference();
    std::vector<std::string> elements;
    for (const TDocumentElement& element : LabelDocumentElements()) {
        elements.emplace_back(element.Name);
        const auto listed = reference.Attributes.find(std::string(element.Name));
        if (listed == reference.Attributes.end()) continue;  // reported by the list comparison below
        std::map<std::string, std::string> expected;
        for (const TDocumentAttribute& attribute : element.Attributes)
            expected[std::string(attribute.Name)] = ReaderWord(attribute.Reader);
        EXPECT_EQ(listed->second, expected) << "attributes of " << element.Name;
    }
    EXPECT_EQ(reference.Elements, elements);

    std::set<std::string> types;
    for (const TLinearSymbology& linear : LinearSymbologies()) types.insert(Lower(linear.DocumentName));
    for (const std::string_view name : TwoDSymbologyNames()) types.insert(Lower(name));
    EXPECT_EQ(reference.BarcodeTypes, types);
}

// The element and attribute names the reader's code reads are those of its table, and each
// entry of the table is read: a field added to one and not the other shows here.
TEST(LabelDocumentReference, TheReaderReadsWhatItsTableSays) {
    std::set<std::pair<std::string, std::string>> table;
    std::set<std::string> names, elements;
    for (const TDocumentElement& element : LabelDocumentElements()) {
        elements.emplace(element.Name);
        for (const TDocumentAttribute& attribute : element.Attributes) {
            table.emplace(attribute.Name, ReaderWord(attribute.Reader));
            names.emplace(attribute.Name);
        }
    }
    // The table itself names no attribute in the form of a read.
    const std::string body = SourceFile("driver/label_document.cpp");
    const std::map<std::string, std::string> readers = {{"Mm", "мм"},         {"AttrToMillimetres", "мм"},
                                                        {"AttrToInt", "целое"}, {"AttrToBool", "да/нет"},
                                                        {"AttrToText", "текст"}};
    std::set<std::pair<std::string, std::string>> read;
    const std::regex call("\\b(Mm|AttrToMillimetres|AttrToInt|AttrToBool|AttrToText)\\(\\s*\\w+\\s*,\\s*\"(\\w+)\"");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), call); it != std::sregex_iterator(); ++it)
        read.emplace((*it)[2].str(), readers.at((*it)[1].str()));
    const std::regex directRead("\\.attribute\\(\"(\\w+)\"\\)");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), directRead); it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(names.contains((*it)[1].str())) << "not in the table: attribute " << (*it)[1].str();
    for (const auto& entry : read)
        EXPECT_TRUE(table.contains(entry)) << "not in the table: " << entry.first << " read as " << entry.second;
    for (const auto& [name, reader] : table) {
        // Read through the node itself: taken as text, or parsed where it is checked.
        const bool direct = body.find(".attribute(\"" + name + "\")") != std::string::npos;
        EXPECT_TRUE(read.contains({name, reader}) || direct)
            << "never read: " << name << " as " << reader;
    }
    const std::regex element("(?:EqualsIgnoringAsciiCase\\([^,]+|RequiredChild\\(\\w+), \"(\\w+)\"\\)");
    std::set<std::string> recognised;
    for (auto it = std::sregex_iterator(body.begin(), body.end(), element); it != std::sregex_iterator(); ++it)
        recognised.insert((*it)[1].str());
    EXPECT_EQ(recognised, elements);
}

}  // namespace
}  // namespace quorvane
