// The add-in package as the platform receives it: quorvane.zip unpacked into a fresh folder, its
// manifest read, and the unpacked library (not the one in the build folder) loaded by
// quorvane-host to print a label on the virtual printer.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <pugixml.hpp>

#include "tests/common/run_command.h"
#include "tests/virtual_printer/printer_test_support.h"
#include "tools/printer/printer_server.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char kBundleNamespace[] = "http://v8.1c.ru/8.2/addin/bundle";

struct ZipDiscard {
    void operator()(zip_t* AArchive) const { zip_discard(AArchive); }
};
struct ZipFileClose {
    void operator()(zip_file_t* AFile) const { zip_fclose(AFile); }
};

// Every entry of the archive by name, with its bytes.
std::map<std::string, std::string> ReadArchive(const std::string& APath) {
    int error = 0;
    std::unique_ptr<zip_t, ZipDiscard> archive(zip_open(APath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive)
        throw std::runtime_error("cannot open " + APath + " (libzip error " + std::to_string(error) + ")");
    std::map<std::string, std::string> entries;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &stat) != 0)
            throw std::runtime_error("unreadable entry in " + APath);
        std::unique_ptr<zip_file_t, ZipFileClose> file(
            zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(i), 0));
        if (!file) throw std::runtime_error(std::string("cannot open entry ") + stat.name);
        std::string bytes(stat.size, '\0');
        if (zip_fread(file.get(), bytes.data(), stat.size) != static_cast<zip_int64_t>(stat.size))
            throw std::runtime_error(std::string("short entry ") + stat.name);
        entries[stat.name] = std::move(bytes);
    }
    return entries;
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvane-package-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FDir = pattern;
        // Flat entries only, written as the platform unpacks them: into a folder of their own.
        Entries = ReadArchive(QUORVANE_PACKAGE_ZIP);
        for (const auto& [name, bytes] : Entries) {
            ASSERT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
            std::ofstream(FDir / name, std::ios::binary) << bytes;
        }
    }
    void TearDown() override { fs::remove_all(FDir); }

    // The library the manifest names for Linux x86_64.
    std::string LibraryPath() {
        pugi::xml_document manifest;
        if (!manifest.load_file((FDir / "MANIFEST.XML").c_str())) return {};
        const pugi::xml_node component = manifest.document_element().child("component");
        return (FDir / component.attribute("path").value()).string();
    }

    fs::path FDir;
    std::map<std::string, std::string> Entries;
};

TEST_F(PackageTest, HoldsAManifestNamingTheLibrary) {
    std::set<std::string> names;
    for (const auto& entry : Entries) names.insert(entry.first);
    EXPECT_EQ(names, (std::set<std::string>{"MANIFEST.XML", "libquorvane.so"}));

    pugi::xml_document manifest;
    const pugi::xml_parse_result parsed = manifest.load_file((FDir / "MANIFEST.XML").c_str());
    ASSERT_TRUE(parsed) << parsed.description();
    const pugi::xml_node bundle = manifest.document_element();
    EXPECT_STREQ(bundle.name(), "bundle");
    EXPECT_STREQ(bundle.attribute("xmlns").value(), kBundleNamespace);

    std::size_t components = 0;
    for (const pugi::xml_node child : bundle.children()) {
        if (child.type() != pugi::node_element) continue;
        ASSERT_STREQ(child.name(), "component");
        ++components;
        std::map<std::string, std::string> attributes;
        for (const pugi::xml_attribute a : child.attributes()) attributes[a.name()] = a.value();
        EXPECT_EQ(attributes,
                  (std::map<std::string, std::string>{
                      {"os", "Linux"}, {"arch", "x86_64"}, {"path", "libquorvane.so"}, {"type", "native"}}));
    }
    EXPECT_EQ(components, 1u);

    // An x86-64 ELF shared object: the platform's loader takes nothing else.
    const std::string& library = Entries["libquorvane.so"];
    ASSERT_GT(library.size(), 20u);
    EXPECT_EQ(library.substr(0, 4),
              "\x7f"
              "ELF");
    EXPECT_EQ(library[4], 2) << "not 64-bit";
    EXPECT_EQ(library[16], 3) << "not a shared object (ET_DYN)";
    EXPECT_EQ(static_cast<unsigned char>(library[18]), 62u) << "not x86-64";
}

// A text line and a QR code, drawn by the library itself (Pango and zint) into BITMAP commands.
const char kDocument[] = R"(<Data>
  <Formatting Width="50" Height="30">
    <Text FieldName="Name" Left="2" Top="2" Width="46" Height="6" FontName="Arial" FontSize="10"/>
    <Barcode FieldName="Code" Type="QRCode" Left="15" Top="10" Width="18" Height="18"/>
  </Formatting>
  <Labels>
    <Label Quantity="1">
      <Record FieldName="Name" Value="Молоко 3,2% 1 л"/>
      <Record FieldName="Code" Value="quorvane package 4607001234567"/>
    </Label>
  </Labels>
</Data>)";

TEST_F(PackageTest, UnpackedLibraryPrintsALabelThroughTheHost) {
    const std::string library = LibraryPath();
    ASSERT_TRUE(fs::is_regular_file(library)) << library;
    const fs::path document = FDir / "label.xml";
    std::ofstream(document) << kDocument;

    PrinterOptions options;
    options.listen = "127.0.0.1:0";
    options.keepLabels = true;
    PrinterServer printer(options);
    printer.Start();

    ::setenv("QUORVANE_LOG_DIR", (FDir / "log").c_str(), 1);
    const TCommandRun run = RunCommand(
        std::string(QUORVANE_HOST_PROGRAM) + " --component " + library + " print " + document.string() +
        " --set _2DBarcodeAsPicture=true --set InterfaceType=2 --set IPAddress=127.0.0.1 --set IPPort=" +
        std::to_string(printer.Port()));
    ASSERT_EQ(run.Status, 0) << run.Output;
    ASSERT_TRUE(printer.WaitForJobs(1, 10s));

    for (const JournalEntry& e : printer.Journal())
        EXPECT_NE(e.kind, "problem") << e.text << ": " << e.detail;
    const std::vector<RenderedLabel> labels = printer.Labels();
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(Decode(labels[0].image, "QRCode"), "quorvane package 4607001234567");
    // The text line above the code has ink too: fonts were found from the unpacked library.
    const int codeTop = 10 * 8;  // 203 dpi: 8 dots per millimetre
    EXPECT_GT(CountBlack(labels[0].image, {0, 0, labels[0].image.width, codeTop}), 0);
}

}  // namespace
}  // namespace quorvane::test
