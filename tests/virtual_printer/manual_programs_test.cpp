// Short programs written from the TSPL manuals' facts, as any application might send them: each
// with the verdict a printer following the manuals gives and, for codes, the value a scanner reads.
#include <gtest/gtest.h>

#include <string>

#include "tests/virtual_printer/printer_test_support.h"

namespace quorvane {
namespace {

using test::RunJob;

struct Program {
    std::string lines;    // command lines, "|" between them
    std::string problem;  // fragment of the one problem expected; empty: none
    std::string note;     // fragment of a leniency, approximation or unsupported entry; empty: none
    std::string format;   // symbology to read back; empty: none
    std::string decoded;  // what it reads as
    int width = 0, height = 0;  // the label in dots; 0: not checked
    std::string reply;          // bytes answered
    int dpi = 203;
};

const std::string kEsc = "\x1b";

// Rows leave the trailing columns they do not check at their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
const Program kPrograms[] = {
    // Millimetres: 8 dots a millimetre at 203 dpi, 12 at 300 dpi, fractions dropped.
    {"SIZE 100 mm,50 mm|GAP 3 mm,0 mm|CLS|BAR 0,0,800,8|PRINT 1", "", "", "", "", 800, 400},
    {"SIZE 100 mm,150 mm|CLS|BAR 792,1192,8,8|PRINT 1", "", "", "", "", 800, 1200},
    {"SIZE 30.5 mm,20 mm|CLS|PRINT 1", "", "", "", "", 244, 160},
    {"SIZE 100 mm,50 mm|CLS|BAR 0,0,1200,8|PRINT 1", "", "12 dots/mm", "", "", 1200, 600, "", 300},
    // The status query is answered wherever it arrives, and leaves the line whole.
    {"SIZE 50 mm,25 mm|CLS|BAR 0,0," + kEsc + "!?40,8|PRINT 1", "", "", "", "", 400, 200, std::string(1, '\0')},
    // QRCODE manual mode: the mode letters and byte counts steer the encoding; they are no data.
    {"SIZE 50 mm,50 mm|CLS|QRCODE 20,20,L,4,M,0,M2,S7,\"N123456!AHELLO WORLD\"|PRINT 1", "", "", "QRCode",
     "123456HELLO WORLD"},
    {"SIZE 50 mm,50 mm|CLS|QRCODE 20,20,M,4,M,0,M2,S7,\"B0006Ab,c!N\"|PRINT 1", "", "", "QRCode", "Ab,c!N"},
    {"SIZE 50 mm,50 mm|CLS|QRCODE 20,20,M,4,M,0,\"HELLO\"|PRINT 1", "mode letter", "", "", ""},
    {"SIZE 50 mm,50 mm|CLS|QRCODE 20,20,M,4,M,0,\"B0009AB\"|PRINT 1", "byte count", "", "", ""},
    // QRCODE writes its level and mode bare.
    {"SIZE 50 mm,50 mm|CLS|QRCODE 20,20,\"L\",4,A,0,\"Q\"|PRINT 1", "quoted", "", "", ""},
    {"SIZE 50 mm,50 mm|CLS|QRCODE 20,20,L,4,\"A\",0,\"Q\"|PRINT 1", "quoted", "", "", ""},
    // Manual Code 128: !nnn are code values (start codes, code set changes, FNC3).
    {"SIZE 60 mm,20 mm|CLS|BARCODE 20,20,\"128M\",80,0,0,2,4,\"!104!096ABCD\"|PRINT 1", "", "", "Code128",
     "ABCD"},
    {"SIZE 60 mm,20 mm|CLS|BARCODE 20,20,\"128M\",80,0,0,2,4,\"!105123456!100ab\"|PRINT 1", "", "", "Code128",
     "123456ab"},
    {"SIZE 60 mm,20 mm|CLS|BARCODE 20,20,\"128M\",80,0,0,2,4,\"!107AB\"|PRINT 1", "code value", "", "", ""},
    // A two-width symbology needs a wide element wider than the narrow one.
    {"SIZE 60 mm,20 mm|CLS|BARCODE 20,20,\"39\",80,0,0,2,2,\"AB\"|PRINT 1", "wide", "", "", ""},
    {"SIZE 60 mm,20 mm|CLS|BARCODE 20,20,\"39\",80,0,0,2,5,\"AB\"|PRINT 1", "", "", "Code39", "AB"},
    // TEXT: font "0" and TrueType fonts take point sizes; the CJK and Korean resident fonts exist.
    {"SIZE 60 mm,20 mm|CLS|TEXT 10,10,\"0\",0,12,12,\"T\"|PRINT 1", "", "", "", ""},
    {"SIZE 60 mm,20 mm|CLS|TEXT 10,10,\"ROMAN.TTF\",0,24,20,\"T\"|PRINT 1", "", "", "", ""},
    {"SIZE 60 mm,20 mm|CLS|TEXT 10,10,\"TSS24.BF2\",0,1,1,\"T\"|PRINT 1", "", "", "", ""},
    {"SIZE 60 mm,20 mm|CLS|TEXT 10,10,\"TST24.BF2\",0,2,2,\"T\"|PRINT 1", "", "", "", ""},
    {"SIZE 60 mm,20 mm|CLS|TEXT 10,10,\"K\",0,1,1,\"T\"|PRINT 1", "", "", "", ""},
    {"SIZE 60 mm,20 mm|CLS|TEXT 10,10,\"3\",0,12,12,\"T\"|PRINT 1", "out of range", "", "", ""},
    // PDF417 with a length option: the content follows unquoted, commas and quotes included.
    {"SIZE 80 mm,40 mm|CLS|PDF417 10,10,600,300,0,L7,A,B\"C,D|PRINT 1", "", "", "PDF417", "A,B\"C,D"},
    // DMATRIX without a module size: the largest that keeps the symbol in its area.
    {"SIZE 40 mm,40 mm|CLS|DMATRIX 10,10,200,200,\"DM\"|PRINT 1", "", "module size", "DataMatrix", "DM"},
    // Valid commands this printer does not draw are said so by name.
    {"SIZE 40 mm,40 mm|CLS|MAXICODE 10,10,2,\"X\"|PRINT 1", "", "unsupported MAXICODE", "", ""},
    {"SIZE 40 mm,40 mm|CLS|@1=\"10\"|PRINT 1", "", "unsupported variable", "", ""},
};
#pragma GCC diagnostic pop

std::string Job(const std::string& lines) {
    std::string job;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = lines.find('|', start);
        job += lines.substr(start, bar - start) + "\r\n";
        if (bar == std::string::npos) return job;
        start = bar + 1;
    }
}

TEST(ManualPrograms, VerdictAndDecodedValue) {
    for (const Program& p : kPrograms) {
        SCOPED_TRACE(p.lines);
        PrinterOptions options;
        options.dpi = p.dpi;
        const test::JobResult r = RunJob(Job(p.lines), options);
        if (p.problem.empty()) {
            EXPECT_TRUE(r.problems.empty()) << ::testing::PrintToString(r.problems);
        } else {
            EXPECT_EQ(r.problems.size(), 1U) << ::testing::PrintToString(r.problems);
            if (!r.problems.empty()) {
                EXPECT_NE(r.problems[0].find(p.problem), std::string::npos) << r.problems[0];
            }
        }
        bool noted = false;
        for (const JournalEntry& e : r.journal)
            if (e.kind == "leniency" || e.kind == "approximation" || e.kind == "unsupported")
                noted = noted || (!p.note.empty() && (e.kind + " " + e.command + " " + e.detail).find(p.note) !=
                                                         std::string::npos);
        if (!p.note.empty()) {
            EXPECT_TRUE(noted) << "no entry with " << p.note;
        }
        EXPECT_EQ(r.reply, p.reply);
        if (r.labels.size() != 1U) {
            ADD_FAILURE() << r.labels.size() << " labels";
            continue;  // every row is judged, whichever fails
        }
        if (p.width) {
            EXPECT_EQ(r.labels[0].image.width, p.width);
            EXPECT_EQ(r.labels[0].image.height, p.height);
        }
        if (!p.format.empty()) {
            EXPECT_EQ(test::Decode(r.labels[0].image, p.format), p.decoded);
        }
    }
}

}  // namespace
}  // namespace quorvane
