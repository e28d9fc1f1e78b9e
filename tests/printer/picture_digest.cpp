// Prints one line per picture and per barcode: the raster's size and digest, or the error text.
// Built for Linux and for Windows; the Windows test compares the two outputs, so both systems
// must turn the same bytes into the same rasters and the same messages.
//   picture_digest FILE...   a picture file, or a label document whose Base64 values are pictures
//   picture_digest --barcodes

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "printer/barcode_picture.h"
#include "printer/picture_decoder.h"

namespace {

using namespace quorvane;

// FNV-1a over the size and every row.
std::string Describe(const TMonoBitmap& ABitmap) {
    std::uint64_t hash = 14695981039346656037ULL;
    const auto add = [&hash](std::uint8_t AByte) {
        hash ^= AByte;
        hash *= 1099511628211ULL;
    };
    for (const std::int32_t side : {ABitmap.Width(), ABitmap.Height()})
        for (int shift = 0; shift < 32; shift += 8) add(static_cast<std::uint8_t>(side >> shift));
    for (std::int32_t y = 0; y < ABitmap.Height(); ++y)
        for (std::size_t i = 0; i < ABitmap.Stride(); ++i) add(ABitmap.Row(y)[i]);
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(hash));
    return std::to_string(ABitmap.Width()) + "x" + std::to_string(ABitmap.Height()) + " black " +
           std::to_string(ABitmap.CountBlack()) + " " + digest;
}

template <typename Draw>
std::string Outcome(Draw ADraw) {
    try {
        return ADraw();
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

std::string DecodeOutcome(std::span<const std::uint8_t> ABytes, const TPictureLimit& ALimit) {
    return Outcome([&] {
        const auto bitmap = DecodePicture(ABytes, ALimit);
        if (!bitmap) throw EImageConversion();
        return Describe(*bitmap);
    });
}

// The whole picture, within a 40-dot box (a large JPEG is decoded at a smaller scale there),
// and cut short at two points.
void PrintPicture(const std::string& AName, std::span<const std::uint8_t> ABytes) {
    std::printf("%s: %s\n", AName.c_str(), DecodeOutcome(ABytes, {}).c_str());
    std::printf("%s in a box: %s\n", AName.c_str(), DecodeOutcome(ABytes, TPictureLimit(40, 40)).c_str());
    std::printf("%s cut to a half: %s\n", AName.c_str(), DecodeOutcome(ABytes.first(ABytes.size() / 2), {}).c_str());
    std::printf("%s cut to 40 bytes: %s\n", AName.c_str(),
                DecodeOutcome(ABytes.first(std::min<std::size_t>(ABytes.size(), 40)), {}).c_str());
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& APath) {
    std::ifstream file(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Every Value="..." of a document that is a Base64 picture.
void PrintDocumentPictures(const std::string& AName, const std::vector<std::uint8_t>& ADocument) {
    const std::string_view text(reinterpret_cast<const char*>(ADocument.data()), ADocument.size());
    constexpr std::string_view kValue = "Value=\"";
    int number = 0;
    for (std::size_t at = text.find(kValue); at != std::string_view::npos; at = text.find(kValue, at)) {
        at += kValue.size();
        const std::size_t end = text.find('"', at);
        if (end == std::string_view::npos) break;
        const auto bytes = DecodeBase64(text.substr(at, end - at));
        if (bytes && DetectPictureFormat(*bytes) != TPictureFormat::pfUnknown)
            PrintPicture(AName + " picture " + std::to_string(++number), *bytes);
    }
}

void PrintBarcodes() {
    struct TCase {
        std::string_view Symbology;
        std::string_view Value;
    };
    static constexpr TCase kCases[] = {
        {"QRCode", "https://example.com/label?id=0042"},
        {"QRCode", "\xD0\x9C\xD0\xBE\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBE 3,2%"},
        {"DataMatrix", "0104600000000008215ABCDEFGHIJKLM\x1D" "93dGVz"},
        {"DataMatrix", "0104600000000000215ABCDEFGHIJKLM\x1D" "93dGVz"},  // a wrong check digit
        {"GS1DataMatrix", "0104600000000008215abcdefghijkl\x1D" "93dGVz"},
        {"PDF417", "Quorvane PDF417 1234567890"},
        {"QRCode", std::string_view()},
        {"DataMatrix", "\xFF\xFE bytes that are not text"},
    };
    for (const TCase& c : kCases)
        for (const std::int32_t dotInMM : {8, 12}) {
            const std::string outcome = Outcome([&] {
                return Describe(BarcodePicture(*FindSymbology(c.Symbology), 30, 20, 90, dotInMM, c.Value));
            });
            std::printf("%.*s \"%.*s\" at %d dots/mm: %s\n", static_cast<int>(c.Symbology.size()),
                        c.Symbology.data(), static_cast<int>(c.Value.size()), c.Value.data(), dotInMM,
                        outcome.c_str());
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--barcodes") {
        PrintBarcodes();
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        const std::vector<std::uint8_t> bytes = ReadFile(path);
        if (bytes.empty()) {
            std::fprintf(stderr, "picture_digest: cannot read %s\n", argv[i]);
            return 1;
        }
        const std::string name = path.filename().string();
        if (path.extension() == ".xml")
            PrintDocumentPictures(name, bytes);
        else
            PrintPicture(name, bytes);
    }
    return 0;
}
