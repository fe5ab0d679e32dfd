#pragma once

// Page thumbnails for scrubbing, from a disk cache under the metadata
// directory ("VKPDFThumbnails/<identifier>/<page>.png", pages from 1). A
// miss queues one render on the shared image queue and answers nothing;
// the render's notification follows on the main thread. All renders of one
// document are equal, so a new request replaces the one still waiting and
// fast scrubbing renders only the page asked last. A page that failed is
// remembered for the run (identifier, page and length), so a page that
// cannot be drawn costs one attempt and one notification, not one per ask.

#include "Platform/Graphics/Image.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>

class VKPDFDocument;

inline constexpr const char* VKPDFDocumentThumbnailImageDidUpdate = "VKPDFDocumentThumbnailImageDidUpdate";
inline constexpr const char* VKPDFDocumentPageNumberKey = "VKPDFDocumentPageNumberKey";

class VKPDFPageThumbnailManager {
public:
    static constexpr const char* DirectoryName = "VKPDFThumbnails";

    // The one manager; its folder follows the application's current
    // metadata directory.
    static VKPDFPageThumbnailManager& sharedManager();

    // The cached thumbnail whose longer side is at least `length` pixels;
    // otherwise nothing, and a render is queued. An identifier that could
    // leave the folder (empty, "/", "..", NUL) gets nothing and queues
    // nothing.
    std::shared_ptr<gfx::Image> thumbnailForDocument(const std::shared_ptr<VKPDFDocument>& document, uint32_t pageNumber,
        const std::string& identifier, float length);
    // The file of a page's thumbnail, its folder made; empty for an
    // identifier refused as above.
    std::string thumbnailPathForDocument(uint32_t pageNumber, const std::string& identifier);
    std::string thumbnailsPath() const;
    // Removes the whole folder.
    void zapThumbnails();

    static bool isSafeIdentifier(const std::string& identifier);

    // The render's failures, remembered for the run.
    void noteFailure(const std::string& identifier, uint32_t pageNumber, float length);
    bool hasFailed(const std::string& identifier, uint32_t pageNumber, float length) const;
    // Forgets the failures (tests).
    void resetForTesting();

private:
    mutable std::mutex m_mutex;
    std::set<std::tuple<std::string, uint32_t, float>> m_failures;
};
