#pragma once

// Documents, index stores and recording delegates for the search tests.

#include "PDF/PdfTextTools.h"
#include "PDF/VKContentIndexStore.h"
#include "PDF/VKDocumentRange.h"
#include "PDF/VKFileSearchQueryOperation.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFSearchController.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/RunLoop.h"

#include <fmt/format.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace searchtest {

// One line of Helvetica text per page.
inline std::shared_ptr<VKPDFDocument> document(const std::vector<std::string>& pages)
{
    test::PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    for (const auto& text : pages)
        builder.addPage(fmt::format("BT /F1 12 Tf 72 700 Td ({}) Tj ET", text), pdftext::pageEntries({ font }));
    return VKPDFDocument::initWithData(builder.build());
}

// Stores a page as the indexer would, with zero rectangles.
inline void storePage(VKPageIndexStore& store, uint32_t page, std::u16string_view text)
{
    store.setText(text, page);
    store.setGlyphRects(core::Data(std::string(text.size() * 16, '\0')), page);
    store.addTokens(VKContentIndexStore::tokensForText(text), page);
    if (store.pagesIndexed() < page)
        store.setPagesIndexed(page);
}

inline std::string describe(const std::optional<VKDocumentRange>& range)
{
    return range ? fmt::format("{}:{}+{}", range->page(), range->range().location, range->range().length) : "nil";
}

// Answers a rebuild request as the viewer does.
struct Recorder : VKPDFSearchControllerDelegate {
    std::vector<std::string> events;
    std::vector<float> progress;
    std::optional<VKDocumentRange> last;

    void searchControllerIndexBuildingDidProgress(VKPDFSearchController&, float value) override { progress.push_back(value); }
    void searchControllerDidFindResult(VKPDFSearchController&, std::optional<VKDocumentRange> result, const std::string&) override
    {
        last = result;
        events.push_back(describe(result));
    }
    void searchControllerDidWrapSearch(VKPDFSearchController&, int direction) override { events.push_back(fmt::format("wrap {}", direction)); }
    void searchControllerDidCancelSearch(VKPDFSearchController&) override { events.push_back("cancel"); }
    void rebuildIndexForSearchController(VKPDFSearchController& controller) override
    {
        events.push_back("rebuild");
        controller.pageIndexStore()->setPagesIndexed(0);
        controller.startIndexingIfNecessary();
    }
};

struct OperationRecorder : VKFileSearchQueryOperationDelegate {
    std::shared_ptr<VKPageIndexStore> store;
    std::function<void()> willAnswerStore;
    std::vector<std::string> events;

    std::shared_ptr<VKPageIndexStore> pageIndexStore() override
    {
        if (willAnswerStore)
            willAnswerStore();
        return store;
    }
    void searchOperation(VKFileSearchQueryOperation& operation, std::optional<VKDocumentRange> result) override
    {
        events.push_back(operation.searchString() + " " + describe(result));
    }
    void searchOperationDidOverflow(VKFileSearchQueryOperation& operation) override { events.push_back(operation.searchString() + " overflow"); }
    void searchOperationDidCancel(VKFileSearchQueryOperation& operation) override { events.push_back(operation.searchString() + " cancel"); }
    void searchOperationNeedsIndex(VKFileSearchQueryOperation& operation) override { events.push_back(operation.searchString() + " needsIndex"); }
};

// Holds a worker thread at one point until the test thread opens it.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<bool> reached { false };

    void wait()
    {
        reached = true;
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
    void release()
    {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

inline bool pump(const std::function<bool()>& predicate)
{
    return core::RunLoop::main().runUntil(predicate, 20.0);
}

} // namespace searchtest
