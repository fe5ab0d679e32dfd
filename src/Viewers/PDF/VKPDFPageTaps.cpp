#include "Viewers/PDF/VKPDFPageTaps.h"

#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKPDFViewController.h"

#include "Kit/VKGeometry.h"
#include "PDF/VKPDFDestination.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/GestureRecognizer.h"

#include <algorithm>
#include <fmt/format.h>

VKPDFPageView* VKPDFPageTaps::pageViewAt(VKDocumentView* documentView, ui::GestureRecognizer& recognizer)
{
    if (!documentView)
        return nullptr;
    for (ui::View* view = documentView->hitTest(recognizer.locationInView(documentView)); view;
         view = view->superview()) {
        if (auto* pageView = dynamic_cast<VKPDFPageView*>(view))
            return pageView;
        if (view == documentView)
            break;
    }
    return nullptr;
}

bool VKPDFPageTaps::openLinkURL(const core::URL& url)
{
    std::string scheme = url.scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    auto say = [](const std::string& message) {
        ui::AlertView::create(core::localized("Link Not Followed"), message, {}, core::localized("OK"))->show();
    };
    if (scheme != "http" && scheme != "https" && scheme != "mailto") {
        core::log("Warning, link not followed: {}", url.absoluteString());
        if (scheme == "file")
            say(fmt::format(fmt::runtime(core::localized(
                "The link leads to the file \"{}\" outside this document. Links to files are not followed: open the file from its folder.")),
                core::path::lastPathComponent(url.path())));
        else
            say(fmt::format(fmt::runtime(core::localized("Links of the kind \"{}:\" are not followed.")), scheme));
        return false;
    }
    // The desktop's opener says itself why it could not start a browser.
    auto* application = ui::Application::shared();
    return application && application->openURL(url);
}

void VKPDFPageTaps::showDestination(VKDocumentView* documentView, unsigned pageCount, const VKPDFDestination& destination)
{
    int page = destination.pageNumber();
    if (!documentView || destination.isInvalid() || page < 1 || unsigned(page) > pageCount) {
        core::log("Warning, destination outside the document: {}", destination.description());
        return;
    }
    // Destinations measure from the page's foot, the layouts from its top;
    // one that names no height shows the page's top.
    gfx::Rect anchor = destination.anchorRect();
    anchor.origin.y = destination.hasVerticalPosition() ? 1 - anchor.y() - anchor.height() : 0;
    documentView->scrollToPageAtIndex(size_t(page - 1), anchor, true);
}

void VKPDFPageTaps::zoomForDoubleTap(VKPDFViewController& viewer, VKDocumentView& documentView,
    ui::GestureRecognizer& recognizer)
{
    auto* pageView = pageViewAt(&documentView, recognizer);
    gfx::Rect text = pageView ? pageView->textRectForPoint(recognizer.locationInView(pageView)) : gfx::Rect();
    if (!pageView || !(text.width() > 0)) {
        documentView.doubleTapRecognized(recognizer);
        return;
    }
    ui::View* view = viewer.view().get();
    gfx::Rect b = view->bounds();
    gfx::Rect t = pageView->convertRect(text, view);
    float margin = 0.02f * t.width();
    gfx::Rect column(t.x() - margin, recognizer.locationInView(view).y, t.width() + 2 * margin, 0);
    if (VKValueNearToValue(b.x(), column.x()) && VKValueNearToValue(b.width(), column.width())) {
        documentView.zoomOutAroundPoint(recognizer.locationInView(&documentView), true);
    } else {
        gfx::Rect zoom = VKZoomRectToEncloseRect(b, column);
        documentView.zoomToScaledRect(view->convertRect(zoom, &documentView), true);
    }
}
