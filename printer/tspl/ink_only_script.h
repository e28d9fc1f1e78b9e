#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// A label's script with every BITMAP cut down to the whole bytes of its rows that carry ink,
// in one or more blocks (split where the white rows between them cost more than a command),
// and a bitmap without ink left out. An overwriting bitmap (mode 0) erases what lies beneath
// its white dots, so its white stays wherever an earlier command may have drawn: the exact dots
// of earlier bitmaps, the boxes of BAR and BOX, and, for any other command that draws (TEXT,
// BARCODE, QRCODE, ...) or that is not known, and before the first CLS, the whole label. The printed label stays the same
// dot for dot; every line but the BITMAP commands stays as it is.
std::string InkOnlyScript(std::string_view AScript);

}  // namespace quorvane
