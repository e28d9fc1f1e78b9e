#pragma once

#include "help/temp_directory.h"

#include <functional>
#include <string>
#include <string_view>

namespace quorvane {

// Renders the help archive embedded in the component (a ZIP of one markdown file, a style
// sheet and pictures) into an HTML page in a private folder and shows it in a window.
class TMarkdownRenderer {
public:
    // Shows the page file with the caption and returns when it is closed.
    using TPageViewer = std::function<void(const std::string& APagePath, const std::string& ACaption)>;

    // The default viewer: the help window (of the viewer program on Linux, of the calling
    // thread on Windows).
    static void ShowPage(const std::string& APagePath, const std::string& ACaption);

    // Whether the component carries a resource of that name (ignoring case); false for "".
    static bool SourceExist(const std::string& ASourceName);

    // Unpacks the resource, renders its markdown and shows the page; the private folder is
    // gone when this returns, also after a failure.
    static void Render(const std::string& ASourceName, const std::string& ACaption,
                       const TPageViewer& AViewer = ShowPage);

    // The text of the first markdown file of the folder (a name ending in "/"), decoded.
    static std::string MarkdownText(const std::string& AFolder);

    // Converts a markdown file into an HTML page linking ACss (its bare name; may be empty).
    static void ConvertToHtml(const std::string& ASource, const std::string& ADestination,
                              const std::string& ACss);

    // Creates the private folder; destroying the renderer deletes it.
    TMarkdownRenderer() = default;

    // Render's steps after the resource lookup: the archive's bytes to the shown page.
    void RenderArchive(std::string_view AArchive, const std::string& ACaption, const TPageViewer& AViewer);

    const std::string& TempDirectory() const { return FTempDirectory.Path(); }

private:
    TTempDirectory FTempDirectory;
};

// The page around converted HTML: a full document linking the style sheet, or the HTML
// alone when there is no style sheet.
std::string BuildHtmlPage(const std::string& AHtml, const std::string& ACssName);

// The id a heading's text gives its section, as GitHub makes it: lower case, spaces to "-",
// other punctuation dropped ("Лог драйвера" -> "лог-драйвера").
std::string HeadingId(const std::string& AText);

// Markdown bytes as UTF-8 text: a byte-order mark selects UTF-8, UTF-16 LE or UTF-16 BE and
// is dropped; without one the bytes are UTF-8 already.
std::string DecodeMarkdownText(const std::string& ABytes);

}  // namespace quorvane
