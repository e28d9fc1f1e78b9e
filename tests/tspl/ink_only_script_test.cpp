#include <gtest/gtest.h>

#include <string>

#include "printer/tspl/ink_only_script.h"

namespace quorvane {
namespace {

// A BITMAP line: AWidthBytes x AHeight of white (set bits) except AInk at the byte index.
std::string Bitmap(const std::string& AHead, int AWidthBytes, int AHeight,
                   std::initializer_list<std::pair<int, char>> AInk = {}) {
    std::string data(static_cast<std::size_t>(AWidthBytes * AHeight), '\xFF');
    for (const auto& [at, byte] : AInk) data[static_cast<std::size_t>(at)] = byte;
    return "BITMAP " + AHead + data + "\r\n";
}

TEST(InkOnlyScript, OrBitmapsKeepTheirInkOnlyInBlocksWorthTheirCommand) {
    // Ink in byte 1 of row 2 and byte 2 of row 57 (0x0D: a CR inside the data); 54 white rows
    // between them cost more than a second command. A white bitmap goes.
    const std::string script = "SIZE 58 mm,40 mm\r\nCLS\r\n" +
                               Bitmap("16,8,4,60,1,", 4, 60, {{2 * 4 + 1, '\x7F'}, {57 * 4 + 2, '\x0D'}}) +
                               Bitmap("0,0,2,5,1,", 2, 5) + "PRINT 1\r\n";
    EXPECT_EQ(InkOnlyScript(script), "SIZE 58 mm,40 mm\r\nCLS\r\nBITMAP 24,10,1,1,1,\x7F\r\n"
                                     "BITMAP 32,65,1,1,1,\x0D\r\nPRINT 1\r\n");
    // Rows that need fewer bytes (a glyph's tail) go apart when that saves more than a command.
    std::string tail(10 * 40, '\x00');
    for (int row = 30; row < 40; ++row) tail.replace(static_cast<std::size_t>(row * 10 + 1), 9, 9, '\xFF');
    EXPECT_EQ(InkOnlyScript("BITMAP 0,0,10,40,1," + tail + "\r\n"),
              "BITMAP 0,0,10,30,1," + std::string(300, '\x00') + "\r\nBITMAP 0,30,1,10,1," + std::string(10, '\x00') +
                  "\r\n");
    // Two lines of text close together stay one block, trimmed to both.
    EXPECT_EQ(InkOnlyScript(Bitmap("0,0,3,4,1,", 3, 4, {{0, '\x00'}, {2 * 3 + 1, '\xFE'}})),
              "BITMAP 0,0,2,3,1," + std::string("\x00\xFF\xFF\xFF\xFF\xFE", 6) + "\r\n");
}

TEST(InkOnlyScript, OverwritingWhiteStaysOnlyWhereEarlierCommandsMayHaveDrawn) {
    // A bar under the first two bytes of row 0; a white overwriting bitmap beside it goes.
    const std::string bar = "CLS\r\nBAR 0,0,16,1\r\n";
    EXPECT_EQ(InkOnlyScript(bar + Bitmap("0,0,4,3,0,", 4, 3) + Bitmap("100,100,2,2,0,", 2, 2)),
              bar + "BITMAP 0,0,2,1,0,\xFF\xFF\r\n");
    // A box's frame, thickness included.
    EXPECT_EQ(InkOnlyScript("CLS\r\nBOX 8,8,15,9,1\r\n" + Bitmap("0,0,3,12,0,", 3, 12)),
              "CLS\r\nBOX 8,8,15,9,1\r\nBITMAP 0,7,3,4,0," + std::string(12, '\xFF') + "\r\n");
    // The dots of an earlier bitmap: dot 9 of row 1, under the second byte.
    const std::string dot = "CLS\r\n" + Bitmap("0,0,2,2,1,", 2, 2, {{3, '\xBF'}});
    EXPECT_EQ(InkOnlyScript(dot + Bitmap("0,0,3,2,0,", 3, 2)),
              "CLS\r\nBITMAP 8,1,1,1,1,\xBF\r\nBITMAP 8,1,1,1,0,\xFF\r\n");
    // CLS clears what lies beneath; a command of unknown extent may have drawn anywhere.
    EXPECT_EQ(InkOnlyScript(dot + "CLS\r\n" + Bitmap("0,0,3,2,0,", 3, 2)),
              "CLS\r\nBITMAP 8,1,1,1,1,\xBF\r\nCLS\r\n");
    // Before the first CLS the previous label may lie beneath.
    const std::string white = Bitmap("0,0,2,2,0,", 2, 2);
    EXPECT_EQ(InkOnlyScript(white), white);
    for (const std::string command : {"TEXT 200,200,\"3\",0,1,1,\"x\"\r\n", "BARCODE 300,0,\"128\",40,0,0,2,4,\"1\"\r\n",
                                      "BAR 0,0,-5,5\r\n", "REFERENCE 0,0\r\n"})
        EXPECT_EQ(InkOnlyScript("CLS\r\n" + command + white), "CLS\r\n" + command + white) << command;
}

TEST(InkOnlyScript, LinesItCannotReadStayAsTheyAre) {
    const std::string shortData("BITMAP 0,0,4,4,1,\x00\x01", 20);
    const std::string trailing = Bitmap("0,0,1,1,1,", 1, 1).insert(19, "xx");
    const std::string mode = Bitmap("0,0,1,1,3,", 1, 1);
    for (const std::string& script : {shortData, trailing, mode})
        EXPECT_EQ(InkOnlyScript(script), script);
}

}  // namespace
}  // namespace quorvane
