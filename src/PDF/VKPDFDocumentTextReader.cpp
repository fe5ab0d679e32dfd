#include "PDF/VKPDFDocumentTextReader.h"

#include "PDF/VKPDFFontInfo.h"

VKPDFDocumentTextReader::VKPDFDocumentTextReader(std::shared_ptr<pdf::Document> document)
    : m_source(std::move(document))
{
}

VKPDFDocumentTextReader::~VKPDFDocumentTextReader()
{
    release();
}

void VKPDFDocumentTextReader::release()
{
    if (!m_current)
        return;
    uint64_t serial = m_current->serial();
    m_current.reset();
    VKPDFFontInfo::removeFontInfosForDocument(serial);
}

std::shared_ptr<VKPDFPageTextScanner> VKPDFDocumentTextReader::scannerForPage(int pageNumber)
{
    if (!m_current || m_pagesRead >= kPagesPerDocument) {
        // The next document goes on from where this one's pages stand.
        const pdf::Document* from = m_current ? m_current.get() : m_source.get();
        auto next = from ? from->reopened() : nullptr;
        release();
        m_pagesRead = 0;
        m_current = std::move(next);
    }
    ++m_pagesRead;
    // A document that no longer opens is read through the source itself.
    const pdf::Document* document = m_current ? m_current.get() : m_source.get();
    auto scanner = VKPDFPageTextScanner::create(document ? document->page(pageNumber) : pdf::Page());
    // Read now, while its document's decoders are the ones kept.
    scanner->text();
    return scanner;
}
