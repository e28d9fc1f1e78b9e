// quorvane-check-codes DOCUMENT DPI LABEL.png...
// For each label of a label document (one picture each, in order), scans every QR Code,
// DataMatrix, EAN-13 and Code 128 field where the document places it and compares it with the
// label's value: a GS1 DataMatrix must read as "]d2" and the value with its group separators.
// One line per code; exit status 1 when any code is unreadable or differs.
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/virtual_printer/printer_test_support.h"
#include "tools/printer/label_canvas.h"

namespace {

using quorvane::MonoImage;

struct TCodeField {
    std::string Name;
    std::string Format;  // zxing's name
    bool Gs1 = false;
    double Left, Top, Width, Height;  // mm
};

// The field's rectangle and a quiet zone around it, clipped to the picture.
MonoImage Cut(const MonoImage& AImage, const TCodeField& AField, int ADpi) {
    const auto dots = [ADpi](double AMm) { return static_cast<int>(AMm * ADpi / 25.4); };
    const int margin = dots(2);
    const int left = std::max(0, dots(AField.Left) - margin), top = std::max(0, dots(AField.Top) - margin);
    const int right = std::min(AImage.width, dots(AField.Left + AField.Width) + margin);
    const int bottom = std::min(AImage.height, dots(AField.Top + AField.Height) + margin);
    MonoImage part(std::max(0, right - left), std::max(0, bottom - top));
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) part.At(x - left, y - top) = AImage.At(x, y);
    return part;
}

// What a printable line shows of a value: group separators as <GS>.
std::string Shown(const std::string& AText) {
    std::string shown;
    for (const char c : AText) shown += c == '\x1d' ? std::string("<GS>") : std::string(1, c);
    return shown;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorvane-check-codes DOCUMENT DPI LABEL.png...\n");
        return 64;
    }
    pugi::xml_document document;
    if (!document.load_file(argv[1])) {
        std::fprintf(stderr, "quorvane-check-codes: cannot read %s\n", argv[1]);
        return 2;
    }
    const int dpi = std::atoi(argv[2]);
    std::vector<TCodeField> fields;
    for (const pugi::xml_node barcode : document.child("Data").child("Formatting").children("Barcode")) {
        const std::string type = barcode.attribute("Type").value();
        // The document's type by zxing's name; the other types are not read back.
        std::string format;
        if (type == "QRCode" || type == "EAN13" || type == "Code128")
            format = type;
        else if (type == "DataMatrix" || type == "GS1DataMatrix")
            format = "DataMatrix";
        else
            continue;
        fields.push_back({barcode.attribute("FieldName").value(), format,
                          type == "GS1DataMatrix", barcode.attribute("Left").as_double(),
                          barcode.attribute("Top").as_double(), barcode.attribute("Width").as_double(),
                          barcode.attribute("Height").as_double()});
    }
    std::vector<pugi::xml_node> labels;
    for (const pugi::xml_node label : document.child("Data").child("Labels").children("Label")) labels.push_back(label);
    const std::size_t pictures = static_cast<std::size_t>(argc - 3);
    if (pictures != labels.size()) {
        std::printf("%zu label(s) in the document, %zu picture(s)\n", labels.size(), pictures);
        return 1;
    }
    int failed = 0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const MonoImage image = quorvane::ReadPng(argv[3 + i]);
        for (const TCodeField& field : fields) {
            const pugi::xml_node record = labels[i].find_child_by_attribute("Record", "FieldName", field.Name.c_str());
            const std::string expected = (field.Gs1 ? "]d2" : "") + std::string(record.attribute("Value").value());
            const MonoImage part = Cut(image, field, dpi);
            const std::string read = field.Gs1 ? quorvane::test::DecodeWithIdentifier(part, field.Format)
                                               : quorvane::test::Decode(part, field.Format);
            const bool same = read == expected;
            std::printf("label %zu %s %s: %s%s\n", i + 1, field.Name.c_str(), same ? "reads" : "MISMATCH",
                        Shown(read).c_str(), same ? "" : (", expected " + Shown(expected)).c_str());
            failed |= !same;
        }
    }
    return failed;
}
