#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "driver/label_document.h"
#include "printer/symbology.h"
#include "text/ascii_text.h"

namespace quorvane {
namespace {

using TMatches = std::vector<std::smatch>;

std::string SourceFile(const std::string& APath) {
    std::ifstream in(std::string(QUORVANE_SOURCE_DIR) + "/" + APath, std::ios::binary);
    EXPECT_TRUE(in) << APath;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string AText) {
    for (char& c : AText) c = LowerAscii(c);
    return AText;
}

TMatches FindAll(const std::string& AText, const std::string& APattern) {
    const std::regex pattern(APattern);
    return TMatches(std::sregex_iterator(AText.begin(), AText.end(), pattern), std::sregex_iterator());
}

// The word the help uses for each way of reading, and the reader's call for it.
const std::map<TAttributeReader, std::string> kWords = {{TAttributeReader::arMillimetres, "мм"},
                                                        {TAttributeReader::arInteger, "целое"},
                                                        {TAttributeReader::arBoolean, "да/нет"},
                                                        {TAttributeReader::arText, "текст"}};
const std::map<std::string, std::string> kCalls = {{"Mm", "мм"},
                                                   {"AttrToMillimetres", "мм"},
                                                   {"AttrToInt", "целое"},
                                                   {"AttrToBool", "да/нет"},
                                                   {"AttrToText", "текст"}};

// element -> attribute -> word, in the reader's table.
std::map<std::string, std::map<std::string, std::string>> Table() {
    std::map<std::string, std::map<std::string, std::string>> table;
    for (const TDocumentElement& element : LabelDocumentElements()) {
        auto& attributes = table[std::string(element.Name)];
        for (const TDocumentAttribute& attribute : element.Attributes)
            attributes[std::string(attribute.Name)] = kWords.at(attribute.Reader);
    }
    return table;
}

// The help's reference lists exactly what the reader reads: each element with each attribute and
// the way its value is read, and each barcode type name, no more and no fewer.
TEST(LabelDocumentReference, ListsEveryElementAttributeAndBarcodeTypeTheReaderKnows) {
    const std::string help = SourceFile("help/content/help.md");
    const std::size_t start = help.find("\n## Документ этикеток\n");
    ASSERT_NE(start, std::string::npos) << "the help has no section on the label document";
    std::istringstream section(help.substr(start, help.find("\n## ", start + 4) - start));
    std::map<std::string, std::map<std::string, std::string>> listed;
    std::set<std::string> types;
    std::string element;
    bool typeList = false;
    std::smatch head, row;
    for (std::string line; std::getline(section, line);) {
        if (line.starts_with("### ")) {
            typeList = line == "### Типы штрихкодов";
            element =
                std::regex_search(line, head, std::regex("^### Элемент `(\\w+)`$")) ? head[1].str() : "";
            if (!element.empty()) listed[element];
        } else if (std::regex_search(line, row, std::regex("^\\| `(\\w+)` \\| ([^|]+?) \\|"))) {
            if (typeList)
                types.insert(Lower(row[1].str()));
            else if (!element.empty())
                listed[element][row[1].str()] = row[2].str();
        }
    }
    EXPECT_EQ(listed, Table());

    std::set<std::string> known;
    for (const TSymbology& symbology : Symbologies()) known.insert(Lower(std::string(symbology.DocumentName)));
    EXPECT_EQ(types, known);
}

// The reader's code reads the names its table gives, each the table's way, and recognises the
// table's elements: a field added to one and not the other shows here.
TEST(LabelDocumentReference, TheReaderReadsWhatItsTableSays) {
    const std::string code = SourceFile("driver/label_document.cpp");
    std::set<std::pair<std::string, std::string>> table, read, full;
    std::set<std::string> elements, recognised, attributes;
    for (const auto& [element, names] : Table()) {
        elements.insert(element);
        for (const auto& [name, word] : names) table.emplace(name, word), attributes.insert(name);
    }
    full = table;
    for (const std::smatch& m : FindAll(code, "\\b(Mm|AttrTo[A-Za-z]+)\\(\\s*\\w+\\s*,\\s*\"(\\w+)\""))
        read.emplace(m[2].str(), kCalls.at(m[1].str()));
    // Read through the node itself: taken as text, or parsed where it is checked.
    for (const std::smatch& m : FindAll(code, "\\.attribute\\(\"(\\w+)\"\\)")) {
        EXPECT_TRUE(attributes.contains(m[1].str())) << "not in the table: " << m[1].str();
        std::erase_if(table, [&](const auto& AEntry) { return AEntry.first == m[1].str(); });
    }
    for (const auto& entry : read) EXPECT_TRUE(full.contains(entry)) << "not in the table: " << entry.first;
    for (const auto& entry : table) EXPECT_TRUE(read.contains(entry)) << "never read: " << entry.first;
    for (const std::smatch& m :
         FindAll(code, "(?:EqualsIgnoringAsciiCase\\([^,]+|RequiredChild\\(\\w+), \"(\\w+)\"\\)"))
        recognised.insert(m[1].str());
    EXPECT_EQ(recognised, elements);
}

}  // namespace
}  // namespace quorvane
