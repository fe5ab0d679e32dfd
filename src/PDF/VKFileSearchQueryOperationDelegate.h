#pragma once

// What a search operation asks of the one that started it. pageIndexStore()
// is called on the operation's worker thread; the four answers arrive on
// the main thread, after the operation has moved on.

#include "PDF/VKDocumentRange.h"

#include <memory>
#include <optional>

class VKFileSearchQueryOperation;
class VKPageIndexStore;

class VKFileSearchQueryOperationDelegate {
public:
    virtual ~VKFileSearchQueryOperationDelegate() = default;

    virtual std::shared_ptr<VKPageIndexStore> pageIndexStore() = 0;
    // The hit, or nothing when no page holds every word.
    virtual void searchOperation(VKFileSearchQueryOperation& operation, std::optional<VKDocumentRange> result) = 0;
    // The end of the document was reached without a hit.
    virtual void searchOperationDidOverflow(VKFileSearchQueryOperation& operation) = 0;
    virtual void searchOperationDidCancel(VKFileSearchQueryOperation& operation) = 0;
    // A page's stored text and rectangles are missing or disagree.
    virtual void searchOperationNeedsIndex(VKFileSearchQueryOperation& operation) = 0;
};
