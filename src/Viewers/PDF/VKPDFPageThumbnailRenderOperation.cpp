#include "Viewers/PDF/VKPDFPageThumbnailRenderOperation.h"

#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Value.h"
#include "Viewers/PDF/VKPDFPageThumbnailManager.h"

#include <mutex>

namespace {

std::mutex hookMutex;
std::function<void(const VKPDFPageThumbnailRenderOperation&)>& runHook()
{
    static std::function<void(const VKPDFPageThumbnailRenderOperation&)> hook;
    return hook;
}

} // namespace

std::shared_ptr<VKPDFPageThumbnailRenderOperation> VKPDFPageThumbnailRenderOperation::initWithDocument(
    std::shared_ptr<VKPDFDocument> document, uint32_t pageNumber, std::string identifier, float length)
{
    return std::make_shared<VKPDFPageThumbnailRenderOperation>(std::move(document), pageNumber, std::move(identifier), length);
}

VKPDFPageThumbnailRenderOperation::VKPDFPageThumbnailRenderOperation(std::shared_ptr<VKPDFDocument> document,
    uint32_t pageNumber, std::string identifier, float length)
    : m_document(std::move(document))
    , m_pageNumber(pageNumber)
    , m_identifier(std::move(identifier))
    , m_length(length)
{
}

void VKPDFPageThumbnailRenderOperation::setRunHookForTesting(
    std::function<void(const VKPDFPageThumbnailRenderOperation&)> hook)
{
    std::lock_guard lock(hookMutex);
    runHook() = std::move(hook);
}

void VKPDFPageThumbnailRenderOperation::run()
{
    {
        std::function<void(const VKPDFPageThumbnailRenderOperation&)> hook;
        {
            std::lock_guard lock(hookMutex);
            hook = runHook();
        }
        if (hook)
            hook(*this);
    }
    auto& manager = VKPDFPageThumbnailManager::sharedManager();
    bool written = false;
    if (m_document && m_pageNumber >= 1 && m_pageNumber <= m_document->numPages()) {
        auto page = VKPDFPage::pageWithDocument(m_document, int(m_pageNumber));
        if (auto bitmap = VKPDFPageCreateThumbnail(page->pageRef(), m_length, false)) {
            std::string path = manager.thumbnailPathForDocument(m_pageNumber, m_identifier);
            written = !path.empty() && bitmap->writePNG(path);
        }
    }
    if (!written)
        manager.noteFailure(m_identifier, m_pageNumber, m_length);
    core::Value::Dictionary info;
    info[VKPDFDocumentPageNumberKey] = core::Value(int64_t(m_pageNumber));
    core::NotificationCenter::defaultCenter().postOnMainThread(VKPDFDocumentThumbnailImageDidUpdate, m_document,
        core::Value(std::move(info)));
}

bool VKPDFPageThumbnailRenderOperation::isEqual(const core::Object& other) const
{
    auto* render = dynamic_cast<const VKPDFPageThumbnailRenderOperation*>(&other);
    return render && typeid(*render) == typeid(*this) && render->m_identifier == m_identifier;
}

size_t VKPDFPageThumbnailRenderOperation::hash() const
{
    return std::hash<std::string>()(m_identifier);
}
