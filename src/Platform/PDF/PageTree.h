#pragma once

// Inside the PDF layer only: the pages of an open document, found as they
// are asked for. Opening reads only the root node's /Count, so a long
// document opens without touching its pages (nor the object streams that
// hold them). A page is found by going down the tree with the kids'
// /Count values, from where the last page was found, so reading the pages
// in order, forwards or back, costs one step each; a few recent pages are
// remembered.
//
// Counts are trusted until they fail: a node that lacks its count, a kid
// whose count overstates its pages, pages after the last one counted, a
// loop, or a root count beyond what the file could hold makes the tree
// walked once, in full, and from then on the walk's pages and their number
// are the document's. The number of pages the document tells is settled the
// first time it is asked and never changes afterwards (a screen that laid
// out 5 pages must not lose two): the root's kids are checked against its
// count then, and a tree they contradict is walked, but a long document's
// pages are not read for it. A lie found deeper later leaves the settled
// number standing; pages past the real ones are empty. Every walk and
// descent enters a node at most once, so hostile trees cost linear time.

#include <qpdf/QPDFObjectHandle.hh>

class QPDF;

#include <array>
#include <cstddef>
#include <vector>

namespace pdf::detail {

class PageTree {
public:
    // Pages no deeper than this are found; a deeper tree is walked.
    static constexpr size_t kMaximumDepth = 256;

    // `root` is the catalog's /Pages; `fileBytes` the size of the file,
    // which bounds the count a file can honestly claim.
    void open(QPDFObjectHandle root, size_t fileBytes);

    // The pages the tree claims, until a walk settled their number: for
    // finding pages.
    int count() const { return m_count; }
    // The number of pages the document tells, the same every time.
    int settledCount();
    // Page `number` (from 1), or null when there is none.
    QPDFObjectHandle page(int number);
    // Whether the count has been checked by a full walk.
    bool isWalked() const { return m_walked; }

    // What the tree has learnt, by object numbers: its settled count, its
    // walk's pages and where its last search stands. A tree of another
    // document over the same bytes takes it up (`resume`), so a reader that
    // opens the document again every so many pages finds its next page in
    // a step instead of from the root's first kid.
    struct Progress {
        struct Mark {
            QPDFObjGen node;
            int index = 0, first = 1, rangeFirst = 1, rangeCount = 0;
        };
        int count = 0;
        int settledCount = -1;
        bool walked = false;
        std::vector<QPDFObjGen> pages;
        std::vector<Mark> path;
    };
    Progress progress() const;
    // Call right after `open` on a document of the same bytes as the tree
    // `progress` came from. What cannot be carried over by object number
    // (a page or node written inside its parent) is found again as usual.
    void resume(const Progress& progress, QPDF& qpdf);

private:
    struct Frame {
        QPDFObjectHandle kids;
        int size = 0;
        // The kid the search stands at and the number of its first page.
        int index = 0;
        int first = 1;
        // The pages under this node.
        int rangeFirst = 1;
        int rangeCount = 0;
        QPDFObjGen node;
    };

    bool locate(int number, QPDFObjectHandle& out);
    // Whether no page stands after the one the path leads to.
    bool nothingFollows() const;
    bool pushNode(QPDFObjectHandle node, int first, int count);
    void walk();
    // Whether the root's kids hold the pages its count claims.
    bool rootKidsAgree();

    QPDFObjectHandle m_root;
    int m_count = 0;
    int m_settledCount = -1;
    bool m_walked = false;
    std::vector<QPDFObjectHandle> m_pages;
    std::vector<Frame> m_path;

    static constexpr size_t kCacheSize = 32;
    struct Cached {
        int number = 0;
        QPDFObjectHandle page;
    };
    std::array<Cached, kCacheSize> m_cache;
    size_t m_nextCacheSlot = 0;
};

} // namespace pdf::detail
