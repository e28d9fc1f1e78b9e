#include "printer/tspl/code_page.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "errors/messages.h"
#include "printer/tspl/code_page_system.h"
#include "text/ascii_text.h"
#include "text/utf8_text.h"

namespace quorvane {

namespace {

bool ParseCodePageNumber(std::string_view AText, long& ANumber) {
    while (!AText.empty() && AText.front() == ' ') AText.remove_prefix(1);
    while (!AText.empty() && AText.back() == ' ') AText.remove_suffix(1);
    if (!AText.empty() && AText.front() == '+') AText.remove_prefix(1);
    if (AText.empty()) return false;
    auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), ANumber);
    return ec == std::errc() && end == AText.data() + AText.size();
}

// The iconv name of a code-page setting; empty when it names none known here.
std::string IconvNameOfSetting(const std::string& ACodepage) {
    if (EqualsIgnoringAsciiCase(ACodepage, "utf-8")) return "UTF-8";
    long number = 0;
    return ParseCodePageNumber(ACodepage, number) ? IconvNameOfCodePage(number) : std::string();
}

}  // namespace

std::string IconvNameOfCodePage(long ANumber) {
    switch (ANumber) {
        // DOS and Windows code pages of the printer's list; glibc knows each as CPnnn.
        case 437:
        case 737:
        case 850:
        case 851:
        case 852:
        case 855:
        case 857:
        case 860:
        case 861:
        case 862:
        case 863:
        case 864:
        case 865:
        case 866:
        case 869:
        case 874:
        case 1250:
        case 1251:
        case 1252:
        case 1253:
        case 1254:
        case 1255:
        case 1256:
        case 1257:
        case 1258:
        case 932:
        case 936:
        case 949:
        case 950: return "CP" + std::to_string(ANumber);
        case 20127: return "ASCII";
        case 20866: return "KOI8-R";
        case 21866: return "KOI8-U";
        case 65001: return "UTF-8";
        default: break;
    }
    if (ANumber >= 28591 && ANumber <= 28605 && ANumber != 28600 && ANumber != 28601 && ANumber != 28602 &&
        ANumber != 28604)
        return "ISO-8859-" + std::to_string(ANumber - 28590);
    return {};
}

TCodePageEncoder::TCodePageEncoder(const std::string& ACodepage) : FCodepage(ACodepage) {
    if (EqualsIgnoringAsciiCase(ACodepage, "utf-8")) {
        FIsUtf8 = true;
        return;
    }
    long number = 0;
    if (!ParseCodePageNumber(ACodepage, number)) throw TMessageError(TMessage::NotAValidInteger, ACodepage);
    const std::string name = IconvNameOfCodePage(number);
    if (name == "UTF-8") {
        FIsUtf8 = true;
        return;
    }
    if (!name.empty()) FConverter = OpenCodePageEncoder(number, name);
    if (!FConverter) throw TMessageError(TMessage::CodePageNotSupported, number);
}

TCodePageEncoder::~TCodePageEncoder() = default;
TCodePageEncoder::TCodePageEncoder(TCodePageEncoder&&) noexcept = default;
TCodePageEncoder& TCodePageEncoder::operator=(TCodePageEncoder&&) noexcept = default;

void TCodePageEncoder::EncodeTo(std::string_view AText, std::string& AOut,
                                std::vector<std::string>* AMissing) const {
    if (FIsUtf8) {
        AOut.append(AText);
        return;
    }
    // Pure ASCII needs no conversion in any of the code pages we offer.
    bool ascii = true;
    for (char c : AText)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        AOut.append(AText);
        return;
    }

    EncodeNonAscii(*FConverter, AText, AOut, AMissing);
}

std::string TCodePageEncoder::Encode(std::string_view AText, std::vector<std::string>* AMissing) const {
    std::string out;
    EncodeTo(AText, out, AMissing);
    return out;
}

std::string DecodeCodePage(std::string_view ABytes, const std::string& ACodepage) {
    std::string out;
    const bool ascii = std::all_of(ABytes.begin(), ABytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        out.assign(ABytes);
        return out;
    }
    const std::string name = IconvNameOfSetting(ACodepage);
    if (name == "UTF-8") {
        // Checked here: glibc lets code points past U+10FFFF through from UTF-8 to UTF-8.
        while (!ABytes.empty()) {
            const std::size_t length = WellFormedUtf8Length(ABytes);
            if (length == 0)
                out += kReplacement;
            else
                out.append(ABytes.substr(0, length));
            ABytes.remove_prefix(std::max<std::size_t>(length, 1));
        }
        return out;
    }
    long number = 0;
    ParseCodePageNumber(ACodepage, number);
    if (name.empty() || !DecodeCodePageBytes(ABytes, number, name, out)) {
        for (char c : ABytes) {
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                out += kReplacement;
        }
    }
    return out;
}

}  // namespace quorvane
