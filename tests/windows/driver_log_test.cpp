// The driver log on Windows under Wine: the shared folder, its fallback and the access lists, the day file,
// its header, the lock other processes' writers wait on, and records of several processes kept whole.

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

// A folder's access list as text, and setting one from text.
std::string ListOf(const std::string& APath) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(WindowsText(APath).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return "(unreadable)";
    LPWSTR text = nullptr;
    std::string list = "(no text)";
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text, nullptr)) {
        list = Utf8Text(text);
        ::LocalFree(text);
    }
    ::LocalFree(descriptor);
    return list;
}

DWORD SetList(const std::string& APath, const std::string& AList) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(WindowsText(AList).c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return ::GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const DWORD result = ::SetNamedSecurityInfoW(
        WindowsText(APath).data(), SE_FILE_OBJECT,
        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
    ::LocalFree(descriptor);
    return result;
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

TEST_F(WindowsDriverLog, FolderIsTheSharedApplicationDataOneAndOnlyANewFolderIsOpenedToEveryone) {
    ::SetEnvironmentVariableW(L"QUORVANE_LOG_DIR", nullptr);
    wchar_t common[MAX_PATH];
    ASSERT_TRUE(
        SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)));
    EXPECT_EQ(DefaultLogDirectory(), Utf8Text(common) + "\\Venbrook\\quorvane");
    // The override is read as the process's own (wide) environment, so any folder name works.
    const std::string overridden = FRoot + "\\журнал";
    ::SetEnvironmentVariableW(L"QUORVANE_LOG_DIR", WindowsText(overridden).c_str());
    EXPECT_EQ(DefaultLogDirectory(), overridden);
    ::SetEnvironmentVariableW(L"QUORVANE_LOG_DIR", nullptr);

    // The maker's folder exists with a list of its own: it is kept, and only the product's folder,
    // made here, is opened to every user.
    const std::string maker = FRoot + "\\Venbrook";
    ASSERT_TRUE(std::filesystem::create_directories(WindowsText(maker)));
    const std::string ownList = "D:P(A;OICI;FA;;;BA)";
    ASSERT_EQ(SetList(maker, ownList), ERROR_SUCCESS);
    const std::string makerList = ListOf(maker);
    const std::string folder = maker + "\\quorvane";
    SetLogDirectory(folder + "\\");
    EXPECT_EQ(GetLogFileName(true), folder + "\\");
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_TRUE(EveryoneHasFullAccess(folder)) << ListOf(folder);
    EXPECT_EQ(ListOf(maker), makerList);

    // An existing log folder's list is never touched, also when records go into it.
    const std::string existing = FRoot + "\\existing";
    ASSERT_TRUE(std::filesystem::create_directories(WindowsText(existing)));
    ASSERT_EQ(SetList(existing, ownList), ERROR_SUCCESS);
    const std::string existingList = ListOf(existing);
    SetLogDirectory(existing);
    SetLogMode(3);
    WriteLog("record", "", TLogLevel::llInfo);
    EXPECT_EQ(ListOf(existing), existingList);
    EXPECT_FALSE(EveryoneHasFullAccess(existing));
}

// A log folder that cannot be made goes to the user's roaming application-data folder.
TEST_F(WindowsDriverLog, UnusableFolderFallsBackToTheRoamingOne) {
    wchar_t roaming[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming)));
    const std::string fallback = Utf8Text(roaming) + "\\Venbrook\\quorvane";
    const bool makerExisted = IsFolder(Utf8Text(roaming) + "\\Venbrook");
    ASSERT_TRUE(std::filesystem::create_directories(WindowsText(FRoot)));
    { std::ofstream(std::filesystem::path(WindowsText(FRoot + "\\file"))) << "a file, not a folder"; }
    SetLogDirectory(FRoot + "\\file\\log");
    SetLogMode(3);
    WriteLog("fallback", "", TLogLevel::llInfo);
    EXPECT_EQ(GetLogFileName(true), fallback + "\\");
    const std::string day = GetLogFileName(false);
    SetLogMode(0);
    EXPECT_NE(ReadAll(day).find("\tINFO\tfallback\r\n"), std::string::npos);
    std::error_code ignored;
    std::filesystem::remove(WindowsText(day), ignored);
    if (!makerExisted) std::filesystem::remove_all(WindowsText(Utf8Text(roaming) + "\\Venbrook"), ignored);
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

// Each writer puts its id into text and detail, with a long detail, so that a torn, interleaved
// or overwritten record shows up as a line that does not match itself or as a missing id.
std::string Detail(const std::string& AId) {
    std::string detail;
    while (detail.size() < 3000) detail += AId + "|";
    return detail;
}

void WriteRecords(const std::string& AFolder, const std::string& APrefix, int ARecords) {
    SetLogBaseName("quorvane");
    SetLogDirectory(AFolder);
    SetLogMode(3);
    for (int i = 0; i < ARecords; ++i) {
        const std::string id = APrefix + "-" + std::to_string(i);
        WriteLog(id, Detail(id), TLogLevel::llInfo);
    }
    SetLogMode(0);
}

TEST_F(WindowsDriverLog, ProcessesAppendWholeRecords) {
    constexpr int kRecords = 200;
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::vector<PROCESS_INFORMATION> children;
    for (int p = 0; p < 2; ++p) {
        std::wstring command = L"\"" + std::wstring(self) + L"\" --append-records \"" + WindowsText(FRoot) +
                               L"\" p" + std::to_wstring(p) + L" " + std::to_wstring(kRecords);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &child));
        children.push_back(child);
    }
    WriteRecords(FRoot, "parent", kRecords);
    for (PROCESS_INFORMATION& child : children) {
        EXPECT_EQ(::WaitForSingleObject(child.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD code = 1;
        ::GetExitCodeProcess(child.hProcess, &code);
        EXPECT_EQ(code, 0u);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);
    }

    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator(WindowsText(FRoot)))
        text += ReadAll(Utf8Text(entry.path().wstring()));
    std::set<std::string> seen;
    std::size_t headers = 0, stops = 0;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        const auto level = line.find("\tINFO\t");
        if (level == std::string::npos) {
            headers += line == "============Start log=============";
            stops += line == "============Stop log===============";
            continue;
        }
        const std::string body = line.substr(level + 6);
        const std::string id = body.substr(0, body.find(':'));
        ASSERT_EQ(body, id + ": \t" + Detail(id)) << "torn record";
        EXPECT_TRUE(seen.insert(id).second) << id;
    }
    EXPECT_EQ(seen.size(), 3u * kRecords);
    EXPECT_EQ(headers, 3u);
    EXPECT_EQ(stops, 3u);
}

}  // namespace
}  // namespace quorvane

// The program is also the other writer: "--append-records FOLDER ID COUNT" writes records and ends.
int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--append-records") {
        quorvane::WriteRecords(argv[2], argv[3], std::stoi(argv[4]));
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
