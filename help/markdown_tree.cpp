#include "help/markdown_tree.h"

#include <cmark-gfm-core-extensions.h>

#include <map>
#include <stdexcept>

#include "help/markdown_renderer.h"

namespace quorvane {

TMarkdownTree::TMarkdownTree(const std::string& AText) {
    cmark_gfm_core_extensions_ensure_registered();
    // Invalid UTF-8 becomes U+FFFD before parsing: the heading ids and the help window's texts
    // step through the text as UTF-8 and must never run past its end.
    FParser.reset(cmark_parser_new(CMARK_OPT_DEFAULT | CMARK_OPT_VALIDATE_UTF8));
    for (const char* name : {"table", "strikethrough", "autolink"}) {
        cmark_syntax_extension* extension = cmark_find_syntax_extension(name);
        if (extension == nullptr || !cmark_parser_attach_syntax_extension(FParser.get(), extension))
            throw std::runtime_error(std::string("Cannot use the markdown extension ") + name);
    }
    cmark_parser_feed(FParser.get(), AText.data(), AText.size());
    FDocument.reset(cmark_parser_finish(FParser.get()));
    if (!FDocument) throw std::runtime_error("Cannot convert the markdown text");
}

cmark_llist* TMarkdownTree::Extensions() const { return cmark_parser_get_syntax_extensions(FParser.get()); }

std::string NodeText(cmark_node* ANode) {
    std::string text;
    for (cmark_node* child = cmark_node_first_child(ANode); child != nullptr;
         child = cmark_node_next(child)) {
        const char* literal = cmark_node_get_literal(child);
        text += literal != nullptr ? literal : NodeText(child);
    }
    return text;
}

std::vector<std::string> HeadingIds(cmark_node* ADocument) {
    std::vector<std::string> ids;
    std::map<std::string, int> used;
    for (cmark_node* node = cmark_node_first_child(ADocument); node != nullptr;
         node = cmark_node_next(node)) {
        if (cmark_node_get_type(node) != CMARK_NODE_HEADING) continue;
        std::string id = HeadingId(NodeText(node));
        if (const int seen = used[id]++; seen > 0) id += "-" + std::to_string(seen);
        ids.push_back(id);
    }
    return ids;
}

}  // namespace quorvane
