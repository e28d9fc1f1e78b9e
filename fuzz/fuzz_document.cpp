// A label document and the settings -> label scripts: the document reader, the TSPL generator,
// text, pictures and barcodes. The first 16 bytes choose the settings (all zero: the defaults),
// the rest is the document. Read whole and read a label at a time, it must give the same.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "driver/label_document.h"
#include "driver/label_stream.h"
#include "fuzz/script_oracle.h"
#include "printer/tspl/printer_type_tspl.h"

namespace {

constexpr std::size_t kHeader = 16;

template <std::size_t N>
const char* Pick(const char* const (&AChoices)[N], std::uint8_t AByte) {
    return AChoices[AByte % N];
}

std::int32_t Signed(std::uint8_t AByte) { return static_cast<std::int8_t>(AByte); }

// The leading numbers of a command line after its name ("BITMAP 8,16,30,160,1,..." -> 8 16 30
// 160 1), stopping at the first argument that is not a plain integer.
std::vector<long long> Numbers(std::string_view ALine, std::size_t AFrom) {
    std::vector<long long> numbers;
    std::size_t at = AFrom;
    while (at < ALine.size()) {
        const std::size_t end = std::min(ALine.find(',', at), ALine.size());
        std::string_view piece = ALine.substr(at, end - at);
        while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
        if (piece.size() > 3 && piece.substr(piece.size() - 3) == " mm") piece.remove_suffix(3);
        long long value = 0;
        const auto [last, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (ec != std::errc() || last != piece.data() + piece.size()) break;
        numbers.push_back(value);
        at = end + 1;
    }
    return numbers;
}

bool StartsWith(std::string_view ALine, std::string_view APrefix) {
    return ALine.substr(0, APrefix.size()) == APrefix;
}

// What must never reach a printer: a label size that is not positive, a negative box or bar
// height, a copy count outside PRINT's range (-1 stands for a label without Quantity).
void CheckScript(std::string_view AScript) {
    if (AScript.size() < 2 || AScript.substr(AScript.size() - 2) != "\r\n") __builtin_trap();
    std::size_t start = 0;
    while (start < AScript.size()) {
        const std::size_t end = AScript.find("\r\n", start);
        const std::string_view line = AScript.substr(start, end - start);
        start = end + 2;
        if (StartsWith(line, "SIZE ")) {
            const auto n = Numbers(line, 5);
            if (n.size() != 2 || n[0] <= 0 || n[1] <= 0) __builtin_trap();
        } else if (StartsWith(line, "BITMAP ") || StartsWith(line, "DMATRIX ") ||
                   StartsWith(line, "PDF417 ")) {
            const auto n = Numbers(line, line.find(' ') + 1);
            if (n.size() >= 4 && (n[2] < 0 || n[3] < 0)) __builtin_trap();
        } else if (StartsWith(line, "BARCODE ")) {
            const std::size_t type = line.find(",\"");
            const std::size_t after = type == std::string_view::npos ? type : line.find("\",", type + 2);
            if (after != std::string_view::npos) {
                const auto n = Numbers(line, after + 2);
                if (!n.empty() && n[0] < 0) __builtin_trap();
            }
        } else if (StartsWith(line, "PRINT ")) {
            const auto n = Numbers(line, 6);
            if (n.size() != 1 || (n[0] != -1 && (n[0] < 1 || n[0] > 999999999))) __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
    using namespace quorvane;
    if (ASize < kHeader) return 0;
    const std::uint8_t* h = AData;
    const std::string_view document(reinterpret_cast<const char*>(AData + kHeader), ASize - kHeader);

    static const char* const kCodepages[] = {"1251", "utf-8", "866", "1252", "UTF-8", "abc", "99999", ""};
    static const char* const kMatrixSizes[] = {"10x10", "16x16", "36x36", "12x36", "x", "", "0x0", "99999x9"};
    static const char* const kEcc[] = {"M", "L", "Q", "H", "", "Z"};
    static const std::int32_t kResolutions[] = {203, 300, 600};

    TDocumentSettings settings;
    settings.Gap = 3 + Signed(h[1]);
    settings.Density = 7 + Signed(h[2]);
    settings.Direction = Signed(h[3]);
    settings.Speed = 2 + Signed(h[4]) / 2.0;
    settings.Codepage = Pick(kCodepages, h[5]);

    TTsplSettings tspl;
    tspl._2DBarcodeAsPicture = !(h[6] & 1);
    tspl.Model = Signed(h[7]);
    tspl.BarcodeNarrow = 2 + Signed(h[8]);
    tspl.PrintMethod = h[6] >> 4 & 1;
    tspl.PDF417DataCompression = -1 + Signed(h[9]) % 3;
    tspl.PDF417CorrectionLevel = -1 + Signed(h[9]) / 16;
    tspl.PDF417ModuleWidth = -1 + Signed(h[10]) % 12;
    tspl.PDF417Rows = Signed(h[10]) / 8;
    tspl.DataMatrixModuleSize = 3 + Signed(h[11]);
    tspl.DataMatrixSize = Pick(kMatrixSizes, h[12]);
    tspl.QRCodeECCLevel = Pick(kEcc, h[13]);
    tspl.QRCodeCellWidth = 4 + Signed(h[14]);
    const std::int32_t resolution = (h[0] & 0x40) ? Signed(h[15]) * 8 : kResolutions[(h[0] & 0x3F) % 3];

    TPrinterTSPL printer;
    printer.ApplySettings(resolution, (h[6] & 2) != 0, tspl);
    TLabelTemplate labelTemplate;
    std::string treeOutcome = "built";
    std::vector<TScriptObject> fromTree;
    try {
        const pugi::xml_document parsed = ParseLabelDocument(document);
        LoadTemplate(parsed, labelTemplate, printer, settings);
        const auto scripts = FillLabels(parsed, labelTemplate, printer, settings);
        fromTree = scripts;
        // User data are raw commands of the document's author, sent as they are; every other
        // value is data inside a command and adds none.
        std::string lower(document);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        const bool rawCommands = lower.find("userdata") != std::string::npos;
        for (const TScriptObject& script : scripts) {
            if (rawCommands) continue;
            CheckScript(script.FValue);
            fuzz::GeneratorCommands(script.FValue);
        }
        // One copy for a label without a Quantity attribute.
        std::size_t index = 0;
        for (const pugi::xml_node& label : parsed.document_element().child("Labels").children()) {
            std::string name = label.name();
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
                return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            });
            if (label.type() != pugi::node_element || name != "label") continue;
            if (index >= scripts.size()) __builtin_trap();
            if (scripts[index++].FQuantity != 1 && !label.attribute("Quantity")) __builtin_trap();
        }
    } catch (const std::exception& AError) {
        // A clear error for this document is the expected end of a bad one.
        treeOutcome = std::string("failed: ") + AError.what();
    }

    // The text read a label at a time gives what its tree gave: the same scripts, or the same
    // failure text.
    TPrinterTSPL again;
    again.ApplySettings(resolution, (h[6] & 2) != 0, tspl);
    TLabelTemplate againTemplate;
    std::string textOutcome = "built";
    std::vector<TScriptObject> fromText;
    try {
        const TLabelDocument read = ReadLabelDocument(document);
        LoadTemplate(read, againTemplate, again, settings);
        fromText = FillLabels(read, againTemplate, again, settings);
    } catch (const std::exception& AError) {
        textOutcome = std::string("failed: ") + AError.what();
    }
    if (treeOutcome != textOutcome || fromTree.size() != fromText.size()) __builtin_trap();
    for (std::size_t i = 0; i < fromTree.size(); ++i)
        if (fromTree[i].FValue != fromText[i].FValue || fromTree[i].FQuantity != fromText[i].FQuantity)
            __builtin_trap();
    return 0;
}
