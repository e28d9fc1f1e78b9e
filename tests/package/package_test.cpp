// The add-in package as the platform receives it: quorvane.zip unpacked into a fresh folder, its
// manifest read, and each unpacked library (not the one in the build folder) loaded by the host
// tool of its system to print a label on the virtual printer: the Linux library directly, the
// Windows DLLs under Wine.
//   QUORVANE_PACKAGE_ZIP      another package than the build's (make test-install: dist/quorvane.zip)
//   QUORVANE_WINDOWS_BUILD    the Windows build (x86/, x64/): the package must carry both DLLs, and
//                             they are loaded by its quorvane-host.exe under Wine ($WINEPREFIX, its
//                             server started)

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

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

// One library of the manifest.
struct TComponent {
    std::map<std::string, std::string> Attributes;
    std::string Os() const { return Attributes.at("os"); }
    std::string Arch() const { return Attributes.at("arch"); }
    std::string Path() const { return Attributes.at("path"); }
};

std::string Environment(const char* AName) {
    const char* value = std::getenv(AName);
    return value ? value : "";
}

uint32_t Little(const std::string& ABytes, size_t AOffset, size_t ASize) {
    uint32_t value = 0;
    for (size_t i = 0; i < ASize && AOffset + i < ABytes.size(); ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(ABytes[AOffset + i])) << (8 * i);
    return value;
}

// What the file's header says it is, in the manifest's words ("Linux x86_64", "Windows i386"),
// or why it is neither an x86-64 ELF shared object nor a PE DLL.
std::string LibraryKind(const std::string& ABytes) {
    if (ABytes.size() > 64 && ABytes.starts_with("\x7f" "ELF")) {
        if (ABytes[4] != 2 || Little(ABytes, 16, 2) != 3) return "an ELF file but no 64-bit shared object";
        return Little(ABytes, 18, 2) == 62 ? "Linux x86_64" : "an ELF shared object for another machine";
    }
    if (ABytes.size() > 64 && ABytes.starts_with("MZ")) {
        const uint32_t pe = Little(ABytes, 0x3c, 4);
        if (ABytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return "an MZ file without a PE header";
        if (!(Little(ABytes, pe + 22, 2) & 0x2000)) return "a PE file but no DLL";
        switch (Little(ABytes, pe + 4, 2)) {
            case 0x14c: return "Windows i386";
            case 0x8664: return "Windows x86_64";
            default: return "a DLL for another machine";
        }
    }
    return "no library";
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvane-package-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FDir = pattern;
        const std::string zip = Environment("QUORVANE_PACKAGE_ZIP");
        // Flat entries only, written as the platform unpacks them: into a folder of their own.
        Entries = ReadArchive(zip.empty() ? QUORVANE_PACKAGE_ZIP : zip);
        for (const auto& [name, bytes] : Entries) {
            ASSERT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
            std::ofstream(FDir / name, std::ios::binary) << bytes;
        }
        pugi::xml_document manifest;
        const pugi::xml_parse_result parsed = manifest.load_file((FDir / "MANIFEST.XML").c_str());
        ASSERT_TRUE(parsed) << parsed.description();
        const pugi::xml_node bundle = manifest.document_element();
        ASSERT_STREQ(bundle.name(), "bundle");
        EXPECT_STREQ(bundle.attribute("xmlns").value(), kBundleNamespace);
        for (const pugi::xml_node child : bundle.children()) {
            if (child.type() != pugi::node_element) continue;
            ASSERT_STREQ(child.name(), "component");
            TComponent component;
            for (const pugi::xml_attribute a : child.attributes()) component.Attributes[a.name()] = a.value();
            Components.push_back(component);
        }
    }
    void TearDown() override { fs::remove_all(FDir); }

    // The command line that makes the host tool of AComponent's system load its unpacked library.
    std::string HostCommand(const TComponent& AComponent) {
        const std::string library = (FDir / AComponent.Path()).string();
        if (AComponent.Os() == "Linux") return std::string(QUORVANE_HOST_PROGRAM) + " --component " + library;
        const std::string folder = AComponent.Arch() == "i386" ? "x86" : "x64";
        std::string windowsPath = "Z:" + library;  // Wine's Z: is the root
        std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
        return "wine " + Environment("QUORVANE_WINDOWS_BUILD") + "/" + folder +
               "/tools/host/quorvane-host.exe --component '" + windowsPath + "'";
    }

    fs::path FDir;
    std::map<std::string, std::string> Entries;
    std::vector<TComponent> Components;
};

TEST_F(PackageTest, ManifestNamesOneLibraryPerPlatform) {
    std::set<std::string> expected = {"Linux x86_64"};
    if (!Environment("QUORVANE_WINDOWS_BUILD").empty()) expected.insert({"Windows i386", "Windows x86_64"});

    std::set<std::string> platforms, names = {"MANIFEST.XML"};
    for (const TComponent& component : Components) {
        EXPECT_EQ(component.Attributes.size(), 4u);
        EXPECT_EQ(component.Attributes.count("type") ? component.Attributes.at("type") : "", "native");
        const std::string platform = component.Os() + " " + component.Arch();
        EXPECT_TRUE(platforms.insert(platform).second) << platform << " twice";
        names.insert(component.Path());
        // The platform loads the file without looking: it must be what the manifest says.
        ASSERT_TRUE(Entries.count(component.Path())) << component.Path() << " is not in the package";
        EXPECT_EQ(LibraryKind(Entries[component.Path()]), platform) << component.Path();
    }
    EXPECT_EQ(platforms, expected);
    std::set<std::string> entries;
    for (const auto& entry : Entries) entries.insert(entry.first);
    EXPECT_EQ(entries, names) << "files the manifest does not name";
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

TEST_F(PackageTest, EveryUnpackedLibraryPrintsALabelThroughItsHost) {
    const fs::path document = FDir / "label.xml";
    std::ofstream(document) << kDocument;
    ::setenv("QUORVANE_LOG_DIR", (FDir / "log").c_str(), 1);
    for (const TComponent& component : Components) {
        SCOPED_TRACE(component.Os() + " " + component.Arch());
        PrinterOptions options;
        options.listen = "127.0.0.1:0";
        options.keepLabels = true;
        PrinterServer printer(options);
        printer.Start();

        const TCommandRun run = RunCommand(
            HostCommand(component) + " print " + document.string() +
            " --set _2DBarcodeAsPicture=true --set InterfaceType=2 --set IPAddress=127.0.0.1 --set IPPort=" +
            std::to_string(printer.Port()));
        ASSERT_EQ(run.Status, 0) << run.Output;
        ASSERT_TRUE(printer.WaitForJobs(1, 30s));

        for (const JournalEntry& e : printer.Journal())
            EXPECT_NE(e.kind, "problem") << e.text << ": " << e.detail;
        const std::vector<RenderedLabel> labels = printer.Labels();
        ASSERT_EQ(labels.size(), 1u);
        EXPECT_EQ(Decode(labels[0].image, "QRCode"), "quorvane package 4607001234567");
        // The text line above the code has ink too: the library found its fonts.
        const int codeTop = 10 * 8;  // 203 dpi: 8 dots per millimetre
        EXPECT_GT(CountBlack(labels[0].image, {0, 0, labels[0].image.width, codeTop}), 0);
    }
}

}  // namespace
}  // namespace quorvane::test
