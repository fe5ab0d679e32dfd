#pragma once

// Indexes a document's outline by page, so that any page can show the chain
// of outline titles of the section it belongs to: each page where an item
// leads gets that item's chain (its title linked to its ancestors' titles).
// Two items on one page: the less deeply nested keeps the page (the earlier
// on a tie) and the later one's chain is carried to the next page, entered
// there once an item for a higher page appears or the outline ends.
// Built once at opening, then only read.

#include "Kit/VKStringChain.h"
#include "PDF/VKPDFDestination.h"
#include "PDF/VKPDFPageNumbers.h"
#include "Platform/Core/Object.h"
#include "Platform/PDF/Document.h"

#include <cstdint>
#include <map>
#include <memory>

class VKPDFOutlineScanner : public core::Object {
public:
    static std::shared_ptr<VKPDFOutlineScanner> initWithDocumentRef(std::shared_ptr<pdf::Document> documentRef);

    // The chain of the page, or of the nearest indexed page before it;
    // nothing before the first indexed page.
    std::shared_ptr<VKStringChain> outlinesForPageNumber(uint32_t pageNumber) const;
    // The deepest outline level with a destination; top-level items are 1.
    unsigned maxDepth() const { return m_maxDepth; }

    // An outline item's target: its /Dest, else the /D of a GoTo action in
    // /A; nothing without either.
    static std::shared_ptr<VKPDFDestination> destinationFromOutlineDictionaryRef(
        const std::shared_ptr<pdf::Document>& documentRef, const pdf::Dictionary& item,
        const std::shared_ptr<VKPDFPageNumbers>& pageNumbers = nullptr);

private:
    // A chain and its number of links, known without walking it.
    struct Chain {
        std::shared_ptr<VKStringChain> chain;
        size_t length = 0;
    };

    explicit VKPDFOutlineScanner(std::shared_ptr<pdf::Document> documentRef);
    void addOutlineSubtree(const pdf::Dictionary& item, Chain parentChain, unsigned depth);
    void carryIfNecessaryForPageNumber(uint32_t pageNumber);

    const std::shared_ptr<pdf::Document> m_documentRef;
    const std::shared_ptr<VKPDFPageNumbers> m_pageNumbers;
    // Ordered, so the page before a number is found by a search.
    std::map<uint32_t, Chain> m_index;
    Chain m_carriedChain;
    uint32_t m_carriedPageNumber = 0;
    unsigned m_maxDepth = 0;
};
