#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "printer/tspl/code_page_system.h"

namespace quorvane {

struct TCodePageConverter {
    explicit TCodePageConverter(iconv_t ACd) : Cd(ACd) {}
    ~TCodePageConverter() { iconv_close(Cd); }
    TCodePageConverter(const TCodePageConverter&) = delete;
    TCodePageConverter& operator=(const TCodePageConverter&) = delete;
    iconv_t Cd;
};

void TCodePageConverterDeleter::operator()(TCodePageConverter* AConverter) const {
    std::default_delete<TCodePageConverter>()(AConverter);
}

std::unique_ptr<TCodePageConverter, TCodePageConverterDeleter> OpenCodePageEncoder(long ANumber,
                                                                                   const std::string& AName) {
    (void)ANumber;
    const iconv_t cd = iconv_open(AName.c_str(), "UTF-8");
    if (cd == iconv_t(-1)) return nullptr;
    return std::unique_ptr<TCodePageConverter, TCodePageConverterDeleter>(
        std::make_unique<TCodePageConverter>(cd).release());
}

void EncodeNonAscii(TCodePageConverter& AConverter, std::string_view AText, std::string& AOut,
                    std::vector<std::string>* AMissing) {
    const iconv_t cd = AConverter.Cd;
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

bool DecodeCodePageBytes(std::string_view ABytes, long ANumber, const std::string& AName, std::string& AOut) {
    (void)ANumber;
    const iconv_t cd = iconv_open("UTF-8", AName.c_str());
    if (cd == iconv_t(-1)) return false;
    const std::unique_ptr<void, void (*)(void*)> closer(
        cd, [](void* ACd) { iconv_close(static_cast<iconv_t>(ACd)); });
    std::string out;
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
    AOut += out;
    return true;
}

}  // namespace quorvane
