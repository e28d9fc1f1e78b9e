// Markdown and the help archive -> the help renderer and the archive extraction. The private
// folders live inside a sandbox; after every input the sandbox must hold nothing but the empty
// parent of those folders: no entry may be written outside its folder, nothing may be left.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "help/markdown_renderer.h"

namespace fs = std::filesystem;

namespace {

fs::path Sandbox() {
    static const fs::path sandbox =
        fs::temp_directory_path() / ("quorvane-fuzz-help-" + std::to_string(getpid()));
    return sandbox;
}

void CheckSandbox() {
    std::size_t entries = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Sandbox())) {
        (void)entry;
        ++entries;
    }
    // Only the folder TMPDIR points at.
    if (entries != 1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fs::remove_all(Sandbox());
    fs::create_directories(Sandbox() / "tmp");
    setenv("TMPDIR", (Sandbox() / "tmp").c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(Sandbox(), ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
    using namespace quorvane;
    if (ASize < 1) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(AData + 1), ASize - 1);
    try {
        TMarkdownRenderer renderer;
        if (AData[0] & 1) {
            // Markdown text with a byte-order mark or none, converted to a page.
            const std::string source = renderer.TempDirectory() + "help.md";
            std::ofstream(source, std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            TMarkdownRenderer::ConvertToHtml(source, renderer.TempDirectory() + "help.html",
                                             AData[0] & 2 ? "style.css" : "");
        } else {
            const std::string folder = renderer.TempDirectory();
            renderer.RenderArchive(bytes, "Help", [&](const std::string& APage, const std::string&) {
                if (APage.compare(0, folder.size(), folder) != 0 || !fs::is_regular_file(APage))
                    __builtin_trap();
            });
        }
    } catch (const std::exception&) {
        // A broken archive or page ends in a clear error.
    }
    CheckSandbox();
    return 0;
}
