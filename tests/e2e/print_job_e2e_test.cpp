// The print job as the platform runs it: the component through the host harness, sending to the
// virtual printer over TCP, a pseudo-terminal as serial port (QUORVANE_COM<n>) and a
// pseudo-terminal as USB printer device.

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <pugixml.hpp>

#include "errors/messages.h"
#include "tests/common/files.h"
#include "tests/common/loopback.h"
#include "tests/common/run_command.h"
#include "tests/driver/driver_host_fixture.h"
#include "tools/printer/printer_server.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kStatusQuery = "\x1b!?";

std::vector<fs::path> Examples() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(QUORVANE_EXAMPLES_DIR))
        if (entry.path().extension() == ".xml") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::size_t LabelElements(const std::string& ADocument) {
    pugi::xml_document doc;
    doc.load_string(ADocument.c_str());
    return doc.select_nodes("/*/Labels/Label").size();
}

// A document with one text field in a layout of AWidth x AHeight mm and ALabels labels.
std::string SmallDocument(int AWidth, int AHeight, int ALabels = 1) {
    std::string labels;
    for (int i = 1; i <= ALabels; ++i)
        labels += "<Label Quantity=\"1\"><Record FieldName=\"T\" Value=\"Label " + std::to_string(i) +
                  "\"/></Label>";
    return "<Data><Formatting Width=\"" + std::to_string(AWidth) + "\" Height=\"" + std::to_string(AHeight) +
           "\"><Text FieldName=\"T\" Left=\"1\" Top=\"1\" Width=\"20\" Height=\"5\" FontName=\"Arial\" "
           "FontSize=\"8\"/></Formatting><Labels>" +
           labels + "</Labels></Data>";
}

TCommandRun RunHostProgram(const std::string& AArgs) {
    return RunCommand(std::string(QUORVANE_HOST_PROGRAM) + " " + AArgs);
}

enum class TLink { Tcp, Serial, Usb };

class PrintJobTest : public DriverHostTest {
protected:
    void SetUp() override {
        DriverHostTest::SetUp();
        char pattern[] = "/tmp/quorvane-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FDir = pattern;
        ApplySchemaDefaults();
    }
    void TearDown() override {
        Printer.reset();
        DriverHostTest::TearDown();
        fs::remove_all(FDir);
    }

    // The platform hands a new device every default of the settings schema.
    void ApplySchemaDefaults() {
        TCall call = Call(u"GetParameters", host::EmptyValue());
        pugi::xml_document schema;
        ASSERT_TRUE(schema.load_string(WideToUtf8(V8Text((*call.Params)[0])).c_str()));
        for (const pugi::xpath_node& node : schema.select_nodes("//Parameter[@DefaultValue]")) {
            const std::string name = node.node().attribute("Name").value();
            const std::string type = node.node().attribute("TypeValue").value();
            const std::string value = node.node().attribute("DefaultValue").value();
            if (type == "Number")
                Set(name, host::IntValue(std::stoi(value)));
            else if (type == "Boolean")
                Set(name, host::BoolValue(value == "true" || value == "True"));
            else
                Set(name, host::StringValue(Memory, value));
        }
        Set("LogEnabled", host::BoolValue(false));
    }

    void Set(const std::string& AName, const V8Variant& AValue) {
        ASSERT_TRUE(SetParameter(AName, AValue)) << AName;
    }

    // Starts the virtual printer and points the driver at it over ALink.
    void StartPrinter(TLink ALink = TLink::Tcp, std::uint8_t AStatus = 0,
                      std::vector<std::uint8_t> AScript = {}) {
        PrinterOptions o;
        o.status = AStatus;
        o.statusScript = std::move(AScript);
        o.outDir = FDir + "/out";
        o.listen = ALink == TLink::Tcp ? "127.0.0.1:0" : "off";
        if (ALink != TLink::Tcp) o.ptyLink = FDir + "/printer";
        Printer = std::make_unique<PrinterServer>(o);
        Printer->Start();
        switch (ALink) {
            case TLink::Tcp:
                Set("InterfaceType", host::IntValue(2));
                Set("IPAddress", host::StringValue(Memory, "127.0.0.1"));
                Set("IPPort", host::IntValue(Printer->Port()));
                break;
            case TLink::Serial:
                ::setenv("QUORVANE_COM42", Printer->PtyPath().c_str(), 1);
                Set("InterfaceType", host::IntValue(1));
                Set("COMPort", host::IntValue(42));
                break;
            case TLink::Usb:
                Set("InterfaceType", host::IntValue(0));
                Set("USBPort", host::StringValue(Memory, Printer->PtyPath()));
                break;
        }
    }

    bool Succeeded(const TCall& ACall) {
        return ACall.Called && ACall.Result.vt == VTYPE_BOOL && ACall.Result.VarEnum.bVal;
    }
    bool Open() { return Succeeded(Call(u"Open", host::StringValue(Memory, ""))); }
    bool Close() { return Succeeded(Call(u"Close", host::StringValue(Memory, ""))); }
    bool PrintLabels(const std::string& ADocument, const std::string& AMode = "") {
        return Succeeded(Call(u"PrintLabels", host::StringValue(Memory, ""),
                              host::StringValue(Memory, ADocument), host::StringValue(Memory, AMode)));
    }
    bool InitializePrinter() { return Succeeded(Call(u"InitializePrinter", host::StringValue(Memory, ""))); }

    // The bytes of the printer's job ANumber (1-based) once it has ended.
    std::string JobBytes(int ANumber) {
        EXPECT_TRUE(Printer->WaitForJobs(ANumber, 10s));
        char name[32];
        std::snprintf(name, sizeof name, "job-%04d.bin", ANumber);
        return ReadFile(fs::path(FDir) / "out" / name);
    }

    // Everything the printer received, its jobs in order.
    std::string AllJobBytes() const {
        std::vector<fs::path> jobs;
        for (const auto& entry : fs::directory_iterator(fs::path(FDir) / "out"))
            if (entry.path().extension() == ".bin") jobs.push_back(entry.path());
        std::sort(jobs.begin(), jobs.end());
        std::string bytes;
        for (const fs::path& job : jobs) bytes += ReadFile(job);
        return bytes;
    }

    // PrintLabels returns once the bytes are out; the printer may still be reading them.
    bool WaitForLabels(std::size_t ACount) const {
        for (int i = 0; i < 1000 && Printer->Labels().size() < ACount; ++i) std::this_thread::sleep_for(10ms);
        return Printer->Labels().size() == ACount;
    }

    // The journal as a string of letters: Q status query, L printed label, R reset.
    std::string Sequence() const {
        std::string seq;
        for (const JournalEntry& e : Printer->Journal()) {
            if (e.kind == "immediate" && e.command == "ESC!?") seq += 'Q';
            if (e.kind == "immediate" && e.command == "ESC!C") seq += 'R';
            if (e.kind == "label") seq += 'L';
        }
        return seq;
    }

    // The SIZE lines the printer received, in order.
    std::vector<std::string> SizeCommands() const {
        std::vector<std::string> sizes;
        for (const JournalEntry& e : Printer->Journal())
            if (e.kind == "command" && e.command == "SIZE") sizes.push_back(e.text);
        return sizes;
    }

    // The printer's complaints, one per line.
    std::string Problems() const {
        std::string text;
        for (const JournalEntry& e : Printer->Journal())
            if (e.kind == "problem") text += e.command + " " + e.text + ": " + e.detail + "\n";
        return text;
    }

    std::string Dir() const { return FDir; }

    std::unique_ptr<PrinterServer> Printer;

private:
    std::string FDir;
};

// What `quorvane-host script` makes of a document with the schema's defaults, one script per label.
std::vector<std::string> ScriptsOf(const fs::path& ADocument, const std::string& AOutDir) {
    const TCommandRun run = RunHostProgram("script " + ADocument.string() + " --out " + AOutDir);
    EXPECT_EQ(run.Status, 0) << run.Output;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(AOutDir)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> scripts;
    for (const fs::path& file : files) scripts.push_back(ReadFile(file));
    return scripts;
}

class PrintJobOverLink : public PrintJobTest, public ::testing::WithParamInterface<TLink> {};

TEST_P(PrintJobOverLink, EveryExamplePrintsCleanlyWithTheScriptedBytesAfterOneQueryEach) {
    StartPrinter(GetParam());
    ASSERT_TRUE(Open());
    std::string expected;
    std::size_t labels = 0;
    for (const fs::path& example : Examples()) {
        SCOPED_TRACE(example.filename().string());
        const std::string document = ReadFile(example);
        ASSERT_TRUE(PrintLabels(document, "first")) << LastError().second;
        for (const std::string& script : ScriptsOf(example, Dir() + "/scripts-" + example.stem().string()))
            expected += kStatusQuery + script;
        labels += LabelElements(document);
        EXPECT_TRUE(WaitForLabels(labels));
    }
    EXPECT_TRUE(Close());
    Printer->Stop();
    // Where a terminal session ends is the printer's guess; the bytes in order are what counts.
    const std::string received = AllJobBytes();
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected)
        << "the printer received other bytes than the scripts, first difference at "
        << std::mismatch(received.begin(), received.end(), expected.begin(), expected.end()).first -
               received.begin();
    EXPECT_EQ(Printer->Labels().size(), labels);
    EXPECT_EQ(Problems(), "");
}

INSTANTIATE_TEST_SUITE_P(Links, PrintJobOverLink, ::testing::Values(TLink::Tcp, TLink::Serial, TLink::Usb),
                         [](const auto& AInfo) {
                             return AInfo.param == TLink::Tcp      ? "Tcp"
                                    : AInfo.param == TLink::Serial ? "Serial"
                                                                   : "Usb";
                         });

TEST_F(PrintJobTest, EachLabelIsPrecededByItsOwnStatusQuery) {
    StartPrinter();
    ASSERT_TRUE(Open());
    // Twelve labels: built on the job's builder threads, still sent in order.
    ASSERT_TRUE(PrintLabels(SmallDocument(30, 20, 12)));
    JobBytes(1);
    std::string expected;
    for (int i = 0; i < 12; ++i) expected += "QL";
    EXPECT_EQ(Sequence(), expected);
}

TEST_F(PrintJobTest, CoverOpenBeforeTheSecondLabelSendsOnlyTheFirst) {
    StartPrinter(TLink::Tcp, 0x00, {0x00, 0x01});
    ASSERT_TRUE(Open());
    EXPECT_FALSE(PrintLabels(SmallDocument(30, 20, 12)));
    EXPECT_EQ(LastError(), (std::pair<int, std::string>{
                               1001, "Открыта крышка принтера. Отправлено на принтер этикеток: 1 из 12."}));
    JobBytes(1);
    EXPECT_EQ(Sequence(), "QLQ");
}

TEST_F(PrintJobTest, UnlistedStatusByteAsksToCheckCoverAndConsumables) {
    StartPrinter(TLink::Tcp, 0x06);
    ASSERT_TRUE(Open());
    EXPECT_FALSE(PrintLabels(SmallDocument(30, 20)));
    EXPECT_EQ(LastError().second, MessageText(TMessage::CheckCoverAndSupplies));
    EXPECT_EQ(JobBytes(1), kStatusQuery);
}

TEST_F(PrintJobTest, PrintModesDecideWhichCallsBuildTheTemplate) {
    StartPrinter();
    ASSERT_TRUE(Open());
    // Calls 2 to 4 bring a 40 x 25 mm layout; only a call that builds a template reads it.
    ASSERT_TRUE(PrintLabels(SmallDocument(30, 20), "first"));
    ASSERT_TRUE(PrintLabels(SmallDocument(40, 25), ""));
    ASSERT_TRUE(PrintLabels(SmallDocument(40, 25), "LAST"));
    ASSERT_TRUE(PrintLabels(SmallDocument(40, 25), ""));
    ASSERT_TRUE(PrintLabels(SmallDocument(50, 30), "First"));
    JobBytes(5);
    EXPECT_EQ(SizeCommands(),
              (std::vector<std::string>{"SIZE 30 mm,20 mm", "SIZE 30 mm,20 mm", "SIZE 30 mm,20 mm",
                                        "SIZE 40 mm,25 mm", "SIZE 50 mm,30 mm"}));
}

TEST_F(PrintJobTest, EmptyModeReusesTheFirstCallsLayoutAcrossDocuments) {
    StartPrinter();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(PrintLabels(SmallDocument(30, 20), ""));
    ASSERT_TRUE(PrintLabels(SmallDocument(58, 40), ""));
    JobBytes(2);
    EXPECT_EQ(SizeCommands(), (std::vector<std::string>{"SIZE 30 mm,20 mm", "SIZE 30 mm,20 mm"}));
}

// The log file stays UTF-8 text: command text decoded from the script's code page (1251 here),
// bitmap data replaced by a stand-in that gives its length.
TEST_F(PrintJobTest, ExtendedLogRecordsEachScriptSentAsText) {
    StartPrinter();
    Set("LogEnabled", host::BoolValue(true));
    Set("ExtLogEnabled", host::BoolValue(true));
    ASSERT_TRUE(Open());
    const std::string label =
        "<Label Quantity=\"1\"><Record FieldName=\"T\" Value=\"Цена\"/><Record FieldName=\"U\" "
        "Value=\"TEXT 8,100,&quot;3&quot;,0,1,1,&quot;Цена&quot;\"/></Label>";
    ASSERT_TRUE(
        PrintLabels("<Data><Formatting Width=\"30\" Height=\"20\"><Text FieldName=\"T\" Left=\"1\" Top=\"1\" "
                    "Width=\"20\" Height=\"5\" FontName=\"Arial\" FontSize=\"8\"/><UserData FieldName=\"U\"/>"
                    "</Formatting><Labels>" +
                    label + label + "</Labels></Data>"))
        << LastError().second;
    Set("LogEnabled", host::BoolValue(false));
    std::string log = ReadFolder(LogDir());  // iconv takes it as char*
    const auto count = [&log](const std::string& AText) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = log.find(AText, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    EXPECT_EQ(count("\tDEBUG\tСодержание скрипта:"), 2u);
    EXPECT_EQ(count("\tTSPL\r\nSIZE 30 mm,20 mm\r\n"), 2u);
    EXPECT_EQ(count("\r\nTEXT 8,100,\"3\",0,1,1,\"Цена\"\r\n"), 2u);

    iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
    ASSERT_NE(cd, iconv_t(-1));
    char* in = log.data();
    std::size_t inLeft = log.size();
    std::string wide(log.size() * 4, '\0');
    char* out = wide.data();
    std::size_t outLeft = wide.size();
    EXPECT_NE(iconv(cd, &in, &inLeft, &out, &outLeft), std::size_t(-1)) << "not UTF-8 at " << in - log.data();
    iconv_close(cd);

    std::smatch bitmap;
    ASSERT_TRUE(std::regex_search(
        log, bitmap, std::regex("\r\nBITMAP \\d+,\\d+,(\\d+),(\\d+),1,<данные растра, (\\d+) байт>\r\n")));
    EXPECT_EQ(std::stoi(bitmap[3]), std::stoi(bitmap[1]) * std::stoi(bitmap[2]));
}

TEST_F(PrintJobTest, DocumentErrorsSendNothing) {
    StartPrinter();
    ASSERT_TRUE(Open());
    // The last label's EAN-13 value is not digits: no label before it is sent either, in a
    // short job and in one long enough for the builder threads.
    for (const int good : {1, 40}) {
        std::string labels;
        for (int i = 0; i < good; ++i)
            labels += "<Label Quantity=\"1\"><Record FieldName=\"B\" Value=\"4607001771234\"/></Label>";
        const std::string document =
            "<Data><Formatting Width=\"30\" Height=\"20\"><Barcode FieldName=\"B\" Type=\"EAN13\" Left=\"1\" "
            "Top=\"1\" Width=\"25\" Height=\"10\"/></Formatting><Labels>" +
            labels +
            "<Label Quantity=\"1\"><Record FieldName=\"B\" Value=\"460700177123X\"/></Label></Labels></Data>";
        EXPECT_FALSE(PrintLabels(document));
        EXPECT_EQ(LastError().second,
                  "Недопустимые символы во входных данных штрихкода: поле «B» (Barcode EAN13), "
                  "этикетка " +
                      std::to_string(good + 1));
    }
    EXPECT_FALSE(PrintLabels("<Data>\n<Formatting Width=\"30\" Height=20>"));
    EXPECT_EQ(LastError().second,
              "Документ этикеток не является правильным XML: ошибка в атрибуте элемента "
              "(значение должно быть в кавычках, после имени — знак «=»), строка 2, столбец 31");
    // Labels are read from the text as they are sent: a document cut short after more labels
    // than the reader takes at a time is still refused before the first one goes out.
    std::string labels;
    for (int i = 0; i < 1000; ++i)
        labels += "<Label Quantity=\"1\"><Record FieldName=\"B\" Value=\"4607001771234\"/></Label>\n";
    EXPECT_FALSE(PrintLabels("<Data><Formatting Width=\"30\" Height=\"20\"><Barcode FieldName=\"B\" "
                             "Type=\"EAN13\" Left=\"1\" Top=\"1\" Width=\"25\" Height=\"10\"/></Formatting>"
                             "<Labels>\n" +
                             labels + "</Labels>"));
    EXPECT_EQ(LastError().second,
              "Документ этикеток не является правильным XML: закрывающий тег не соответствует открывающему, "
              "строка 1002, столбец 9");
    EXPECT_TRUE(Close());
    Printer->Stop();
    EXPECT_EQ(Printer->JobCount(), 0);
}

// One label with a QR code and a DataMatrix the printer draws itself, where the QR and DataMatrix
// settings reach the commands.
const std::string kPrinterDrawnCodes =
    "<Data><Formatting Width=\"40\" Height=\"30\"><Barcode FieldName=\"Q\" Type=\"QRCode\" Left=\"1\" "
    "Top=\"1\" Width=\"15\" Height=\"15\"/><Barcode FieldName=\"D\" Type=\"DataMatrix\" Left=\"20\" "
    "Top=\"1\" Width=\"15\" Height=\"15\"/></Formatting><Labels><Label Quantity=\"1\"><Record "
    "FieldName=\"Q\" Value=\"q\"/><Record FieldName=\"D\" Value=\"d\"/></Label></Labels></Data>";

// A line end in a text setting would put commands of its own into every label: such a value
// fails Open and nothing reaches the printer.
TEST_F(PrintJobTest, TextSettingsOutsideTheirChoicesAddNoCommands) {
    StartPrinter();
    Set("_2DBarcodeAsPicture", host::BoolValue(false));
    const std::pair<const char*, const char*> injections[] = {
        {"QRCodeECCLevel", "M\r\nSELFTEST\r\n"}, {"QRCodeMode", "A\"\r\nPRINT 5"},
        {"QRCodeModel", "M1\nCLS"},              {"DataMatrixSize", "10x10\r\nSELFTEST"},
        {"Codepage", "1251\r\nSELFTEST"},         {"Codepage", " 1251"}};
    for (const auto& [name, value] : injections) {
        host::THostValues previous(Memory);
        ASSERT_TRUE(Object->GetProp(Utf8ToWide(name), previous));
        Set(name, host::StringValue(Memory, value));
        EXPECT_FALSE(Open() && PrintLabels(kPrinterDrawnCodes, "first")) << name;
        EXPECT_EQ(LastError().second.rfind("Некорректное значение настройки «", 0), 0U) << LastError().second;
        Set(name, host::StringValue(Memory, WideToUtf8(V8Text(previous[0]))));
    }
    Set("QRCodeECCLevel", host::StringValue(Memory, "M\r\nSELFTEST\r\n"));
    EXPECT_FALSE(Open());
    EXPECT_EQ(LastError().second,
              "Некорректное значение настройки «Уровень восстановления с исправлением ошибок» (QRCodeECCLevel): "
              "«M\\r\\nSELFTEST\\r\\n»; допустимо: L, M, Q, H");
    Printer->Stop();
    std::string commands;
    for (const JournalEntry& e : Printer->Journal())
        if (e.kind == "command") commands += e.text + "\n";
    EXPECT_EQ(commands, "");
}

// Values are written as the choice list writes them, Codepage also as any code page the driver
// encodes; a value changed after Open is checked where it is used.
TEST_F(PrintJobTest, TextSettingsAreCheckedWhereverTheyAreUsed) {
    StartPrinter();
    Set("_2DBarcodeAsPicture", host::BoolValue(false));
    Set("QRCodeECCLevel", host::StringValue(Memory, "h"));
    Set("Codepage", host::StringValue(Memory, "28591"));
    ASSERT_TRUE(Open()) << LastError().second;
    ASSERT_TRUE(PrintLabels(kPrinterDrawnCodes)) << LastError().second;
    ASSERT_TRUE(WaitForLabels(1));
    std::string commands;
    for (const JournalEntry& e : Printer->Journal())
        if (e.kind == "command" && (e.command == "QRCODE" || e.command == "CODEPAGE")) commands += e.text + "\n";
    EXPECT_EQ(commands, "CODEPAGE 28591\nQRCODE 8,8,H,4,A,0,M1,\"q\"\n");

    Set("Codepage", host::StringValue(Memory, "1251\nSELFTEST"));
    EXPECT_FALSE(PrintLabels(kPrinterDrawnCodes, "first"));
    EXPECT_EQ(LastError().second.rfind("Некорректное значение настройки «Кодовая страница» (Codepage): "
                                       "«1251\\nSELFTEST»; допустимо: 437, 737, ",
                                       0),
              0U)
        << LastError().second;
    Set("Codepage", host::StringValue(Memory, "utf-8"));
    Set("Model", host::IntValue(4));
    Set("QRCodeModel", host::StringValue(Memory, "M3"));
    EXPECT_FALSE(InitializePrinter());
    EXPECT_EQ(LastError().second,
              "Некорректное значение настройки «Модель» (QRCodeModel): «M3»; допустимо: M1, M2");
    TCall test = Call(u"DeviceTest", host::EmptyValue(), host::EmptyValue());
    EXPECT_FALSE(Succeeded(test));
    Printer->Stop();
    EXPECT_EQ(Printer->JobCount(), 1);
}

// A number outside what the printer takes fails Open with the setting named and nothing is sent;
// values the manuals allow print without a problem, also where the schema's list lacks them.
TEST_F(PrintJobTest, NumberSettingsThePrinterCannotTakeFailOpen) {
    StartPrinter();
    const std::pair<const char*, V8Variant> refused[] = {
        {"Density", host::IntValue(16)},          {"Speed", host::DoubleValue(20)},
        {"Gap", host::IntValue(-3)},              {"Direction", host::IntValue(2)},
        {"Resolution", host::IntValue(100000)},   {"PDF417ModuleWidth", host::IntValue(12)},
        {"QRCodeCellWidth", host::IntValue(11)},  {"PDF417Rows", host::IntValue(-5)},
        {"DataBits", host::IntValue(9)},          {"Parity", host::IntValue(7)}};
    for (const auto& [name, value] : refused) {
        host::THostValues previous(Memory);
        ASSERT_TRUE(Object->GetProp(Utf8ToWide(name), previous));
        Set(name, value);
        EXPECT_FALSE(Open()) << name;
        EXPECT_EQ(LastError().second.rfind("Некорректное значение настройки «", 0), 0U) << LastError().second;
        EXPECT_NE(LastError().second.find(std::string("(") + name + ")"), std::string::npos) << LastError().second;
        Set(name, previous[0]);
    }
    Set("Density", host::IntValue(16));
    EXPECT_FALSE(Open());
    EXPECT_EQ(LastError().second, "Некорректное значение настройки «Темнота печати» (Density): «16»; допустимо: 0–15");
    Set("Speed", host::DoubleValue(2.6));
    Set("Density", host::IntValue(15));
    Set("Resolution", host::IntValue(7));
    EXPECT_FALSE(Open());
    EXPECT_EQ(LastError().second,
              "Некорректное значение настройки «Разрешение печати(dpi)» (Resolution): «7»; допустимо: 25–1000");
    // A number no integer setting can hold is refused as given, not clamped first.
    EXPECT_FALSE(SetParameter("Resolution", host::DoubleValue(2147483648.0)));
    EXPECT_EQ(LastError().second, "Некорректное значение настройки «Разрешение печати(dpi)» (Resolution): "
                                  "«2147483648»; допустимо: 25–1000");
    Set("Resolution", host::IntValue(300));
    Set("PDF417ModuleWidth", host::IntValue(-1));
    Set("Gap", host::IntValue(0));
    ASSERT_TRUE(Open()) << LastError().second;
    ASSERT_TRUE(PrintLabels(SmallDocument(30, 20))) << LastError().second;
    ASSERT_TRUE(WaitForLabels(1));
    Printer->Stop();
    std::string seen;
    for (const JournalEntry& e : Printer->Journal()) {
        if (e.kind == "problem") seen += "problem " + e.command + " " + e.text + "\n";
        if (e.kind == "command" && (e.command == "SPEED" || e.command == "DENSITY" || e.command == "GAP"))
            seen += e.text + "\n";
    }
    EXPECT_EQ(seen, "GAP 0 mm,0 mm\nSPEED 3\nDENSITY 15\n");
    EXPECT_EQ(Printer->JobCount(), 1);
}

TEST_F(PrintJobTest, PrintingNeedsAnOpenDevice) {
    StartPrinter();
    EXPECT_FALSE(PrintLabels(SmallDocument(30, 20)));
    EXPECT_EQ(LastError(), (std::pair<int, std::string>{1001, MessageText(TMessage::DeviceNotEnabled)}));
    EXPECT_FALSE(InitializePrinter());
    EXPECT_EQ(LastError().second, MessageText(TMessage::DeviceNotEnabled));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Close());
    EXPECT_FALSE(PrintLabels(SmallDocument(30, 20)));
    EXPECT_EQ(LastError().second, MessageText(TMessage::DeviceNotEnabled));
    Printer->Stop();
    EXPECT_EQ(Printer->JobCount(), 0);
}

TEST_F(PrintJobTest, RefusedConnectionFailsOpenButLeavesTheDeviceOpened) {
    Set("InterfaceType", host::IntValue(2));
    Set("IPAddress", host::StringValue(Memory, "127.0.0.1"));
    const int port = ClosedLoopbackPort();
    Set("IPPort", host::IntValue(port));
    EXPECT_FALSE(Open());
    const std::string openError = LastError().second;
    // The standard text, then where and why.
    EXPECT_EQ(openError.rfind("Ошибка при установлении подключения: 127.0.0.1:" + std::to_string(port) +
                                  " — подключение отклонено",
                              0),
              0U)
        << openError;
    // Enabled stayed true: the print job gets as far as the port.
    EXPECT_FALSE(PrintLabels(SmallDocument(30, 20)));
    EXPECT_EQ(LastError().second, openError);
    // Models without a ribbon switch never touch the port.
    for (int model : {1, 2}) {
        Set("Model", host::IntValue(model));
        EXPECT_TRUE(InitializePrinter()) << model;
    }
}

TEST_F(PrintJobTest, UnknownInterfaceTypeFailsOpen) {
    Set("InterfaceType", host::IntValue(5));
    EXPECT_FALSE(Open());
    EXPECT_EQ(LastError().second, "Неизвестный тип интерфейса: 5");
    EXPECT_FALSE(PrintLabels(SmallDocument(30, 20)));
}

TEST_F(PrintJobTest, InitializePrinterSwitchesAMismatchedRibbonOnOrvelMX) {
    StartPrinter(TLink::Serial);  // ribbon off
    Set("Model", host::IntValue(4));
    ASSERT_TRUE(Open());
    // The set-up follows the settings as they are at the call, not as they were at Open.
    Set("PrintMethod", host::IntValue(1));
    ASSERT_TRUE(InitializePrinter()) << LastError().second;
    JobBytes(1);
    EXPECT_TRUE(Printer->Ribbon());
    EXPECT_EQ(Sequence(), "R");
    bool ribbonCommand = false;
    for (const JournalEntry& e : Printer->Journal())
        ribbonCommand |= e.kind == "command" && e.text == "SET RIBBON ON";
    EXPECT_TRUE(ribbonCommand);
}

// The demo label is the test's own also when the user's template is held, and the next call
// builds its template again, as after any call in mode "last".
TEST_F(PrintJobTest, DeviceTestPrintsItsOwnDemoLabelAndKeepsDensityTen) {
    StartPrinter();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(PrintLabels(SmallDocument(40, 25), ""));
    TCall test = Call(u"DeviceTest", host::EmptyValue(), host::EmptyValue());
    ASSERT_TRUE(Succeeded(test)) << LastError().second;
    EXPECT_EQ(V8Text((*test.Params)[0]), u"");
    EXPECT_EQ(Prop(u"Density").VarEnum.lVal, 10);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(PrintLabels(SmallDocument(50, 30), ""));
    JobBytes(3);
    ASSERT_EQ(Printer->Labels().size(), 3u);
    EXPECT_EQ(SizeCommands(),
              (std::vector<std::string>{"SIZE 40 mm,25 mm", "SIZE 30 mm,20 mm", "SIZE 50 mm,30 mm"}));
    std::vector<std::string> densities;
    int demoTexts = 0;
    for (const JournalEntry& e : Printer->Journal()) {
        if (e.kind == "command" && e.command == "DENSITY") densities.push_back(e.text);
        // The demo's text lies in its box, 28 mm wide at 1 mm, that ends inside the 30 mm
        // (240 dot) label.
        int x = 0, y = 0, width = 0, height = 0, mode = 0;
        if (e.kind == "command" && e.job == 2 &&
            std::sscanf(e.text.c_str(), "BITMAP %d,%d,%d,%d,%d", &x, &y, &width, &height, &mode) == 5) {
            demoTexts = 1;
            EXPECT_TRUE(mode == 1 && x >= 8 && x + width * 8 <= 8 + 28 * 8 && y >= 16 && y + height <= 16 + 160)
                << e.text;
        }
    }
    ASSERT_EQ(densities.size(), 3u);
    EXPECT_EQ(densities[1], "DENSITY 10");
    EXPECT_EQ(densities[2], "DENSITY 10");
    EXPECT_EQ(demoTexts, 1);
    EXPECT_EQ(Problems(), "");
}

TEST_F(PrintJobTest, DeviceTestWithTheCoverOpenReportsItAndStaysOpened) {
    StartPrinter(TLink::Tcp, 0x01);
    TCall test = Call(u"DeviceTest", host::EmptyValue(), host::EmptyValue());
    ASSERT_TRUE(test.Called);
    EXPECT_FALSE(test.Result.VarEnum.bVal);
    EXPECT_EQ(WideToUtf8(V8Text((*test.Params)[0])), MessageText(TMessage::StatusCoverOpen));
    // Still opened: the next job goes to the printer, and meets the same open cover.
    EXPECT_FALSE(PrintLabels(SmallDocument(30, 20)));
    EXPECT_EQ(LastError().second, MessageText(TMessage::StatusCoverOpen));
}

TEST_F(PrintJobTest, HostToolPrintsADocumentAndReportsFailures) {
    StartPrinter();
    const std::string settings =
        "--set InterfaceType=2 --set IPAddress=127.0.0.1 --set IPPort=" + std::to_string(Printer->Port()) +
        " --set LogEnabled=false";
    const std::string example = std::string(QUORVANE_EXAMPLES_DIR) + "/shelf_label.xml";
    TCommandRun run = RunHostProgram("print " + example + " " + settings);
    EXPECT_EQ(run.Status, 0) << run.Output;
    JobBytes(1);
    EXPECT_EQ(Printer->Labels().size(), LabelElements(ReadFile(example)));

    run = RunHostProgram("test " + settings);
    EXPECT_EQ(run.Status, 0) << run.Output;
    JobBytes(2);

    const std::string refused = "--set InterfaceType=2 --set IPAddress=127.0.0.1 --set IPPort=" +
                                std::to_string(ClosedLoopbackPort()) + " --set LogEnabled=false";
    run = RunHostProgram("print " + example + " " + refused);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Output.find("Open failed: "), std::string::npos) << run.Output;
}

}  // namespace
}  // namespace quorvane::test
