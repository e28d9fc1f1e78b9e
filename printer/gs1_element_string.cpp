#include "printer/gs1_element_string.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "errors/messages.h"

namespace quorvane {

namespace {

// Data lengths GS1 predefines by an AI's first two digits; every
// other field ends with a separator unless it is last.
struct TPredefinedLength {
    std::string_view Prefix;
    std::size_t Length;
};

constexpr std::array<TPredefinedLength, 22> kPredefinedLengths{{
    {"00", 18}, {"01", 14}, {"02", 14}, {"03", 14}, {"04", 16}, {"11", 6},  {"12", 6}, {"13", 6},
    {"14", 6},  {"15", 6},  {"16", 6},  {"17", 6},  {"18", 6},  {"19", 6},  {"20", 2}, {"31", 6},
    {"32", 6},  {"33", 6},  {"34", 6},  {"35", 6},  {"36", 6},  {"41", 13},
}};

// The application identifiers (First..Last, same number of digits) and their data format:
// blank-separated components, each a character set (N digits, X the 82 characters of GS1
// set 82, Y set 39, Z set 64), then "n" for exactly n characters or "..n" for 1 to n; "[...]"
// makes the last component optional, a trailing "c" marks a GS1 check digit at its end.
struct TAiFormat {
    std::string_view First;
    std::string_view Last;
    std::string_view Format;
};

constexpr TAiFormat kAiFormats[] = {
    {"00", "00", "N18c"},
    {"01", "01", "N14c"},
    {"02", "02", "N14c"},
    {"10", "10", "X..20"},
    {"11", "13", "N6"},
    {"15", "17", "N6"},
    {"20", "20", "N2"},
    {"21", "22", "X..20"},
    {"235", "235", "X..28"},
    {"240", "241", "X..30"},
    {"242", "242", "N..6"},
    {"243", "243", "X..20"},
    {"250", "251", "X..30"},
    {"253", "253", "N13c [X..17]"},
    {"254", "254", "X..20"},
    {"255", "255", "N13c [N..12]"},
    {"30", "30", "N..8"},
    {"3100", "3105", "N6"},
    {"3110", "3165", "N6"},
    {"3200", "3295", "N6"},
    {"3300", "3375", "N6"},
    {"3400", "3495", "N6"},
    {"3500", "3575", "N6"},
    {"3600", "3695", "N6"},
    {"37", "37", "N..8"},
    {"3900", "3909", "N..15"},
    {"3910", "3919", "N3 N..15"},
    {"3920", "3929", "N..15"},
    {"3930", "3939", "N3 N..15"},
    {"3940", "3943", "N4"},
    {"3950", "3955", "N6"},
    {"400", "401", "X..30"},
    {"402", "402", "N17c"},
    {"403", "403", "X..30"},
    {"410", "417", "N13c"},
    {"420", "420", "X..20"},
    {"421", "421", "N3 X..9"},
    {"422", "422", "N3"},
    {"423", "423", "N..15"},
    {"424", "424", "N3"},
    {"425", "425", "N..15"},
    {"426", "426", "N3"},
    {"427", "427", "X..3"},
    {"4300", "4301", "X..35"},
    {"4302", "4306", "X..70"},
    {"4307", "4307", "X2"},
    {"4308", "4308", "X..30"},
    {"4309", "4309", "N20"},
    {"4310", "4311", "X..35"},
    {"4312", "4316", "X..70"},
    {"4317", "4317", "X2"},
    {"4318", "4318", "X..20"},
    {"4319", "4319", "X..30"},
    {"4320", "4320", "X..35"},
    {"4321", "4323", "N1"},
    {"4324", "4325", "N10"},
    {"4326", "4326", "N6"},
    {"4330", "4333", "N6 [X1]"},
    {"7001", "7001", "N13"},
    {"7002", "7002", "X..30"},
    {"7003", "7003", "N10"},
    {"7004", "7004", "N..4"},
    {"7005", "7005", "X..12"},
    {"7006", "7006", "N6"},
    {"7007", "7007", "N6 [N6]"},
    {"7008", "7008", "X..3"},
    {"7009", "7009", "X..10"},
    {"7010", "7010", "X..2"},
    {"7011", "7011", "N6 [N4]"},
    {"7020", "7022", "X..20"},
    {"7023", "7023", "X..30"},
    {"7030", "7039", "N3 X..27"},
    {"7040", "7040", "N1 X3"},
    {"710", "715", "X..20"},
    {"7230", "7239", "X2 X..28"},
    {"7240", "7240", "X..20"},
    {"7241", "7241", "N2"},
    {"7242", "7242", "X..25"},
    {"8001", "8001", "N14"},
    {"8002", "8002", "X..20"},
    {"8003", "8003", "N14c [X..16]"},
    {"8004", "8004", "X..30"},
    {"8005", "8005", "N6"},
    {"8006", "8006", "N14c N4"},
    {"8007", "8007", "X..34"},
    {"8008", "8008", "N8 [N..4]"},
    {"8009", "8009", "X..50"},
    {"8010", "8010", "Y..30"},
    {"8011", "8011", "N..12"},
    {"8012", "8012", "X..20"},
    {"8013", "8013", "X..25"},
    {"8017", "8018", "N18c"},
    {"8019", "8019", "N..10"},
    {"8020", "8020", "X..25"},
    {"8026", "8026", "N14c N4"},
    {"8030", "8030", "Z..90"},
    {"8110", "8110", "X..70"},
    {"8111", "8111", "N4"},
    {"8112", "8112", "X..70"},
    {"8200", "8200", "X..70"},
    {"90", "90", "X..30"},
    {"91", "99", "X..90"},
};

struct TComponent {
    char Set = 'N';
    std::size_t Min = 0;
    std::size_t Max = 0;
    bool CheckDigit = false;
};

std::vector<TComponent> Components(std::string_view AFormat) {
    std::vector<TComponent> parts;
    while (!AFormat.empty()) {
        const std::size_t blank = AFormat.find(' ');
        std::string_view word = AFormat.substr(0, blank);
        AFormat.remove_prefix(blank == std::string_view::npos ? AFormat.size() : blank + 1);
        const bool optional = word.front() == '[';
        if (optional) word = word.substr(1, word.size() - 2);
        TComponent part;
        part.Set = word.front();
        word.remove_prefix(1);
        part.CheckDigit = word.back() == 'c';
        if (part.CheckDigit) word.remove_suffix(1);
        const bool variable = word.starts_with("..");
        if (variable) word.remove_prefix(2);
        std::size_t n = 0;
        for (char c : word) n = n * 10 + static_cast<std::size_t>(c - '0');
        part.Max = n;
        part.Min = optional ? 0 : variable ? 1 : n;
        parts.push_back(part);
    }
    return parts;
}

bool InSet(char ASet, char c) {
    const bool digit = c >= '0' && c <= '9';
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    switch (ASet) {
        case 'N': return digit;
        case 'Y': return digit || upper || c == '#' || c == '-' || c == '/';
        case 'Z': return digit || upper || lower || c == '-' || c == '_' || c == '=';
        default:
            return digit || upper || lower ||
                   std::string_view("!\"%&'()*+,-./:;<=>?_").find(c) != std::string_view::npos;
    }
}

bool CheckDigitFits(std::string_view ADigits) {
    int sum = 0;
    int weight = 3;
    for (std::size_t i = ADigits.size() - 1; i-- > 0;) {
        sum += (ADigits[i] - '0') * weight;
        weight = 4 - weight;
    }
    return (10 - sum % 10) % 10 == ADigits.back() - '0';
}

const TAiFormat* FindAi(std::string_view AText, std::string_view& AAi) {
    for (std::size_t length = 2; length <= 4 && length <= AText.size(); ++length) {
        const std::string_view ai = AText.substr(0, length);
        if (!std::all_of(ai.begin(), ai.end(), [](char c) { return c >= '0' && c <= '9'; })) return nullptr;
        for (const TAiFormat& format : kAiFormats)
            if (format.First.size() == length && format.First <= ai && ai <= format.Last) {
                AAi = ai;
                return &format;
            }
    }
    return nullptr;
}

std::size_t PredefinedLength(std::string_view AAi) {
    for (const TPredefinedLength& entry : kPredefinedLengths)
        if (AAi.starts_with(entry.Prefix)) return entry.Length;
    return 0;
}

std::string Position(std::size_t APosition) { return std::to_string(APosition + 1); }

[[noreturn]] void Fail(const TMessageError& AError) { throw EGs1ElementString(AError); }

// Checks a field's data against its format; AAt is where the data starts in the value.
void CheckData(std::string_view AAi, std::string_view AFormat, std::string_view AData, std::size_t AAt) {
    const std::vector<TComponent> parts = Components(AFormat);
    std::size_t min = 0;
    std::size_t max = 0;
    for (const TComponent& part : parts) {
        min += part.Min;
        max += part.Max;
    }
    const std::string field = "(" + std::string(AAi) + ")";
    if (AData.size() < min || AData.size() > max) {
        if (min == max) Fail(TMessageError(TMessage::Gs1FieldLengthExact, field, max, AData.size()));
        if (AData.empty()) Fail(TMessageError(TMessage::Gs1FieldEmpty, field));
        Fail(TMessageError(TMessage::Gs1FieldTooLong, field, max));
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const TComponent& part = parts[i];
        // A fixed component takes its length, the last one takes the rest.
        const std::size_t length =
            i + 1 == parts.size() ? AData.size() - at : std::min(part.Max, AData.size() - at);
        const std::string_view piece = AData.substr(at, length);
        for (std::size_t k = 0; k < piece.size(); ++k) {
            if (InSet(part.Set, piece[k])) continue;
            if (part.Set == 'N') Fail(TMessageError(TMessage::Gs1DigitsOnly, field, Position(AAt + at + k)));
            Fail(TMessageError(TMessage::Gs1BadCharacter, field, Position(AAt + at + k)));
        }
        if (part.CheckDigit && !piece.empty() && !CheckDigitFits(piece))
            Fail(TMessageError(TMessage::Gs1BadCheckDigit, field));
        at += length;
    }
}

void AppendEscaped(std::string& AOut, std::string_view AText) {
    for (char c : AText) {
        AOut += c;
        if (c == '~') AOut += '~';
    }
}

}  // namespace

bool HasGs1Mark(std::string_view AValue) {
    return AValue.starts_with("]d2") || AValue.find(kGs1Separator) != std::string_view::npos;
}

std::vector<TGs1Element> ParseGs1ElementString(std::string_view AValue) {
    std::size_t pos = AValue.starts_with("]d2") ? 3 : 0;
    std::vector<TGs1Element> elements;
    while (pos < AValue.size()) {
        if (AValue[pos] == kGs1Separator) {
            ++pos;  // leading, redundant or trailing
            continue;
        }
        std::string_view ai;
        const TAiFormat* format = FindAi(AValue.substr(pos), ai);
        if (!format) Fail(TMessageError(TMessage::Gs1UnknownAi, Position(pos)));
        const std::size_t start = pos + ai.size();
        const std::size_t predefined = PredefinedLength(ai);
        std::size_t end = AValue.find(kGs1Separator, start);
        if (end == std::string_view::npos) end = AValue.size();
        if (predefined != 0) end = std::min(end, start + predefined);
        const std::string_view data = AValue.substr(start, end - start);
        CheckData(ai, format->Format, data, start);
        elements.push_back({std::string(ai), std::string(data), predefined != 0});
        pos = end;
    }
    if (elements.empty()) Fail(TMessageError(TMessage::Gs1EmptyValue));
    return elements;
}

std::string Gs1BracketedText(const std::vector<TGs1Element>& AElements) {
    std::string text;
    for (const TGs1Element& element : AElements) text += "[" + element.Ai + "]" + element.Data;
    return text;
}

std::string Gs1DataMatrixEscapedText(const std::vector<TGs1Element>& AElements) {
    std::string text = "~1";
    for (std::size_t i = 0; i < AElements.size(); ++i) {
        AppendEscaped(text, AElements[i].Ai);
        AppendEscaped(text, AElements[i].Data);
        if (!AElements[i].PredefinedLength && i + 1 < AElements.size()) text += "~1";
    }
    return text;
}

}  // namespace quorvane
