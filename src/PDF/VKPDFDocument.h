#pragma once

// The engine's handle on one PDF file: opens and unlocks it with the errors
// the viewer shows, counts its pages and lists its outline for the outline
// table. Made on the viewer's loading thread, then read from any thread.

#include "PDF/VKPDFPageNumbers.h"
#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/PDF/Document.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* VKPDFErrorDomain = "VKPDFErrorDomain";
enum : int64_t {
    VKPDFErrorPasswordRequired = 1,
    VKPDFErrorPasswordIncorrect = 2,
};
// The user-info key of the buttons an error offers.
inline constexpr const char* VKLocalizedRecoveryOptionsErrorKey = "NSLocalizedRecoveryOptions";

// One outline item: "Depth" (0 at the top), "Title", "Color" (red, green,
// blue, alpha as an array of numbers), "Italic", "Bold" and "Target" (a
// VKPDFDestination), each present only when the item gives it. Shared and
// mutable: the outline table keeps its own keys in the entries.
using VKPDFOutlineEntry = std::shared_ptr<core::Value::Dictionary>;
using VKPDFOutlineList = std::vector<VKPDFOutlineEntry>;

// Where a page lies: its crop box, its turn (0, 90, 180 or 270 clockwise)
// and the crop box as shown (sides exchanged when turned a quarter).
struct VKPDFPageGeometry {
    gfx::Rect cropBox;
    int angle = 0;
    gfx::Rect rotatedBox;
};

class VKPDFDocument : public core::Object {
public:
    // The document at `path`, opened with `password` when it needs one.
    // Fails with the Cocoa domain's 256 ("Cannot open": unreadable file;
    // "Cannot read": bytes the parser cannot take) or 259 ("Unknown
    // format", also for a page tree that holds no page), or
    // VKPDFErrorDomain's 1 (a password is needed and none was given) or 2
    // (the password does not open it).
    static std::shared_ptr<VKPDFDocument> initWithPath(const std::string& path,
        const std::optional<std::string>& password = std::nullopt, core::Error* error = nullptr);
    // The same from bytes already read.
    static std::shared_ptr<VKPDFDocument> initWithData(core::Data data,
        const std::optional<std::string>& password = std::nullopt, core::Error* error = nullptr);

    // Closing drops the font decoders text extraction made for it.
    ~VKPDFDocument() override;

    const std::shared_ptr<pdf::Document>& documentRef() const { return m_documentRef; }
    // The page tree's count, until reading its pages proves it wrong; then
    // the pages found.
    uint32_t numPages() const { return uint32_t(m_documentRef->pageCount()); }
    // The page lookups every destination of this document shares.
    const std::shared_ptr<VKPDFPageNumbers>& pageNumbers() const { return m_pageNumbers; }

    // The geometry of page `index` (from 0), zero outside the document. The
    // first call reads every page once (a loading thread should make it);
    // later calls take no object lock, so the main thread may lay out and
    // draw pages without waiting for a parse.
    VKPDFPageGeometry pageGeometry(uint32_t index) const;
    // The page from that same reading, without a lock; nothing before the
    // geometry was read or outside the document.
    std::optional<pdf::Page> knownPage(int pageNumber) const;

    // Every outline item in document order, each parent before its
    // children; nothing when the document has no outline (asked again on
    // the next call). Built once, under a lock.
    std::shared_ptr<const VKPDFOutlineList> outlineList() const;
    // Appends the entries of the items from `item` on, depth first.
    void addOutlineSubtree(const pdf::Dictionary& item, VKPDFOutlineList& list, int depth) const;

    // Makes the step that hands the bytes to the parser fail, for tests of
    // the error it reports.
    static void setDataProviderFailsForTesting(bool fails);

private:
    VKPDFDocument(std::shared_ptr<pdf::Document> documentRef);
    void addOutlineSubtree(const pdf::Dictionary& item, VKPDFOutlineList& list, int depth, const pdf::Handle& root) const;

    const std::shared_ptr<pdf::Document> m_documentRef;
    const std::shared_ptr<VKPDFPageNumbers> m_pageNumbers;
    mutable std::once_flag m_geometryOnce;
    mutable std::vector<VKPDFPageGeometry> m_geometry;
    mutable std::vector<pdf::Page> m_knownPages;
    mutable std::atomic<bool> m_geometryRead { false };
    mutable std::mutex m_outlineMutex;
    mutable std::shared_ptr<const VKPDFOutlineList> m_outlineList;
};
