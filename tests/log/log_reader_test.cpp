// What both log viewer windows show: a day file read as it grows, ERROR records, find.
// Built for Linux and for Windows (tests/windows), run against each system's file reading.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "log/log_reader.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using TRead = TLogFileTail::TRead;

void Write(const fs::path& APath, const std::string& ABytes, std::ios::openmode AMode = std::ios::app) {
    std::ofstream(APath, std::ios::binary | AMode) << ABytes;
}

std::string ReadNew(TLogFileTail& ATail) {
    std::string text;
    EXPECT_EQ(ATail.Read(text), TRead::rdText);
    return text;
}

TEST(LogFileTail, GivesWholeCharactersAndLineEndsAsTheFileGrowsAndNoticesAReplacedFile) {
    const fs::path dir = fs::temp_directory_path() / ("qv-tail-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "quorvane_2026.12.08.log";
    TLogFileTail tail(file.string());
    std::string text;
    EXPECT_EQ(tail.Read(text), TRead::rdMissing);
    EXPECT_EQ(tail.Error(), ENOENT);

    // A CR that may be the start of CR LF, and the first byte of "б", wait for what follows.
    Write(file, "a\tINFO\tx\r");
    EXPECT_EQ(ReadNew(tail), "a\tINFO\tx");
    Write(file, "\n\xD0");
    EXPECT_EQ(ReadNew(tail), "\r\n");
    EXPECT_EQ(ReadNew(tail), "");
    Write(file, "\xB1\r\n");
    EXPECT_EQ(ReadNew(tail), "\xD0\xB1\r\n");
    EXPECT_EQ(tail.Offset(), static_cast<std::int64_t>(fs::file_size(file)));

    // Another file put in its place, longer than the one shown, and a file cut shorter.
    Write(dir / "new.log", std::string(40, 'n'), std::ios::trunc);
    fs::rename(dir / "new.log", file);
    EXPECT_EQ(tail.Read(text), TRead::rdReplaced);
    TLogFileTail again(file.string());
    EXPECT_EQ(ReadNew(again), std::string(40, 'n'));
    fs::resize_file(file, 10);
    EXPECT_EQ(again.Read(text), TRead::rdReplaced);
    EXPECT_TRUE(again.Following());
    fs::remove_all(dir);
}

TEST(LogRecords, ErrorLinesAreThoseWithTheErrorLevelWhateverTheLineEnds) {
    const std::u32string text = U"t\tINFO\tERROR\r\nt\tERROR\tx\rt\tDEBUG\t\tERROR\t\nt\tERROR\ty";
    using TLines = std::vector<std::pair<std::size_t, std::size_t>>;
    EXPECT_EQ(ErrorRecordLines<char32_t>(text), (TLines{{14, 23}, {24, 39}, {40, 49}}));
    EXPECT_TRUE(ErrorRecordLines<wchar_t>(L"t\tERRORS\tx\r\r").empty());
}

TEST(LogFind, IgnoresLatinAndCyrillicCaseAndGoesRoundTheEnds) {
    const std::wstring text = L"Needle НИТКА ёж needle нитка ЁЖ";
    auto find = [&](const std::wstring& ANeedle, std::size_t AFrom, bool AForward) {
        const auto found = FindInLog<wchar_t>(text, ANeedle, AFrom, AForward);
        return found ? static_cast<long>(found->first) : -1L;
    };
    EXPECT_EQ(find(L"needle", 0, true), 0);
    EXPECT_EQ(find(L"needle", 1, true), 16);
    EXPECT_EQ(find(L"needle", 17, true), 0);    // round the end to the start
    EXPECT_EQ(find(L"нитка", 0, true), 7);
    EXPECT_EQ(find(L"нитка", 8, true), 23);
    EXPECT_EQ(find(L"ёж", 14, true), 29);
    EXPECT_EQ(find(L"needle", 22, false), 16);  // back: the last one ending by the caret
    EXPECT_EQ(find(L"needle", 21, false), 0);
    EXPECT_EQ(find(L"needle", 5, false), 16);   // round the start to the end
    EXPECT_EQ(find(L"", 0, true), -1);
    EXPECT_EQ(find(L"thread", 0, true), -1);
    EXPECT_EQ(FindInLog<char32_t>(U"\U0001F600x", U"X", 0, true)->first, 1u);
}

}  // namespace
}  // namespace quorvane
