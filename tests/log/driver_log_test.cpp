// The driver log against real files in a fresh folder per test, with the clock injected.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "errors/messages.h"
#include "log/driver_log.h"
#include "log/version_info.h"
#include "tests/common/files.h"

using namespace quorvane;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {

using TimePoint = std::chrono::system_clock::time_point;

TimePoint LocalTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond, int AMs) {
    std::tm parts{};
    parts.tm_year = AYear - 1900;
    parts.tm_mon = AMonth - 1;
    parts.tm_mday = ADay;
    parts.tm_hour = AHour;
    parts.tm_min = AMinute;
    parts.tm_sec = ASecond;
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts)) + std::chrono::milliseconds(AMs);
}

using test::ReadFile;

std::vector<std::string> Lines(const std::string& AText) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < AText.size()) {
        std::size_t end = AText.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) break;
        lines.push_back(AText.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::size_t Count(const std::string& AText, const std::string& APart) {
    std::size_t count = 0;
    for (std::size_t at = AText.find(APart); at != std::string::npos; at = AText.find(APart, at + 1)) ++count;
    return count;
}

class DriverLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-log-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Root = pattern;
        Dir = Root / "Venbrook" / "quorvane";
        setenv("QUORVANE_LOG_DIR", Dir.c_str(), 1);
        // The fallback folders stay inside the test's folder too.
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
            if (const char* value = getenv(name)) Saved[name] = value;
        setenv("XDG_RUNTIME_DIR", (Root / "run").c_str(), 1);
        setenv("TMPDIR", (Root / "tmp").c_str(), 1);
        SetLogBaseName("quorvane");
        Now = LocalTime(2026, 12, 8, 9, 5, 3, 7);
        SetLogClock([this] { return Now; });
    }
    void TearDown() override {
        SetLogMode(0);
        SetLogClock(nullptr);
        SetLogDirectory("");
        SetLogBaseName("");
        unsetenv("QUORVANE_LOG_DIR");
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
            if (Saved.count(name)) setenv(name, Saved[name].c_str(), 1);
            else unsetenv(name);
        }
        fs::remove_all(Root);
    }

    fs::path Today() const { return Dir / "quorvane_2026.12.08.log"; }

    fs::path Root;
    fs::path Dir;
    TimePoint Now;
    std::map<std::string, std::string> Saved;
};

TEST_F(DriverLogTest, OffWritesNothingAndCreatesNoFolder) {
    WriteLog("text", "detail", TLogLevel::llError);
    SetLogMode(0);
    EXPECT_FALSE(fs::exists(Root / "Venbrook"));
    EXPECT_FALSE(LogPasses(TLogLevel::llError));
}

TEST_F(DriverLogTest, FileIsByteExact) {
    SetLogMode(3);
    WriteLog("  > PrintLabels\t", " Params: [x] \r\n", TLogLevel::llDebug);
    Now += std::chrono::milliseconds(993);
    WriteLog("Содержание скрипта", "   ", TLogLevel::llInfo);
    WriteLog("no detail", "", TLogLevel::llError);
    // A value with line breaks cannot add a record; only a composed script keeps its lines.
    const std::string forged = "M\r\n2026.12.08 09:05:04.000\tERROR\tforged\n";
    WriteLog("SetParameter " + forged + " x", forged + " y", TLogLevel::llInfo);
    WriteLog("Содержание скрипта", "TSPL\r\nCLS\r\nPRINT 1\r\n", TLogLevel::llDebug, TLogBreaks::lbKeepInDetail);
    SetLogMode(0);

    std::string application = GetModuleFileName();
    application = application.substr(application.rfind('/') + 1);
    const std::string pad(40, ' ');
    const std::string expected = pad + "\r\n" +
                                 "============Start log=============\r\n"
                                 "OS version:\t" +
                                 GetOSVersionText() + "\r\n" + "Application:\t" + application + "\r\n" +
                                 "App. version:\t" + GetModuleVersionText() + "\r\n" + pad + "\r\n" +
                                 "2026.12.08 09:05:03.007\tDEBUG\t> PrintLabels: \tParams: [x]\r\n"
                                 "2026.12.08 09:05:04.000\tINFO\tСодержание скрипта: \t\r\n"
                                 "2026.12.08 09:05:04.000\tERROR\tno detail\r\n"
                                 "2026.12.08 09:05:04.000\tINFO\tSetParameter M\\r\\n2026.12.08 09:05:04.000\tERROR"
                                 "\tforged\\n x: \tM\\r\\n2026.12.08 09:05:04.000\tERROR\tforged\\n y\r\n"
                                 "2026.12.08 09:05:04.000\tDEBUG\tСодержание скрипта: \tTSPL\r\nCLS\r\nPRINT 1\r\n"
                                 "============Stop log===============\r\n\r\n";
    EXPECT_EQ(ReadFile(Today()), expected);
    struct stat info {};
    ASSERT_EQ(stat(Dir.c_str(), &info), 0);  // created by the first record, private to the user
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(application, "log_driver_log_test");
    EXPECT_THAT(GetModuleVersionText(), ::testing::MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+"));
    EXPECT_THAT(GetOSVersionText(), HasSubstr("Linux"));
}

TEST_F(DriverLogTest, HeaderOncePerSwitchOnAndStopLineOnlyAfterRecords) {
    SetLogMode(3);
    SetLogMode(0);  // nothing was written: no stop line, no file
    EXPECT_FALSE(fs::exists(Today()));

    SetLogMode(3);
    WriteLog("a", "", TLogLevel::llInfo);
    WriteLog("b", "", TLogLevel::llInfo);
    SetLogMode(2);  // still on: neither stop line nor a new header
    WriteLog("c", "", TLogLevel::llInfo);
    SetLogMode(0);
    SetLogMode(0);
    SetLogMode(1);
    WriteLog("d", "", TLogLevel::llError);
    SetLogMode(0);

    std::string text = ReadFile(Today());
    EXPECT_EQ(Count(text, "============Start log============="), 2u);
    EXPECT_EQ(Count(text, "============Stop log===============\r\n\r\n"), 2u);
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 6u + 3 + 2 + 6 + 1 + 2);
    EXPECT_THAT(lines[8], HasSubstr("\tc"));
    EXPECT_EQ(lines[9], "============Stop log===============");
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], std::string(40, ' '));
}

TEST_F(DriverLogTest, ModeFiltersLevels) {
    const std::map<int, std::set<std::string>> passing = {
        {1, {"ERROR"}}, {2, {"INFO", "ERROR"}}, {3, {"INFO", "DEBUG", "ERROR"}}};
    for (const auto& [mode, levels] : passing) {
        SetLogMode(mode);
        for (TLogLevel level : {TLogLevel::llInfo, TLogLevel::llDebug, TLogLevel::llError}) {
            EXPECT_EQ(LogPasses(level), levels.count(LogLevelText(level)) == 1);
            WriteLog("mode " + std::to_string(mode), "", level);
        }
    }
    SetLogMode(0);
    std::string text = ReadFile(Today());
    std::set<std::string> written;
    for (const std::string& line : Lines(text)) {
        if (line.size() > 24 && line[4] == '.') written.insert(line.substr(24));
    }
    EXPECT_EQ(written, (std::set<std::string>{"ERROR\tmode 1", "INFO\tmode 2", "ERROR\tmode 2",
                                              "INFO\tmode 3", "DEBUG\tmode 3", "ERROR\tmode 3"}));
    SetLogMode(7);  // clamped
    EXPECT_EQ(GetLogMode(), 3);
}

TEST_F(DriverLogTest, NewDayStartsANewFileWithoutHeaderAndDropsFilesOlderThan30Days) {
    Now = LocalTime(2026, 12, 8, 23, 59, 59, 900);
    SetLogMode(3);
    WriteLog("before midnight", "", TLogLevel::llInfo);
    // Older files of this log and of others; only this log's files beyond 30 days go.
    for (const char* name : {"quorvane_2026.11.08.log", "quorvane_2026.11.09.log", "quorvane_2025.12.31.log",
                             "other_2026.01.01.log", "quorvane_notes.log"})
        std::ofstream(Dir / name) << "x";
    WriteLog("still the same day", "", TLogLevel::llInfo);
    EXPECT_TRUE(fs::exists(Dir / "quorvane_2026.11.08.log")) << "files go only when a new day's file starts";
    Now = LocalTime(2026, 12, 9, 0, 0, 0, 100);
    WriteLog("after midnight", "", TLogLevel::llInfo);
    SetLogMode(0);

    EXPECT_THAT(ReadFile(Today()), HasSubstr("Start log"));
    EXPECT_EQ(ReadFile(Dir / "quorvane_2026.12.09.log"),
              "2026.12.09 00:00:00.100\tINFO\tafter midnight\r\n"
              "============Stop log===============\r\n\r\n");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(Dir)) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"other_2026.01.01.log", "quorvane_2026.11.09.log",
                                              "quorvane_2026.12.08.log", "quorvane_2026.12.09.log",
                                              "quorvane_notes.log"}));
}

TEST_F(DriverLogTest, FolderAndFileNames) {
    EXPECT_EQ(GetLogFileName(true), Dir.string() + "/");
    EXPECT_EQ(GetLogFileName(false), Today().string());
    struct stat info {};
    ASSERT_EQ(stat(Dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((Root / "Venbrook").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    SetLogDirectory((Root / "explicit/").string());
    SetLogBaseName("/some/where/driver.so");
    EXPECT_EQ(GetLogFileName(false), (Root / "explicit" / "driver_2026.12.08.log").string());

    unsetenv("QUORVANE_LOG_DIR");
    setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(DefaultLogDirectory(), "/data/home/Venbrook/quorvane");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(DefaultLogDirectory(), "/home/someone/.local/share/Venbrook/quorvane");
    // A relative XDG_DATA_HOME is invalid and ignored.
    setenv("XDG_DATA_HOME", "data/home", 1);
    EXPECT_EQ(DefaultLogDirectory(), "/home/someone/.local/share/Venbrook/quorvane");
    unsetenv("XDG_DATA_HOME");
}

// Whether a process of ours waits in /proc/locks for the flock on AInode.
bool WaitsForFlock(ino_t AInode) {
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(AInode) + " ";
    for (std::string line; std::getline(locks, line);)
        if (line.find("-> FLOCK") != std::string::npos &&
            line.find(" " + std::to_string(getpid()) + " ") != std::string::npos &&
            line.find(inode) != std::string::npos)
            return true;
    return false;
}

TEST_F(DriverLogTest, AWriterWaitsForTheDayFilesLock) {
    SetLogMode(3);
    WriteLog("first", "", TLogLevel::llInfo);
    const std::string before = ReadFile(Today());
    int held = open(Today().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    struct stat info {};
    ASSERT_EQ(fstat(held, &info), 0);

    std::atomic<bool> written{false};
    std::thread writer([&] {
        WriteLog("second", "", TLogLevel::llInfo);
        written = true;
    });
    // The writer is seen queued for the lock, not done, and has added nothing meanwhile.
    bool waits = false;
    for (int i = 0; i < 3000 && !waits && !written; ++i) {
        waits = WaitsForFlock(info.st_ino);
        if (!waits) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(waits);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(Today()), before);
    close(held);  // releases the lock
    writer.join();
    EXPECT_THAT(ReadFile(Today()), HasSubstr("\tINFO\tsecond"));
}

TEST_F(DriverLogTest, FailuresReachTheCallerAndLinksAreNotFollowed) {
    fs::create_directories(Dir);
    fs::path target = Root / "target";
    { std::ofstream(target) << "keep"; }
    fs::create_symlink(target, Today());
    SetLogMode(3);
    try {
        WriteLog("x", "", TLogLevel::llError);
        ADD_FAILURE() << "a link was followed";
    } catch (const TMessageError& e) {
        EXPECT_EQ(e.Id(), TMessage::LogFileOpenFailed);
        EXPECT_EQ(std::string(e.what()), "Не удалось открыть файл лога " + Today().string() +
                                             ": путь ведёт через символическую ссылку");
    }
    EXPECT_EQ(ReadFile(target), "keep");
    fs::remove(Today());
    WriteLog("written after the failures", "", TLogLevel::llError);
    EXPECT_THAT(ReadFile(Today()), HasSubstr("Start log"));  // the header was not marked as written
}

// A folder that cannot be made (a home that is not writable: here a file stands in the way)
// gives way to $XDG_RUNTIME_DIR/quorvane, then to a private folder under TMPDIR; only when no
// place is left does a record fail, naming each place and why in Russian.
TEST_F(DriverLogTest, UnusableFolderFallsBackAndFailsOnlyWithNoPlaceLeft) {
    const fs::path blocker = Root / "home";
    { std::ofstream(blocker) << "a file, not a folder"; }
    fs::create_directories(Root / "run");
    fs::create_directories(Root / "tmp");
    setenv("QUORVANE_LOG_DIR", (blocker / "first").c_str(), 1);
    SetLogMode(3);
    WriteLog("в запасной папке", "", TLogLevel::llInfo);
    EXPECT_EQ(GetLogFileName(true), (Root / "run" / "quorvane").string() + "/");
    EXPECT_THAT(ReadFile(Root / "run" / "quorvane" / "quorvane_2026.12.08.log"),
                HasSubstr("\tINFO\tв запасной папке"));

    unsetenv("XDG_RUNTIME_DIR");
    setenv("QUORVANE_LOG_DIR", (blocker / "second").c_str(), 1);
    const fs::path priv = Root / "tmp" / ("quorvane-" + std::to_string(geteuid()));
    EXPECT_EQ(GetLogFileName(true), priv.string() + "/");
    struct stat info {};
    ASSERT_EQ(stat(priv.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A folder in the shared temporary folder that others can enter is not used.
    chmod(priv.c_str(), 0755);
    setenv("QUORVANE_LOG_DIR", (blocker / "third").c_str(), 1);
    try {
        WriteLog("x", "", TLogLevel::llError);
        ADD_FAILURE() << "written without a usable folder";
    } catch (const TMessageError& e) {
        EXPECT_EQ(e.Id(), TMessage::LogFolderUnusable);
        EXPECT_EQ(std::string(e.what()), "Не удалось создать папку лога ни в одном из мест: " +
                                             (blocker / "third").string() + " — часть пути не является папкой; " +
                                             priv.string() + " — нет прав доступа");
    }
    setenv("QUORVANE_LOG_DIR", Dir.c_str(), 1);  // where the stop line goes
}

// Each writer puts its id into text and detail, with a long detail, so that a torn or
// interleaved record shows up as a line that does not match itself.
std::string Detail(const std::string& AId) {
    std::string detail;
    while (detail.size() < 3000) detail += AId + "|";
    return detail;
}

void WriteRecords(const std::string& APrefix, int AThreads, int ARecords) {
    std::vector<std::thread> threads;
    for (int t = 0; t < AThreads; ++t) {
        threads.emplace_back([=] {
            for (int i = 0; i < ARecords; ++i) {
                std::string id = APrefix + "-" + std::to_string(t) + "-" + std::to_string(i);
                WriteLog(id, Detail(id), TLogLevel::llInfo);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
}

TEST_F(DriverLogTest, ProcessesAndThreadsAppendWholeRecords) {
    SetLogClock(nullptr);  // the real clock; all writers share today's file
    const int threads = 4;
    const int records = 150;
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SetLogMode(3);
            WriteRecords("p" + std::to_string(p), threads, records);
            SetLogMode(0);
            _exit(0);
        }
        children.push_back(child);
    }
    SetLogMode(3);
    WriteRecords("parent", threads, records);
    SetLogMode(0);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const std::string text = test::ReadFolder(Dir);
    std::set<std::string> seen;
    std::size_t headers = 0;
    for (const std::string& line : Lines(text)) {
        if (line.find("\tINFO\t") == std::string::npos) {
            if (line == "============Start log=============") ++headers;
            continue;
        }
        std::string body = line.substr(line.find("\tINFO\t") + 6);
        std::string id = body.substr(0, body.find(':'));
        ASSERT_TRUE(body == id + ": \t" + Detail(id)) << "torn record: " << body.substr(0, 120);
        EXPECT_TRUE(seen.insert(id).second) << id;
    }
    EXPECT_EQ(seen.size(), 3u * threads * records);
    EXPECT_EQ(headers, 3u);
    EXPECT_EQ(Count(text, "============Stop log===============\r\n\r\n"), 3u);
}

}  // namespace
