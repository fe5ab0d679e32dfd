#pragma once

// The dimming view over a document while the go-to-page bar is up: a touch
// on it cancels the bar without a jump, and the content under it never
// hears the touch.

#include "Platform/UI/View.h"

class VKDocumentViewController;

class VKGoToPagePlaceholderView : public ui::View {
public:
    static std::shared_ptr<VKGoToPagePlaceholderView> create(const gfx::Rect& frame, VKDocumentViewController* controller);
    void setDocumentController(VKDocumentViewController* controller) { m_documentController = controller; }
    ui::View* hitTest(gfx::Point point, const ui::Event* event = nullptr) override;

private:
    VKDocumentViewController* m_documentController = nullptr;
};
