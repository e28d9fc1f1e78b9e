#include "help/markdown_renderer.h"

#include "help/markdown_tree.h"
#include "resources/embedded_resource.h"
#include "text/ascii_text.h"

#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace quorvane {

namespace fs = std::filesystem;

namespace {

struct TZipDiscard {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct TZipFileClose {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
struct TFree {
    void operator()(void* p) const { std::free(p); }
};

// Paths are UTF-8 text; std::filesystem takes narrow text in the ANSI code page on Windows,
// where the temporary folder lies under the user's (often Cyrillic) name.
fs::path PathOf(const std::string& AUtf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(AUtf8.data()), AUtf8.size()));
}

std::string Utf8Of(const fs::path& APath) {
    const std::u8string text = APath.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::string ReadFile(const std::string& APath) {
    std::ifstream in(PathOf(APath), std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read " + APath);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& APath, std::string_view ABytes) {
    std::ofstream out(PathOf(APath), std::ios::binary | std::ios::trunc);
    out.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
    out.close();
    if (!out) throw std::runtime_error("Cannot write " + APath);
}

// An entry that would land outside the folder: absolute, a drive, or a ".." step.
bool IsUnsafeEntryName(std::string AName) {
    std::replace(AName.begin(), AName.end(), '\\', '/');
    if (AName.empty() || AName.front() == '/') return true;
    if (AName.size() >= 2 && AName[1] == ':') return true;
    std::size_t start = 0;
    while (start <= AName.size()) {
        std::size_t end = AName.find('/', start);
        if (end == std::string::npos) end = AName.size();
        if (AName.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

// Every entry is checked before anything is written, so a refused archive leaves nothing.
void ExtractArchive(const std::string& AZipPath, const std::string& AFolder) {
    int error = 0;
    std::unique_ptr<zip_t, TZipDiscard> archive(zip_open(AZipPath.c_str(), ZIP_RDONLY, &error));
    if (!archive) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, error);
        const std::string text = "Cannot open the help archive: " + std::string(zip_error_strerror(&ze));
        zip_error_fini(&ze);
        throw std::runtime_error(text);
    }
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
        if (name == nullptr || IsUnsafeEntryName(name))
            throw std::runtime_error("Invalid path in the help archive: " + std::string(name ? name : ""));
    }
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        std::string name = zip_get_name(archive.get(), index, 0);
        std::replace(name.begin(), name.end(), '\\', '/');
        const fs::path target = PathOf(AFolder) / PathOf(name);
        if (name.back() == '/') {
            fs::create_directories(target);
            continue;
        }
        fs::create_directories(target.parent_path());
        std::unique_ptr<zip_file_t, TZipFileClose> entry(zip_fopen_index(archive.get(), index, 0));
        if (!entry)
            throw std::runtime_error("Cannot read " + name +
                                     " from the help archive: " + zip_strerror(archive.get()));
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        char buffer[16384];
        zip_int64_t n;
        while ((n = zip_fread(entry.get(), buffer, sizeof buffer)) > 0)
            out.write(buffer, static_cast<std::streamsize>(n));
        out.close();
        if (n < 0 || !out) throw std::runtime_error("Cannot unpack " + name + " from the help archive");
    }
}

bool HasExtension(const fs::path& APath, std::string_view AExtension) {
    return EqualsIgnoringAsciiCase(Utf8Of(APath.extension()), AExtension);
}

// The first file of the folder (by name, for a stable choice) with that extension; "" if none.
std::string FindFirstFile(const std::string& AFolder, std::string_view AExtension) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(PathOf(AFolder)))
        if (entry.is_regular_file() && HasExtension(entry.path(), AExtension))
            names.push_back(Utf8Of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

// Gives each top-level <hN> of the rendered HTML its id. Safe mode escapes raw HTML, so every
// "<h" followed by a digit and ">" at a line start is a heading.
std::string AddHeadingIds(const std::string& AHtml, const std::vector<std::string>& AIds) {
    std::string html;
    std::size_t next = 0;
    std::size_t at = 0;
    while (next < AIds.size()) {
        std::size_t found = AHtml.find("<h", at);
        if (found == std::string::npos) break;
        const bool heading = (found == 0 || AHtml[found - 1] == '\n') && found + 3 < AHtml.size() &&
                             AHtml[found + 2] >= '1' && AHtml[found + 2] <= '6' && AHtml[found + 3] == '>';
        html.append(AHtml, at, found + 3 - at);
        if (heading) html += " id=\"" + AIds[next++] + "\"";
        at = found + 3;
    }
    html.append(AHtml, at, std::string::npos);
    return html;
}

std::string MarkdownToHtml(const std::string& AText) {
    const TMarkdownTree tree(AText);
    // Default options: raw HTML and dangerous links are left out (safe mode).
    std::unique_ptr<char, TFree> html(cmark_render_html(tree.Document(), CMARK_OPT_DEFAULT, tree.Extensions()));
    if (!html) throw std::runtime_error("Cannot convert the markdown text");
    return AddHeadingIds(html.get(), HeadingIds(tree.Document()));
}

void WritePage(const std::string& APath, const std::string& APage) {
    std::error_code ignored;
    fs::remove(PathOf(APath), ignored);  // created anew
    WriteFile(APath, "\xEF\xBB\xBF" + APage);
}

}  // namespace

std::string BuildHtmlPage(const std::string& AHtml, const std::string& ACssName) {
    if (ACssName.empty()) return AHtml;
    return "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<link href=\"" + ACssName +
           "\" rel=\"stylesheet\">\r\n</head>\r\n<body>\r\n" + AHtml + "\r\n</body>\r\n</html>";
}

bool TMarkdownRenderer::SourceExist(const std::string& ASourceName) {
    return !ASourceName.empty() && FindEmbeddedResource(ASourceName) != nullptr;
}

void TMarkdownRenderer::Render(const std::string& ASourceName, const std::string& ACaption,
                               const TPageViewer& AViewer) {
    if (!SourceExist(ASourceName)) throw std::runtime_error("File not found: " + ASourceName);
    const EmbeddedResource* resource = FindEmbeddedResource(ASourceName);
    TMarkdownRenderer renderer;
    renderer.RenderArchive(std::string_view(reinterpret_cast<const char*>(resource->data), resource->size),
                           ACaption, AViewer);
}

void TMarkdownRenderer::RenderArchive(std::string_view AArchive, const std::string& ACaption,
                                      const TPageViewer& AViewer) {
    const std::string folder = TempDirectory();
    WriteFile(folder + "md.zip", AArchive);
    ExtractArchive(folder + "md.zip", folder);

    const std::string text = MarkdownText(folder);
    const std::string css = FindFirstFile(folder, ".css");

    const std::string page = folder + "md.html";
    WritePage(page, BuildHtmlPage(MarkdownToHtml(text), css));
    AViewer(page, ACaption);
}

std::string TMarkdownRenderer::MarkdownText(const std::string& AFolder) {
    const std::string markdown = FindFirstFile(AFolder, ".md");
    if (markdown.empty()) throw std::runtime_error("Mardown file not found");
    return DecodeMarkdownText(ReadFile(AFolder + markdown));
}

void TMarkdownRenderer::ConvertToHtml(const std::string& ASource, const std::string& ADestination,
                                      const std::string& ACss) {
    if (!fs::exists(PathOf(ASource))) throw std::runtime_error("File not found: " + ASource);
    if (!ACss.empty() && !fs::exists(PathOf(ACss))) throw std::runtime_error("File not found: " + ACss);
    const std::string css = ACss.empty() ? std::string() : Utf8Of(PathOf(ACss).filename());
    WritePage(ADestination, BuildHtmlPage(MarkdownToHtml(DecodeMarkdownText(ReadFile(ASource))), css));
}

}  // namespace quorvane
