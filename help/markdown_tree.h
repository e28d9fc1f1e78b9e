#pragma once

#include <cmark-gfm.h>

#include <memory>
#include <string>
#include <vector>

namespace quorvane {

// A markdown text parsed by cmark-gfm with the tables, strikethrough and autolink extensions.
// The parser is kept because it owns the extensions the tree's nodes refer to.
class TMarkdownTree {
public:
    explicit TMarkdownTree(const std::string& AText);

    cmark_node* Document() const { return FDocument.get(); }
    cmark_llist* Extensions() const;

private:
    struct TParserFree {
        void operator()(cmark_parser* p) const { cmark_parser_free(p); }
    };
    struct TNodeFree {
        void operator()(cmark_node* n) const { cmark_node_free(n); }
    };
    std::unique_ptr<cmark_parser, TParserFree> FParser;
    std::unique_ptr<cmark_node, TNodeFree> FDocument;
};

// The plain text of a node and its children (what a heading shows).
std::string NodeText(cmark_node* ANode);

// The ids of the top-level headings in document order, a repeated id numbered ("-1", "-2").
std::vector<std::string> HeadingIds(cmark_node* ADocument);

}  // namespace quorvane
