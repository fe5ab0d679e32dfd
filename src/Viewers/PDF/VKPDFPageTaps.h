#pragma once

// What taps on the PDF viewer's pages do. A tap over a link goes to its
// destination inside the document (the page's top when the destination
// names no height; outside the document it is ignored with a log line) or
// hands a web address to the application (http, https and mailto only).
// A double tap over text fits its column to the view, or zooms back out
// when the column already fills it; elsewhere the layout answers it.

namespace core {
class URL;
}
namespace ui {
class GestureRecognizer;
}
class VKDocumentView;
class VKPDFDestination;
class VKPDFPageView;
class VKPDFViewController;

class VKPDFPageTaps {
public:
    // The page view under the gesture, if any.
    static VKPDFPageView* pageViewAt(VKDocumentView* documentView, ui::GestureRecognizer& recognizer);
    static void showDestination(VKDocumentView* documentView, unsigned pageCount, const VKPDFDestination& destination);
    // Whether the address went to the application.
    static bool openLinkURL(const core::URL& url);
    static void zoomForDoubleTap(VKPDFViewController& viewer, VKDocumentView& documentView,
        ui::GestureRecognizer& recognizer);
};
