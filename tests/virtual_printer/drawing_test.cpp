#include <gtest/gtest.h>

#include <random>

#include "tests/virtual_printer/printer_test_support.h"

namespace quorvane {
namespace {

using test::BlackBounds;
using test::CountBlack;
using test::HasProblem;
using test::RunJob;

// 50 x 25 mm at 203 dpi is 400 x 200 dots.
const std::string kHeader = "SIZE 50 mm,25 mm\r\nGAP 2 mm,0\r\nDIRECTION 0,0\r\nCLS\r\n";

const MonoImage& OnlyLabel(const test::JobResult& r) {
    EXPECT_EQ(r.labels.size(), 1u);
    return r.labels.at(0).image;
}

void ExpectRect(const DotRect& b, long long l, long long t, long long r, long long bo) {
    EXPECT_EQ(b.left, l);
    EXPECT_EQ(b.top, t);
    EXPECT_EQ(b.right, r);
    EXPECT_EQ(b.bottom, bo);
}

TEST(Drawing, LabelSizeFollowsSizeUnitsAndResolution) {
    auto mm = RunJob("SIZE 50 mm,25 mm\r\nCLS\r\nPRINT 1\r\n");
    EXPECT_EQ(OnlyLabel(mm).width, 400);
    EXPECT_EQ(OnlyLabel(mm).height, 200);
    auto inch = RunJob("SIZE 2,1.5\r\nCLS\r\nPRINT 1\r\n");
    EXPECT_EQ(OnlyLabel(inch).width, 406);
    EXPECT_EQ(OnlyLabel(inch).height, 304);  // 304.5 dots: the fraction is dropped
    PrinterOptions o;
    o.dpi = 300;
    auto fine = RunJob("SIZE 2,1\r\nCLS\r\nPRINT 1\r\n", o);
    EXPECT_EQ(OnlyLabel(fine).width, 600);
    EXPECT_EQ(OnlyLabel(fine).height, 300);
    EXPECT_TRUE(mm.problems.empty() && inch.problems.empty() && fine.problems.empty());
}

TEST(Drawing, BarBoxReverseEraseAndCircle) {
    auto r = RunJob(kHeader +
                    "BAR 10,20,100,5\r\n"
                    "BOX 200,50,299,149,4\r\n"
                    "BAR 20,100,50,50\r\nREVERSE 40,120,50,10\r\nERASE 25,105,5,5\r\n"
                    "CIRCLE 320,10,40,3\r\n"
                    "PRINT 1\r\n");
    const MonoImage& img = OnlyLabel(r);
    EXPECT_TRUE(r.problems.empty());
    ExpectRect(BlackBounds(img, {0, 0, 150, 50}), 10, 20, 110, 25);
    EXPECT_EQ(CountBlack(img, {10, 20, 110, 25}), 500);
    // Box: outer edge 200..299 inclusive, lines 4 dots thick, hollow inside.
    ExpectRect(BlackBounds(img, {150, 40, 310, 160}), 200, 50, 300, 150);
    EXPECT_EQ(CountBlack(img, {200, 50, 300, 54}), 400);
    EXPECT_EQ(CountBlack(img, {204, 54, 296, 146}), 0);
    EXPECT_EQ(CountBlack(img, {200, 54, 204, 146}), 4 * 92);
    // REVERSE inverts: inside the bar it clears, beyond it blackens; ERASE clears.
    EXPECT_EQ(CountBlack(img, {40, 120, 70, 130}), 0);
    EXPECT_EQ(CountBlack(img, {70, 120, 90, 130}), 200);
    EXPECT_EQ(CountBlack(img, {25, 105, 30, 110}), 0);
    EXPECT_EQ(CountBlack(img, {20, 100, 25, 105}), 25);
    // Circle: ring inside its 40-dot square, empty centre.
    ExpectRect(BlackBounds(img, {310, 0, 400, 60}), 320, 10, 360, 50);
    EXPECT_EQ(CountBlack(img, {335, 25, 345, 35}), 0);
}

TEST(Drawing, BitmapModesAndBitSense) {
    // One row of 2 bytes: 0x0F 0xFF -> the first four dots black (a 0 bit prints).
    std::string row("\x0f\xff", 2);
    std::string job = kHeader + "BAR 0,0,16,1\r\n" + "BAR 100,0,16,1\r\nBAR 200,0,16,1\r\n" +
                      "BITMAP 0,0,2,1,0," + row + "\r\n" +     // overwrite: white bits clear
                      "BITMAP 100,0,2,1,1," + row + "\r\n" +   // OR: bar stays
                      "BITMAP 200,0,2,1,2," + row + "\r\n" +   // XOR: first four cleared
                      "BITMAP 300,10,2,1,1," + row + "\r\n" +  // on white
                      "PRINT 1\r\n";
    auto r = RunJob(job);
    const MonoImage& img = OnlyLabel(r);
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(CountBlack(img, {0, 0, 4, 1}), 4);
    EXPECT_EQ(CountBlack(img, {4, 0, 16, 1}), 0);
    EXPECT_EQ(CountBlack(img, {100, 0, 116, 1}), 16);
    EXPECT_EQ(CountBlack(img, {200, 0, 204, 1}), 0);
    EXPECT_EQ(CountBlack(img, {204, 0, 216, 1}), 12);
    ExpectRect(BlackBounds(img, {290, 5, 400, 20}), 300, 10, 304, 11);
}

TEST(Drawing, TruncatedBitmapIsJournalledAndNotDrawn) {
    auto r = RunJob(kHeader + "BITMAP 10,10,4,4,0," + std::string(6, '\0'));
    EXPECT_TRUE(HasProblem(r, "truncated bitmap: received 6 of 16 bytes"));
    EXPECT_TRUE(r.labels.empty());
}

TEST(Drawing, TextSizeRotationAndAlignment) {
    // Font "3" is 16 x 24 dots per character at 203 dpi.
    auto r = RunJob(kHeader + "TEXT 20,30,\"3\",0,1,1,\"ABCD\"\r\n" + "TEXT 20,80,\"3\",0,2,2,\"AB\"\r\n" +
                    "TEXT 390,10,\"3\",90,1,1,\"WXYZ\"\r\n" + "TEXT 200,160,\"2\",0,1,1,2,\"MID\"\r\n" +
                    "PRINT 1\r\n");
    const MonoImage& img = OnlyLabel(r);
    EXPECT_TRUE(r.problems.empty());
    DotRect a = BlackBounds(img, {0, 20, 150, 60});
    EXPECT_GE(a.left, 20);
    EXPECT_LE(a.left, 24);
    EXPECT_GE(a.top, 30);
    EXPECT_LE(a.right, 20 + 4 * 16);
    EXPECT_GT(a.right, 20 + 3 * 16);
    EXPECT_LE(a.bottom, 30 + 24);
    EXPECT_GT(a.bottom - a.top, 12);
    DotRect big = BlackBounds(img, {0, 75, 150, 140});
    EXPECT_LE(big.right, 20 + 2 * 32);
    EXPECT_GT(big.right, 20 + 32);
    EXPECT_LE(big.bottom, 80 + 48);
    EXPECT_GT(big.bottom - big.top, 2 * (a.bottom - a.top) - 4);
    // Rotated 90 degrees clockwise about (390,10): runs down, to the left of x.
    DotRect rot = BlackBounds(img, {300, 0, 400, 150});
    EXPECT_LE(rot.right, 390);
    EXPECT_GE(rot.left, 390 - 24);
    EXPECT_GE(rot.top, 10);
    EXPECT_LE(rot.bottom, 10 + 4 * 16);
    EXPECT_GT(rot.bottom, 10 + 3 * 16);
    // Centred on x = 200: three 12-dot cells from 182 to 218.
    DotRect mid = BlackBounds(img, {100, 150, 300, 200});
    EXPECT_GE(mid.left, 182);
    EXPECT_LE(mid.right, 218);
    EXPECT_LT(std::abs((mid.left + mid.right) / 2 - 200), 4);
}

TEST(Drawing, CodePageTurnsBytesIntoLetters) {
    // The same word in CP1251 and UTF-8 draws the same dots.
    auto cp = RunJob(kHeader +
                     "CODEPAGE 1251\r\nTEXT 10,10,\"3\",0,1,1,\"\xcf\xf0\xe8\xe2\xe5\xf2\"\r\nPRINT 1\r\n");
    auto utf = RunJob(kHeader + "CODEPAGE UTF-8\r\nTEXT 10,10,\"3\",0,1,1,\"Привет\"\r\nPRINT 1\r\n");
    EXPECT_TRUE(cp.problems.empty());
    EXPECT_GT(CountBlack(OnlyLabel(cp), {0, 0, 400, 200}), 50);
    EXPECT_EQ(OnlyLabel(cp).dots, OnlyLabel(utf).dots);
}

TEST(Drawing, BarcodeGeometryFollowsItsParameters) {
    // EAN-13: 95 modules; narrow 2 gives 190 dots; bars 50 high; readable text below.
    auto plain = RunJob(kHeader + "BARCODE 20,20,\"EAN13\",50,0,0,2,4,\"400638133393\"\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(plain)), 20, 20, 20 + 190, 70);
    auto hri = RunJob(kHeader + "BARCODE 20,20,\"EAN13\",50,2,0,2,4,\"400638133393\"\r\nPRINT 1\r\n");
    DotRect b = BlackBounds(OnlyLabel(hri));
    EXPECT_GT(b.bottom, 80);
    EXPECT_EQ(CountBlack(OnlyLabel(hri), {0, 20, 400, 70}), CountBlack(OnlyLabel(plain), {0, 20, 400, 70}));
    // Rotated 90: bars run across, the symbol lies left of x and below y.
    auto rot = RunJob(kHeader + "BARCODE 300,0,\"EAN13\",50,0,90,1,2,\"400638133393\"\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(rot)), 250, 0, 300, 95);
    // Code 39 with wide = 3 x narrow is longer than with wide = 2 x narrow.
    auto w2 = RunJob(kHeader + "BARCODE 0,0,\"39\",20,0,0,1,2,\"AB12\"\r\nPRINT 1\r\n");
    auto w3 = RunJob(kHeader + "BARCODE 0,0,\"39\",20,0,0,1,3,\"AB12\"\r\nPRINT 1\r\n");
    // 6 characters (with start/stop), 3 wide elements each.
    EXPECT_EQ(BlackBounds(OnlyLabel(w3)).right - BlackBounds(OnlyLabel(w2)).right, 6 * 3);
    // Alignment 2 centres the symbol on x.
    auto centred = RunJob(kHeader + "BARCODE 200,0,\"EAN13\",20,0,0,2,4,2,\"400638133393\"\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(centred)), 200 - 95, 0, 200 + 95, 20);
    EXPECT_TRUE(plain.problems.empty() && hri.problems.empty() && rot.problems.empty() &&
                centred.problems.empty());
}

TEST(Drawing, MatrixSymbolsUseModuleSizesInDots) {
    // QR version 1 is 21 modules: cell 4 gives 84 dots.
    auto qr = RunJob(kHeader + "QRCODE 10,10,L,4,A,0,\"HELLO\"\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(qr)), 10, 10, 94, 94);
    // Data Matrix 18x18 forced, module 3 dots.
    auto dm = RunJob(kHeader + "DMATRIX 100,20,200,200,x3,18,18,\"DM\"\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(dm)), 100, 20, 100 + 54, 20 + 54);
    // Without a module size the symbol is made as large as the box allows.
    auto fit = RunJob(kHeader + "DMATRIX 100,20,100,100,\"DM\"\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(fit)), 100, 20, 100 + 100, 20 + 100);
    // PDF417 rows are H dots tall, modules W dots wide.
    auto pdf = RunJob(kHeader + "PDF417 10,10,380,180,0,W2,H4,C2,\"123\"\r\nPRINT 1\r\n");
    DotRect p = BlackBounds(OnlyLabel(pdf));
    EXPECT_EQ(p.left, 10);
    EXPECT_EQ(p.top, 10);
    EXPECT_EQ((p.bottom - p.top) % 4, 0);
    EXPECT_EQ(p.right - p.left, 2 * (17 * (2 + 3) + 18));  // start, indicators, 2 columns, stop
    EXPECT_TRUE(qr.problems.empty() && dm.problems.empty() && fit.problems.empty() && pdf.problems.empty());
}

TEST(Drawing, DirectionTurnsThePrintout) {
    auto r = RunJob("SIZE 50 mm,25 mm\r\nDIRECTION 1\r\nCLS\r\nBAR 0,0,10,10\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(r)), 390, 190, 400, 200);
    auto m = RunJob("SIZE 50 mm,25 mm\r\nDIRECTION 0,1\r\nCLS\r\nBAR 0,0,10,10\r\nPRINT 1\r\n");
    ExpectRect(BlackBounds(OnlyLabel(m)), 390, 0, 400, 10);
}

TEST(Drawing, PrintCountsSetsAndCopies) {
    auto one = RunJob(kHeader + "PRINT 2,3\r\n");
    ASSERT_EQ(one.labels.size(), 1u);
    EXPECT_EQ(one.labels[0].copies, 6);
    PrinterOptions o;
    o.copies = true;
    auto each = RunJob(kHeader + "PRINT 2,3\r\nPRINT 1\r\n", o);
    ASSERT_EQ(each.labels.size(), 7u);
    EXPECT_EQ(each.labels[6].number, 7);
}

TEST(Drawing, PrintWhileNotReadyIsJournalled) {
    // The printer said ready to the first query and paper out to the second.
    PrinterOptions o;
    o.statusScript = {0x00, 0x04};
    auto r = RunJob(kHeader + "\x1b!?PRINT 1\r\n\x1b!?PRINT 1\r\n", o);
    EXPECT_EQ(r.reply, std::string("\x00\x04", 2));
    EXPECT_EQ(r.labels.size(), 2u);
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0], "printed while the status is 04");
}

TEST(Drawing, ProblemsAreJournalledAndTheJobGoesOn) {
    auto r = RunJob(kHeader +
                    "FROB 1,2\r\n"           // unknown
                    "BAR 1,2,3\r\n"          // wrong count
                    "BAR 1,x,3,4\r\n"        // bad number
                    "BAR 390,190,20,20\r\n"  // outside the label (clipped)
                    "BARCODE 0,0,\"NOPE\",10,0,0,1,2,\"1\"\r\n"
                    "BARCODE 0,0,\"EAN13\",10,0,0,1,2,\"ABC\"\r\n"  // not encodable
                    "TEXT 0,0,\"9\",0,1,1,\"x\"\r\n"                // unknown font
                    "SIZE 9000 mm,9000 mm\r\n"                      // beyond limits
                    "SET WHATEVER ON\r\n"
                    "BAR 0,0,5,5\r\n"
                    "PRINT 1\r\n");
    EXPECT_TRUE(HasProblem(r, "unknown command"));
    EXPECT_TRUE(HasProblem(r, "wrong argument count"));
    EXPECT_TRUE(HasProblem(r, "bad number in argument 2"));
    EXPECT_TRUE(HasProblem(r, "content outside the label"));
    EXPECT_TRUE(HasProblem(r, "unknown barcode type"));
    EXPECT_TRUE(HasProblem(r, "unknown font"));
    EXPECT_TRUE(HasProblem(r, "beyond limits"));
    EXPECT_TRUE(HasProblem(r, "unknown SET option"));
    EXPECT_EQ(r.problems.size(), 9u);
    const MonoImage& img = OnlyLabel(r);
    EXPECT_EQ(img.width, 400);  // the bad SIZE was skipped
    EXPECT_EQ(CountBlack(img, {0, 0, 5, 5}), 25);
    EXPECT_EQ(CountBlack(img, {390, 190, 400, 200}), 100);
}

TEST(Drawing, GarbageNeverStopsTheStatusReply) {
    std::mt19937 rng(7);
    std::string junk;
    for (int i = 0; i < 200000; ++i) junk += static_cast<char>(rng() & 0xff);
    // Whatever the junk left half-read, a line end and a status query still get an answer.
    auto r = RunJob(kHeader + "BAR 0,0,1,1\r\n" + junk + "\r\n\x1b!?", PrinterOptions{});
    EXPECT_FALSE(r.problems.empty());
    ASSERT_FALSE(r.reply.empty());
    EXPECT_EQ(r.reply.back(), '\0');
}

TEST(Drawing, MutatedJobsNeverCrashTheReader) {
    const std::string job =
        kHeader + "CODEPAGE 1251\r\nTEXT 10,10,\"3\",0,1,1,\"abc\"\r\n" +
        "BARCODE 10,40,\"128\",40,2,0,2,4,\"X1\"\r\nQRCODE 200,10,M,3,A,0,\"Q\"\r\n" +
        "DMATRIX 300,10,80,80,\"D\"\r\nPDF417 10,120,300,60,0,\"P\"\r\nCIRCLE 5,5,20,2\r\n" +
        "BITMAP 350,150,2,2,1," + std::string(4, '\x55') + "\r\nBOX 1,1,50,50,2\r\nPRINT 1,1\r\n";
    std::mt19937 rng(11);
    const std::string alphabet = "0123456789,\" \r\n-9x\x1b!?";
    for (int round = 0; round < 300; ++round) {
        std::string m = job;
        for (int k = 0; k < 1 + static_cast<int>(rng() % 6); ++k) {
            std::size_t pos = rng() % m.size();
            switch (rng() % 3) {
                case 0: m[pos] = alphabet[rng() % alphabet.size()]; break;
                case 1: m.insert(pos, std::string(1 + rng() % 8, static_cast<char>('0' + rng() % 10))); break;
                default: m.erase(pos, 1 + rng() % 4); break;
            }
        }
        auto r = RunJob(m + "\r\n\x1b!?");
        // Only a mutation that enlarged a bitmap may hold the query: it is bitmap data then.
        if (HasProblem(r, "truncated bitmap")) continue;
        ASSERT_FALSE(r.reply.empty()) << round;
        EXPECT_EQ(r.reply.back(), '\0') << round;
    }
}

}  // namespace
}  // namespace quorvane
