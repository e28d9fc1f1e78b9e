#include <gtest/gtest.h>

#include "tests/virtual_printer/printer_test_support.h"

namespace quorvane {
namespace {

using test::RunJob;

struct Line {
    std::string command;
    std::string problem;  // empty: the printer takes the line without complaint
};

// One line at a time on a 100 x 60 mm label (800 x 480 dots), judged by the manuals' facts.
const Line kLines[] = {
    // Units: a bare number is inches, millimetres need " mm" with the space.
    {"SIZE 4,2.5", ""},
    {"SIZE 800 dot,480 dot", ""},
    {"SIZE 100mm,60mm", "bad length"},
    {"GAP 3 mm,0 mm", ""},
    {"GAP 3 mm,0", ""},
    {"GAP 0,0", ""},
    {"GAP 0.12,0", ""},
    {"GAP 25.4 mm,60 mm", ""},
    {"BLINE 0.2,0", ""},
    {"GAP 3", "wrong argument count"},
    {"GAP 3,0", "gap out of range"},
    {"GAP 3mm,0", "bad length"},
    {"GAP 26 mm,0 mm", "gap out of range"},
    {"GAP 2 mm,61 mm", "offset longer than the label"},
    {"GAP x,0", "bad length"},
    {"GAP 1,2,3", "wrong argument count"},
    // Set-up values.
    {"SPEED 1.5", ""},
    {"SPEED 5", ""},
    {"SPEED 0.5", "speed out of range"},
    {"SPEED 14", "speed out of range"},
    {"DENSITY 15", ""},
    {"DENSITY 16", "out of range"},
    {"DIRECTION 1", ""},
    {"DIRECTION 0, 0", ""},
    {"DIRECTION 2", "out of range"},
    {"DIRECTION 0,2", "out of range"},
    {"CODEPAGE 1252", ""},
    {"CODEPAGE 1251", ""},
    {"CODEPAGE USA", ""},
    {"CODEPAGE 8859-5", ""},
    {"CODEPAGE 1234", "unknown code page"},
    {"CODEPAGE 864", "unknown code page"},
    {"CLS 1", "wrong argument count"},
    {"FEED 40", ""},
    {"BACKFEED 9999", ""},
    {"BACKFEED 0", "out of range"},
    {"HOME", ""},
    {"GAPDETECT 400,24", ""},
    {"GAPDETECT 400", "wrong argument count"},
    {"SET CUTTER BATCH", ""},
    {"SET PARTIAL_CUTTER 3", ""},
    {"SET TEAR ON", ""},
    {"SET GAP 0,", ""},
    {"SET GAP REVERSE", ""},
    {"SET RIBBON OFF", ""},
    {"SET CUTTER SOMETIMES", "bad value for SET CUTTER"},
    {"SET PEEL 1", "bad value for SET PEEL"},
    {"SET GAP 0,1", "bad value for SET GAP"},
    {"PRINT 999999999,1", ""},
    {"PRINT 0", "out of range"},
    {"PRINT 1,1000000000", "out of range"},
    // Drawing: coordinates in dots; only ink beyond the label is lost.
    {"BOX 0,0,10,10,1,2", "wrong argument count"},
    {"BITMAP 792,0,2,1,1,\x0f\xff", ""},
    {"BITMAP 792,0,2,1,1,\xff\x0f", "content outside the label"},
    {"BITMAP 0,0,1,1,3,\xff", "out of range"},
    {"TEXT 10,10,\"1\",0,10,10,\"T\"", ""},
    {"TEXT 10,10,\"1\",0,11,1,\"T\"", "out of range"},
    {"TEXT 10,10,\"1\",45,1,1,\"T\"", "bad rotation"},
    {"TEXT 10,10,\"1\",0,1,1,\"" + std::string(2049, 'x') + "\"", "longer than 2048 bytes"},
    {"BARCODE 10,10,\"128\",40,1,0,2,4,\"A1\"", ""},
    {"BARCODE 10,10,\"128\",0,1,0,2,4,\"A1\"", "out of range"},
    {"BARCODE 10,10,\"128\",40,1,0,0,4,\"A1\"", "out of range"},
    {"BARCODE 10,10,\"128\",40,1,0,2,0,\"A1\"", "out of range"},
    {"QRCODE 300,200,L,10,A,0,\"Q\"", ""},
    {"QRCODE 300,200,H,1,A,270,M2,S8,\"Q\"", ""},
    {"QRCODE 300,200,Q,4,A,90,M2,\"Q\"", ""},
    {"QRCODE 300,200,M,4,M,0,M1,S7,\"AQ\"", ""},  // valid; drawn approximately, not a problem
    {"QRCODE 300,200,X,4,A,0,\"Q\"", "bad error correction level"},
    {"QRCODE 300,200,M,11,A,0,\"Q\"", "out of range"},
    {"QRCODE 300,200,M,4,B,0,\"Q\"", "bad mode"},
    {"QRCODE 300,200,M,4,A,45,\"Q\"", "bad rotation"},
    {"QRCODE 300,200,M,4,A,0,M3,\"Q\"", "bad model"},
    {"QRCODE 300,200,M,4,A,0,M2,S9,\"Q\"", "bad mask"},
    {"DMATRIX 300,200,100,100,c126,x3,r90,a0,14,14,\"0104601234567893\"", ""},
    {"DMATRIX 300,200,100,100,a1,\"RECT\"", ""},
    {"DMATRIX 300,200,100,100,x3,10,10,\"0104601234567893\"", "content does not fit a 10x10 symbol"},
    {"DMATRIX 300,200,100,100,x3,8,18,\"1\"", "out of range"},
    {"DMATRIX 300,200,100,100,x3,145,145,\"1\"", "out of range"},
    {"DMATRIX 300,200,100,100,r45,\"D\"", "bad option R45"},
    {"DMATRIX 300,200,100,100,a2,\"D\"", "bad option A2"},
    {"DMATRIX 300,200,100,100,c256,\"D\"", "bad option C256"},
    {"DMATRIX 300,200,100,100,x0,\"D\"", "bad option X0"},
    {"DMATRIX 300,200,100,100,12,12,x3,\"D\"", "bad option X3"},
    {"PDF417 300,200,380,180,0,P0,E2,M1,W2,H4,R10,C3,T0,\"P\"", ""},
    {"PDF417 0,0,780,480,0,E8,W2,H4,\"P\"", ""},
    {"PDF417 300,200,380,180,0,E9,\"P\"", "bad option E9"},
    {"PDF417 300,200,380,180,0,W1,\"P\"", "bad option W1"},
    {"PDF417 300,200,380,180,0,H100,\"P\"", "bad option H100"},
    {"PDF417 300,200,380,180,0,T2,\"P\"", "bad option T2"},
    {"PDF417 300,200,380,180,45,\"P\"", "bad rotation"},
};

TEST(StrictReading, EachLineJudgedByTheManual) {
    for (const Line& line : kLines) {
        auto r = RunJob("SIZE 100 mm,60 mm\r\nGAP 2 mm,0 mm\r\nCLS\r\n" + line.command + "\r\nPRINT 1\r\n");
        const std::string shown = line.command.substr(0, 60);
        if (line.problem.empty()) {
            EXPECT_TRUE(r.problems.empty()) << shown << ": " << ::testing::PrintToString(r.problems);
        } else {
            ASSERT_EQ(r.problems.size(), 1u) << shown << ": " << ::testing::PrintToString(r.problems);
            EXPECT_NE(r.problems[0].find(line.problem), std::string::npos) << shown << ": " << r.problems[0];
        }
    }
}

}  // namespace
}  // namespace quorvane
