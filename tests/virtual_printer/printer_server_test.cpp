#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/common/files.h"
#include "tests/virtual_printer/printer_test_support.h"
#include "tools/printer/printer_server.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using test::Connect;
using test::Receive;
using test::Send;
using test::TempDir;

PrinterOptions LoopbackOptions() {
    PrinterOptions o;
    o.listen = "127.0.0.1:0";
    o.keepLabels = true;
    return o;
}

const std::string kJob = "SIZE 40 mm,20 mm\r\nGAP 2 mm,0\r\nSPEED 4\r\nCLS\r\nBAR 10,10,50,50\r\nPRINT 1\r\n";

TEST(PrinterServer, StatusByteAndScriptAnswerEachQuery) {
    PrinterOptions o = LoopbackOptions();
    o.status = 0x04;
    o.statusScript = {0x20, 0x20, 0x01};
    PrinterServer server(o);
    server.Start();
    TFileDescriptor c = Connect(server.Port());
    std::string replies;
    for (int i = 0; i < 5; ++i) {
        Send(c.Get(), "\x1b!?");
        replies += Receive(c.Get(), 1);
    }
    EXPECT_EQ(replies, std::string("\x20\x20\x01\x04\x04"));
    c.Reset();
    ASSERT_TRUE(server.WaitForJobs(1, 5s));
    int immediates = 0;
    for (const auto& e : server.Journal()) immediates += e.kind == "immediate" && e.command == "ESC!?";
    EXPECT_EQ(immediates, 5);
}

TEST(PrinterServer, RibbonQueriesFollowSetRibbonAcrossReset) {
    PrinterServer server(LoopbackOptions());
    server.Start();
    const std::string getval = std::string("\x1b\x1c") + "& V1 getval " + "\"sw_ribbon\"\r\n";
    {
        TFileDescriptor c = Connect(server.Port());
        Send(c.Get(), getval);
        EXPECT_EQ(Receive(c.Get(), 5), "off\r\n");
        Send(c.Get(), "ZZZCR\n");
        std::string dump = Receive(c.Get(), 128);
        ASSERT_GE(dump.size(), 77u);
        EXPECT_EQ(dump[76], 0);
        Send(c.Get(), "SET RIBBON ON\r\n\x1b!C");
    }
    TFileDescriptor c = Connect(server.Port());
    Send(c.Get(), getval);
    EXPECT_EQ(Receive(c.Get(), 4), "on\r\n");
    Send(c.Get(), "ZZZCR\n");
    std::string dump = Receive(c.Get(), 128);
    ASSERT_GE(dump.size(), 77u);
    EXPECT_EQ(dump[76], 1);
    c.Reset();
    ASSERT_TRUE(server.WaitForJobs(2, 5s));
    EXPECT_EQ(server.ProblemCount(), 0u);
}

TEST(PrinterServer, MechanicsReportPrintingAfterPrint) {
    PrinterOptions o = LoopbackOptions();
    o.mechanics = true;
    PrinterServer server(o);
    server.Start();
    TFileDescriptor c = Connect(server.Port());
    Send(c.Get(), "\x1b!?");
    EXPECT_EQ(Receive(c.Get(), 1), std::string(1, '\0'));
    // 10 inches at 1 inch per second, three copies: about half a minute of printing.
    Send(c.Get(), "SIZE 2,10\r\nGAP 0,0\r\nSPEED 1\r\nCLS\r\nPRINT 3\r\n\x1b!?");
    EXPECT_EQ(Receive(c.Get(), 1), std::string(1, '\x20'));
}

// A connection the printer has taken and answered, kept open so that later ones wait in the queue.
TFileDescriptor AnsweredConnection(const PrinterServer& server) {
    TFileDescriptor fd = Connect(server.Port());
    Send(fd.Get(), "\x1b!?");
    EXPECT_EQ(Receive(fd.Get(), 1), std::string(1, '\0'));
    return fd;
}

int JournalEntries(const PrinterServer& server, const std::string& kind, const std::string& detail = "") {
    int n = 0;
    for (const auto& e : server.Journal()) n += e.kind == kind && (detail.empty() || e.detail == detail);
    return n;
}

TEST(PrinterServer, OneConnectionAtATime) {
    PrinterServer server(LoopbackOptions());
    server.Start();
    TFileDescriptor first = AnsweredConnection(server);
    // The second connection waits in the queue: nothing of it is read while the first is open.
    TFileDescriptor second = Connect(server.Port());
    Send(second.Get(), "\x1b!?");
    EXPECT_EQ(Receive(second.Get(), 1, 300), "");
    first.Reset();
    EXPECT_EQ(Receive(second.Get(), 1), std::string(1, '\0'));
    second.Reset();
    ASSERT_TRUE(server.WaitForJobs(2, 5s));
    EXPECT_EQ(JournalEntries(server, "job", "start"), 2);
}

TEST(PrinterServer, AStopStillTakesTheJobsThatHadArrived) {
    PrinterServer server(LoopbackOptions());
    server.Start();
    TFileDescriptor first = AnsweredConnection(server);
    // A finished job waits in the queue behind the open connection when the printer stops.
    TFileDescriptor second = Connect(server.Port());
    Send(second.Get(), kJob);
    second.Reset();
    server.Stop();
    EXPECT_EQ(server.JobCount(), 2);
    EXPECT_EQ(JournalEntries(server, "label"), 1);
}

TEST(PrinterServer, WritesLabelsRawJobsAndJournal) {
    fs::path dir = TempDir("out");
    PrinterOptions o = LoopbackOptions();
    o.outDir = (dir / "out").string();
    o.journalPath = (dir / "journal.jsonl").string();
    {
        PrinterServer server(o);
        server.Start();
        for (int i = 0; i < 2; ++i) {
            TFileDescriptor c = Connect(server.Port());
            Send(c.Get(), kJob);
        }
        ASSERT_TRUE(server.WaitForJobs(2, 5s));
        EXPECT_EQ(server.ProblemCount(), 0u);
    }
    for (const char* name : {"label-0001.png", "label-0002.png"}) {
        MonoImage img = ReadPng((dir / "out" / name).string());
        EXPECT_EQ(img.width, 320);
        EXPECT_EQ(img.height, 160);
        EXPECT_EQ(img.At(10, 10), 1);
        EXPECT_EQ(img.At(60, 60), 0);
    }
    EXPECT_EQ(test::ReadFile(dir / "out" / "job-0002.bin"), kJob);
    std::ifstream journal(dir / "journal.jsonl");
    std::string line;
    int lines = 0, labels = 0;
    while (std::getline(journal, line)) {
        ++lines;
        EXPECT_TRUE(line.starts_with("{\"job\":") && line.ends_with("}")) << line;
        labels += line.find("\"kind\":\"label\"") != std::string::npos;
    }
    EXPECT_EQ(labels, 2);
    EXPECT_GT(lines, 10);
    fs::remove_all(dir);
}

// Also at a serial line's speed, where the printer takes the bytes a few at a time and the
// tail of a session arrives after its close.
TEST(PrinterServer, PseudoTerminalCarriesJobsAndReplies) {
    for (const int baud : {0, 9600}) {
        SCOPED_TRACE(baud);
        fs::path dir = TempDir("pty");
        PrinterOptions o = LoopbackOptions();
        o.listen = "off";
        o.ptyLink = (dir / "printer").string();
        o.baud = baud;
        {
            PrinterServer server(o);
            EXPECT_EQ(server.Port(), 0);
            server.Start();
            // Sessions one after another: open, ask the status, send the label, close. A pty has
            // no job boundaries of its own; the close of each session ends its job.
            for (int job = 1; job <= 3; ++job) {
                TFileDescriptor port(::open(o.ptyLink.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
                ASSERT_TRUE(port.Valid());
                termios tio{};
                ASSERT_EQ(::tcgetattr(port.Get(), &tio), 0);
                ::cfmakeraw(&tio);
                ::tcsetattr(port.Get(), TCSANOW, &tio);
                Send(port.Get(), "\x1b!?");
                EXPECT_EQ(Receive(port.Get(), 1), std::string(1, '\0'));
                // Bitmap bytes include LF and CR, which a cooked terminal would have changed.
                Send(port.Get(), "SIZE 20 mm,10 mm\r\nCLS\r\nBITMAP 0,0,1,2,0,\n\r\r\nPRINT 1\r\n");
                port.Reset();
                ASSERT_TRUE(server.WaitForJobs(job, 5s)) << job;
            }
            auto labels = server.Labels();
            ASSERT_EQ(labels.size(), 3u);
            EXPECT_EQ(labels[2].job, 3);
            // 0x0A = 00001010: black dots where the bits are 0.
            EXPECT_EQ(labels[1].image.At(0, 0), 1);
            EXPECT_EQ(labels[1].image.At(4, 0), 0);
            EXPECT_EQ(labels[1].image.At(5, 0), 1);
            EXPECT_EQ(labels[1].image.At(6, 0), 0);
            EXPECT_EQ(server.ProblemCount(), 0u);
        }
        // The symlink goes with the printer.
        EXPECT_FALSE(fs::exists(fs::symlink_status(o.ptyLink)));
        fs::remove_all(dir);
    }
}

TEST(SerialLine, TakesTenBitsPerByteAndQueuesWhatFollows) {
    using Clock = SerialLine::Clock;
    const Clock::time_point t0 = Clock::time_point{} + 1h;
    SerialLine line(9600);
    EXPECT_EQ(line.SliceBytes(), 9u);
    // 96 bytes are 960 bits: a tenth of a second.
    EXPECT_EQ(line.Carry(96, t0), t0 + 100ms);
    // Bytes that come while the line is busy wait for it: 3 bytes after the 96.
    EXPECT_EQ(line.Carry(3, t0 + 50ms), t0 + 103125us);
    // A line idle since then starts with the bytes that come.
    EXPECT_EQ(line.Carry(3, t0 + 1s), t0 + 1003125us);
    // A full slice left more waiting: the next one follows at once, whenever it is read.
    const Clock::time_point full = line.Carry(9, t0 + 2s);
    EXPECT_EQ(full, t0 + 2s + 9375us);
    EXPECT_EQ(line.Carry(9, full + 2ms), full + 9375us);

    SerialLine unlimited;
    EXPECT_FALSE(unlimited.Limited());
    EXPECT_EQ(unlimited.Carry(100000, t0), t0);
}

}  // namespace
}  // namespace quorvane
