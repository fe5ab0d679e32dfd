#pragma once

// What a document viewer does with a link the reader opens. A "tel" link
// goes to the system at once; any other shows a sheet (tag
// LinkActionSheetTag, the address as title and user info) offering Open,
// Copy and, for a path with an extension, Download. Open hands web links
// to VKDocumentLinkHooks (the browser screen) and the rest to the system;
// Download goes into the folder screen's folder, or beside the document
// when it was opened without one.

namespace core {
class URLRequest;
}
class VKActionSheet;
class VKDocumentViewController;

class VKDocumentLinkSheet {
public:
    static void offer(VKDocumentViewController& viewer, const core::URLRequest& request);
    // Answers the link sheet's Open, Copy and Download; false for any other
    // tag.
    static bool answer(VKDocumentViewController& viewer, VKActionSheet& sheet, int tag);
};
