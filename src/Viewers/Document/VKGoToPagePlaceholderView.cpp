#include "Viewers/Document/VKGoToPagePlaceholderView.h"

#include "Viewers/Document/VKDocumentViewController.h"

std::shared_ptr<VKGoToPagePlaceholderView> VKGoToPagePlaceholderView::create(const gfx::Rect& frame,
    VKDocumentViewController* controller)
{
    auto view = std::make_shared<VKGoToPagePlaceholderView>();
    view->setFrame(frame);
    view->m_documentController = controller;
    view->setBackgroundColor(gfx::Color::white(0, 0.5f));
    view->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    return view;
}

ui::View* VKGoToPagePlaceholderView::hitTest(gfx::Point point, const ui::Event* event)
{
    ui::View* hit = ui::View::hitTest(point, event);
    if (hit == this && m_documentController && m_documentController->isSearchBarActive())
        m_documentController->cancelCurrentSearch();
    return hit;
}
