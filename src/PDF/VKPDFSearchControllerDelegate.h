#pragma once

// The viewer's side of a search controller. Every message arrives on the
// main thread.

#include "PDF/VKDocumentRange.h"

#include <memory>
#include <optional>
#include <string>

class VKPDFSearchController;

class VKPDFSearchControllerDelegate {
public:
    virtual ~VKPDFSearchControllerDelegate() = default;

    // The fraction of pages indexed; negative while indexing is paused.
    virtual void searchControllerIndexBuildingDidProgress(VKPDFSearchController& controller, float progress) = 0;
    // The hit, or nothing when there is none.
    virtual void searchControllerDidFindResult(VKPDFSearchController& controller, std::optional<VKDocumentRange> result,
        const std::string& searchString) = 0;
    // The search went past an end of the document and goes on from the other.
    virtual void searchControllerDidWrapSearch(VKPDFSearchController& controller, int direction) = 0;
    virtual void searchControllerDidCancelSearch(VKPDFSearchController& controller) = 0;
    // The viewer answers by setting the pages indexed to 0 and calling
    // startIndexingIfNecessary().
    virtual void rebuildIndexForSearchController(VKPDFSearchController& controller) = 0;
};
