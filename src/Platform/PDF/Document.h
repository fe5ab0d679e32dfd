#pragma once

// An open PDF document, parsed from bytes it keeps (a file mapping is never
// copied). Objects and pages are read on any thread; see Handle.

#include "Platform/Core/Data.h"
#include "Platform/PDF/Dictionary.h"
#include "Platform/PDF/Page.h"

#include <memory>
#include <string_view>

namespace pdf {

class Document {
public:
    enum class Status {
        Opened,
        // Encrypted and the empty password does not open it: unlock() first.
        Locked,
        NotPDF,
    };

    // The document for Opened and Locked, nothing for NotPDF.
    static std::shared_ptr<Document> open(core::Data bytes, Status* status = nullptr);
    ~Document();

    // Whether the file has an Encrypt dictionary, even one the empty
    // password opens.
    bool isEncrypted() const;
    bool isLocked() const;
    // Opens a locked document with a password given as raw bytes (the user
    // or the owner password). False leaves it locked. An open document
    // answers true whatever the bytes.
    bool unlock(std::string_view password);

    // 0 while locked. The number of pages a walk of the page tree finds,
    // settled the first time it is asked (see PageTree.h).
    int pageCount() const;
    // Pages count from 1; any other number gives an empty page.
    Page page(int number) const;
    Dictionary catalog() const;
    // Unique in the process, never reused.
    uint64_t serial() const;
    // A document of its own over the same bytes, unlocked as this one is,
    // that knows the pages this one has found: it finds the page after the
    // last one found here in a step. Nothing while this one is locked.
    std::unique_ptr<Document> reopened() const;

    // qpdf keeps every object it has read (and every other object of the
    // object streams it read them from) for as long as its reading of the
    // file lives. A document reads its file anew once the heap has grown
    // during a reading by more than its first page cost (4 MiB at least),
    // or after 128 different pages asked for; the reading before goes when
    // the last handle or page object from it does. How many readings are
    // alive now, and how many were made.
    int readingsAliveForTesting() const;
    uint64_t readingsMade() const;
    // Where documents take the heap in use from, in bytes (the allocator's
    // figure when null); process-wide.
    static void setHeapMeasureForTesting(size_t (*measure)());

private:
    explicit Document(std::shared_ptr<detail::DocumentSource> state);
    static std::unique_ptr<Document> openOwned(core::Data bytes, Status* status);
    std::shared_ptr<detail::DocumentSource> m_state;
};

} // namespace pdf
