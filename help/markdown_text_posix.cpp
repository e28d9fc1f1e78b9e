#include "help/markdown_renderer.h"

#include <glib.h>

#include <memory>
#include <stdexcept>

namespace quorvane {

namespace {

struct TGFree {
    void operator()(void* p) const { g_free(p); }
};

}  // namespace

std::string HeadingId(const std::string& AText) {
    std::unique_ptr<gchar, TGFree> lower(g_utf8_strdown(AText.c_str(), -1));
    std::string id;
    for (const gchar* p = lower.get(); p != nullptr && *p != '\0'; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (c == ' ') {
            id += '-';
        } else if (c == '-' || c == '_' || g_unichar_isalnum(c)) {
            id.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
        }
    }
    return id;
}

std::string DecodeMarkdownText(const std::string& ABytes) {
    const char* from = nullptr;
    std::size_t skip = 0;
    if (ABytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        skip = 3;
    } else if (ABytes.rfind("\xFF\xFE", 0) == 0) {
        from = "UTF-16LE";
        skip = 2;
    } else if (ABytes.rfind("\xFE\xFF", 0) == 0) {
        from = "UTF-16BE";
        skip = 2;
    }
    if (from == nullptr) return ABytes.substr(skip);
    GError* raw = nullptr;
    gsize written = 0;
    std::unique_ptr<gchar, TGFree> text(g_convert(ABytes.data() + skip,
                                                  static_cast<gssize>(ABytes.size() - skip), "UTF-8", from,
                                                  nullptr, &written, &raw));
    if (!text) {
        const std::string message = raw != nullptr ? raw->message : "";
        if (raw != nullptr) g_error_free(raw);
        throw std::runtime_error("Cannot read the markdown text: " + message);
    }
    return std::string(text.get(), written);
}

}  // namespace quorvane
