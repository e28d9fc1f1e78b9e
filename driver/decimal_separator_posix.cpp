#include <langinfo.h>
#include <locale.h>

#include "driver/document_attributes.h"

namespace quorvane {

char UserDecimalSeparator() {
    // An empty locale name reads the user's environment, independent of setlocale().
    locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr)) return '.';
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    const char separator = radix && radix[0] && !radix[1] ? radix[0] : '.';
    freelocale(user);
    return separator;
}

}  // namespace quorvane
