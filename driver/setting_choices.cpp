#include "driver/setting_choices.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include <pugixml.hpp>

#include "driver/common_driver.h"
#include "errors/messages.h"
#include "printer/tspl/code_page.h"
#include "resources/embedded_resource.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

struct TChoiceList {
    std::string Caption;
    std::vector<std::string> Values;
};

using TChoiceLists = std::map<std::string, TChoiceList, std::less<>>;

// The choice lists of the embedded schema by setting name, read once.
const TChoiceLists& SchemaChoiceLists() {
    static const TChoiceLists lists = [] {
        TChoiceLists result;
        const EmbeddedResource* resource = FindEmbeddedResource("PARAMETERS");
        if (resource == nullptr) return result;
        pugi::xml_document schema;
        ParseXml(std::string(reinterpret_cast<const char*>(resource->data), resource->size), schema);
        for (const pugi::xpath_node& node : schema.select_nodes("//Parameter[ChoiceList/Item]")) {
            TChoiceList& list = result[node.node().attribute("Name").value()];
            list.Caption = node.node().attribute("Caption").value();
            for (const pugi::xml_node& item : node.node().child("ChoiceList").children("Item"))
                list.Values.emplace_back(item.attribute("Value").value());
        }
        return result;
    }();
    return lists;
}

constexpr std::string_view kCodepage = "Codepage";

// A code-page number written in decimal digits only, as CODEPAGE takes it.
bool ParseCodePageDigits(std::string_view AText, long& ANumber) {
    if (AText.empty() || AText.size() > 5) return false;
    for (char c : AText)
        if (c < '0' || c > '9') return false;
    return std::from_chars(AText.data(), AText.data() + AText.size(), ANumber).ec == std::errc();
}

// The code pages the encoder knows beyond those the list offers, for the message.
std::string OtherCodePages(const std::vector<std::string>& AListed) {
    std::string numbers;
    for (long number = 1; number <= 99999; ++number) {
        if (IconvNameOfCodePage(number).empty()) continue;
        const std::string text = std::to_string(number);
        bool listed = false;
        for (const std::string& value : AListed) listed |= value == text;
        if (listed) continue;
        if (!numbers.empty()) numbers += ", ";
        numbers += text;
    }
    return numbers;
}

// The value as a person can read it in a message and a log line: control characters written
// as escapes, so a line end in the value does not break the line.
std::string Visible(std::string_view AValue) {
    std::string out;
    for (char c : AValue) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Joined(const std::vector<std::string>& AValues) {
    std::string text;
    for (const std::string& value : AValues) text += (text.empty() ? "" : ", ") + value;
    return text;
}

bool ReadBy(TSettingReader AReader, TCheckedPart APart) {
    switch (APart) {
        case TCheckedPart::cpAll: return true;
        case TCheckedPart::cpGenerator:
            return AReader == TSettingReader::srGenerator || AReader == TSettingReader::srGeneratorAndDocument;
        case TCheckedPart::cpDocument:
            return AReader == TSettingReader::srDocument || AReader == TSettingReader::srGeneratorAndDocument;
    }
    return true;
}

}  // namespace

std::string CheckedChoice(std::string_view AName, std::string_view AValue) {
    const TChoiceLists& lists = SchemaChoiceLists();
    const auto found = lists.find(AName);
    if (found == lists.end() || AValue.empty()) return std::string(AValue);
    const TChoiceList& list = found->second;
    for (const std::string& value : list.Values)
        if (EqualsIgnoringAsciiCase(value, AValue)) return value;
    std::string allowed = Joined(list.Values);
    if (AName == kCodepage) {
        long number = 0;
        if (ParseCodePageDigits(AValue, number) && !IconvNameOfCodePage(number).empty())
            return std::to_string(number);
        allowed = Message(TMessage::CodepageChoices, allowed, OtherCodePages(list.Values));
    }
    throw TMessageError(TMessage::SettingValueInvalid, list.Caption, AName, Visible(AValue), allowed);
}

TDriverSettings CheckedSettings(TDriverSettings ASettings, TCheckedPart APart) {
    for (const TSetting& setting : DriverSettings()) {
        if (setting.Kind != TPropKind::pkString || !ReadBy(setting.Reader, APart)) continue;
        const std::string value = std::get<std::string>(setting.Get(ASettings));
        setting.Set(ASettings, TPropValue(CheckedChoice(setting.Name, value)));
    }
    return ASettings;
}

}  // namespace quorvane
