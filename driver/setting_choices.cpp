#include "driver/setting_choices.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <pugixml.hpp>

#include "driver/common_driver.h"
#include "errors/messages.h"
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
        for (const pugi::xpath_node& node : schema.select_nodes("//Parameter")) {
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
        if (!DriverLanguage().KnowsCodePage(number)) continue;
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

// The ranges of the driver's own number settings; the language gives those of its commands. A
// value the printer takes stays allowed where the list lacks it, as Resolution 1000 (40 dots
// per millimetre); 25 is the least with a whole dot per millimetre.
constexpr TNumberRange kNumberRanges[] = {
    {"DataBits", 5, 8, std::nullopt},  // what a serial line can frame
    {"StopBits", 0, 2, std::nullopt},
    {"Parity", 0, 4, std::nullopt},    // none, odd, even, mark, space
    {"Resolution", 25, 1000, std::nullopt},
};

// The range of the number setting AName, or nullptr when it has none.
const TNumberRange* NumberRangeOf(std::string_view AName) {
    for (const TNumberRange& range : kNumberRanges)
        if (range.Name == AName) return &range;
    for (const TNumberRange& range : DriverLanguage().NumberRanges())
        if (range.Name == AName) return &range;
    return nullptr;
}

// A number as a person writes it: 16, 2.5.
std::string NumberText(double AValue) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, AValue);
    return std::string(text, result.ptr);
}

std::string RangeText(const TNumberRange& ARange) {
    std::string text = NumberText(ARange.Low) + "–" + NumberText(ARange.High);
    return ARange.Off ? std::to_string(*ARange.Off) + ", " + text : text;
}

bool ReadBy(TSettingReader AReader, TCheckedPart APart) {
    switch (APart) {
        case TCheckedPart::cpAll: return true;
        case TCheckedPart::cpGenerator: return AReader == TSettingReader::srGenerator;
        case TCheckedPart::cpDocument: return AReader == TSettingReader::srDocument;
    }
    return true;
}

}  // namespace

std::string CheckedChoice(std::string_view AName, std::string_view AValue) {
    const TChoiceLists& lists = SchemaChoiceLists();
    const auto found = lists.find(AName);
    if (found == lists.end() || found->second.Values.empty() || AValue.empty()) return std::string(AValue);
    const TChoiceList& list = found->second;
    for (const std::string& value : list.Values)
        if (EqualsIgnoringAsciiCase(value, AValue)) return value;
    std::string allowed = Joined(list.Values);
    if (AName == kCodepage) {
        long number = 0;
        if (ParseCodePageDigits(AValue, number) && DriverLanguage().KnowsCodePage(number))
            return std::to_string(number);
        allowed = Message(TMessage::CodepageChoices, allowed, OtherCodePages(list.Values));
    }
    throw TMessageError(TMessage::SettingValueInvalid, list.Caption, AName, Visible(AValue), allowed);
}

void CheckNumberSetting(std::string_view AName, double AValue) {
    // 0 is what a setting holds until the host gives it, as an empty text is.
    if (AValue == 0) return;
    const TNumberRange* range = NumberRangeOf(AName);
    if (range == nullptr) return;
    if ((AValue >= range->Low && AValue <= range->High) || (range->Off && AValue == *range->Off)) return;
    const auto found = SchemaChoiceLists().find(AName);
    const std::string caption =
        found == SchemaChoiceLists().end() ? std::string(AName) : found->second.Caption;
    throw TMessageError(TMessage::SettingValueInvalid, caption, AName, NumberText(AValue), RangeText(*range));
}

TDriverSettings CheckedSettings(TDriverSettings ASettings, TCheckedPart APart) {
    for (const TSetting& setting : DriverSettings()) {
        const bool generatorReads = setting.Name == "Resolution" && APart == TCheckedPart::cpGenerator;
        if (!ReadBy(setting.Reader, APart) && !generatorReads) continue;
        const TPropValue value = setting.Get(ASettings);
        if (const auto* text = std::get_if<std::string>(&value))
            setting.Set(ASettings, TPropValue(CheckedChoice(setting.Name, *text)));
        else if (const auto* number = std::get_if<std::int32_t>(&value))
            CheckNumberSetting(setting.Name, *number);
        else if (const auto* real = std::get_if<double>(&value))
            CheckNumberSetting(setting.Name, *real);
    }
    return ASettings;
}

}  // namespace quorvane
