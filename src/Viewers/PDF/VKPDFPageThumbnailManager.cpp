#include "Viewers/PDF/VKPDFPageThumbnailManager.h"

#include "Shell/VKApplication.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Viewers/PDF/VKPDFPageThumbnailRenderOperation.h"

#include <algorithm>
#include <fmt/format.h>

VKPDFPageThumbnailManager& VKPDFPageThumbnailManager::sharedManager()
{
    static VKPDFPageThumbnailManager* manager = new VKPDFPageThumbnailManager();
    return *manager;
}

bool VKPDFPageThumbnailManager::isSafeIdentifier(const std::string& identifier)
{
    return !identifier.empty() && identifier != "." && identifier.find('/') == std::string::npos
        && identifier.find("..") == std::string::npos && identifier.find('\0') == std::string::npos;
}

std::string VKPDFPageThumbnailManager::thumbnailsPath() const
{
    auto application = VKApplication::sharedApplication();
    if (!application || application->metadataDirectory().empty())
        return {};
    return core::path::appendingPathComponent(application->metadataDirectory(), DirectoryName);
}

std::string VKPDFPageThumbnailManager::thumbnailPathForDocument(uint32_t pageNumber, const std::string& identifier)
{
    std::string root = thumbnailsPath();
    if (root.empty() || !isSafeIdentifier(identifier))
        return {};
    std::string folder = core::path::appendingPathComponent(root, identifier);
    core::fs::createDirectory(folder, true);
    return core::path::appendingPathComponent(folder, fmt::format("{}.png", pageNumber));
}

std::shared_ptr<gfx::Image> VKPDFPageThumbnailManager::thumbnailForDocument(const std::shared_ptr<VKPDFDocument>& document,
    uint32_t pageNumber, const std::string& identifier, float length)
{
    if (!isSafeIdentifier(identifier)) {
        core::log("Warning, no thumbnails for the document identifier \"{}\"", identifier);
        return nullptr;
    }
    std::string path = thumbnailPathForDocument(pageNumber, identifier);
    if (path.empty() || !document)
        return nullptr;
    if (core::fs::exists(path)) {
        auto image = gfx::Image::imageWithContentsOfFile(path);
        if (image && float(std::max(image->pixelWidth(), image->pixelHeight())) >= length)
            return image;
    }
    if (hasFailed(identifier, pageNumber, length))
        return nullptr;
    if (auto queue = VKImageOperationQueue::sharedQueue())
        queue->addOperation(VKPDFPageThumbnailRenderOperation::initWithDocument(document, pageNumber, identifier, length));
    return nullptr;
}

void VKPDFPageThumbnailManager::zapThumbnails()
{
    std::string root = thumbnailsPath();
    if (!root.empty() && core::fs::exists(root))
        core::fs::removeItem(root);
}

void VKPDFPageThumbnailManager::noteFailure(const std::string& identifier, uint32_t pageNumber, float length)
{
    std::lock_guard lock(m_mutex);
    m_failures.emplace(identifier, pageNumber, length);
}

bool VKPDFPageThumbnailManager::hasFailed(const std::string& identifier, uint32_t pageNumber, float length) const
{
    std::lock_guard lock(m_mutex);
    return m_failures.count({ identifier, pageNumber, length }) > 0;
}

void VKPDFPageThumbnailManager::resetForTesting()
{
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}
