#include <gtest/gtest.h>

#include "tools/printer/tspl_parser.h"

namespace quorvane {
namespace {

std::vector<TsplEvent> FeedAll(TsplParser& p, const std::string& bytes, bool byteByByte = false) {
    std::vector<TsplEvent> all;
    if (byteByByte) {
        for (char c : bytes)
            for (auto& e : p.Feed(std::string_view(&c, 1))) all.push_back(std::move(e));
    } else {
        all = p.Feed(bytes);
    }
    for (auto& e : p.Finish()) all.push_back(std::move(e));
    return all;
}

TEST(TsplParser, SplitsCommandsAtCrLfAndLoneLf) {
    TsplParser p;
    auto ev = FeedAll(p, "SIZE 30 mm, 20 mm\r\nCLS\nbar 1,2,3,4\r\n\r\n");
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0].command.name, "SIZE");
    ASSERT_EQ(ev[0].command.args.size(), 2u);
    EXPECT_EQ(ev[0].command.args[0].text, "30 mm");
    EXPECT_EQ(ev[0].command.args[1].text, "20 mm");
    EXPECT_EQ(ev[1].command.name, "CLS");
    EXPECT_TRUE(ev[1].command.args.empty());
    EXPECT_EQ(ev[2].command.name, "BAR");
    EXPECT_EQ(ev[2].command.line, "bar 1,2,3,4");
}

TEST(TsplParser, QuotedStringsKeepCommasAndUnescape) {
    auto cmd = TsplParser::SplitLine(R"(TEXT 1,2,"3",0,1,1,"a,b \["]q\["] \[R]\[L]\[X]")");
    ASSERT_EQ(cmd.args.size(), 7u);
    EXPECT_TRUE(cmd.args[2].quoted);
    EXPECT_EQ(cmd.args[2].text, "3");
    EXPECT_TRUE(cmd.args[6].quoted);
    EXPECT_EQ(cmd.args[6].text, "a,b \"q\" \r\n\\[X]");
    // An expression is not a plain string.
    auto expr = TsplParser::SplitLine(R"(TEXT 1,2,"3",0,1,1,"A"+B$)");
    EXPECT_FALSE(expr.args.back().quoted);
}

TEST(TsplParser, BitmapPayloadIsByteExactInAnyChunking) {
    // The payload holds CR, LF, ESC ! ? and quotes: none of it may be read as syntax.
    std::string data = std::string("\r\n\x1b!?\"\x00\xff", 8) + std::string("\n\n,,");
    std::string job = "BITMAP 10,20,3,4,1," + data + "\r\nPRINT 1\r\n";
    for (bool bytewise : {false, true}) {
        TsplParser p;
        auto ev = FeedAll(p, job, bytewise);
        ASSERT_EQ(ev.size(), 2u) << bytewise;
        EXPECT_EQ(ev[0].kind, TsplEvent::Kind::Command);
        EXPECT_EQ(ev[0].command.name, "BITMAP");
        EXPECT_EQ(ev[0].command.line, "BITMAP 10,20,3,4,1");
        EXPECT_EQ(ev[0].command.data, data);
        EXPECT_EQ(ev[1].command.name, "PRINT");
    }
}

TEST(TsplParser, ImmediateCommandsBetweenCommands) {
    TsplParser p;
    auto ev = FeedAll(p, "CLS\r\n\x1b!?\x1b!RPRINT 1\r\n\x1b\x1c& V1 getval \"sw_ribbon\"\r\n\x1b!C");
    ASSERT_EQ(ev.size(), 6u);
    EXPECT_EQ(ev[1].kind, TsplEvent::Kind::Immediate);
    EXPECT_EQ(ev[1].immediate, '?');
    EXPECT_EQ(ev[2].immediate, 'R');
    EXPECT_EQ(ev[3].command.name, "PRINT");
    EXPECT_EQ(ev[4].kind, TsplEvent::Kind::EscQuery);
    EXPECT_EQ(ev[4].text, "& V1 getval \"sw_ribbon\"");
    EXPECT_EQ(ev[5].immediate, 'C');
}

TEST(TsplParser, ReportsTruncatedBitmapAndUnterminatedCommand) {
    TsplParser p;
    auto ev = FeedAll(p, "BITMAP 0,0,10,10,0," + std::string(42, '\xff'));
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].kind, TsplEvent::Kind::Problem);
    EXPECT_NE(ev[0].problem.find("truncated bitmap: received 42 of 100"), std::string::npos);

    auto ev2 = FeedAll(p, "CLS\r\nPRINT 1");
    ASSERT_EQ(ev2.size(), 2u);
    EXPECT_EQ(ev2[1].kind, TsplEvent::Kind::Problem);
    EXPECT_NE(ev2[1].problem.find("without line end"), std::string::npos);
}

TEST(TsplParser, OversizedInputIsSkippedAndReadingResumes) {
    TsplParser p;
    std::string job = "BITMAP 0,0,60000,60000,0,xyz\r\n" + std::string(TsplParser::kMaxLine + 10, 'A') +
                      "\r\nBITMAP 0,0,x,1,0,\r\nCLS\r\n\x1b!?";
    auto ev = FeedAll(p, job);
    ASSERT_EQ(ev.size(), 5u);
    EXPECT_NE(ev[0].problem.find("beyond limits"), std::string::npos);
    EXPECT_NE(ev[1].problem.find("too long"), std::string::npos);
    EXPECT_NE(ev[2].problem.find("bad number"), std::string::npos);
    EXPECT_EQ(ev[3].command.name, "CLS");
    EXPECT_EQ(ev[4].immediate, '?');
}

}  // namespace
}  // namespace quorvane
