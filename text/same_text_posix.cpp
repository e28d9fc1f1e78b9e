#include "text/same_text.h"

#include <locale.h>
#include <clocale>
#include <cwchar>
#include <cwctype>

#include <memory>
#include <type_traits>

namespace quorvane {

namespace {

struct LocaleDeleter {
    void operator()(locale_t l) const { freelocale(l); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

// The case mapping must not depend on the locale the host process happens to run in, so one
// UTF-8 locale object is made for the whole library; it goes when the library is unloaded.
locale_t Utf8Locale() {
    static const LocalePtr loc = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "ru_RU.UTF-8"}) {
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr)))
                return LocalePtr(l);
        }
        return LocalePtr();
    }();
    return loc.get();
}

// Next character of `s` at `pos` folded to lower case; a byte that does not start a
// well-formed sequence is returned as itself, offset into a range no character uses.
wint_t NextFolded(std::string_view s, std::size_t& pos, locale_t loc) {
    std::mbstate_t state{};
    wchar_t wc = 0;
    const std::size_t len = std::mbrtowc(&wc, s.data() + pos, s.size() - pos, &state);
    if (len == 0 || len > s.size() - pos) {  // embedded NUL, or an invalid / cut-short sequence
        const auto byte = static_cast<unsigned char>(s[pos]);
        ++pos;
        return byte == 0 ? 0 : 0x110000 + byte;
    }
    pos += len;
    return towlower_l(static_cast<wint_t>(wc), loc);
}

}  // namespace

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
    const locale_t loc = Utf8Locale();
    if (loc == nullptr) return a == b;
    // mbrtowc decodes by the calling thread's locale: switch this thread to UTF-8 meanwhile.
    const locale_t previous = uselocale(loc);
    std::size_t i = 0;
    std::size_t j = 0;
    bool same = true;
    while (same && i < a.size() && j < b.size()) same = NextFolded(a, i, loc) == NextFolded(b, j, loc);
    uselocale(previous);
    return same && i == a.size() && j == b.size();
}

}  // namespace quorvane
