#pragma once

// Inside the PDF layer only: what the renderer is handed so that one of its
// documents sees a few pages of a long document. The renderer reads its
// page tree up to the page it is asked for and keeps every page it passed
// for as long as its document lives, which near the end of a long document
// is most of the tree, in each of its documents. An incremental update
// appended to the document's bytes (never written to the file) gives it a
// catalog whose page tree holds only the window's pages, each rewritten
// with the attributes it inherited, so that it reads and keeps those alone.

#include <qpdf/QPDF.hh>

#include <string>
#include <string_view>

namespace pdf::detail {

class PageTree;

// The bytes to append to `bytes` (the file `qpdf` read, whose pages
// `pages` finds) so that the document's pages are `first`, `first` + 1, …
// up to `count` of them (fewer at the end); `count` is set to the window's
// size. Empty when the document cannot be shown so: encrypted, warned
// about (repaired), without the offset of its cross-reference data, or with
// a page that is no object of its own. Under the file's object lock.
std::string rendererWindow(QPDF& qpdf, PageTree& pages, std::string_view bytes, int first, int& count);

} // namespace pdf::detail
