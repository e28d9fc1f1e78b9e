// quorvane-host's device commands against the real component: settings anywhere on the line,
// one settings syntax for every command, messages and exit statuses, printing to the virtual
// printer over TCP.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/transport/test_peers.h"
#include "tools/host/host_commands.h"
#include "tools/host/print_commands.h"
#include "tools/host/script_command.h"
#include "tools/printer/printer_server.h"

namespace quorvane::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

const char* kDocument =
    "<Data><Formatting Width=\"40\" Height=\"30\">"
    "<Barcode FieldName=\"ean\" Type=\"ean13\" Left=\"1\" Top=\"1\" Height=\"10\"/>"
    "<UserData FieldName=\"raw\"/></Formatting><Labels>"
    "<Label Quantity=\"2\"><Record FieldName=\"ean\" Value=\"4601234567893\"/>"
    "<Record FieldName=\"raw\" Value=\"REM Ж\"/></Label>"
    "<Label Quantity=\"1\"><Record FieldName=\"ean\" Value=\"4601234567800\"/></Label>"
    "</Labels></Data>";

struct TRun {
    int Status;
    std::string Out;
    std::string Err;
};

class HostTool : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() / ("quorvane-host-tool-" + std::to_string(::getpid()));
        fs::create_directories(FDir);
        ::setenv("QUORVANE_LOG_DIR", (FDir / "log").c_str(), 1);
        FDocument = (FDir / "doc.xml").string();
        std::ofstream(FDocument) << kDocument;
    }
    void TearDown() override { fs::remove_all(FDir); }

    TRun Run(std::vector<std::string> AArgs, bool ATerminal = false, const std::string& AInput = "") {
        THostCommandTable commands = DefaultCommands();
        AddScriptCommand(commands);
        AddPrintCommands(commands);
        AArgs.insert(AArgs.begin(), {"--component", QUORVANE_COMPONENT});
        std::ostringstream out, err;
        std::istringstream in(AInput);
        const int status = RunHost(AArgs, out, err, commands, ATerminal, &in);
        return {status, out.str(), err.str()};
    }

    fs::path FDir;
    std::string FDocument;
};

TEST_F(HostTool, SettingsAnywhereApplyToEveryCommandAndTheLogWaitsForTheUsersSwitch) {
    PrinterOptions options;
    options.listen = "127.0.0.1:0";
    PrinterServer printer(options);
    printer.Start();
    const std::string port = std::to_string(printer.Port());
    // Before the command, after it and after a second one: all reach both commands.
    TRun run = Run({"--set", "InterfaceType=2", "--set", "LogEnabled=false", "print", "-", "--set",
                    "IPAddress=127.0.0.1", "--", "init", "--set", "IPPort=" + port},
                   false, kDocument);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_THAT(run.Out, ContainsRegex("^2 labels sent to 127\\.0\\.0\\.1:" + port +
                                       " in [0-9]+\\.[0-9] s\n"
                                       "Nothing was sent: model 0 needs no set-up\n$"));
    EXPECT_EQ(run.Err, "");
    EXPECT_TRUE(printer.WaitForJobs(1, 10s));
    EXPECT_EQ(printer.Labels().size(), 2u);
    // The schema's default switches the log on; the user's "false" came first, so nothing was written.
    EXPECT_FALSE(fs::exists(FDir / "log"));
}

TEST_F(HostTool, ScriptTakesEverySettingTypedOrNotAndKeepsBinaryOffATerminal) {
    TRun run = Run({"--set", "codepage=866",    "script", FDocument,           "-o",    "-",
                    "--set", "Resolution=300",  "--set",  "ШиринаШтрихкода=3", "--set", "Speed=d:3",
                    "--set", "InterfaceType=2", "--set",  "IPPort=9100",       "--set", "IPAddress=127.0.0.1",
                    "--set", "LogEnabled=false"},
                   true);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string head =
        "SIZE 40 mm,30 mm\r\nGAP 3 mm,0 mm\r\nSPEED 3\r\nDENSITY 7\r\n"
        "DIRECTION 0, 0\r\nCLS\r\nCODEPAGE 866\r\n";
    EXPECT_EQ(run.Out,
              head + "BARCODE 12,12,\"EAN13\",120,0,0,3,3,\"4601234567893\"\r\nREM \x86\r\nPRINT 2\r\n" +
                  head + "BARCODE 12,12,\"EAN13\",120,0,0,3,3,\"4601234567800\"\r\nPRINT 1\r\n");

    run = Run({"script", FDocument, "--out", (FDir / "out").string()}, true);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "2 label scripts written to " + (FDir / "out").string() + "\n");
    EXPECT_TRUE(fs::exists(FDir / "out" / "label-00002.tspl"));

    run = Run({"script", FDocument}, true);
    EXPECT_EQ(run.Status, 2);
    EXPECT_THAT(run.Err, HasSubstr("give --out DIR, or -o -"));
    EXPECT_EQ(run.Out, "");
}

TEST_F(HostTool, EveryCommandGivesTheSameMessageAndStatusForTheSameFault) {
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {"script", FDocument}, {"print", FDocument}, {"init"}, {"info"}}) {
        std::vector<std::string> args{"--set", "Resolution=abc"};
        args.insert(args.end(), command.begin(), command.end());
        TRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << command[0];
        EXPECT_THAT(run.Err, HasSubstr("quorvane-host: --set Resolution=abc: Resolution takes a number (203, 300, 600)\n"));

        // A setting name the component does not know is a typing error like a bad value.
        args = {"--set", "NoSuchSetting=1"};
        args.insert(args.end(), command.begin(), command.end());
        run = Run(args);
        EXPECT_EQ(run.Status, 2) << command[0];
        EXPECT_THAT(run.Err, HasSubstr("quorvane-host: --set NoSuchSetting=1: there is no setting NoSuchSetting\n"))
            << command[0];

        args = {command[0], (FDir / "missing.xml").string()};
        if (command.size() == 1) continue;
        run = Run(args);
        EXPECT_EQ(run.Status, 2) << command[0];
        EXPECT_THAT(run.Err, HasSubstr("quorvane-host: cannot read " + (FDir / "missing.xml").string()));
    }
    // A document the driver refuses is the driver's failure, told in its words.
    std::ofstream(FDir / "bad.xml") << "<Data><Formatting Width=\"40.5\" Height=\"30\"/></Data>";
    TRun run = Run({"script", (FDir / "bad.xml").string(), "-o", "-"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_THAT(run.Err, ContainsRegex("^script failed: [^\n]+\n$"));
}

TEST_F(HostTool, FailuresAlwaysGiveAReasonWithoutTypeTags) {
    // A method that returns false: its GetLastError text.
    TRun run = Run({"--set", "LogEnabled=false", "--set", "InterfaceType=5", "call", "Open", "s:"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "Open failed: Неизвестный тип интерфейса: 5\n");
    // A log folder that cannot be made (a home that is not writable) gives way to the runtime
    // folder, and the work goes on; only with no place left does the traced call fail, in Russian.
    ::setenv("QUORVANE_LOG_DIR", (FDir / "file" / "log").c_str(), 1);
    std::ofstream(FDir / "file") << "not a folder";
    ::setenv("XDG_RUNTIME_DIR", FDir.c_str(), 1);
    run = Run({"--set", "LogEnabled=true", "--set", "USBPort=/dev/null", "init"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(fs::exists(FDir / "quorvane")) << run.Err;
    ::setenv("QUORVANE_LOG_DIR", (FDir / "file" / "log2").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (FDir / "file").c_str(), 1);
    ::setenv("TMPDIR", (FDir / "file").c_str(), 1);
    run = Run({"--set", "LogEnabled=true", "init"});
    ::unsetenv("XDG_RUNTIME_DIR");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(run.Status, 1);
    EXPECT_THAT(run.Err, ContainsRegex("^[A-Za-z ]+ failed: Не удалось создать папку лога ни в одном "
                                       "из мест: [^\n]+ — часть пути не является папкой\n$"));

    ::setenv("QUORVANE_LOG_DIR", (FDir / "log").c_str(), 1);
    run = Run({"print", "--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_THAT(run.Out, HasSubstr("usage: quorvane-host [OPTIONS] print FILE.xml"));
    run = Run({"--help"});
    EXPECT_THAT(run.Out, HasSubstr("Exit status: 0 "));
    run = Run({"--version"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_THAT(
        run.Out,
        ContainsRegex("^quorvane-host [0-9.]+\ncomponent [^\n]+ [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\n$"));
}

TEST_F(HostTool, UnchosenPortsAndMistypedModesAndNumbersAreSaidInWords) {
    // The schema's defaults choose no port: each transport names the setting to fill.
    for (const auto& [type, setting] : std::vector<std::pair<std::string, std::string>>{
             {"0", "USBPort"}, {"1", "COMPort"}, {"2", "IPAddress"}}) {
        TRun run = Run({"--set", "LogEnabled=false", "--set", "InterfaceType=" + type, "--set", "COMPort=0", "print",
                        FDocument});
        EXPECT_EQ(run.Status, 1) << setting;
        EXPECT_EQ(run.Err, "Open failed: Порт недоступен — не выбран порт: задайте " + setting + "\n");
    }
    TRun run = Run({"print", FDocument, "--mode", "frist"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_THAT(run.Err, HasSubstr("--mode frist: MODE is first or last"));
    run = Run({"--set", "InterfaceType=LAN", "print", FDocument});
    EXPECT_EQ(run.Status, 2);
    EXPECT_THAT(run.Err, HasSubstr("InterfaceType takes a number (0 USB, 1 COM, 2 LAN)"));
}

TEST_F(HostTool, APrinterThatNeverAnswersIsTakenAsReadyButTheRunSaysSo) {
    // A serial line with nothing on the other end: the labels go, unchecked, and both the log
    // (once per job) and the summary say so.
    test::PtyPair line;
    ::setenv("QUORVANE_COM7", line.Path().c_str(), 1);
    TRun run = Run({"--set", "InterfaceType=1", "--set", "COMPort=7", "print", FDocument});
    ::unsetenv("QUORVANE_COM7");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_THAT(run.Out, ContainsRegex("^2 labels sent to COM7 \\([^)]+\\) in [0-9.]+ s — принтер не ответил на "
                                       "запрос состояния; этикетки отправлены без проверки\n$"));
    std::string log;
    for (const auto& file : fs::directory_iterator(FDir / "log")) log += test::ReadFile(file.path());
    std::size_t warnings = 0;
    for (std::size_t at = log.find("\tWARN\tпринтер не ответил"); at != std::string::npos;
         at = log.find("\tWARN\t", at + 1))
        ++warnings;
    EXPECT_EQ(warnings, 1u) << log;
}

}  // namespace
}  // namespace quorvane::host
