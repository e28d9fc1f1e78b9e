// The driver log on Windows under Wine: the shared folder and its access list, the day file
// and its header, and the lock other processes' writers wait on.

#include <aclapi.h>
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "log/driver_log.h"
#include "text/windows_text.h"

namespace quorvane {
namespace {

std::string ReadAll(const std::string& APath) {
    std::ifstream file(std::filesystem::path(WindowsText(APath)), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool IsFolder(const std::string& APath) {
    const DWORD attributes = ::GetFileAttributesW(WindowsText(APath).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// True when APath's list has an entry of Everyone with full access inherited below.
bool EveryoneHasFullAccess(const std::string& APath) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(WindowsText(APath).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    bool found = false;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount && !found; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        // Stored as given or mapped to the file rights; reading alone is what a folder inherits.
        constexpr DWORD kFull = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
        found = allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                (allowed->Mask == GENERIC_ALL || (allowed->Mask & kFull) == kFull) &&
                (allowed->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
                    (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) &&
                ::EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone);
    }
    ::FreeSid(everyone);
    ::LocalFree(descriptor);
    return found;
}

class WindowsDriverLog : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        FRoot = Utf8Text(temp) + "quorvane-log-" + std::to_string(::GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::error_code ignored;
        std::filesystem::remove_all(WindowsText(FRoot), ignored);
        SetLogBaseName("quorvane");
    }
    void TearDown() override {
        SetLogMode(0);
        SetLogDirectory("");
        SetLogClock(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(WindowsText(FRoot), ignored);
    }
    std::string FRoot;
};

TEST_F(WindowsDriverLog, FolderIsTheSharedApplicationDataOneOpenToEveryone) {
    ::SetEnvironmentVariableW(L"QUORVANE_LOG_DIR", nullptr);
    wchar_t common[MAX_PATH];
    ASSERT_TRUE(
        SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)));
    EXPECT_EQ(DefaultLogDirectory(), Utf8Text(common) + "\\Venbrook\\quorvane");

    // Missing parents are made too, and the new folder is opened to every user.
    const std::string folder = FRoot + "\\Venbrook\\quorvane";
    SetLogDirectory(folder + "\\");
    EXPECT_EQ(GetLogFileName(true), folder + "\\");
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_TRUE(EveryoneHasFullAccess(folder));
}

TEST_F(WindowsDriverLog, DayFileHasTheHeaderRecordsAndStopLine) {
    SetLogDirectory(FRoot);
    std::tm day{};
    day.tm_year = 2026 - 1900;
    day.tm_mon = 11;
    day.tm_mday = 8;
    day.tm_hour = 9;
    day.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&day));
    SetLogClock([when] { return when; });
    EXPECT_EQ(GetLogFileName(false), FRoot + "\\quorvane_2026.12.08.log");

    SetLogMode(3);
    WriteLog("> Open", "Params: ", TLogLevel::llDebug);
    SetLogMode(0);
    const std::string text = ReadAll(FRoot + "\\quorvane_2026.12.08.log");
    const std::string padding(40, ' ');
    const std::string expected = padding + "\r\n============Start log=============\r\nOS version:\tWindows ";
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    // The module is the program the log is linked into here; it has no version resource.
    EXPECT_NE(
        text.find("\r\nApplication:\tdriver_log_test.exe\r\nApp. version:\t0.0.0.0\r\n" + padding + "\r\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("2026.12.08 09:00:00.000\tDEBUG\t> Open: \tParams:\r\n"), std::string::npos) << text;
    const std::string stop = "============Stop log===============\r\n\r\n";
    ASSERT_GE(text.size(), stop.size());
    EXPECT_EQ(text.substr(text.size() - stop.size()), stop);
}

// A writer of another process holds the day file's lock: a record waits for it, then follows
// the other writer's bytes whole.
TEST_F(WindowsDriverLog, ARecordWaitsForTheLockOfAnotherWriter) {
    SetLogDirectory(FRoot);
    SetLogMode(3);
    WriteLog("first", "", TLogLevel::llInfo);
    const std::string path = GetLogFileName(false);
    HANDLE other = ::CreateFileW(WindowsText(path).c_str(), FILE_APPEND_DATA | GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OVERLAPPED from{};
    ASSERT_TRUE(::LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &from));
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread writer([done] {
        WriteLog("second", "", TLogLevel::llInfo);
        ::SetEvent(done);
    });
    EXPECT_EQ(::WaitForSingleObject(done, 300), static_cast<DWORD>(WAIT_TIMEOUT)) << "wrote past the lock";
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(other, "OTHER\r\n", 7, &written, nullptr));
    ::UnlockFileEx(other, 0, MAXDWORD, MAXDWORD, &from);
    writer.join();
    ::CloseHandle(other);
    ::CloseHandle(done);
    const std::string text = ReadAll(path);
    const auto otherAt = text.find("OTHER\r\n");
    const auto secondAt = text.find("\tINFO\tsecond\r\n");
    ASSERT_NE(otherAt, std::string::npos);
    ASSERT_NE(secondAt, std::string::npos);
    EXPECT_LT(otherAt, secondAt);
}

}  // namespace
}  // namespace quorvane
