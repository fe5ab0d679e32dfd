#pragma once

// One thumbnail render on the image queue: draws the page fitted into a
// square of the requested length, writes it as a PNG through a temporary
// file, then announces it on the main thread. Equal to any other render of
// the same document identifier, so the queue keeps only the newest request
// of each document.

#include "Kit/VKOperation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class VKPDFDocument;

class VKPDFPageThumbnailRenderOperation : public VKOperation {
public:
    static std::shared_ptr<VKPDFPageThumbnailRenderOperation> initWithDocument(std::shared_ptr<VKPDFDocument> document,
        uint32_t pageNumber, std::string identifier, float length);
    VKPDFPageThumbnailRenderOperation(std::shared_ptr<VKPDFDocument> document, uint32_t pageNumber,
        std::string identifier, float length);

    const std::string& identifier() const { return m_identifier; }
    uint32_t pageNumber() const { return m_pageNumber; }
    float length() const { return m_length; }

    void run() override;
    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;

    // Runs at the start of every render, on the worker (tests hold the
    // queue busy there).
    static void setRunHookForTesting(std::function<void(const VKPDFPageThumbnailRenderOperation&)> hook);

private:
    const std::shared_ptr<VKPDFDocument> m_document;
    const uint32_t m_pageNumber;
    const std::string m_identifier;
    const float m_length;
};
