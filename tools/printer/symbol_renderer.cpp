#include "tools/printer/symbol_renderer.h"

#include <zint.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/printer/text_renderer.h"

namespace quorvane {

namespace {

struct ZintDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};
using ZintPtr = std::unique_ptr<zint_symbol, ZintDeleter>;

struct LinearType {
    const char* name;
    int zint;
    bool twoWidth;    // bars are narrow or wide; run lengths map onto the two widths
    int option2 = 0;  // check digit option where the type asks for one
};

constexpr LinearType kLinearTypes[] = {
    {"128", BARCODE_CODE128, false},    {"128M", BARCODE_CODE128, false},
    {"EAN128", BARCODE_GS1_128, false}, {"25", BARCODE_C25INTER, true},
    {"25C", BARCODE_C25INTER, true, 1}, {"25S", BARCODE_C25STANDARD, true},
    {"39", BARCODE_EXCODE39, true},     {"39C", BARCODE_EXCODE39, true, 1},
    {"39S", BARCODE_CODE39, true},      {"93", BARCODE_CODE93, false},
    {"EAN13", BARCODE_EANX, false},     {"EAN13+2", BARCODE_EANX, false},
    {"EAN13+5", BARCODE_EANX, false},   {"EAN8", BARCODE_EANX, false},
    {"EAN8+2", BARCODE_EANX, false},    {"EAN8+5", BARCODE_EANX, false},
    {"UPCA", BARCODE_UPCA, false},      {"UPCE", BARCODE_UPCE, false},
    {"ITF14", BARCODE_ITF14, true},     {"CODA", BARCODE_CODABAR, true},
    {"MSI", BARCODE_MSI_PLESSEY, true}, {"PLESSEY", BARCODE_PLESSEY, true},
    {"11", BARCODE_CODE11, true},
};

const LinearType* FindType(const std::string& name) {
    for (const auto& t : kLinearTypes)
        if (name == t.name) return &t;
    return nullptr;
}

bool ModuleSet(const zint_symbol* s, int row, int col) {
    return (s->encoded_data[row][col >> 3] >> (col & 7)) & 1;
}

ZintPtr Encode(int type, const std::string& data, int option1, int option2, int option3, int inputMode,
               int outputOptions = 0) {
    ZintPtr sym(ZBarcode_Create());
    if (!sym) throw std::runtime_error("zint: out of memory");
    sym->symbology = type;
    sym->output_options |= outputOptions;
    sym->option_1 = option1;
    sym->option_2 = option2;
    sym->option_3 = option3;
    sym->input_mode = inputMode;
    int rc = ZBarcode_Encode(sym.get(), reinterpret_cast<const unsigned char*>(data.data()),
                             static_cast<int>(data.size()));
    if (rc >= ZINT_ERROR) throw std::runtime_error(sym->errtxt);
    return sym;
}

// A matrix symbol with square or rectangular modules of the given dots.
MonoImage Matrix(const zint_symbol* s, int moduleW, int rowH) {
    long long w = static_cast<long long>(s->width) * moduleW, h = static_cast<long long>(s->rows) * rowH;
    if (w <= 0 || h <= 0 || w * h > LabelCanvas::kMaxDots) throw std::runtime_error("symbol too large");
    MonoImage out(static_cast<int>(w), static_cast<int>(h));
    for (int r = 0; r < s->rows; ++r)
        for (int c = 0; c < s->width; ++c)
            if (ModuleSet(s, r, c))
                for (int y = r * rowH; y < (r + 1) * rowH; ++y)
                    for (int x = c * moduleW; x < (c + 1) * moduleW; ++x) out.At(x, y) = 1;
    return out;
}

// Manual Code 128 ("128M"): "!nnn" is a code value: 103-105 start in code set A, B or C, 99-101
// change the set, 96 is FNC3 (reader initialisation) before any data; anything else is data of
// the current set, digit pairs in set C. FNC1, FNC2, FNC4 and SHIFT are refused: the encoder
// cannot place them where the job puts them. Returns the data; the code sets are the encoder's.
std::string ManualCode128Data(const std::string& content, bool& readerInit) {
    char set = 'B';
    std::string data;
    readerInit = false;
    std::size_t i = 0;
    while (i < content.size()) {
        if (content[i] != '!') {
            if (set != 'C') {
                data += content[i++];
                continue;
            }
            if (i + 1 >= content.size() || !std::isdigit(static_cast<unsigned char>(content[i])) ||
                !std::isdigit(static_cast<unsigned char>(content[i + 1])))
                throw std::runtime_error("code set C takes digit pairs");
            data.append(content, i, 2);
            i += 2;
            continue;
        }
        const std::string digits = content.substr(i + 1, 3);
        if (digits.size() != 3 || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            }) || std::stoi(digits) > 106)
            throw std::runtime_error("!" + digits + " is no Code 128 code value");
        const int v = std::stoi(digits);
        const bool first = i == 0;
        i += 4;
        if (v >= 103 && v <= 105) {
            if (!first) throw std::runtime_error("start code value " + digits + " inside the data");
            set = static_cast<char>('A' + (v - 103));
        } else if (set == 'C' && v < 100) {
            data += digits.substr(1);
        } else if (set != 'C' && v < 96) {
            data += static_cast<char>(set == 'A' && v >= 64 ? v - 64 : v + 32);
        } else if (v == 96 && set != 'C' && data.empty()) {
            readerInit = true;
        } else if (v == 99 && set != 'C') {
            set = 'C';
        } else if (v == 100 && set != 'B') {
            set = 'B';
        } else if (v == 101 && set != 'A') {
            set = 'A';
        } else {
            throw std::runtime_error("code value " + digits + " (FNC1, FNC2, FNC4, SHIFT or FNC3 after data) is not drawn");
        }
    }
    return data;
}

// TSPL gives EAN add-ons as trailing digits; zint wants them after a '+'.
std::string EanContent(const std::string& type, const std::string& content) {
    std::size_t plus = type.find('+');
    if (plus == std::string::npos || content.find('+') != std::string::npos) return content;
    std::size_t addon = static_cast<std::size_t>(type[plus + 1] - '0');
    std::size_t main = type.starts_with("EAN13") ? 12 : 7;
    if (content.size() == main + 1 + addon) ++main;  // check digit included
    if (content.size() != main + addon) return content;
    return content.substr(0, main) + "+" + content.substr(main);
}

// DMATRIX content with an escape character E: E1 is FNC1, EdNNN the byte NNN (three digits),
// EE the character E itself, E@ to E_ the control characters 0 to 31. Returns the data split at
// every FNC1: a leading FNC1 gives an empty first part.
std::vector<std::string> SplitAtFnc1(const std::string& content, char escape) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] != escape) {
            parts.back() += content[i];
            continue;
        }
        if (++i == content.size()) throw std::runtime_error("escape character at the end of the content");
        const char c = content[i];
        if (c == '1') {
            parts.emplace_back();
        } else if (c == escape) {
            parts.back() += c;
        } else if (c >= '@' && c <= '_') {
            parts.back() += static_cast<char>(c - '@');
        } else if (c == 'd' && i + 3 < content.size() &&
                   std::isdigit(static_cast<unsigned char>(content[i + 1])) &&
                   std::isdigit(static_cast<unsigned char>(content[i + 2])) &&
                   std::isdigit(static_cast<unsigned char>(content[i + 3]))) {
            const int value = std::stoi(content.substr(i + 1, 3));
            if (value > 255)
                throw std::runtime_error("escape ~d" + content.substr(i + 1, 3) + " is not a byte");
            parts.back() += static_cast<char>(value);
            i += 3;
        } else {
            throw std::runtime_error(std::string("unknown escape sequence ") + escape + c);
        }
    }
    return parts;
}

// zint writes FNC1 itself, after an element unless its AI's first two digits are among these
// (as zint 2.11 does). The GS1 text is bracketed so that its FNC1s fall exactly where the job
// put them: a part that a FNC1 follows ends with an AI of another pair.
bool ZintOmitsFnc1After(const std::string& pair) {
    for (const char* p : {"00", "01", "02", "03", "04", "11", "12", "13", "14", "15", "16", "17",
                          "18", "19", "20", "23", "31", "32", "33", "34", "35", "36", "41"})
        if (pair == p) return true;
    return false;
}

std::string BracketedForFnc1(const std::vector<std::string>& parts) {
    auto pairAt = [](const std::string& s, std::size_t at) {
        return at + 2 <= s.size() && std::isdigit(static_cast<unsigned char>(s[at])) &&
               std::isdigit(static_cast<unsigned char>(s[at + 1]));
    };
    std::string text;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (!pairAt(part, 0)) throw std::runtime_error("GS1 data after FNC1 does not start with an AI");
        const bool fnc1Follows = i + 1 < parts.size();
        std::size_t split = 0;
        if (fnc1Follows && ZintOmitsFnc1After(part.substr(0, 2))) {
            for (std::size_t at = part.size(); at-- > 2 && split == 0;)
                if (pairAt(part, at) && !ZintOmitsFnc1After(part.substr(at, 2))) split = at;
            if (split == 0) throw std::runtime_error("FNC1 after " + part + " cannot be drawn");
        }
        if (split == 0) {
            text += "[" + part.substr(0, 2) + "]" + part.substr(2);
        } else {
            text += "[" + part.substr(0, 2) + "]" + part.substr(2, split - 2) + "[" + part.substr(split, 2) +
                    "]" + part.substr(split + 2);
        }
    }
    return text;
}

}  // namespace

bool SymbolRenderer::KnownLinearType(const std::string& type) { return FindType(type) != nullptr; }

bool SymbolRenderer::TwoWidthType(const std::string& type) {
    const LinearType* t = FindType(type);
    return t && t->twoWidth;
}

MonoImage SymbolRenderer::Linear(const LinearSymbol& s) {
    const LinearType* t = FindType(s.type);
    if (!t) throw std::runtime_error("unknown barcode type " + s.type);
    std::string data = s.content;
    int inputMode = DATA_MODE;
    if (t->zint == BARCODE_GS1_128) {
        // Bracketed or parenthesised AIs as given; bare digits are FNC1 plus the digits,
        // which zint writes the same way once the first two digits are shown as an AI.
        if (!data.empty() && data.front() == '(') {
            inputMode = GS1_MODE | GS1PARENS_MODE | GS1NOCHECK_MODE;
        } else if (!data.empty() && data.front() == '[') {
            inputMode = GS1_MODE | GS1NOCHECK_MODE;
        } else {
            if (data.size() < 3) throw std::runtime_error("EAN128 content too short");
            data = "[" + data.substr(0, 2) + "]" + data.substr(2);
            inputMode = GS1_MODE | GS1NOCHECK_MODE;
        }
    }
    if (t->zint == BARCODE_EANX) data = EanContent(s.type, data);
    bool readerInit = false;
    if (s.type == "128M") data = ManualCode128Data(data, readerInit);
    ZintPtr sym = Encode(t->zint, data, 0, t->option2, 0, inputMode, readerInit ? READER_INIT : 0);

    int narrow = std::clamp(s.narrow, 1, 64);
    int wide = std::clamp(s.wide, narrow, 64 * 3);
    // Run lengths of the encoded row become dots: modules times narrow, or for two-width
    // symbologies a narrow or a wide element.
    std::vector<std::pair<bool, int>> runs;
    for (int c = 0; c < sym->width;) {
        bool bar = ModuleSet(sym.get(), 0, c);
        int n = 0;
        while (c < sym->width && ModuleSet(sym.get(), 0, c) == bar) {
            ++n;
            ++c;
        }
        runs.emplace_back(bar, t->twoWidth ? (n == 1 ? narrow : wide) : n * narrow);
    }
    long long width = 0;
    for (auto& r : runs) width += r.second;
    int barHeight = std::clamp(s.height, 1, 30000);

    MonoImage text;
    if (s.readable != 0) {
        FontCell cell;
        TextRenderer::LookupFont("2", s.dpi, cell);
        text = TextRenderer::Render(reinterpret_cast<const char*>(sym->text), cell, 1, 1, s.dpi);
    }
    int gap = text.height ? std::max(2, s.dpi / 100) : 0;
    long long totalW = std::max<long long>(width, text.width);
    long long totalH = barHeight + gap + text.height;
    if (totalW * totalH > LabelCanvas::kMaxDots) throw std::runtime_error("symbol too large");
    MonoImage out(static_cast<int>(totalW), static_cast<int>(totalH));
    long long x = 0;
    for (auto& [bar, w] : runs) {
        if (bar)
            for (int y = 0; y < barHeight; ++y)
                for (long long i = x; i < x + w; ++i) out.At(static_cast<int>(i), y) = 1;
        x += w;
    }
    if (text.height) {
        int tx = s.readable == 1   ? 0
                 : s.readable == 3 ? static_cast<int>(totalW - text.width)
                                   : static_cast<int>((totalW - text.width) / 2);
        for (int y = 0; y < text.height; ++y)
            for (int i = 0; i < text.width; ++i)
                if (text.At(i, y)) out.At(tx + i, barHeight + gap + y) = 1;
    }
    return out;
}

MonoImage SymbolRenderer::Qr(const QrSymbol& s) {
    int ecc = s.ecc == 'L' ? 1 : s.ecc == 'Q' ? 3 : s.ecc == 'H' ? 4 : 2;
    int option3 = s.mask >= 0 && s.mask <= 7 ? (s.mask + 1) << 8 : 0;
    ZintPtr sym = Encode(BARCODE_QRCODE, s.content, ecc, 0, option3, DATA_MODE);
    int cell = std::clamp(s.cell, 1, 100);
    return Matrix(sym.get(), cell, cell);
}

MonoImage SymbolRenderer::DataMatrix(const DataMatrixSymbol& s) {
    // zint's size numbers for the square and rectangular ECC 200 symbols.
    static constexpr int kSizes[][3] = {
        {10, 10, 1},  {12, 12, 2},  {14, 14, 3},    {16, 16, 4},    {18, 18, 5},    {20, 20, 6},
        {22, 22, 7},  {24, 24, 8},  {26, 26, 9},    {32, 32, 10},   {36, 36, 11},   {40, 40, 12},
        {44, 44, 13}, {48, 48, 14}, {52, 52, 15},   {64, 64, 16},   {72, 72, 17},   {80, 80, 18},
        {88, 88, 19}, {96, 96, 20}, {104, 104, 21}, {120, 120, 22}, {132, 132, 23}, {144, 144, 24},
        {8, 18, 25},  {8, 32, 26},  {12, 26, 27},   {12, 36, 28},   {16, 36, 29},   {16, 48, 30},
    };
    int size = 0;
    for (const auto& z : kSizes)
        if (z[0] == s.rows && z[1] == s.cols) size = z[2];
    if (s.rows || s.cols) {
        if (!size)
            throw std::runtime_error("no Data Matrix symbol has " + std::to_string(s.rows) + " rows and " +
                                     std::to_string(s.cols) + " columns");
    }
    std::string data = s.content;
    int inputMode = DATA_MODE;
    if (s.escape > 0 && s.escape < 256) {
        const std::vector<std::string> parts = SplitAtFnc1(s.content, static_cast<char>(s.escape));
        data = parts[0];
        if (parts.size() > 1) {
            // FNC1 first makes the symbol GS1; anywhere else zint cannot put it.
            if (!parts[0].empty()) throw std::runtime_error("FNC1 after data is not supported");
            data = BracketedForFnc1(parts);
            inputMode = GS1_MODE | GS1NOCHECK_MODE;
        }
    }
    ZintPtr sym = Encode(BARCODE_DATAMATRIX, data, 0, size, size || s.rectangle ? 0 : DM_SQUARE, inputMode);
    int module = s.module;
    if (module <= 0) {
        int fit = std::min(s.boxWidth / std::max(1, sym->width), s.boxHeight / std::max(1, sym->rows));
        module = std::max(1, fit);
    }
    module = std::clamp(module, 1, 100);
    return Matrix(sym.get(), module, module);
}

MonoImage SymbolRenderer::Pdf417(const Pdf417Symbol& s) {
    int module = std::clamp(s.module, 1, 50);
    int rowHeight = s.rowHeight > 0 ? std::clamp(s.rowHeight, 1, 500) : 3 * module;
    int type = s.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417;
    int ecc = s.ecc >= 0 && s.ecc <= 8 ? s.ecc : -1;
    int cols = std::clamp(s.cols, 0, 30), rows = std::clamp(s.rows, 0, 90);
    if (rows && rows < 3) rows = 3;
    ZintPtr sym;
    try {
        sym = Encode(type, s.content, ecc, cols, rows, DATA_MODE);
    } catch (const std::runtime_error&) {
        // Rows and columns are upper bounds for the printer; let zint choose when they don't fit.
        sym = Encode(type, s.content, ecc, 0, 0, DATA_MODE);
    }
    return Matrix(sym.get(), module, rowHeight);
}

}  // namespace quorvane
