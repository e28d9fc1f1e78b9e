#pragma once
// Draws barcode symbols with zint from a command's own parameters, module sizes in dots.
#include <string>

#include "tools/printer/label_canvas.h"

namespace quorvane {

struct LinearSymbol {
    std::string type;  // TSPL type name: "128", "39", "EAN13", ...
    std::string content;
    int height = 0;    // bar height in dots
    int readable = 0;  // 0 none, 1 left, 2 centre, 3 right
    int narrow = 1;    // dots
    int wide = 2;      // dots (two-width symbologies)
    int dpi = 203;
};

struct QrSymbol {
    std::string content;
    char ecc = 'M';  // L, M, Q, H
    int cell = 4;    // dots per module
    int mask = -1;   // 0..7, -1 automatic
};

struct DataMatrixSymbol {
    std::string content;
    int boxWidth = 0, boxHeight = 0;  // the area given to the symbol, dots
    int module = 0;                   // dots per module, 0: the largest that fits the box
    int rows = 0, cols = 0;           // 0: automatic
    int escape = 0;                   // c#: escape character code, 0 none
    bool rectangle = false;           // automatic size may be rectangular (a1)
};

struct Pdf417Symbol {
    std::string content;
    int ecc = -1;       // 0..8, -1 automatic
    int module = 3;     // module width, dots
    int rowHeight = 0;  // dots, 0: three modules
    int rows = 0, cols = 0;
    bool truncated = false;
};

class SymbolRenderer {
public:
    // Each throws std::runtime_error with zint's message when the content cannot be encoded.
    static bool KnownLinearType(const std::string& type);
    // Bars and spaces are narrow or wide (Code 39, interleaved 2 of 5, Codabar...).
    static bool TwoWidthType(const std::string& type);
    static MonoImage Linear(const LinearSymbol& s);
    static MonoImage Qr(const QrSymbol& s);
    static MonoImage DataMatrix(const DataMatrixSymbol& s);
    static MonoImage Pdf417(const Pdf417Symbol& s);
};

}  // namespace quorvane
