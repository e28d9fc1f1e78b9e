#include "log/log_reader.h"

#include "text/ascii_text.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "errors/messages.h"
#include "errors/system_errors.h"

namespace quorvane {

namespace {

bool IsLogFileName(const std::string& AName) {
    return AName.size() >= 4 &&
           EqualsIgnoringAsciiCase(std::string_view(AName).substr(AName.size() - 4), ".log");
}

// Case-insensitive first, so "quorvane_2026.12.08.log" and "QUORVANE_2026.12.09.LOG" sort by date.
bool NameLess(const std::string& A, const std::string& B) {
    const auto [a, b] = std::ranges::mismatch(A, B, [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
    if (a == A.end() || b == B.end()) return A.size() != B.size() ? A.size() < B.size() : A < B;
    return static_cast<unsigned char>(LowerAscii(*a)) < static_cast<unsigned char>(LowerAscii(*b));
}

// How many bytes at the end of ABytes start a character (or a CR LF pair) that is not complete yet.
std::size_t IncompleteTail(std::string_view ABytes) {
    if (!ABytes.empty() && ABytes.back() == '\r') return 1;
    // A lead byte among the last three whose sequence runs past the end.
    for (std::size_t back = 1; back <= 3 && back <= ABytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(ABytes[ABytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

}  // namespace

std::vector<std::string> ListLogFiles(const std::string& ADirectory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(std::filesystem::u8path(ADirectory), ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::u8string raw = it->path().filename().u8string();
        std::string name(raw.begin(), raw.end());
        std::error_code ignored;
        if (IsLogFileName(name) && it->is_regular_file(ignored)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

TLogFileTail::TRead TLogFileTail::Read(std::string& AText) {
    if (!FFollowing) return TRead::rdText;
    auto file = TLogReadFile::Open(FPath);
    TLogReadFile::TInfo info;
    if (!file || !file->Info(info) || !info.Regular) {
        FError = errno != 0 ? errno : ENOENT;
        return TRead::rdMissing;
    }
    if (FOffset > 0 && (info.Volume != FVolume || info.Index != FIndex || info.Size < FOffset))
        return TRead::rdReplaced;
    FVolume = info.Volume;
    FIndex = info.Index;
    if (info.Size == FOffset) return TRead::rdText;

    std::string bytes = std::move(FHeldBack);
    FHeldBack.clear();
    const std::size_t held = bytes.size();
    bytes.resize(held + static_cast<std::size_t>(info.Size - FOffset));
    std::size_t done = held;
    int readError = 0;
    while (done < bytes.size()) {
        const std::int64_t n = file->ReadAt(bytes.data() + done, bytes.size() - done,
                                            FOffset + static_cast<std::int64_t>(done - held));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) readError = errno;
        if (n <= 0) break;  // at 0 cut shorter meanwhile: the rest comes at the next read
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    FOffset += static_cast<std::int64_t>(done - held);
    if (readError != 0) {
        FError = readError;
        FFollowing = false;
        bytes += "\n" + Message(TMessage::FileReadFailed, FPath) + ": " + SystemErrorText(readError) + "\n";
        AText += bytes;
        return TRead::rdText;
    }
    const std::size_t tail = IncompleteTail(bytes);
    FHeldBack = bytes.substr(bytes.size() - tail);
    bytes.resize(bytes.size() - tail);
    AText += bytes;
    return TRead::rdText;
}

}  // namespace quorvane
