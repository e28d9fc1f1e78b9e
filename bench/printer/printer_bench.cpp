// Rasterising one label's fields at the three printer resolutions.
#include <benchmark/benchmark.h>

#include <array>

#include "printer/barcode_picture.h"
#include "printer/printer_type_base.h"
#include "printer/tspl/bitmap_command.h"
#include "tests/common/base64.h"
#include "tests/common/bmp_fixture.h"
#include "tests/printer/plain_printer.h"

namespace quorvane {
namespace {

// A 50 x 20 mm text box, two wrapped lines of 12 pt bold, centred.
void TextField(benchmark::State& AState) {
    const test::TPlainPrinter printer(static_cast<std::int32_t>(AState.range(0)));
    const bool turned = AState.range(1) != 0;
    for (auto _ : AState) {
        std::string bytes = BitmapData(printer.GetGraphicText("Молоко 3,2% 1 л, партия 0042 от 08.12.2026", 50,
                                                              20, turned ? TRotation::r90 : TRotation::r0, 12,
                                                              "Arial", "bold", "center", "center", true));
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(TextField)
    ->ArgNames({"dpi", "r90"})
    ->ArgsProduct({{203, 300, 600}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// One unbroken word of n characters, wrapped and single-line, in a 50 x 30 mm box at 203 dpi:
// the time must not grow with n once the box is full.
void LongWord(benchmark::State& AState) {
    const test::TPlainPrinter printer(203);
    const std::string word(static_cast<std::size_t>(AState.range(0)), 'W');
    const bool multiline = AState.range(1) != 0;
    for (auto _ : AState) {
        std::string bytes =
            BitmapData(printer.GetGraphicText(word, 50, 30, TRotation::r0, 0, "", "", "", "", multiline));
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(LongWord)
    ->ArgNames({"chars", "multiline"})
    ->ArgsProduct({{5'000, 40'000, 1'000'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// A 25 x 25 mm QR Code picture with a typical marking code.
void QRCodePicture(benchmark::State& AState) {
    const auto dots = static_cast<std::int32_t>(AState.range(0) / 25);
    const std::string value =
        "0104601234567893215Qbag!\x1d"
        "93Zjqw";
    for (auto _ : AState) {
        std::string bytes = BitmapData(BarcodePicture(*FindSymbology("QRCode"), 25, 25, 0, dots, value));
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(QRCodePicture)->ArgName("dpi")->Arg(203)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);

// A 20 x 20 mm Data Matrix picture turned by 90 degrees.
void DataMatrixPicture(benchmark::State& AState) {
    const auto dots = static_cast<std::int32_t>(AState.range(0) / 25);
    for (auto _ : AState) {
        std::string bytes =
            BitmapData(BarcodePicture(*FindSymbology("DataMatrix"), 20, 20, 90, dots, "0104601234567893215Qbag!"));
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(DataMatrixPicture)->ArgName("dpi")->Arg(203)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);

// A 200 x 100 BMP logo fitted into a 40 x 20 mm box.
void PictureField(benchmark::State& AState) {
    // 1 bit per pixel, rows of 25 bytes padded to 28: stripes by the byte's place in the file.
    const auto stripes = [](int x, int y) -> std::array<std::uint8_t, 4> {
        const std::size_t at = 62 + static_cast<std::size_t>(99 - y) * 28 + static_cast<std::size_t>(x / 8);
        const int byte = at % 3 == 0 ? 0xF0 : 0x3C;
        const std::uint8_t v = (byte >> (7 - x % 8)) & 1 ? 255 : 0;
        return {v, v, v, 255};
    };
    const std::string value = test::Base64(test::MakeBmp(1, 200, 100, false, stripes));
    const test::TPlainPrinter printer(static_cast<std::int32_t>(AState.range(0)));
    for (auto _ : AState) {
        std::string bytes = BitmapData(printer.GetPictureBitmap(value, 40, 20, TRotation::r0));
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(PictureField)->ArgName("dpi")->Arg(203)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvane
