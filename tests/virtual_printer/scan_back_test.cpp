#include <gtest/gtest.h>

#include "tests/virtual_printer/printer_test_support.h"

namespace quorvane {
namespace {

using test::Decode;
using test::RunJob;

struct LinearCase {
    std::string type, content, format, expected;
};

// Each symbol is printed through BARCODE and must read back to the encoded value.
TEST(ScanBack, EveryLinearType) {
    const LinearCase cases[] = {
        {"128", "Quorvane-42", "Code128", "Quorvane-42"},
        {"128M", "ABC123", "Code128", "ABC123"},
        {"39", "CODE39 TEST", "Code39", "CODE39 TEST"},
        {"39S", "ABC-123", "Code39", "ABC-123"},
        {"93", "CODE93", "Code93", "CODE93"},
        {"EAN8", "9638507", "EAN8", "96385074"},
        {"EAN13", "400638133393", "EAN13", "4006381333931"},
        {"EAN13+2", "40063813339312", "EAN13", "4006381333931 12"},
        {"EAN13+5", "40063813339352495", "EAN13", "4006381333931 52495"},
        {"EAN128", "(01)04006381333931(10)ABC", "Code128",
         "01040063813339311"
         "0ABC"},
        {"ITF14", "1540014128876", "ITF", "15400141288763"},
        {"25", "12345678", "ITF", "12345678"},
        {"UPCA", "72527273070", "UPCA", "725272730706"},
        {"CODA", "A123456B", "Codabar", "123456"},  // zxing drops the start/stop letters
    };
    for (const auto& c : cases) {
        for (int narrow : {2, 3}) {
            std::string job = "SIZE 100 mm,40 mm\r\nCLS\r\nBARCODE 40,40,\"" + c.type + "\",120,2,0," +
                              std::to_string(narrow) + "," + std::to_string(narrow * 5 / 2) + ",\"" +
                              c.content + "\"\r\nPRINT 1\r\n";
            auto r = RunJob(job);
            EXPECT_TRUE(r.problems.empty()) << c.type << ": " << (r.problems.empty() ? "" : r.problems[0]);
            ASSERT_EQ(r.labels.size(), 1u);
            EXPECT_EQ(Decode(r.labels[0].image, c.format), c.expected) << c.type << " narrow " << narrow;
        }
    }
}

TEST(ScanBack, RotatedLinearSymbol) {
    for (int rotation : {90, 180, 270}) {
        int x = rotation == 270 ? 100 : 500, y = rotation == 90 ? 20 : 700;
        auto r = RunJob("SIZE 80 mm,100 mm\r\nCLS\r\nBARCODE " + std::to_string(x) + "," + std::to_string(y) +
                        ",\"128\",100,0," + std::to_string(rotation) + ",2,4,\"ROT-" +
                        std::to_string(rotation) + "\"\r\nPRINT 1\r\n");
        EXPECT_TRUE(r.problems.empty()) << rotation;
        ASSERT_EQ(r.labels.size(), 1u);
        EXPECT_EQ(Decode(r.labels[0].image, "Code128"), "ROT-" + std::to_string(rotation));
    }
}

TEST(ScanBack, QrCodeDataMatrixAndPdf417) {
    const std::string url = "https://quorvane.example/label?id=12345&lot=A7";
    struct Case {
        std::string command, format, expected;
    } cases[] = {
        {"QRCODE 40,40,M,5,A,0,\"" + url + "\"", "QRCode", url},
        {"QRCODE 300,40,H,4,A,90,M2,S3,\"ROTATED QR\"", "QRCode", "ROTATED QR"},
        {"DMATRIX 40,40,300,300,x6,\"DM 0123456789\"", "DataMatrix", "DM 0123456789"},
        {"DMATRIX 40,40,300,300,x5,16,48,\"RECT 16x48\"", "DataMatrix", "RECT 16x48"},
        {"DMATRIX 40,40,200,200,\"fit the box\"", "DataMatrix", "fit the box"},
        {"PDF417 40,40,700,300,0,E4,W3,H9,\"PDF417 scan back 2026\"", "PDF417", "PDF417 scan back 2026"},
        {"PDF417 40,40,700,300,0,W2,H8,C4,\"quote \\[\"]inside\\[\"]\"", "PDF417", "quote \"inside\""},
    };
    for (const auto& c : cases) {
        auto r = RunJob("SIZE 100 mm,60 mm\r\nCLS\r\n" + c.command + "\r\nPRINT 1\r\n");
        EXPECT_TRUE(r.problems.empty()) << c.command << ": " << (r.problems.empty() ? "" : r.problems[0]);
        ASSERT_EQ(r.labels.size(), 1u);
        EXPECT_EQ(Decode(r.labels[0].image, c.format), c.expected) << c.command;
    }
}

TEST(ScanBack, DataMatrixEscapeCharacterAndFnc1) {
    struct Case {
        std::string options, content, expected;
    } cases[] = {
        {"c126,", "a~~b~d065~M~]z", "]d1a~bA\r\x1Dz"},
        // FNC1 first makes it GS1; each later one reads as GS, a redundant one too.
        {"c126,", "~10104607009780016~121ab~193Zq",
         "]d20104607009780016\x1D"
         "21ab\x1D"
         "93Zq"},
        {"c35,r90,", "#191x#1#d050#d0500",
         "]d291x\x1D"
         "220"},
        {"", "~1abc", "]d1~1abc"},  // without c# the tilde is data
    };
    for (const auto& c : cases) {
        auto r = RunJob("SIZE 60 mm,60 mm\r\nCLS\r\nDMATRIX 240,40,200,200,x6," + c.options + "\"" +
                        c.content + "\"\r\nPRINT 1\r\n");
        EXPECT_TRUE(r.problems.empty()) << c.content << ": " << (r.problems.empty() ? "" : r.problems[0]);
        ASSERT_EQ(r.labels.size(), 1u);
        EXPECT_EQ(test::DecodeWithIdentifier(r.labels[0].image, "DataMatrix"), c.expected) << c.content;
    }
    for (const std::string bad : {"ab~1cd", "~q", "ab~", "~d256"}) {
        auto r =
            RunJob("SIZE 60 mm,60 mm\r\nCLS\r\nDMATRIX 40,40,200,200,c126,\"" + bad + "\"\r\nPRINT 1\r\n");
        EXPECT_FALSE(r.problems.empty()) << bad;
    }
}

}  // namespace
}  // namespace quorvane
