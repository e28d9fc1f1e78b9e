#include "printer/tspl/ink_only_script.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

#include "printer/tspl/bitmap_command.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

// Somewhere an earlier command may have put ink: the set bits of a bitmap's raster (a clear bit
// in the BITMAP data) or, without data, the whole box.
struct TDrawn {
    std::int64_t X = 0;
    std::int64_t Y = 0;
    std::int64_t Width = 0;  // dots
    std::int64_t Height = 0;
    const std::uint8_t* Data = nullptr;
    std::int64_t Stride = 0;
};

// Beyond any label: what a command of unknown extent may have drawn on.
constexpr std::int64_t kEverywhere = std::int64_t{1} << 40;

// A block of a bitmap that is sent: rows and whole-byte columns, both ends included.
struct TBlock {
    std::int64_t Row0, Row1, Col0, Col1;
};

// Blanks, then comma-separated decimal numbers (blanks around them allowed), exactly ACount.
std::optional<std::vector<std::int64_t>> Numbers(std::string_view AText, std::size_t ACount) {
    std::vector<std::int64_t> numbers;
    auto skipBlanks = [&AText] {
        while (!AText.empty() && AText.front() == ' ') AText.remove_prefix(1);
    };
    for (std::size_t i = 0; i < ACount; ++i) {
        skipBlanks();
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
        if (ec != std::errc() || value < -kEverywhere || value > kEverywhere) return std::nullopt;
        AText.remove_prefix(static_cast<std::size_t>(end - AText.data()));
        skipBlanks();
        if (i + 1 < ACount) {
            if (AText.empty() || AText.front() != ',') return std::nullopt;
            AText.remove_prefix(1);
        }
        numbers.push_back(value);
    }
    return AText.empty() ? std::optional(numbers) : std::nullopt;
}

class TInkOnlyWriter {
public:
    explicit TInkOnlyWriter(std::string_view AScript) : FScript(AScript) { FOut.reserve(AScript.size()); }

    std::string Run() {
        std::size_t pos = 0;
        while (pos < FScript.size()) {
            const std::string_view rest = FScript.substr(pos);
            std::size_t used = 0;
            if (const auto head = ParseBitmapHead(rest)) used = Bitmap(rest, *head);
            if (used == 0) used = Line(rest);
            pos += used;
        }
        return std::move(FOut);
    }

private:
    // The command at ALine's front up to and with its line end; returns its length.
    std::size_t Line(std::string_view ALine) {
        const std::size_t end = ALine.find("\r\n");
        const std::string_view line = ALine.substr(0, end);
        const std::size_t used = end == std::string_view::npos ? ALine.size() : end + 2;
        FOut.append(ALine.substr(0, used));
        const std::string_view name = line.substr(0, line.find(' '));
        const std::string_view args = name.size() < line.size() ? line.substr(name.size() + 1) : std::string_view();
        auto is = [&](std::string_view AName) { return EqualsIgnoringAsciiCase(name, AName); };
        if (line.empty() || is("SIZE") || is("GAP") || is("BLINE") || is("SPEED") || is("DENSITY") ||
            is("DIRECTION") || is("CODEPAGE") || is("SET") || is("PRINT")) {
            return used;
        }
        if (is("CLS")) {
            FDrawn.clear();
        } else if (const auto bar = is("BAR") ? Numbers(args, 4) : std::nullopt;
                   bar && (*bar)[2] >= 0 && (*bar)[3] >= 0) {
            const auto& n = *bar;
            FDrawn.push_back({n[0], n[1], n[2], n[3]});
        } else if (const auto box = is("BOX") ? Numbers(args, 5) : std::nullopt) {
            // Wherever the printer puts the line's thickness, it stays within this.
            const auto& n = *box;
            const std::int64_t thick = std::max<std::int64_t>(n[4], 0);
            const std::int64_t x = std::min(n[0], n[2]) - thick;
            const std::int64_t y = std::min(n[1], n[3]) - thick;
            FDrawn.push_back({x, y, std::max(n[0], n[2]) + thick - x + 1, std::max(n[1], n[3]) + thick - y + 1});
        } else {
            FDrawn.push_back({-kEverywhere, -kEverywhere, 2 * kEverywhere, 2 * kEverywhere});
        }
        return used;
    }

    // A BITMAP command: written as its blocks of ink; 0 when it is left as it is to Line.
    std::size_t Bitmap(std::string_view ALine, const TBitmapHead& AHead) {
        const std::size_t dataEnd = AHead.Size + static_cast<std::size_t>(AHead.DataBytes);
        // Cut short, followed by more than its line end, or a mode the printer does not know:
        // not ours to reshape.
        if (AHead.DataBytes < 0 || dataEnd > ALine.size() || AHead.Mode > 2 ||
            (ALine.size() > dataEnd && ALine.compare(dataEnd, 2, "\r\n") != 0) || AHead.WidthBytes > kEverywhere ||
            AHead.Height > kEverywhere)
            return 0;
        const auto* data = reinterpret_cast<const std::uint8_t*>(ALine.data() + AHead.Size);
        const std::int64_t stride = AHead.WidthBytes;
        const std::int64_t height = stride == 0 ? 0 : AHead.Height;
        // Set bits: the dots to send. Ink first; an overwriting bitmap keeps its white where an
        // earlier command may have drawn.
        std::vector<std::uint8_t> keep(static_cast<std::size_t>(stride * height));
        for (std::size_t i = 0; i < keep.size(); ++i) keep[i] = static_cast<std::uint8_t>(~data[i]);
        if (AHead.Mode == static_cast<std::int64_t>(TBitmapMode::bmOverwrite))
            for (const TDrawn& drawn : FDrawn) Cover(keep, AHead.X, AHead.Y, stride * 8, height, drawn);

        for (const TBlock& block : Blocks(keep, stride, height, AHead)) {
            const std::int64_t widthBytes = block.Col1 - block.Col0 + 1;
            std::string rows;
            rows.reserve(static_cast<std::size_t>(widthBytes * (block.Row1 - block.Row0 + 1)));
            for (std::int64_t row = block.Row0; row <= block.Row1; ++row)
                rows.append(reinterpret_cast<const char*>(data + row * stride + block.Col0),
                            static_cast<std::size_t>(widthBytes));
            FOut += BitmapCommand(AHead.X + block.Col0 * 8, AHead.Y + block.Row0, widthBytes,
                                  block.Row1 - block.Row0 + 1, static_cast<TBitmapMode>(AHead.Mode), rows);
            FOut += "\r\n";
        }
        if (height > 0) FDrawn.push_back({AHead.X, AHead.Y, stride * 8, height, data, stride});
        return std::min(dataEnd + 2, ALine.size());
    }

    // Sets the bits of AKeep (a raster at AX, AY of AWidth x AHeight dots) where ADrawn may
    // have put ink.
    static void Cover(std::vector<std::uint8_t>& AKeep, std::int64_t AX, std::int64_t AY, std::int64_t AWidth,
                      std::int64_t AHeight, const TDrawn& ADrawn) {
        const std::int64_t x0 = std::max(AX, ADrawn.X);
        const std::int64_t x1 = std::min(AX + AWidth, ADrawn.X + ADrawn.Width);
        const std::int64_t y0 = std::max(AY, ADrawn.Y);
        const std::int64_t y1 = std::min(AY + AHeight, ADrawn.Y + ADrawn.Height);
        const std::int64_t stride = AWidth / 8;
        for (std::int64_t y = y0; y < y1; ++y) {
            std::uint8_t* row = AKeep.data() + (y - AY) * stride;
            const std::uint8_t* drawnRow = ADrawn.Data ? ADrawn.Data + (y - ADrawn.Y) * ADrawn.Stride : nullptr;
            for (std::int64_t x = x0; x < x1; ++x) {
                if (drawnRow) {
                    const std::int64_t dx = x - ADrawn.X;
                    if ((drawnRow[dx >> 3] >> (7 - (dx & 7))) & 1U) continue;  // white there
                }
                const std::int64_t kx = x - AX;
                row[kx >> 3] = static_cast<std::uint8_t>(row[kx >> 3] | (0x80U >> (kx & 7)));
            }
        }
    }

    // Bytes a block costs on the wire: its command, its data and the line end.
    static std::int64_t Cost(const TBitmapHead& AHead, const TBlock& ABlock) {
        const std::int64_t widthBytes = ABlock.Col1 - ABlock.Col0 + 1;
        const std::int64_t rows = ABlock.Row1 - ABlock.Row0 + 1;
        const std::string command = BitmapCommand(AHead.X + ABlock.Col0 * 8, AHead.Y + ABlock.Row0, widthBytes,
                                                  rows, static_cast<TBitmapMode>(AHead.Mode), {});
        return static_cast<std::int64_t>(command.size()) + widthBytes * rows + 2;
    }

    // Runs of rows with dots to send, each trimmed to its bytes; neighbours merge when one
    // command costs no more than two.
    static std::vector<TBlock> Blocks(const std::vector<std::uint8_t>& AKeep, std::int64_t AStride,
                                      std::int64_t AHeight, const TBitmapHead& AHead) {
        std::vector<TBlock> runs;
        for (std::int64_t row = 0; row < AHeight; ++row) {
            const std::uint8_t* bytes = AKeep.data() + row * AStride;
            std::int64_t first = 0;
            while (first < AStride && bytes[first] == 0) ++first;
            if (first == AStride) continue;
            std::int64_t last = AStride - 1;
            while (bytes[last] == 0) --last;
            if (!runs.empty() && runs.back().Row1 == row - 1) {
                runs.back().Row1 = row;
                runs.back().Col0 = std::min(runs.back().Col0, first);
                runs.back().Col1 = std::max(runs.back().Col1, last);
            } else {
                runs.push_back({row, row, first, last});
            }
        }
        std::vector<TBlock> blocks;
        for (const TBlock& run : runs) {
            if (!blocks.empty()) {
                const TBlock merged{blocks.back().Row0, run.Row1, std::min(blocks.back().Col0, run.Col0),
                                    std::max(blocks.back().Col1, run.Col1)};
                if (Cost(AHead, merged) <= Cost(AHead, blocks.back()) + Cost(AHead, run)) {
                    blocks.back() = merged;
                    continue;
                }
            }
            blocks.push_back(run);
        }
        return blocks;
    }

    std::string_view FScript;
    std::string FOut;
    std::vector<TDrawn> FDrawn;  // since the last CLS
};

}  // namespace

std::string InkOnlyScript(std::string_view AScript) { return TInkOnlyWriter(AScript).Run(); }

}  // namespace quorvane
