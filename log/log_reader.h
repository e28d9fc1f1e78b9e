#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {

// What the log viewer windows show, the same on every system: the folder's day files, the text
// a shown file gains as it grows, its ERROR records and where a searched text occurs.

// The names of the log files (extension ".log", any case) in a folder, sorted as the list shows them.
std::vector<std::string> ListLogFiles(const std::string& ADirectory);

// One log file read as it grows. Each Read gives what was added since the previous one, cut
// before a character or a CR LF pair that is not complete yet (that part comes with the next).
class TLogFileTail {
public:
    enum class TRead {
        rdText,      // AText holds what is new (possibly nothing)
        rdMissing,   // the file cannot be opened (Error() says why)
        rdReplaced,  // it is no longer the file shown (replaced or cut shorter): show it afresh
    };

    explicit TLogFileTail(std::string APath) : FPath(std::move(APath)) {}

    TRead Read(std::string& AText);
    const std::string& Path() const { return FPath; }
    // The errno of the last failure.
    int Error() const { return FError; }
    // False after a read failed half-way: its text was given and the file is no longer followed,
    // since records after that point would be missing.
    bool Following() const { return FFollowing; }
    std::int64_t Offset() const { return FOffset; }

private:
    std::string FPath;
    std::uint64_t FVolume = 0;
    std::uint64_t FIndex = 0;
    std::int64_t FOffset = 0;
    std::string FHeldBack;
    int FError = 0;
    bool FFollowing = true;
};

// Case folding of the letters the log holds (Latin and Cyrillic); other characters fold to themselves.
constexpr char32_t FoldLogCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;  // А..Я
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;  // Ѐ..Џ, Ё among them
    return c;
}

// The lines [begin, end) of a text (in its own characters, line end excluded) that are ERROR
// records. Lines end at LF, CR LF or CR.
template <typename TChar>
std::vector<std::pair<std::size_t, std::size_t>> ErrorRecordLines(std::basic_string_view<TChar> AText) {
    static constexpr TChar kMark[] = {'\t', 'E', 'R', 'R', 'O', 'R', '\t'};
    const std::basic_string_view<TChar> mark(kMark, 7);
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    std::size_t begin = 0;
    while (begin < AText.size()) {
        std::size_t end = begin;
        while (end < AText.size() && AText[end] != '\n' && AText[end] != '\r') ++end;
        if (AText.substr(begin, end - begin).find(mark) != std::basic_string_view<TChar>::npos)
            lines.emplace_back(begin, end);
        begin = end + (end + 1 < AText.size() && AText[end] == '\r' && AText[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

// The next occurrence [begin, end) of ANeedle in AText ignoring letter case: forward, the first
// that starts at AFrom or later; back, the last that ends at AFrom or earlier; round the text's
// end to its other end when there is none that way. Nothing for an empty needle.
template <typename TChar>
std::optional<std::pair<std::size_t, std::size_t>> FindInLog(std::basic_string_view<TChar> AText,
                                                             std::basic_string_view<TChar> ANeedle,
                                                             std::size_t AFrom, bool AForward) {
    const std::size_t n = ANeedle.size();
    if (n == 0 || n > AText.size()) return std::nullopt;
    auto at = [&](std::size_t APos) {
        for (std::size_t i = 0; i < n; ++i)
            if (FoldLogCase(static_cast<char32_t>(AText[APos + i])) !=
                FoldLogCase(static_cast<char32_t>(ANeedle[i])))
                return false;
        return true;
    };
    const std::size_t last = AText.size() - n;
    AFrom = AFrom > AText.size() ? AText.size() : AFrom;
    if (AForward) {
        for (std::size_t p = AFrom; p <= last; ++p)
            if (at(p)) return std::pair{p, p + n};
        for (std::size_t p = 0; p < AFrom && p <= last; ++p)
            if (at(p)) return std::pair{p, p + n};
    } else {
        for (std::size_t p = AFrom >= n ? AFrom - n + 1 : 0; p-- > 0;)
            if (at(p)) return std::pair{p, p + n};
        for (std::size_t p = last + 1; p-- > 0 && p + n > AFrom;)
            if (at(p)) return std::pair{p, p + n};
    }
    return std::nullopt;
}

// Platform side of TLogFileTail: a file opened for reading that writers may go on appending to.
class TLogReadFile {
public:
    // Null with errno set.
    static std::optional<TLogReadFile> Open(const std::string& APath);
    ~TLogReadFile();
    TLogReadFile(TLogReadFile&& AOther) noexcept : FHandle(std::exchange(AOther.FHandle, -1)) {}
    TLogReadFile(const TLogReadFile&) = delete;
    TLogReadFile& operator=(const TLogReadFile&) = delete;
    TLogReadFile& operator=(TLogReadFile&&) = delete;

    struct TInfo {
        std::uint64_t Volume = 0;  // with Index, which file this is
        std::uint64_t Index = 0;
        std::int64_t Size = 0;
        bool Regular = false;
    };
    // False with errno set.
    bool Info(TInfo& AInfo) const;
    // Bytes read at AOffset (0 at the end), -1 with errno set.
    std::int64_t ReadAt(char* ABuffer, std::size_t ASize, std::int64_t AOffset) const;

private:
    explicit TLogReadFile(std::intptr_t AHandle) : FHandle(AHandle) {}
    std::intptr_t FHandle;
};

}  // namespace quorvane
