// Ink-only bitmaps print what full ones print: every example and the every-field document under
// every settings variant of the script digests, built by the host tool both ways (the full way
// is the tool's --full-bitmaps, the scripts as assembled before trimming) and drawn by the
// virtual printer, must give the same labels dot for dot with every line but BITMAP unchanged.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "printer/tspl/bitmap_command.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/virtual_printer/printer_test_support.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Variants() {
    std::ifstream in(fs::path(QUORVANE_SOURCE_DIR) / "scripts/script-variants");
    std::vector<std::string> variants;
    for (std::string line; std::getline(in, line);)
        if (!line.starts_with("#")) variants.push_back(line);
    return variants;
}

// The examples and the every-field document with the price tag's logo in it.
std::vector<fs::path> Documents(const fs::path& ADir) {
    std::vector<fs::path> documents;
    for (const auto& entry : fs::directory_iterator(fs::path(QUORVANE_SOURCE_DIR) / "examples"))
        if (entry.path().extension() == ".xml") documents.push_back(entry.path());
    std::sort(documents.begin(), documents.end());
    pugi::xml_document priceTag;
    priceTag.load_file((fs::path(QUORVANE_SOURCE_DIR) / "examples/price_tag.xml").c_str());
    const std::string logo =
        priceTag.select_node("//Image[@FieldName='Logo']").node().attribute("Value").value();
    std::string every = test::ReadFile(fs::path(QUORVANE_SOURCE_DIR) / "scripts/every-field.xml");
    for (std::size_t at; (at = every.find("@LOGO@")) != std::string::npos;) every.replace(at, 6, logo);
    documents.push_back(ADir / "every-field.xml");
    std::ofstream(documents.back(), std::ios::binary) << every;
    return documents;
}

// The script's commands other than BITMAP, in order.
std::vector<std::string> OtherCommands(std::string_view AScript) {
    std::vector<std::string> commands;
    while (!AScript.empty()) {
        std::size_t end = 0;
        if (const auto head = ParseBitmapHead(AScript)) {
            end = std::min(AScript.size(), head->Size + static_cast<std::size_t>(head->DataBytes));
            end = std::min(AScript.size(), AScript.find("\r\n", end));
        } else {
            end = std::min(AScript.size(), AScript.find("\r\n"));
            commands.emplace_back(AScript.substr(0, end));
        }
        AScript.remove_prefix(std::min(AScript.size(), end + 2));
    }
    return commands;
}

std::vector<RenderedLabel> Print(const std::string& AScript, int ADpi) {
    PrinterOptions options;
    options.listen = "off";
    options.dpi = ADpi;
    return test::RunJob(AScript, options).labels;
}

std::vector<std::string> Scripts(const fs::path& ADir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(ADir)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> scripts;
    for (const fs::path& file : files) scripts.push_back(test::ReadFile(file));
    return scripts;
}

TEST(InkOnlyIdentity, EveryDocumentAndVariantPrintsTheSameAsWithFullBitmaps) {
    const fs::path dir = fs::temp_directory_path() / ("quorvane-ink-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::vector<fs::path> documents = Documents(dir);
    std::vector<std::string> settings;
    for (const std::string& variant : Variants()) {
        if (variant.find("Resolution=") != std::string::npos) {
            settings.push_back(variant);
            continue;
        }
        for (const char* dpi : {"203", "300", "600"})
            settings.push_back(variant + " --set Resolution=" + dpi);
    }
    std::size_t inkBytes = 0;
    std::size_t fullBytes = 0;
    std::size_t labels = 0;
    std::size_t refused = 0;
    for (std::size_t s = 0; s < settings.size(); ++s) {
        const int dpi = std::stoi(settings[s].substr(settings[s].rfind("Resolution=") + 11));
        std::string command = std::string(QUORVANE_HOST_PROGRAM) + " " + settings[s];
        for (std::size_t d = 0; d < documents.size(); ++d) {
            const std::string out = (dir / (std::to_string(s) + "-" + std::to_string(d))).string();
            command += " script " + documents[d].string() + " --out " + out + "-ink --";
            command += " script " + documents[d].string() + " --full-bitmaps --out " + out + "-full --";
        }
        command.resize(command.size() - 3);
        // A variant the driver refuses (as one of the digests' is) must be refused both ways.
        const test::TCommandRun run = test::RunCommand(command);
        for (std::size_t d = 0; d < documents.size(); ++d) {
            const std::string out = (dir / (std::to_string(s) + "-" + std::to_string(d))).string();
            ASSERT_EQ(fs::exists(out + "-ink"), fs::exists(out + "-full")) << command << "\n" << run.Output;
            if (!fs::exists(out + "-ink")) {
                ++refused;
                continue;
            }
            const std::vector<std::string> ink = Scripts(out + "-ink");
            const std::vector<std::string> full = Scripts(out + "-full");
            const std::string where = documents[d].filename().string() + " [" + settings[s] + "]";
            ASSERT_EQ(ink.size(), full.size()) << where;
            for (std::size_t i = 0; i < ink.size(); ++i) {
                inkBytes += ink[i].size();
                fullBytes += full[i].size();
                ++labels;
                EXPECT_EQ(OtherCommands(ink[i]), OtherCommands(full[i])) << where << " label " << i + 1;
                const std::vector<RenderedLabel> printed = Print(ink[i], dpi);
                const std::vector<RenderedLabel> expected = Print(full[i], dpi);
                ASSERT_EQ(printed.size(), expected.size()) << where << " label " << i + 1;
                for (std::size_t p = 0; p < printed.size(); ++p) {
                    const MonoImage& a = printed[p].image;
                    const MonoImage& b = expected[p].image;
                    ASSERT_EQ(a.width, b.width) << where;
                    ASSERT_EQ(a.height, b.height) << where;
                    const auto diff = std::mismatch(a.dots.begin(), a.dots.end(), b.dots.begin());
                    EXPECT_TRUE(diff.first == a.dots.end())
                        << where << " label " << i + 1 << ": first different dot at x "
                        << (diff.first - a.dots.begin()) % a.width << ", y "
                        << (diff.first - a.dots.begin()) / a.width;
                }
            }
        }
    }
    // The check means something only when the bitmaps did shrink.
    EXPECT_LE(refused, documents.size());
    EXPECT_GE(labels, documents.size() * settings.size() - refused);
    EXPECT_LT(inkBytes * 2, fullBytes);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorvane
