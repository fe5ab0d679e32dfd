#pragma once

// One search of a document's index, run on the shared search queue: the
// pages holding every word come from the word index, then the stored text
// of those pages is matched, from the page of the hit to move on from, in
// the search's direction, until a hit turns up or the pages run out. The
// answer goes to the delegate on the main thread; a search string without
// words ends it without any answer.
//
// Directions: -1 forward (the next hit), 1 backward (the previous one).

#include "Kit/VKOperation.h"
#include "PDF/VKDocumentRange.h"
#include "PDF/VKFileSearchQueryOperationDelegate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <atomic>
#include <vector>

class VKPageIndexStore;

class VKFileSearchQueryOperation : public VKOperation {
public:
    static std::shared_ptr<VKFileSearchQueryOperation> initWithSearchString(std::string searchString,
        std::optional<VKDocumentRange> neighbouringResult, int direction,
        std::weak_ptr<VKFileSearchQueryOperationDelegate> delegate);

    const std::string& searchString() const { return m_searchString; }
    const std::optional<VKDocumentRange>& neighbouringResult() const { return m_neighbouringResult; }
    int direction() const { return m_direction; }
    // Whether, when it found no page with the words, no indexed page held
    // any text at all (a document of scanned pictures). Read on the main
    // thread once the answer came.
    bool foundNoText() const { return m_foundNoText.load(); }

    void run() override;

    // The page's hits, sorted; matches may overlap (each search starts one
    // unit after the previous match's start). Nothing when cancelled, or
    // when the page's text and rectangles are missing or disagree, which
    // asks the delegate for a new index and cancels the operation.
    std::optional<std::vector<VKDocumentRange>> resultsForSearchRegex(const std::u16string& regex,
        uint32_t pageNumber);

private:
    VKFileSearchQueryOperation(std::string searchString, std::optional<VKDocumentRange> neighbouringResult, int direction,
        std::weak_ptr<VKFileSearchQueryOperationDelegate> delegate);

    std::optional<VKDocumentRange> nextResult(const std::vector<uint32_t>& pages);
    // Hands `message(delegate, operation)` to the main thread; dropped there
    // when the delegate is gone.
    template<typename Message>
    void tellDelegate(Message message);

    const std::string m_searchString;
    const std::optional<VKDocumentRange> m_neighbouringResult;
    const int m_direction;
    const std::weak_ptr<VKFileSearchQueryOperationDelegate> m_delegate;
    std::shared_ptr<VKPageIndexStore> m_store;
    std::atomic<bool> m_foundNoText { false };
};
