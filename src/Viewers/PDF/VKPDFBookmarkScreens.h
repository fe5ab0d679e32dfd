#pragma once

// The PDF viewer's bookmark screens, presented over its navigation stack
// with the bars shown. With an offset a new bookmark is added there at the
// zoom shown and the bookmarks show alone; without one they show beside
// the document's outline when it has one. The outline screen is made once
// per document (`forget` drops it, as a reopen after low memory does). The
// viewer owns it and is the delegate of both screens.

#include "Platform/Graphics/Geometry.h"

#include <memory>

class VKPDFOutlineTableViewController;
class VKPDFViewController;

class VKPDFBookmarkScreens {
public:
    void show(VKPDFViewController& viewer, gfx::Point offset);
    VKPDFOutlineTableViewController* outlineController() const { return m_outlineController.get(); }
    void forget() { m_outlineController.reset(); }

private:
    std::shared_ptr<VKPDFOutlineTableViewController> m_outlineController;
};
