#pragma once

// Text search of one PDF document for its viewer. The controller builds the
// document's page index in the background, one page after another and
// resuming where an earlier pass stopped, and runs searches on the search
// queue that all documents share: a new search replaces the waiting one
// and cancels the running one. Results, progress, wraps, cancels and
// rebuild requests reach the delegate on the main thread.
//
// An indexing pass holds the controller while it runs; the delegate and the
// operations' links back to the controller are weak and checked when a
// message is delivered, so either side may go away first. A page counts as
// indexed only once its text, rectangles and words were all stored.

#include "PDF/VKDocumentRange.h"
#include "PDF/VKFileSearchQueryOperationDelegate.h"
#include "PDF/VKPDFSearchControllerDelegate.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class VKOperationQueue;
class VKPDFDocument;
class VKPDFDocumentTextReader;
class VKPDFPageTextScanner;
class VKPageIndexStore;

class VKPDFSearchController : public core::Object, public VKFileSearchQueryOperationDelegate {
public:
    // Opens the index at `pageIndexStorePath` and starts indexing when the
    // document is not fully indexed. Main thread.
    static std::shared_ptr<VKPDFSearchController> initWithDocument(std::shared_ptr<VKPDFDocument> document,
        const std::string& pageIndexStorePath);
    ~VKPDFSearchController() override;

    const std::shared_ptr<VKPDFDocument>& document() const { return m_document; }
    std::shared_ptr<VKPageIndexStore> pageIndexStore() override { return m_store; }
    std::shared_ptr<VKPDFSearchControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKPDFSearchControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    bool fullyIndexed() const;
    // A new pass starts only when none runs; a running one that was asked
    // to stop goes on instead.
    void startIndexingIfNecessary();
    // The pass stops before its next page; a restart pending after a memory
    // warning is dropped.
    void stopIndexing();

    // Direction -1 finds the hit after `neighbouringResult` (or the first
    // one), 1 the one before it (or the last one).
    void searchForString(const std::string& searchString, std::optional<VKDocumentRange> neighbouringResult, int direction);
    void cancelSearch();
    // Whether the last search that found nothing found no text in the
    // index at all, rather than no page with the words.
    bool lastSearchFoundNoText() const { return m_foundNoText; }

    // The text scanner of a page, kept for the most recent pages.
    std::shared_ptr<VKPDFPageTextScanner> scannerForPageNumber(uint32_t pageNumber);

    // Drops the scanners and pauses indexing, which starts again 10 s after
    // the last warning.
    void didReceiveMemoryWarning();

    // The answers of this controller's search operations (main thread).
    void searchOperation(VKFileSearchQueryOperation& operation, std::optional<VKDocumentRange> result) override;
    void searchOperationDidOverflow(VKFileSearchQueryOperation& operation) override;
    void searchOperationDidCancel(VKFileSearchQueryOperation& operation) override;
    void searchOperationNeedsIndex(VKFileSearchQueryOperation& operation) override;

    // The one-worker queue every search runs on, made on first use.
    static std::shared_ptr<VKOperationQueue> sharedSearchQueue();

    static constexpr size_t ScannerCacheLimit = 16;
    // Pages are stored in batches of one transaction and one sync, of at
    // most this many pages or a quarter of a second of work. A commit
    // writes every page of the tree the batch touched, and a page's words
    // touch pages all over it: fewer, larger batches write far less.
    static constexpr uint32_t PagesPerBatch = 128;
    static constexpr double IndexingRestartDelay = 10.0;

    // Lets the shared queue go, its waiting searches dropped: its worker
    // ends (at the program's end, which waits for it, and between tests);
    // the next search makes a fresh one.
    static void resetSharedSearchQueue();
    // Test hooks: the number of passes this controller ran, and a call on
    // the indexing thread after each page is counted and reported.
    unsigned indexingPassCount() const { return m_passCount.load(); }
    bool isIndexing() const { return m_indexing.load(); }
    void setPageIndexedHookForTesting(std::function<void(uint32_t pageNumber)> hook);
    size_t cachedScannerCountForTesting() const;

private:
    VKPDFSearchController(std::shared_ptr<VKPDFDocument> document, std::shared_ptr<VKPageIndexStore> store);

    void runIndexing();
    // Indexes from the first uncounted page until asked to stop, done, or a
    // write fails; false after a failure.
    bool indexPages();
    void sendIndexingPausedDelegateMessage();
    // Runs `message(delegate)` now, on the main thread, when there is a delegate.
    template<typename Message>
    void withDelegate(Message message);

    const std::shared_ptr<VKPDFDocument> m_document;
    const std::shared_ptr<VKPageIndexStore> m_store;
    std::weak_ptr<VKPDFSearchControllerDelegate> m_delegate;

    mutable std::mutex m_scannerMutex;
    // Most recently used last.
    std::vector<std::pair<uint32_t, std::shared_ptr<VKPDFPageTextScanner>>> m_scannerCache;
    // Reads the pages, so that indexing a long document costs what a few
    // hundred pages do (under the scanner lock).
    std::unique_ptr<VKPDFDocumentTextReader> m_textReader;

    std::atomic<bool> m_shouldIndex { false };
    std::atomic<bool> m_indexing { false };
    std::atomic<bool> m_writeFailureLogged { false };
    std::atomic<unsigned> m_passCount { 0 };
    bool m_looping = false;
    bool m_foundNoText = false;

    // Names this controller's delayed performs on the main loop.
    const std::shared_ptr<int> m_performKey = std::make_shared<int>(0);
    core::Observation m_memoryWarningObservation;

    std::mutex m_hookMutex;
    std::function<void(uint32_t)> m_pageIndexedHook;
};
