#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "printer/ribbon_query.h"
#include "printer/status_query.h"

namespace quorvane {
namespace {

TEST(StatusReply, KnownStatusBytesFailWithTheirMessage) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "Открыта крышка принтера"},
        {2, "Замятие бумаги в принтере"},
        {3, "Открыта крышка и замятие бумаги в принтере"},
        {4, "Закончилась бумага в принтере"},
        {5, "Закончилась бумага и открыта крышка принтера"},
        {8, "Закончилась термолента"},
        {9, "Закончилась термолента и открыта крышка принтера"},
        {10, "Закончилась термолента и замятие бумаги в принтере"},
        {11, "Закончилась термолента, замятие бумаги и открыта крышка принтера"},
        {12, "Закончилась термолента и бумага"},
        {13, "Закончилась термолента, закончилась бумага и открыта крышка принтера"},
        {16, "Принтер остановлен"},
        {0x80, "Неизвестная ошибка"},
    };
    for (const auto& [byte, message] : cases) {
        const TStatusVerdict verdict = JudgeStatusReply(static_cast<std::uint8_t>(byte), 0);
        EXPECT_EQ(verdict.Step, TStatusStep::ssFail) << byte;
        EXPECT_EQ(verdict.Message, message) << byte;
    }
    EXPECT_EQ(GetErrorDescription(32), "Принтер в состоянии печати");
    EXPECT_EQ(GetErrorDescription(7), "Неизвестная ошибка");
}

TEST(StatusReply, ReadyPrintingAndOtherBytes) {
    EXPECT_EQ(JudgeStatusReply(std::nullopt, 0).Step, TStatusStep::ssReady);
    EXPECT_EQ(JudgeStatusReply(0, 0).Step, TStatusStep::ssReady);
    EXPECT_EQ(JudgeStatusReply(0x20, 60000).Step, TStatusStep::ssAskAgain);
    const TStatusVerdict late = JudgeStatusReply(0x20, 60001);
    EXPECT_EQ(late.Step, TStatusStep::ssFail);
    EXPECT_EQ(late.Message, "Превышено время ожидания окончания печати");
    for (int byte : {6, 0x40, 0x21, 0xFF}) {
        const TStatusVerdict other = JudgeStatusReply(static_cast<std::uint8_t>(byte), 0);
        EXPECT_EQ(other.Step, TStatusStep::ssFail) << byte;
        EXPECT_EQ(other.Message, "Проверьте, закрыта ли крышка принтера и наличие расходных материалов")
            << byte;
    }
}

// A printer on the other end of the exchange, answering from a script on a simulated clock:
// a read waits its whole window for silence, ReplyAfterMs for a byte.
struct TScriptedPrinter {
    std::deque<std::optional<std::uint8_t>> Replies;  // one per read; empty deque: silence
    std::int64_t ReplyAfterMs = 5;
    std::string Sent;
    std::int64_t Clock = 0;
    std::vector<int> ReadWindows;
    std::vector<int> Pauses;

    TStatusExchange Exchange() {
        return {[this](std::string_view ABytes) { Sent += ABytes; },
                [this](int AWindowMs) -> std::optional<std::uint8_t> {
                    ReadWindows.push_back(AWindowMs);
                    std::optional<std::uint8_t> reply;
                    if (!Replies.empty()) {
                        reply = Replies.front();
                        Replies.pop_front();
                    }
                    Clock += reply ? std::min<std::int64_t>(ReplyAfterMs, AWindowMs) : AWindowMs;
                    return reply;
                },
                [this](int AMs) {
                    Pauses.push_back(AMs);
                    Clock += AMs;
                },
                [this]() { return Clock; }};
    }
};

TEST(WaitPrinterReady, QueriesAgainWhilePrintingThenGoes) {
    TScriptedPrinter printer;
    printer.Replies = {std::nullopt, 0x20, 0x20, 0x00};
    WaitPrinterReady(printer.Exchange());
    EXPECT_EQ(printer.Sent, "\x1B!?\x1B!?\x1B!?");
    EXPECT_EQ(printer.ReadWindows.size(), 4u);
    EXPECT_EQ(printer.Pauses, (std::vector<int>{kBusyRequeryMs, kBusyRequeryMs}));
}

// A silent serial line: three reads of 200 ms, not four, then the label goes out; within the
// 600 ms those three reads allow.
TEST(WaitPrinterReady, SilentPrinterIsReadyAfterThreeReads) {
    TScriptedPrinter printer;
    WaitPrinterReady(printer.Exchange());
    EXPECT_EQ(printer.Sent, "\x1B!?");
    EXPECT_EQ(printer.ReadWindows, (std::vector<int>{200, 200, 200}));
    EXPECT_LE(printer.Clock, 3 * 200);
    EXPECT_TRUE(printer.Pauses.empty());
}

TEST(WaitPrinterReady, PrintingBeyondAMinuteFails) {
    TScriptedPrinter printer;
    printer.ReplyAfterMs = 180;  // with the 20 ms pause, 200 ms per query
    printer.Replies.assign(400, std::optional<std::uint8_t>(0x20));
    try {
        WaitPrinterReady(printer.Exchange());
        FAIL() << "no time-out";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Превышено время ожидания окончания печати");
    }
    // The answer to the 301st query, at 60.18 s, is the first one past the minute.
    EXPECT_EQ(printer.ReadWindows.size(), 301u);
}

TEST(WaitPrinterReady, PaperOutStopsAtOnce) {
    TScriptedPrinter printer;
    printer.Replies = {0x04};
    EXPECT_THROW(WaitPrinterReady(printer.Exchange()), std::runtime_error);
    EXPECT_EQ(printer.Sent, "\x1B!?");
}

struct TRibbonPrinter {
    std::deque<std::string> Replies;
    std::vector<std::string> Writes;
    std::vector<std::size_t> ReadLimits;
    int Slept = 0;

    TRibbonExchange Exchange() {
        return {[this](std::string_view ABytes) { Writes.emplace_back(ABytes); },
                [this](std::size_t AMax) {
                    ReadLimits.push_back(AMax);
                    if (Replies.empty()) return std::string();
                    std::string reply = Replies.front();
                    Replies.pop_front();
                    return reply;
                },
                [this](int AMs) { Slept += AMs; }};
    }
};

TEST(Ribbon, QueryBytesAndSwitchCommands) {
    EXPECT_EQ(std::string(kRibbonQueryMX), std::string("\x1B\x1C") + "& V1 getval " + "\"sw_ribbon\"\r\n");
    EXPECT_EQ(std::string(kRibbonQueryM), "ZZZCR\n");
    EXPECT_EQ(SetRibbonCommand(0), "SET RIBBON OFF\r\n");
    EXPECT_EQ(SetRibbonCommand(1), "SET RIBBON ON\r\n");
    EXPECT_EQ(SetRibbonCommand(7), "SET RIBBON ON\r\n");
    EXPECT_EQ(std::string(kResetCommand), "\x1B!C");
}

TEST(Ribbon, OrvelMXReplyDecides) {
    EXPECT_TRUE(RibbonSwitchNeededMX(" OFF\r\n", 1));
    EXPECT_FALSE(RibbonSwitchNeededMX("off", 0));
    EXPECT_TRUE(RibbonSwitchNeededMX("\x02On\x03", 0));
    EXPECT_FALSE(RibbonSwitchNeededMX("on", 1));
    EXPECT_FALSE(RibbonSwitchNeededMX("unknown", 0));
    EXPECT_FALSE(RibbonSwitchNeededMX("", 1));
}

TEST(Ribbon, OrvelMFlagAtOffset76) {
    std::string reply(100, 'a');
    reply[76] = '\0';
    EXPECT_TRUE(RibbonSwitchNeededM(reply, 1));
    EXPECT_FALSE(RibbonSwitchNeededM(reply, 0));
    reply[76] = '\x01';
    EXPECT_TRUE(RibbonSwitchNeededM(reply, 0));
    EXPECT_FALSE(RibbonSwitchNeededM(reply, 1));
    reply[76] = '\x02';
    EXPECT_FALSE(RibbonSwitchNeededM(reply, 0));
    EXPECT_FALSE(RibbonSwitchNeededM(reply, 1));
    // Too short to hold the flag: it counts as 0.
    EXPECT_TRUE(RibbonSwitchNeededM(std::string(76, '\x01'), 1));
}

TEST(Ribbon, PrepareRibbonSwitchesOnlyWhenNeeded) {
    TRibbonPrinter mx;
    mx.Replies = {"off\r\n"};
    EXPECT_TRUE(PrepareRibbon(4, 1, mx.Exchange()));
    ASSERT_EQ(mx.Writes.size(), 3U);
    EXPECT_EQ(mx.Writes[0], kRibbonQueryMX);
    EXPECT_EQ(mx.Writes[1], "SET RIBBON ON\r\n");
    EXPECT_EQ(mx.Writes[2], "\x1B!C");
    EXPECT_EQ(mx.ReadLimits, std::vector<std::size_t>{0});
    EXPECT_EQ(mx.Slept, 200 + 5000);

    TRibbonPrinter m;
    m.Replies = {"", std::string(80, '\x01')};
    EXPECT_FALSE(PrepareRibbon(3, 1, m.Exchange()));
    EXPECT_EQ(m.Writes, std::vector<std::string>{"ZZZCR\n"});
    EXPECT_EQ(m.ReadLimits, (std::vector<std::size_t>{256, 256}));

    TRibbonPrinter other;
    EXPECT_FALSE(PrepareRibbon(2, 1, other.Exchange()));
    EXPECT_TRUE(other.Writes.empty());
}

}  // namespace
}  // namespace quorvane
