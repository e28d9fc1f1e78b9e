// quorvane-host's command line against the test component: in-process through RunHost, and once
// as the real program.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/common/run_command.h"
#include "tools/host/host_commands.h"

using namespace quorvane::host;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct TRun {
    int Status;
    std::string Out;
    std::string Err;
};

TRun RunTool(std::vector<std::string> AArgs) {
    AArgs.insert(AArgs.begin(), {"--component", QUORVANE_TEST_COMPONENT});
    std::ostringstream out, err;
    int status = RunHost(AArgs, out, err);
    return {status, out.str(), err.str()};
}

TEST(HostCliTest, InfoListsClassesMethodsAndProperties) {
    TRun run = RunTool({"info"});
    EXPECT_THAT(run.Out, HasSubstr("Classes: qvtest|qvtest2|qvbroken\n"));
    EXPECT_THAT(run.Out, HasSubstr("Class qvtest (extension qvtest): 12 methods, 5 properties\n"));
    EXPECT_THAT(run.Out, HasSubstr("   2  Describe / Описать  params 1  function\n"));
    EXPECT_THAT(run.Out, HasSubstr("Reset / Сбросить  params 0  procedure\n"));
    EXPECT_THAT(run.Out, HasSubstr("   0  Value / Значение  readable  writable\n"));
    EXPECT_THAT(run.Out, HasSubstr("   3  ReadOnly / ТолькоЧтение  readable\n"));
    EXPECT_THAT(run.Out, HasSubstr("Class qvtest2 (extension qvtest2ext)"));
    // The class whose constructor fails is named, and the run reports the failure.
    EXPECT_THAT(run.Err, HasSubstr("qvbroken"));
    EXPECT_EQ(run.Status, 1);
}

TEST(HostCliTest, CallPrintsResultAndParametersAndCommandsShareTheObject) {
    TRun run =
        RunTool({"call", "SetValue", "i:5",      "--",    "call",         "Описать", "s:old",  "--",
                 "call", "Sum3",     "i:2",      "d:3.9", "untyped text", "--",      "call",   "Reset",
                 "--",   "call",     "GetValue", "--",    "call",         "Echo",    "b:true", "s:i:1"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "Result: b:true\nParam 1: i:5\n"
              "Result: s:готово\nParam 1: s:значение 5\n"
              "Result: i:5\nParam 1: i:2\nParam 2: d:3.9\nParam 3: s:сумма\n"
              "Result: i:0\n"
              "Result: i:0\nParam 1: b:true\nParam 2: s:i:1\n");
    EXPECT_EQ(run.Err, "");
}

TEST(HostCliTest, SettingsPropertiesAndFailures) {
    TRun run = RunTool(
        {"--set", "Value=i:41", "get", "Значение", "--", "set", "Value", "i:12", "--", "get", "Value"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "Значение = i:41\nValue = i:12\n");

    // A failing call prints the host's error texts and the run continues, ending with status 1.
    run = RunTool({"call", "Fail", "--", "get", "Broken", "--", "call", "GetValue"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "Fail failed: Метод не выполнен\nCannot read Broken: Свойство недоступно\n");
    EXPECT_THAT(run.Out, HasSubstr("Result: i:0\n"));

    // A setting the component does not have is a usage error, found before any call.
    run = RunTool({"--set", "Unknown=1", "call", "GetValue"});
    EXPECT_EQ(run.Status, 2);
}

TEST(HostCliTest, UsageErrors) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"nonsense"},
                                               {"call"},
                                               {"get", "a", "b"},
                                               {"call", "SetValue", "i:x"},
                                               {"call", "NoSuchMethod"},
                                               {"info", "--"},
                                               {"--set", "novalue", "info"},
                                               {}}) {
        TRun run = RunTool(args);
        EXPECT_EQ(run.Status, 2) << testing::PrintToString(args);
        EXPECT_THAT(run.Err, HasSubstr("quorvane-host: "));
    }
    std::ostringstream out, err;
    EXPECT_EQ(RunHost({"--component", "/nonexistent/lib.so", "info"}, out, err), 2);
    EXPECT_THAT(err.str(), HasSubstr("cannot load /nonexistent/lib.so"));
}

TEST(HostCliTest, TheProgramRunsLikeThePlatformHost) {
    const quorvane::test::TCommandRun run = quorvane::test::RunCommand(
        std::string(QUORVANE_HOST_PROGRAM) + " --component " + QUORVANE_TEST_COMPONENT +
        " --class qvtest call SetValue i:3 -- call GetValue");
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_EQ(run.Output, "Result: b:true\nParam 1: i:3\nResult: i:3\n");
}

}  // namespace
