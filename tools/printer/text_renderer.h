#pragma once
// Approximates the printer's built-in fonts with a monospaced outline font rendered without
// antialiasing into the font's cell grid, so text has the size a printer would give it.
#include <string>

#include "tools/printer/label_canvas.h"

namespace quorvane {

struct FontCell {
    int width = 0;  // dots per character at multiplier 1
    int height = 0;
    bool scalable = false;  // TrueType names: multipliers are point sizes
};

class TextRenderer {
public:
    // The resident font's cell at this resolution; false for an unknown font name.
    static bool LookupFont(const std::string& name, int dpi, FontCell& cell);

    // utf8 text in cells of cell.width*xMul by cell.height*yMul dots (for scalable fonts,
    // xMul/yMul are point sizes). Returns the unrotated picture.
    static MonoImage Render(const std::string& utf8, const FontCell& cell, int xMul, int yMul, int dpi);
};

}  // namespace quorvane
