#include <windows.h>

#include <algorithm>

#include "printer/tspl/code_page_system.h"
#include "text/windows_text.h"

namespace quorvane {

struct TCodePageConverter {
    UINT CodePage;
    // Bytes 0x80..0xFF of a code page the system lacks; 0 where the page has no character.
    const char16_t* Table;
};

void TCodePageConverterDeleter::operator()(TCodePageConverter* AConverter) const {
    std::default_delete<TCodePageConverter>()(AConverter);
}

namespace {

// DOS Greek (851), on the printer's list but not among Windows' code pages.
// clang-format off
constexpr char16_t kCodePage851[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0386, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0388, 0x00C4, 0x0389,
    0x038A, 0x0000, 0x038C, 0x00F4, 0x00F6, 0x038E, 0x00FB, 0x00F9,
    0x038F, 0x00D6, 0x00DC, 0x03AC, 0x00A3, 0x03AD, 0x03AE, 0x03AF,
    0x03CA, 0x0390, 0x03CC, 0x03CD, 0x0391, 0x0392, 0x0393, 0x0394,
    0x0395, 0x0396, 0x0397, 0x00BD, 0x0398, 0x0399, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x039A, 0x039B, 0x039D,
    0x039C, 0x2563, 0x2551, 0x2557, 0x255D, 0x039E, 0x039F, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x03A0, 0x03A1,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x03A3,
    0x03A4, 0x03A5, 0x03A6, 0x03A7, 0x03A8, 0x03A9, 0x03B1, 0x03B2,
    0x03B3, 0x2518, 0x250C, 0x2588, 0x2584, 0x03B4, 0x03B5, 0x2580,
    0x03B6, 0x03B7, 0x03B8, 0x03B9, 0x03BA, 0x03BB, 0x03BC, 0x03BD,
    0x03BE, 0x03BF, 0x03C0, 0x03C1, 0x03C3, 0x03C2, 0x03C4, 0x00B4,
    0x00AD, 0x00B1, 0x03C5, 0x03C6, 0x03C7, 0x00A7, 0x03C8, 0x02DB,
    0x00B0, 0x00A8, 0x03C9, 0x03CB, 0x03B0, 0x03CE, 0x25A0, 0x00A0,
};
// clang-format on

const char16_t* OwnTable(long ANumber) { return ANumber == 851 ? kCodePage851 : nullptr; }

// The system knows the code page when it can say what it is.
bool Installed(long ANumber) {
    CPINFO info{};
    return ANumber > 0 && ::GetCPInfo(static_cast<UINT>(ANumber), &info);
}

// The length of the well-formed UTF-8 sequence at AText's front, or 0.
std::size_t Utf8Length(std::string_view AText) {
    const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(AText[0]));
    if (static_cast<unsigned char>(AText[0]) < 0x80) return 1;
    if (length < 2 || AText.size() < length) return 0;
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, AText.data(), static_cast<int>(length),
                                 nullptr, 0) > 0
               ? length
               : 0;
}

}  // namespace

std::unique_ptr<TCodePageConverter, TCodePageConverterDeleter> OpenCodePageEncoder(long ANumber,
                                                                                   const std::string& AName) {
    (void)AName;
    const char16_t* table = OwnTable(ANumber);
    if (table == nullptr && !Installed(ANumber)) return nullptr;
    return std::unique_ptr<TCodePageConverter, TCodePageConverterDeleter>(
        std::make_unique<TCodePageConverter>(TCodePageConverter{static_cast<UINT>(ANumber), table})
            .release());
}

// One character at a time: the system would otherwise put its best-fit look-alikes ("e" for
// "ё") where the code page has no such character, and a printer must show that it is missing.
void EncodeNonAscii(TCodePageConverter& AConverter, std::string_view AText, std::string& AOut,
                    std::vector<std::string>* AMissing) {
    while (!AText.empty()) {
        const std::size_t well = Utf8Length(AText);
        const std::size_t length =
            well != 0 ? well
                      : std::min(AText.size(), Utf8SequenceLength(static_cast<unsigned char>(AText[0])));
        const std::string_view character = AText.substr(0, length);
        AText.remove_prefix(length);
        if (well == 1) {
            AOut += character;
            continue;
        }
        char bytes[8];
        BOOL defaulted = FALSE;
        const std::wstring wide = well != 0 ? WindowsText(character) : std::wstring();
        if (AConverter.Table != nullptr) {
            const auto* end = AConverter.Table + 128;
            const auto* at = wide.size() == 1 ? std::find(AConverter.Table, end, wide[0]) : end;
            if (at != end && *at != 0) {
                AOut += static_cast<char>(0x80 + (at - AConverter.Table));
            } else {
                AOut += '?';
                if (AMissing) AMissing->emplace_back(character);
            }
            continue;
        }
        const int n = wide.empty() ? 0
                                   : ::WideCharToMultiByte(AConverter.CodePage, WC_NO_BEST_FIT_CHARS,
                                                           wide.data(), static_cast<int>(wide.size()), bytes,
                                                           sizeof bytes, nullptr, &defaulted);
        if (n > 0 && !defaulted) {
            AOut.append(bytes, static_cast<std::size_t>(n));
            continue;
        }
        AOut += '?';
        if (AMissing) AMissing->emplace_back(character);
    }
}

bool DecodeCodePageBytes(std::string_view ABytes, long ANumber, const std::string& AName, std::string& AOut) {
    (void)AName;
    const char16_t* table = OwnTable(ANumber);
    if (table == nullptr && !Installed(ANumber)) return false;
    const auto page = static_cast<UINT>(ANumber);
    std::string out;
    while (table != nullptr && !ABytes.empty()) {
        const auto byte = static_cast<unsigned char>(ABytes[0]);
        const wchar_t character = byte < 0x80 ? byte : table[byte - 0x80];
        out += character != 0 ? Utf8Text(std::wstring_view(&character, 1)) : std::string(kReplacement);
        ABytes.remove_prefix(1);
    }
    while (!ABytes.empty()) {
        // A lead byte of a double-byte code page takes its trail byte with it.
        const std::size_t length =
            ::IsDBCSLeadByteEx(page, static_cast<BYTE>(ABytes[0])) && ABytes.size() > 1 ? 2 : 1;
        wchar_t wide[4];
        const int n = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, ABytes.data(),
                                            static_cast<int>(length), wide, 4);
        if (n > 0)
            out += Utf8Text(std::wstring_view(wide, static_cast<std::size_t>(n)));
        else
            out += kReplacement;
        ABytes.remove_prefix(length);
    }
    AOut += out;
    return true;
}

}  // namespace quorvane
