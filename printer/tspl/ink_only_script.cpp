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

// Cuts the dots to send of one bitmap into blocks: along bands of white rows or white byte
// columns, again inside each part the other way, and keeps a cut only where the commands it
// adds cost fewer bytes than the white they leave out.
class TBlockCutter {
public:
    TBlockCutter(const std::vector<std::uint8_t>& AKeep, std::int64_t AStride, std::int64_t AHeight,
                 const TBitmapHead& AHead)
        : FKeep(AKeep), FStride(AStride), FHeight(AHeight), FHead(AHead) {}

    std::vector<TBlock> Run() const {
        if (FStride == 0 || FHeight == 0) return {};
        return Best({0, FHeight - 1, 0, FStride - 1}, true, false).Blocks;
    }

private:
    struct TPlan {
        std::int64_t Cost = 0;
        std::vector<TBlock> Blocks;
    };

    bool RowUsed(std::int64_t ARow, const TBlock& ABlock) const {
        const std::uint8_t* row = FKeep.data() + ARow * FStride;
        for (std::int64_t col = ABlock.Col0; col <= ABlock.Col1; ++col)
            if (row[col] != 0) return true;
        return false;
    }
    bool ColumnUsed(std::int64_t ACol, const TBlock& ABlock) const {
        for (std::int64_t row = ABlock.Row0; row <= ABlock.Row1; ++row)
            if (FKeep[static_cast<std::size_t>(row * FStride + ACol)] != 0) return true;
        return false;
    }

    // Bytes a block costs on the wire: its command, its data and the line end.
    std::int64_t Cost(const TBlock& ABlock) const {
        const std::int64_t widthBytes = ABlock.Col1 - ABlock.Col0 + 1;
        const std::int64_t rows = ABlock.Row1 - ABlock.Row0 + 1;
        // "BITMAP x,y,width,height,mode," as BitmapCommand writes it.
        const auto digits = [](std::int64_t AValue) {
            std::int64_t count = 1;
            for (; AValue >= 10; AValue /= 10) ++count;
            return count;
        };
        const std::int64_t command = 7 + digits(FHead.X + ABlock.Col0 * 8) + digits(FHead.Y + ABlock.Row0) +
                                     digits(widthBytes) + digits(rows) + digits(FHead.Mode) + 5;
        return command + widthBytes * rows + 2;
    }

    // The runs of used rows (AByRows) or byte columns of ABlock, each cut down to what it uses.
    std::vector<TBlock> Bands(const TBlock& ABlock, bool AByRows) const {
        std::vector<TBlock> bands;
        const std::int64_t first = AByRows ? ABlock.Row0 : ABlock.Col0;
        const std::int64_t last = AByRows ? ABlock.Row1 : ABlock.Col1;
        for (std::int64_t at = first; at <= last; ++at) {
            if (!(AByRows ? RowUsed(at, ABlock) : ColumnUsed(at, ABlock))) continue;
            if (!bands.empty() && (AByRows ? bands.back().Row1 : bands.back().Col1) == at - 1)
                (AByRows ? bands.back().Row1 : bands.back().Col1) = at;
            else
                bands.push_back(AByRows ? TBlock{at, at, ABlock.Col0, ABlock.Col1}
                                        : TBlock{ABlock.Row0, ABlock.Row1, at, at});
        }
        for (TBlock& band : bands) {
            if (AByRows) {
                while (!ColumnUsed(band.Col0, band)) ++band.Col0;
                while (!ColumnUsed(band.Col1, band)) --band.Col1;
            } else {
                while (!RowUsed(band.Row0, band)) ++band.Row0;
                while (!RowUsed(band.Row1, band)) --band.Row1;
            }
        }
        return bands;
    }

    // A block without white bands, as runs of rows each as wide as its rows' dots need, where
    // the narrower rows save more than their command costs (a glyph's tail, a comma).
    TPlan ByRowExtent(const TBlock& ABlock) const {
        const std::size_t n = static_cast<std::size_t>(ABlock.Row1 - ABlock.Row0 + 1);
        std::vector<std::int64_t> first(n), last(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* row = FKeep.data() + (ABlock.Row0 + static_cast<std::int64_t>(i)) * FStride;
            first[i] = ABlock.Col0;
            while (first[i] <= ABlock.Col1 && row[first[i]] == 0) ++first[i];
            last[i] = ABlock.Col1;
            while (last[i] >= first[i] && row[last[i]] == 0) --last[i];
        }
        std::vector<std::int64_t> best(n + 1, 0);
        std::vector<std::size_t> from(n + 1, 0);
        for (std::size_t j = 1; j <= n; ++j) {
            std::int64_t col0 = first[j - 1], col1 = last[j - 1];
            best[j] = -1;
            for (std::size_t i = j; i-- > 0;) {
                col0 = std::min(col0, first[i]);
                col1 = std::max(col1, last[i]);
                const TBlock group{ABlock.Row0 + static_cast<std::int64_t>(i),
                                   ABlock.Row0 + static_cast<std::int64_t>(j - 1), col0, col1};
                const std::int64_t cost = best[i] + Cost(group);
                if (best[j] < 0 || cost < best[j]) {
                    best[j] = cost;
                    from[j] = i;
                }
            }
        }
        TPlan plan{best[n], {}};
        for (std::size_t j = n; j > 0; j = from[j]) {
            std::int64_t col0 = ABlock.Col1, col1 = ABlock.Col0;
            for (std::size_t i = from[j]; i < j; ++i) {
                col0 = std::min(col0, first[i]);
                col1 = std::max(col1, last[i]);
            }
            plan.Blocks.push_back({ABlock.Row0 + static_cast<std::int64_t>(from[j]),
                                   ABlock.Row0 + static_cast<std::int64_t>(j - 1), col0, col1});
        }
        std::reverse(plan.Blocks.begin(), plan.Blocks.end());
        return plan;
    }

    // ABlock is cut down to what it uses unless it is a band just found.
    TPlan Best(const TBlock& ABlock, bool AByRows, bool AOtherTried) const {
        const std::vector<TBlock> bands = Bands(ABlock, AByRows);
        if (bands.empty()) return {};
        if (bands.size() == 1) {
            if (AOtherTried) return ByRowExtent(bands[0]);
            return Best(bands[0], !AByRows, true);
        }
        // Consecutive bands go out alone (cut further) or together as one block: the cheapest
        // grouping.
        const std::size_t n = bands.size();
        std::vector<TPlan> alone(n);
        for (std::size_t i = 0; i < n; ++i) alone[i] = Best(bands[i], !AByRows, false);
        std::vector<std::int64_t> best(n + 1, 0);
        std::vector<std::size_t> from(n + 1, 0);
        for (std::size_t j = 1; j <= n; ++j) {
            TBlock group = bands[j - 1];
            best[j] = -1;
            for (std::size_t i = j; i-- > 0;) {
                group = {std::min(group.Row0, bands[i].Row0), std::max(group.Row1, bands[i].Row1),
                         std::min(group.Col0, bands[i].Col0), std::max(group.Col1, bands[i].Col1)};
                const std::int64_t cost = best[i] + (i == j - 1 ? alone[i].Cost : Cost(group));
                if (best[j] < 0 || cost < best[j]) {
                    best[j] = cost;
                    from[j] = i;
                }
            }
        }
        TPlan plan{best[n], {}};
        std::vector<std::pair<std::size_t, std::size_t>> groups;
        for (std::size_t j = n; j > 0; j = from[j]) groups.emplace_back(from[j], j - 1);
        for (auto it = groups.rbegin(); it != groups.rend(); ++it) {
            const auto [i, k] = *it;
            if (i == k) {
                plan.Blocks.insert(plan.Blocks.end(), alone[i].Blocks.begin(), alone[i].Blocks.end());
                continue;
            }
            TBlock group = bands[i];
            for (std::size_t b = i + 1; b <= k; ++b)
                group = {std::min(group.Row0, bands[b].Row0), std::max(group.Row1, bands[b].Row1),
                         std::min(group.Col0, bands[b].Col0), std::max(group.Col1, bands[b].Col1)};
            plan.Blocks.push_back(group);
        }
        return plan;
    }

    const std::vector<std::uint8_t>& FKeep;
    const std::int64_t FStride;
    const std::int64_t FHeight;
    const TBitmapHead& FHead;
};

class TInkOnlyWriter {
public:
    // Until the first CLS the printer's buffer may still hold the previous label.
    explicit TInkOnlyWriter(std::string_view AScript)
        : FScript(AScript), FDrawn{{-kEverywhere, -kEverywhere, 2 * kEverywhere, 2 * kEverywhere}} {
        FOut.reserve(AScript.size());
    }

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

        for (const TBlock& block : TBlockCutter(keep, stride, height, AHead).Run()) {
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

    std::string_view FScript;
    std::string FOut;
    std::vector<TDrawn> FDrawn;  // since the last CLS, or everywhere before the first
};

}  // namespace

std::string InkOnlyScript(std::string_view AScript) { return TInkOnlyWriter(AScript).Run(); }

}  // namespace quorvane
