#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/messages.h"
#include "printer/tspl/ribbon_query.h"
#include "printer/tspl/script_log.h"
#include "printer/tspl/status_query.h"

namespace quorvane {
namespace {

using namespace std::string_literals;

TEST(StatusReply, KnownStatusBytesFailWithTheirMessage) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, MessageText(TMessage::StatusCoverOpen)},
        {2, MessageText(TMessage::StatusPaperJam)},
        {3, MessageText(TMessage::StatusCoverOpenPaperJam)},
        {4, MessageText(TMessage::StatusPaperOut)},
        {5, MessageText(TMessage::StatusPaperOutCoverOpen)},
        {8, MessageText(TMessage::StatusRibbonOut)},
        {9, MessageText(TMessage::StatusRibbonOutCoverOpen)},
        {10, MessageText(TMessage::StatusRibbonOutPaperJam)},
        {11, MessageText(TMessage::StatusRibbonOutPaperJamCoverOpen)},
        {12, MessageText(TMessage::StatusRibbonAndPaperOut)},
        {13, MessageText(TMessage::StatusRibbonAndPaperOutCoverOpen)},
        {16, MessageText(TMessage::StatusPaused)},
        {0x80, MessageText(TMessage::UnknownError)},
    };
    for (const auto& [byte, message] : cases) {
        const TStatusVerdict verdict = JudgeStatus(StatusReplyReasons(static_cast<std::uint8_t>(byte)), 0);
        EXPECT_EQ(verdict.Step, TStatusStep::ssFail) << byte;
        EXPECT_EQ(verdict.Message, message) << byte;
    }
    EXPECT_EQ(GetErrorDescription(32), MessageText(TMessage::StatusPrinting));
    EXPECT_EQ(GetErrorDescription(7), MessageText(TMessage::UnknownError));
}

TEST(StatusReply, ReadyPrintingAndOtherBytes) {
    EXPECT_EQ(JudgeStatus(StatusReplyReasons(std::nullopt), 0).Step, TStatusStep::ssReady);
    EXPECT_EQ(JudgeStatus(StatusReplyReasons(0), 0).Step, TStatusStep::ssReady);
    EXPECT_EQ(JudgeStatus(StatusReplyReasons(0x20), 60000).Step, TStatusStep::ssAskAgain);
    const TStatusVerdict late = JudgeStatus(StatusReplyReasons(0x20), 60001);
    EXPECT_EQ(late.Step, TStatusStep::ssFail);
    EXPECT_EQ(late.Message, MessageText(TMessage::PrintingTimeout));
    for (int byte : {6, 0x40, 0x21, 0xFF}) {
        const TStatusVerdict other = JudgeStatus(StatusReplyReasons(static_cast<std::uint8_t>(byte)), 0);
        EXPECT_EQ(other.Step, TStatusStep::ssFail) << byte;
        EXPECT_EQ(other.Message, MessageText(TMessage::CheckCoverAndSupplies)) << byte;
    }
}

struct TRibbonPrinter {
    std::deque<std::string> Replies;
    std::vector<std::string> Writes;
    std::vector<std::size_t> ReadLimits;
    int Slept = 0;

    TPrinterExchange Exchange() {
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
    for (const auto& [script, text] : cases) EXPECT_EQ(TsplScriptLogText(script), text) << script;
}

}  // namespace
}  // namespace quorvane
