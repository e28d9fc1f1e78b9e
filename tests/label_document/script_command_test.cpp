#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "tools/host/script_command.h"

namespace quorvane::host {
namespace {

class ScriptCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        FDir = std::filesystem::temp_directory_path() /
               ("quorvane-script-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FDir);
    }
    void TearDown() override { std::filesystem::remove_all(FDir); }

    std::string Write(const std::string& AName, const std::string& AText)
    {
        const auto path = FDir / AName;
        std::ofstream(path, std::ios::binary) << AText;
        return path.string();
    }

    static std::string Read(const std::filesystem::path& APath)
    {
        std::ifstream in(APath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path FDir;
};

const char* kDocument =
    "<Data><Formatting Width=\"40\" Height=\"30\">"
    "<Barcode FieldName=\"ean\" Type=\"ean13\" Left=\"1\" Top=\"1\" Height=\"10\"/>"
    "<UserData FieldName=\"raw\"/></Formatting><Labels>"
    "<Label Quantity=\"2\"><Record FieldName=\"ean\" Value=\"4601234567893\"/>"
    "<Record FieldName=\"raw\" Value=\"REM Ж\"/></Label>"
    "<Label Quantity=\"1\"><Record FieldName=\"ean\" Value=\"4601234567800\"/></Label>"
    "</Labels></Data>";

TEST_F(ScriptCommand, WritesEveryLabelWithTheGivenSettings)
{
    const std::string file = Write("doc.xml", kDocument);
    std::ostringstream out, err;
    ASSERT_TRUE(WriteScripts({file, "--set", "codepage=866", "--set", "Resolution=300",
                              "--set", "ШиринаШтрихкода=3"},
                             out, err))
        << err.str();
    const std::string head = "SIZE 40 mm,30 mm\r\nGAP 3 mm,0 mm\r\nSPEED 2\r\nDENSITY 7\r\n"
                             "DIRECTION 0, 0\r\nCLS\r\nCODEPAGE 866\r\n";
    EXPECT_EQ(out.str(), head + "BARCODE 12,12,\"EAN13\",120,0,0,3,3,\"4601234567893\"\r\n"
                                "REM \x86\r\nPRINT 2\r\n" +
                             head + "BARCODE 12,12,\"EAN13\",120,0,0,3,3,\"4601234567800\"\r\n"
                                    "PRINT 1\r\n");

    std::ostringstream quiet;
    ASSERT_TRUE(WriteScripts({file, "--out", (FDir / "out").string()}, quiet, err)) << err.str();
    EXPECT_EQ(quiet.str(), "2 label script(s) written to " + (FDir / "out").string() + "\n");
    EXPECT_NE(Read(FDir / "out" / "label-00001.tspl").find("REM \xC6\r\nPRINT 2\r\n"),
              std::string::npos);
    EXPECT_NE(Read(FDir / "out" / "label-00002.tspl").find("\"4601234567800\"\r\nPRINT 1"),
              std::string::npos);
}

TEST_F(ScriptCommand, FailuresAreToldAndNothingIsWritten)
{
    std::ostringstream out, err;
    EXPECT_FALSE(WriteScripts({Write("a.xml", kDocument), "--set", "Foo=1"}, out, err));
    EXPECT_EQ(err.str(), "quorvane-host: Property not found: Foo\n");

    std::string bad = kDocument;
    bad.replace(bad.find("4601234567800"), 13, "46012345678AB");
    std::ostringstream out2, err2;
    EXPECT_FALSE(WriteScripts({Write("b.xml", bad), "--out", (FDir / "bad").string()}, out2, err2));
    EXPECT_EQ(err2.str(), "Error: Недопустимые символы во входных данных штрихкода\n");
    EXPECT_FALSE(std::filesystem::exists(FDir / "bad"));

    std::ostringstream out3, err3;
    EXPECT_FALSE(WriteScripts({(FDir / "missing.xml").string()}, out3, err3));
    EXPECT_NE(err3.str().find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::host
