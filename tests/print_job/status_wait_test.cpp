#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/print_job.h"
#include "driver/printer_status_wait.h"
#include "driver/ribbon_setup.h"
#include "tests/transport/test_peers.h"
#include "tools/printer/printer_server.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;

// A clock that moves only when the code under test pauses. Pauses up to 200 ms really happen
// (a reply must be able to arrive meanwhile); longer ones are only recorded.
struct TFakeClock {
    std::int64_t Now = 0;
    std::int64_t Step = 0;  // added to Now by every pause, besides the pause itself
    std::vector<int> Pauses;

    TWaitClock Clock() {
        return {[this] { return Now; },
                [this](int AMs) {
                    Pauses.push_back(AMs);
                    Now += AMs + Step;
                    if (AMs <= 200) std::this_thread::sleep_for(std::chrono::milliseconds(AMs));
                }};
    }
};

// The virtual printer in this process, over TCP or its pseudo-terminal.
class TestPrinter {
public:
    explicit TestPrinter(std::uint8_t AStatus, std::vector<std::uint8_t> AScript = {}, bool APty = false) {
        PrinterOptions o;
        o.listen = APty ? "off" : "127.0.0.1:0";
        o.status = AStatus;
        o.statusScript = std::move(AScript);
        if (APty) {
            char pattern[] = "/tmp/quorvane-job-XXXXXX";
            FDir = ::mkdtemp(pattern);
            o.ptyLink = FDir + "/printer";
        }
        FServer = std::make_unique<PrinterServer>(o);
        FServer->Start();
    }
    ~TestPrinter() {
        FServer.reset();
        if (!FDir.empty()) fs::remove_all(FDir);
    }

    std::unique_ptr<TPortManager> Lan() {
        return std::make_unique<TPortManager>("127.0.0.1", FServer->Port());
    }
    // The serial channel on port 57, which the environment points at the printer's terminal.
    std::unique_ptr<TPortManager> Com() {
        ::setenv("QUORVANE_COM57", FServer->PtyPath().c_str(), 1);
        return std::make_unique<TPortManager>(57, 115200, 8, 0, 0);
    }

    // The journal's entries of one kind and command.
    std::size_t Count(const std::string& AKind, const std::string& ACommand) const {
        std::size_t n = 0;
        for (const JournalEntry& e : FServer->Journal()) n += e.kind == AKind && e.command == ACommand;
        return n;
    }
    std::size_t StatusQueries() const { return Count("immediate", "ESC!?"); }
    PrinterServer& Server() { return *FServer; }

private:
    std::string FDir;
    std::unique_ptr<PrinterServer> FServer;
};

std::string StatusFailure(TPortManager& APort, TFakeClock& AClock) {
    APort.OpenPort();
    try {
        WaitUntilPrinterReady(APort, AClock.Clock());
    } catch (const std::runtime_error& e) {
        APort.ClosePort();
        return e.what();
    }
    APort.ClosePort();
    return {};
}

TEST(StatusWait, BusyPrinterIsAskedAgainAfterShortPausesUntilReady) {
    TestPrinter printer(0x00, {0x20, 0x20, 0x20});
    TFakeClock clock;
    EXPECT_EQ(StatusFailure(*printer.Lan(), clock), "");
    EXPECT_EQ(printer.StatusQueries(), 4u);
    EXPECT_EQ(clock.Pauses, (std::vector<int>{kBusyRequeryMs, kBusyRequeryMs, kBusyRequeryMs}));
}

TEST(StatusWait, PrinterBusyForMoreThanAMinuteFails) {
    TestPrinter printer(0x20);
    TFakeClock clock;
    clock.Step = 10000;  // each re-query finds the clock ten seconds on
    EXPECT_EQ(StatusFailure(*printer.Lan(), clock), "Превышено время ожидания окончания печати");
    // Asked at 0, 10.02, ..., 60.12 s: the answer at 60.12 s is the first past the minute.
    EXPECT_EQ(printer.StatusQueries(), 7u);

    // "Printing" exactly a minute after the first query is still waited for.
    TestPrinter atTheBound(0x00, {0x20, 0x20, 0x20});
    TFakeClock exact;
    exact.Step = 30000 - kBusyRequeryMs;
    EXPECT_EQ(StatusFailure(*atTheBound.Lan(), exact), "");
    EXPECT_EQ(atTheBound.StatusQueries(), 4u);
}

TEST(StatusWait, ErrorBytesFailWithTheirText) {
    const std::pair<std::uint8_t, const char*> cases[] = {
        {0x01, "Открыта крышка принтера"},
        {0x04, "Закончилась бумага в принтере"},
        {0x0D, "Закончилась термолента, закончилась бумага и открыта крышка принтера"},
        {0x10, "Принтер остановлен"},
        {0x80, "Неизвестная ошибка"},
        {0x06, "Проверьте, закрыта ли крышка принтера и наличие расходных материалов"},
        {0x40, "Проверьте, закрыта ли крышка принтера и наличие расходных материалов"},
        {0x21, "Проверьте, закрыта ли крышка принтера и наличие расходных материалов"},
    };
    for (const auto& [status, text] : cases) {
        TestPrinter printer(status);
        TFakeClock clock;
        EXPECT_EQ(StatusFailure(*printer.Lan(), clock), text) << int(status);
        EXPECT_EQ(printer.StatusQueries(), 1u) << int(status);
        EXPECT_TRUE(clock.Pauses.empty());
    }
}

TEST(StatusWait, SilentSerialPrinterCountsAsReadyAfterThreeTries) {
    test::PtyPair pty;
    ::setenv("QUORVANE_COM58", pty.Path().c_str(), 1);
    TPortManager port(58, 9600, 8, 0, 0);
    TFakeClock clock;
    EXPECT_EQ(StatusFailure(port, clock), "");
    // One query, no re-query.
    EXPECT_EQ(test::Drain(pty.Master()), "\x1b!?");
}

TEST(StatusWait, SilentNetworkPrinterFailsTheJobAsTheReceiveTimesOut) {
    test::LoopbackServer silent([](int, test::LoopbackServer& s) { s.StaySilent(); });
    TPortManager port("127.0.0.1", silent.Port());
    TFakeClock clock;
    EXPECT_NE(StatusFailure(port, clock), "");
}

TEST(StatusWait, ReplyOnTheSerialPortIsReadByTheFirstTry) {
    TestPrinter printer(0x01, {}, true);
    auto port = printer.Com();
    TFakeClock clock;
    EXPECT_EQ(StatusFailure(*port, clock), "Открыта крышка принтера");
    EXPECT_EQ(printer.StatusQueries(), 1u);
}

TEST(SendLabelScripts, StopsBeforeTheLabelWhoseCheckFailsAndClosesThePort) {
    TestPrinter printer(0x01, {0x00, 0x00});
    auto port = printer.Lan();
    const std::vector<TScriptObject> scripts = {
        {1, "SIZE 20 mm,10 mm\r\nCLS\r\nBAR 0,0,40,40\r\nPRINT 1\r\n"},
        {1, "SIZE 20 mm,10 mm\r\nCLS\r\nBAR 0,0,80,40\r\nPRINT 1\r\n"},
        {1, "SIZE 20 mm,10 mm\r\nCLS\r\nBAR 0,0,120,40\r\nPRINT 1\r\n"},
    };
    TPrintJobOptions options;
    TFakeClock clock;
    options.Clock = clock.Clock();
    try {
        SendLabelScripts(*port, scripts, options);
        FAIL() << "the third label's check should fail";
    } catch (const std::runtime_error& e) {
        // Two labels reached the printer: nobody reprints them by reprinting the whole batch.
        EXPECT_STREQ(e.what(), "Открыта крышка принтера. Отправлено на принтер этикеток: 2 из 3.");
    }
    // The connection was closed: the printer ends the job.
    ASSERT_TRUE(printer.Server().WaitForJobs(1, 5s));
    EXPECT_EQ(printer.Server().Labels().size(), 2u);
    EXPECT_EQ(printer.StatusQueries(), 3u);
}

TEST(ScriptLogText, CommandTextInItsCodePageAndBitmapDataByLength) {
    const std::pair<std::string, std::string> cases[] = {
        // Data holding CR LF ends where the command's size says, not at the first line end.
        {"BITMAP 0,0,2,2,1,\xFF\r\n\0\r\nPRINT 1\r\n"s,
         "BITMAP 0,0,2,2,1,<данные растра, 4 байт>\r\nPRINT 1\r\n"},
        {"BITMAP 8,16,30,160,1,\x01\x02", "BITMAP 8,16,30,160,1,<данные растра, 2 байт>"},
        // Before any CODEPAGE the printer's table is unknown; each line after one is read in it.
        {"TEXT \"\xC6\"\r\nCODEPAGE 1251\r\nTEXT \"\xC6\"\r\nCODEPAGE 866\r\nTEXT \"\x86\"\r\n",
         "TEXT \"\uFFFD\"\r\nCODEPAGE 1251\r\nTEXT \"Ж\"\r\nCODEPAGE 866\r\nTEXT \"Ж\"\r\n"},
        // Every byte of a sequence past U+10FFFF is unknown.
        {"CODEPAGE UTF-8\r\nTEXT \"\xD0\x96\xFF\xF4\x90\x80\x80\"\r\n",
         "CODEPAGE UTF-8\r\nTEXT \"Ж\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\"\r\n"},
    };
    for (const auto& [script, text] : cases) EXPECT_EQ(ScriptLogText(script), text) << script;
}

TEST(RibbonSetUp, OrvelMXWithTheWrongRibbonIsSwitchedResetAndGivenFiveSeconds) {
    TestPrinter printer(0x00, {}, true);  // ribbon off
    auto port = printer.Com();
    TFakeClock clock;
    port->OpenPort();
    EXPECT_TRUE(SetUpRibbon(*port, 4, 1, clock.Clock()));
    port->ClosePort();
    EXPECT_EQ(clock.Pauses, (std::vector<int>{200, 5000}));
    ASSERT_TRUE(printer.Server().WaitForJobs(1, 5s));
    EXPECT_TRUE(printer.Server().Ribbon());
    EXPECT_EQ(printer.Count("immediate", "ESC!C"), 1u);

    // The same printer in the mode asked for is left alone.
    auto again = printer.Com();
    TFakeClock second;
    again->OpenPort();
    EXPECT_FALSE(SetUpRibbon(*again, 4, 1, second.Clock()));
    again->ClosePort();
    EXPECT_EQ(second.Pauses, (std::vector<int>{200}));
}

TEST(RibbonSetUp, OrvelMReadsTheConfigurationDumpOverTheNetwork) {
    TestPrinter printer(0x00);  // ribbon off, as thermal transfer wants it on
    auto port = printer.Lan();
    TFakeClock clock;
    port->OpenPort();
    EXPECT_TRUE(SetUpRibbon(*port, 3, 1, clock.Clock()));
    port->ClosePort();
    EXPECT_EQ(clock.Pauses, (std::vector<int>{200, 5000}));
    ASSERT_TRUE(printer.Server().WaitForJobs(1, 5s));
    EXPECT_TRUE(printer.Server().Ribbon());
}

TEST(RibbonSetUp, OtherModelsSendNothing) {
    test::PtyPair pty;
    ::setenv("QUORVANE_COM59", pty.Path().c_str(), 1);
    TPortManager port(59, 9600, 8, 0, 0);
    TFakeClock clock;
    port.OpenPort();
    for (int model : {0, 1, 2}) EXPECT_FALSE(SetUpRibbon(port, model, 1, clock.Clock()));
    port.ClosePort();
    EXPECT_EQ(test::Drain(pty.Master()), "");
    EXPECT_TRUE(clock.Pauses.empty());
}

}  // namespace
}  // namespace quorvane
