#pragma once

// Page numbers of page dictionaries, as the page tree's counts give them:
// 1 plus every page before the page, counted up its /Parent chain from the
// /Count of the kids before it (1 for a kid without one). Destinations ask
// it for their pages; one instance shared by the destinations of a document
// walks each page-tree node once, so resolving every outline item or link
// costs time linear in the tree, not in items × kids.

#include "Platform/PDF/Dictionary.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

class VKPDFPageNumbers {
public:
    static std::shared_ptr<VKPDFPageNumbers> create();

    // The page's number, or 0 when the tree cannot place it: a /Parent
    // chain that loops or is deeper than 64 levels, a node missing from its
    // parent's /Kids. The number is not checked against the page count.
    int64_t pageNumberForPage(const pdf::Dictionary& page);

private:
    using Offsets = std::unordered_map<pdf::Identity, int64_t>;
    const Offsets& offsetsOfKids(const pdf::Dictionary& node);

    std::mutex m_mutex;
    std::unordered_map<pdf::Identity, int64_t> m_pages;
    std::unordered_map<pdf::Identity, Offsets> m_nodes;
};
