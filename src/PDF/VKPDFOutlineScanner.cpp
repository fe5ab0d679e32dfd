#include "PDF/VKPDFOutlineScanner.h"

#include "PDF/VKPDFOutlineWalk.h"

#include <limits>

VKPDFOutlineScanner::VKPDFOutlineScanner(std::shared_ptr<pdf::Document> documentRef)
    : m_documentRef(std::move(documentRef))
    , m_pageNumbers(VKPDFPageNumbers::create())
{
}

std::shared_ptr<VKPDFOutlineScanner> VKPDFOutlineScanner::initWithDocumentRef(std::shared_ptr<pdf::Document> documentRef)
{
    auto scanner = std::shared_ptr<VKPDFOutlineScanner>(new VKPDFOutlineScanner(std::move(documentRef)));
    pdf::Dictionary outlines;
    // The root is walked as an item without a destination.
    if (scanner->m_documentRef && scanner->m_documentRef->catalog().dictionary("Outlines", outlines))
        scanner->addOutlineSubtree(outlines, Chain(), 0);
    scanner->carryIfNecessaryForPageNumber(std::numeric_limits<uint32_t>::max());
    return scanner;
}

std::shared_ptr<VKPDFDestination> VKPDFOutlineScanner::destinationFromOutlineDictionaryRef(
    const std::shared_ptr<pdf::Document>& documentRef, const pdf::Dictionary& item,
    const std::shared_ptr<VKPDFPageNumbers>& pageNumbers)
{
    pdf::Object destination;
    pdf::Dictionary action;
    std::string kind;
    if (item.object("Dest", destination)
        || (item.dictionary("A", action) && action.name("S", kind) && kind == "GoTo" && action.object("D", destination)))
        return VKPDFDestination::destinationWithDocumentRef(documentRef, destination, pageNumbers);
    return nullptr;
}

void VKPDFOutlineScanner::carryIfNecessaryForPageNumber(uint32_t pageNumber)
{
    if (m_carriedPageNumber != 0 && m_carriedPageNumber < pageNumber) {
        m_index[m_carriedPageNumber] = std::move(m_carriedChain);
        m_carriedChain = Chain();
        m_carriedPageNumber = 0;
    }
}

void VKPDFOutlineScanner::addOutlineSubtree(const pdf::Dictionary& item, Chain parentChain, unsigned depth)
{
    VKPDFWalkOutline(item, int(depth), std::move(parentChain), [&](const pdf::Dictionary& current, int level, const Chain& parent) {
        auto destination = destinationFromOutlineDictionaryRef(m_documentRef, current, m_pageNumbers);
        // A destination that leads nowhere indexes nothing; neither does an
        // untitled item, whose children start their chains anew.
        if (!destination || destination->isInvalid())
            return Chain();
        m_maxDepth = std::max(m_maxDepth, unsigned(level));
        uint32_t page = uint32_t(destination->pageNumber());
        carryIfNecessaryForPageNumber(page);
        pdf::String title;
        if (!current.string("Title", title))
            return Chain();
        Chain chain { VKStringChain::stringWithString(title.text(), parent.chain), parent.length + 1 };
        auto existing = m_index.find(page);
        if (existing == m_index.end()) {
            m_index.emplace(page, chain);
        } else {
            m_carriedPageNumber = page + 1;
            m_carriedChain = chain;
            if (chain.length < existing->second.length)
                existing->second = chain;
        }
        return chain;
    });
}

std::shared_ptr<VKStringChain> VKPDFOutlineScanner::outlinesForPageNumber(uint32_t pageNumber) const
{
    auto after = m_index.upper_bound(pageNumber);
    if (after == m_index.begin())
        return nullptr;
    return std::prev(after)->second.chain;
}
