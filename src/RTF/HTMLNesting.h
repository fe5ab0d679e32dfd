#pragma once

// Makes the converter's HTML well nested. The walk writes tags as RTF groups
// and keywords come, and RTF does not nest paragraphs, character attributes
// and table cells in one another: a paragraph opens before its cell, a group
// closes a font inside a paragraph opened after it, a table starts inside a
// bold group. This pass rewrites the body so that every element opens and
// closes inside its container, as the walk meant it:
//
// - an inline element open where a table starts closes before the table and
//   opens again after it (unless it ended inside);
// - what stands between a table's cells (a paragraph's opening, text, a
//   picture) moves into the next cell, or after the table when no cell
//   follows;
// - a cell, row or table opened where it cannot stand gets the row or table
//   around it; a missing cell or row end is written where the next one or
//   the table's end comes;
// - an end tag whose element is open behind a paragraph or cell ends it with
//   that container; one whose element is not open is dropped;
// - everything open is closed before the body ends.
//
// Text, comments and tags that need no change pass unchanged, so HTML that
// nests already comes out byte for byte. Elements nest at most 256 deep in
// the output: inline elements opened deeper are dropped with their ends.

#include <string>
#include <string_view>

namespace rtf {

class HTMLNesting {
public:
    static constexpr size_t kMaxDepth = 256;

    // The HTML with its body well nested; what precedes the body tag and
    // follows its end passes unchanged.
    static std::string balanced(std::string_view html);
};

} // namespace rtf
