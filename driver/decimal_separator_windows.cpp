#include <windows.h>

#include "driver/document_attributes.h"

namespace quorvane {

char UserDecimalSeparator() {
    // The user's regional settings, whatever locale the host's C runtime has selected.
    wchar_t radix[8] = {};
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, radix, 8);
    // length counts the terminator: one character only, and an ASCII one.
    return length == 2 && radix[0] > 0 && radix[0] < 0x80 ? static_cast<char>(radix[0]) : '.';
}

}  // namespace quorvane
