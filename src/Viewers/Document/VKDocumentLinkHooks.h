#pragma once

// Where the in-application browser takes over a link a document viewer
// opens with "Open": loading it in the browser screen presented over the
// viewer's navigation stack with `folder` as the downloads' target, and
// telling whether a presented screen is that browser (the viewer's content
// leaves the view hierarchy under it). Without hooks the link goes to the
// system.

#include "Kit/VKHookSlot.h"

#include <string>

namespace core {
class URLRequest;
}
namespace ui {
class NavigationController;
class ViewController;
} // namespace ui

class VKDocumentLinkHooks : public VKHookSlot<VKDocumentLinkHooks> {
public:
    virtual ~VKDocumentLinkHooks() = default;
    virtual void openLinkInBrowser(const core::URLRequest& request, const std::string& folder,
        ui::NavigationController& navigationController) = 0;
    virtual bool isBrowserScreen(const ui::ViewController& controller) const = 0;
};
