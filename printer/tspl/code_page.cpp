#include "printer/tspl/code_page.h"

#include <iconv.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <stdexcept>

#include "errors/messages.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

// Length of the UTF-8 sequence that starts with ALead; 1 for a stray byte, so a bad byte is
// skipped on its own.
std::size_t Utf8SequenceLength(unsigned char ALead) {
    if (ALead >= 0xF0 && ALead <= 0xF4) return 4;
    if (ALead >= 0xE0) return ALead <= 0xEF ? 3 : 1;
    if (ALead >= 0xC2) return 2;
    return 1;
}

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

constexpr std::string_view kReplacement{"\xEF\xBF\xBD"};  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at ABytes' front (no overlong forms, surrogates
// or code points past U+10FFFF), or 0.
std::size_t WellFormedUtf8Length(std::string_view ABytes) {
    const auto byte = [&](std::size_t AIndex) { return static_cast<unsigned char>(ABytes[AIndex]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || ABytes.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
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

void TCodePageEncoder::TIconvCloser::operator()(void* ACd) const { iconv_close(static_cast<iconv_t>(ACd)); }

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
    iconv_t cd = name.empty() ? iconv_t(-1) : iconv_open(name.c_str(), "UTF-8");
    if (cd == iconv_t(-1)) throw TMessageError(TMessage::CodePageNotSupported, number);
    FCd.reset(cd);
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

    auto cd = static_cast<iconv_t>(FCd.get());
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t start = AOut.size();
    std::size_t used = start;
    AOut.resize(start + AText.size() * 2 + 16);
    char* in = const_cast<char*>(AText.data());
    std::size_t inLeft = AText.size();
    auto convert = [&](char** AIn, std::size_t* AInLeft) {
        for (;;) {
            char* out = AOut.data() + used;
            std::size_t outLeft = AOut.size() - used;
            const std::size_t rc = iconv(cd, AIn, AInLeft, &out, &outLeft);
            used = static_cast<std::size_t>(out - AOut.data());
            if (rc != std::size_t(-1)) return 0;
            if (errno != E2BIG) return errno;
            AOut.resize(AOut.size() * 2);
        }
    };
    while (inLeft > 0) {
        const int error = convert(&in, &inLeft);
        if (error == 0) break;
        // Unrepresentable or malformed: one "?" per character, then carry on.
        if (used == AOut.size()) AOut.resize(AOut.size() * 2);
        AOut[used++] = '?';
        const std::size_t skip =
            error == EILSEQ ? std::min(inLeft, Utf8SequenceLength(static_cast<unsigned char>(*in))) : inLeft;
        if (AMissing) AMissing->emplace_back(in, skip);
        in += skip;
        inLeft -= skip;
    }
    convert(nullptr, nullptr);  // flush the shift state of stateful code pages
    AOut.resize(used);
}

std::string TCodePageEncoder::Encode(std::string_view AText, std::vector<std::string>* AMissing) const {
    std::string out;
    EncodeTo(AText, out, AMissing);
    return out;
}

std::string CodePointName(std::string_view AUtf8) {
    char32_t code = 0;
    const std::size_t length = AUtf8.empty() ? 0 : WellFormedUtf8Length(AUtf8);
    char name[16];
    if (length == 0) {
        if (AUtf8.empty()) return {};
        std::snprintf(name, sizeof name, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(AUtf8[0])));
        return name;
    }
    const auto lead = static_cast<unsigned char>(AUtf8[0]);
    code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(AUtf8[i]) & 0x3F);
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
    return name;
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
    const iconv_t cd = name.empty() ? iconv_t(-1) : iconv_open("UTF-8", name.c_str());
    if (cd == iconv_t(-1)) {
        for (char c : ABytes) {
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                out += kReplacement;
        }
        return out;
    }
    const std::unique_ptr<void, void (*)(void*)> closer(
        cd, [](void* ACd) { iconv_close(static_cast<iconv_t>(ACd)); });
    char* in = const_cast<char*>(ABytes.data());
    std::size_t inLeft = ABytes.size();
    std::size_t used = 0;
    out.resize(ABytes.size() * 3 + 16);
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = static_cast<std::size_t>(outPtr - out.data());
        if (rc != std::size_t(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // A byte the code page does not define, or a sequence cut short at the end.
        if (out.size() - used < kReplacement.size()) out.resize(out.size() * 2);
        out.replace(used, kReplacement.size(), kReplacement);
        used += kReplacement.size();
        const std::size_t skip = errno == EILSEQ ? 1 : inLeft;
        in += skip;
        inLeft -= skip;
    }
    out.resize(used);
    return out;
}

}  // namespace quorvane
