#include "PDF/VKPDFSearchController.h"

#include "Kit/VKOperationQueue.h"
#include "PDF/VKContentIndexStore.h"
#include "PDF/VKFileSearchQueryOperation.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFDocumentTextReader.h"
#include "PDF/VKPDFPageTextScanner.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr const char* RestartTag = "startIndexingIfNecessary";
constexpr auto BatchDuration = std::chrono::milliseconds(250);
constexpr const char* PausedTag = "sendIndexingPausedDelegateMessage";

struct SharedQueue {
    std::mutex mutex;
    std::shared_ptr<VKOperationQueue> queue;
};

SharedQueue& sharedQueue()
{
    // Never destroyed: searches may still run while the process exits.
    static auto* shared = new SharedQueue;
    return *shared;
}

} // namespace

std::shared_ptr<VKOperationQueue> VKPDFSearchController::sharedSearchQueue()
{
    auto& shared = sharedQueue();
    std::lock_guard lock(shared.mutex);
    if (!shared.queue)
        shared.queue = VKOperationQueue::create(1);
    return shared.queue;
}

void VKPDFSearchController::resetSharedSearchQueue()
{
    std::shared_ptr<VKOperationQueue> old;
    {
        auto& shared = sharedQueue();
        std::lock_guard lock(shared.mutex);
        old = std::move(shared.queue);
    }
    if (old)
        old->setOperation(nullptr);
}

std::shared_ptr<VKPDFSearchController> VKPDFSearchController::initWithDocument(std::shared_ptr<VKPDFDocument> document,
    const std::string& pageIndexStorePath)
{
    auto store = VKPageIndexStore::storeForPath(pageIndexStorePath);
    if (!store)
        core::log("Warning, the search index {} is held by another kind of store", pageIndexStorePath);
    else if (store->clearIfOutdated())
        core::log("Warning, the search index {} was written by an older version; it is built again", pageIndexStorePath);
    std::shared_ptr<VKPDFSearchController> controller(new VKPDFSearchController(std::move(document), std::move(store)));
    std::weak_ptr<VKPDFSearchController> weak = controller;
    controller->m_memoryWarningObservation = core::NotificationCenter::defaultCenter().observe(
        core::DidReceiveMemoryWarningNotification, nullptr, [weak](const core::Notification&) {
            if (auto self = weak.lock())
                self->didReceiveMemoryWarning();
        });
    controller->startIndexingIfNecessary();
    return controller;
}

VKPDFSearchController::VKPDFSearchController(std::shared_ptr<VKPDFDocument> document, std::shared_ptr<VKPageIndexStore> store)
    : m_document(std::move(document))
    , m_store(std::move(store))
    , m_textReader(std::make_unique<VKPDFDocumentTextReader>(m_document ? m_document->documentRef() : nullptr))
{
}

VKPDFSearchController::~VKPDFSearchController() = default;

template<typename Message>
void VKPDFSearchController::withDelegate(Message message)
{
    if (auto delegate = m_delegate.lock())
        message(*delegate);
}

bool VKPDFSearchController::fullyIndexed() const
{
    return !m_store || m_store->pagesIndexed() >= m_document->numPages();
}

void VKPDFSearchController::startIndexingIfNecessary()
{
    if (fullyIndexed())
        return;
    m_shouldIndex = true;
    // Two starts may meet (creation and an immediate search, a restart and
    // a rebuild): only the one that finds no pass running makes a thread.
    if (m_indexing.exchange(true))
        return;
    auto self = std::static_pointer_cast<VKPDFSearchController>(shared_from_this());
    core::Thread::detach("VKPDFSearchController indexing", [self] { self->runIndexing(); });
}

void VKPDFSearchController::stopIndexing()
{
    m_shouldIndex = false;
    core::PerformKey key { m_performKey, RestartTag, {} };
    if (core::RunLoop::main().isCurrent())
        core::RunLoop::main().cancelPerforms(key);
    else
        core::performOnMainThread([key] { core::RunLoop::main().cancelPerforms(key); });
}

void VKPDFSearchController::runIndexing()
{
    for (;;) {
        ++m_passCount;
        bool failed = !indexPages();
        m_indexing = false;
        // A start that arrived while this pass was ending found it still
        // running and left the work to it.
        if (failed || !m_shouldIndex || fullyIndexed() || m_indexing.exchange(true))
            return;
    }
}

bool VKPDFSearchController::indexPages()
{
    if (!m_store)
        return false;
    std::weak_ptr<VKPDFSearchController> weak = std::static_pointer_cast<VKPDFSearchController>(shared_from_this());
    // Pages are stored in batches (PagesPerBatch): a sync costs more than
    // a page's scan. "i" is raised inside the batch, so a page counts only
    // once its batch is committed with it.
    uint32_t batchFirst = 0;
    auto batchStart = std::chrono::steady_clock::now();
    auto commit = [&](uint32_t last) {
        if (!batchFirst)
            return true;
        uint32_t first = std::exchange(batchFirst, 0);
        if (m_store->commitBatch())
            return true;
        if (!m_writeFailureLogged.exchange(true))
            core::log("Warning, cannot store pages {} to {} in the search index {}", first, last, m_store->path());
        return false;
    };
    uint32_t page = m_store->pagesIndexed() + 1;
    // The count is asked again at each page: a page tree whose count lied
    // is walked when its pages run out, and the walk's count holds.
    for (; page <= m_document->numPages(); ++page) {
        if (!m_shouldIndex)
            break;
        if (!batchFirst && m_store->beginBatch()) {
            batchFirst = page;
            batchStart = std::chrono::steady_clock::now();
        }
        bool stored = false;
        try {
            auto scanner = scannerForPageNumber(page);
            const std::u16string& text = scanner->text();
            stored = m_store->setText(text, page) && m_store->setGlyphRects(scanner->glyphRects(), page)
                && m_store->addTokens(VKContentIndexStore::tokensForText(text), page) && m_store->setPagesIndexed(page);
        } catch (const std::exception& exception) {
            core::log("Warning, cannot index page {} of {}: {}", page, m_store->path(), exception.what());
        }
        if (!stored) {
            // Counting a page whose words were not stored would hide it from
            // every search until the index is rebuilt.
            if (!m_writeFailureLogged.exchange(true))
                core::log("Warning, cannot store page {} in the search index {}", page, m_store->path());
            commit(page - 1);
            return false;
        }
        if (batchFirst
            && (page - batchFirst + 1 >= PagesPerBatch || std::chrono::steady_clock::now() - batchStart >= BatchDuration)
            && !commit(page))
            return false;
        if (m_shouldIndex) {
            float progress = float(page) / float(m_document->numPages());
            core::performOnMainThread([weak, progress] {
                if (auto self = weak.lock())
                    self->withDelegate([&](VKPDFSearchControllerDelegate& delegate) {
                        delegate.searchControllerIndexBuildingDidProgress(*self, progress);
                    });
            });
        }
        std::function<void(uint32_t)> hook;
        {
            std::lock_guard lock(m_hookMutex);
            hook = m_pageIndexedHook;
        }
        if (hook)
            hook(page);
    }
    return commit(page - 1);
}

std::shared_ptr<VKPDFPageTextScanner> VKPDFSearchController::scannerForPageNumber(uint32_t pageNumber)
{
    std::lock_guard lock(m_scannerMutex);
    auto cached = std::find_if(m_scannerCache.begin(), m_scannerCache.end(),
        [pageNumber](const auto& entry) { return entry.first == pageNumber; });
    std::shared_ptr<VKPDFPageTextScanner> scanner;
    if (cached != m_scannerCache.end()) {
        scanner = cached->second;
        m_scannerCache.erase(cached);
    } else {
        scanner = m_textReader->scannerForPage(static_cast<int>(pageNumber));
        if (m_scannerCache.size() >= ScannerCacheLimit)
            m_scannerCache.erase(m_scannerCache.begin());
    }
    m_scannerCache.emplace_back(pageNumber, scanner);
    return scanner;
}

size_t VKPDFSearchController::cachedScannerCountForTesting() const
{
    std::lock_guard lock(m_scannerMutex);
    return m_scannerCache.size();
}

void VKPDFSearchController::setPageIndexedHookForTesting(std::function<void(uint32_t pageNumber)> hook)
{
    std::lock_guard lock(m_hookMutex);
    m_pageIndexedHook = std::move(hook);
}

void VKPDFSearchController::didReceiveMemoryWarning()
{
    {
        std::lock_guard lock(m_scannerMutex);
        m_scannerCache.clear();
        m_textReader->release();
    }
    stopIndexing();
    if (fullyIndexed())
        return;
    std::weak_ptr<VKPDFSearchController> weak = std::static_pointer_cast<VKPDFSearchController>(shared_from_this());
    auto& loop = core::RunLoop::main();
    loop.performAfter(0, [weak] {
        if (auto self = weak.lock())
            self->sendIndexingPausedDelegateMessage();
    }, core::PerformKey { m_performKey, PausedTag, {} });
    loop.performAfter(IndexingRestartDelay, [weak] {
        if (auto self = weak.lock())
            self->startIndexingIfNecessary();
    }, core::PerformKey { m_performKey, RestartTag, {} });
}

void VKPDFSearchController::sendIndexingPausedDelegateMessage()
{
    const uint32_t count = m_document->numPages();
    if (!m_store || count == 0)
        return;
    float progress = -(float(m_store->pagesIndexed()) / float(count));
    withDelegate([&](VKPDFSearchControllerDelegate& delegate) { delegate.searchControllerIndexBuildingDidProgress(*this, progress); });
}

void VKPDFSearchController::searchForString(const std::string& searchString, std::optional<VKDocumentRange> neighbouringResult,
    int direction)
{
    startIndexingIfNecessary();
    auto self = std::static_pointer_cast<VKPDFSearchController>(shared_from_this());
    auto operation = VKFileSearchQueryOperation::initWithSearchString(searchString, std::move(neighbouringResult), direction,
        std::weak_ptr<VKFileSearchQueryOperationDelegate>(self));
    if (auto queue = sharedSearchQueue())
        queue->setOperation(operation);
}

void VKPDFSearchController::cancelSearch()
{
    if (auto queue = sharedSearchQueue())
        queue->setOperation(nullptr);
    withDelegate([&](VKPDFSearchControllerDelegate& delegate) { delegate.searchControllerDidCancelSearch(*this); });
}

void VKPDFSearchController::searchOperation(VKFileSearchQueryOperation& operation, std::optional<VKDocumentRange> result)
{
    m_looping = false;
    m_foundNoText = !result && operation.foundNoText();
    withDelegate([&](VKPDFSearchControllerDelegate& delegate) {
        delegate.searchControllerDidFindResult(*this, result, operation.searchString());
    });
}

void VKPDFSearchController::searchOperationDidOverflow(VKFileSearchQueryOperation& operation)
{
    if (m_looping) {
        m_looping = false;
        m_foundNoText = false;
        withDelegate([&](VKPDFSearchControllerDelegate& delegate) {
            delegate.searchControllerDidFindResult(*this, std::nullopt, operation.searchString());
        });
        return;
    }
    searchForString(operation.searchString(), std::nullopt, operation.direction());
    withDelegate([&](VKPDFSearchControllerDelegate& delegate) { delegate.searchControllerDidWrapSearch(*this, operation.direction()); });
    m_looping = true;
}

void VKPDFSearchController::searchOperationDidCancel(VKFileSearchQueryOperation&)
{
    m_looping = false;
    withDelegate([&](VKPDFSearchControllerDelegate& delegate) { delegate.searchControllerDidCancelSearch(*this); });
}

void VKPDFSearchController::searchOperationNeedsIndex(VKFileSearchQueryOperation&)
{
    withDelegate([&](VKPDFSearchControllerDelegate& delegate) { delegate.rebuildIndexForSearchController(*this); });
}
