#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The system's converter into one code page (printer/tspl/code_page_system.h).
struct TCodePageConverter;
struct TCodePageConverterDeleter {
    void operator()(TCodePageConverter* AConverter) const;
};

// Encodes UTF-8 text into the single-byte (or DBCS) code page the printer is told to use with
// CODEPAGE. The setting is "UTF-8" (any case) or a Windows code-page number such as "1251" or
// "866". Characters the code page cannot represent become "?". One encoder keeps its system
// converter open, so converting many short values costs no set-up each time.
class TCodePageEncoder {
public:
    // Fails with "'%s' is not a valid integer value" for a setting that is no number, and with
    // a clear message for a number that is no code page available here.
    explicit TCodePageEncoder(const std::string& ACodepage);
    ~TCodePageEncoder();
    TCodePageEncoder(TCodePageEncoder&&) noexcept;
    TCodePageEncoder& operator=(TCodePageEncoder&&) noexcept;

    const std::string& Codepage() const { return FCodepage; }
    bool IsUtf8() const { return FIsUtf8; }

    // Appends the encoded bytes of AText to AOut. Each character written as "?" is added to
    // AMissing (its UTF-8 text) when given.
    void EncodeTo(std::string_view AText, std::string& AOut, std::vector<std::string>* AMissing = nullptr) const;
    std::string Encode(std::string_view AText, std::vector<std::string>* AMissing = nullptr) const;

private:
    std::string FCodepage;
    bool FIsUtf8 = false;
    std::unique_ptr<TCodePageConverter, TCodePageConverterDeleter> FConverter;
};

// The iconv name of a Windows code-page number, or empty when none is known: the code pages
// offered on every system.
std::string IconvNameOfCodePage(long ANumber);

// ABytes, written in the code page ACodepage names (as the setting and the CODEPAGE command
// give it), as UTF-8 text. Whatever the code page does not define, and every byte from 0x80 up
// when the code page is unknown here, becomes U+FFFD: the result is always valid UTF-8.
std::string DecodeCodePage(std::string_view ABytes, const std::string& ACodepage);

}  // namespace quorvane
