#pragma once

// Reads the pages of a document for their text one after another, as
// indexing and whole-document extraction do, on a document of its own that
// it opens again every 128 pages. qpdf keeps every object a document has
// read for as long as the document lives (with every other object of the
// object streams they came from), so a long document read through one
// grows by every page; read through this, it costs what 128 pages do.
// The decoders made for the documents it lets go are dropped with them.
// One thread at a time.

#include "PDF/VKPDFPageTextScanner.h"
#include "Platform/PDF/Document.h"

#include <memory>

class VKPDFDocumentTextReader {
public:
    static constexpr int kPagesPerDocument = 128;

    explicit VKPDFDocumentTextReader(std::shared_ptr<pdf::Document> document);
    ~VKPDFDocumentTextReader();
    VKPDFDocumentTextReader(const VKPDFDocumentTextReader&) = delete;
    VKPDFDocumentTextReader& operator=(const VKPDFDocumentTextReader&) = delete;

    // The scanner of a page (from 1), its text read; an empty page outside
    // the document.
    std::shared_ptr<VKPDFPageTextScanner> scannerForPage(int pageNumber);
    // Lets go of the document of its own, with its decoders (a memory
    // warning); the next page opens another.
    void release();

private:
    std::shared_ptr<pdf::Document> m_source;
    std::unique_ptr<pdf::Document> m_current;
    int m_pagesRead = 0;
};
