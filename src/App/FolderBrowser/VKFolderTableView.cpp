#include "App/FolderBrowser/VKFolderTableView.h"

#include "App/FolderBrowser/VKIndexView.h"

std::shared_ptr<VKFolderTableView> VKFolderTableView::create(const gfx::Rect& frame, Style style)
{
    return View::make<VKFolderTableView>(frame, style);
}

VKFolderTableView::VKFolderTableView(Style style)
    : VKMultiEditTableView(style)
{
}

VKFolderTableView::~VKFolderTableView()
{
    m_indexStrip = nullptr;
    m_folderController.reset();
}

void VKFolderTableView::didAddSubview(ui::View* subview)
{
    if (auto* strip = dynamic_cast<VKIndexView*>(subview)) {
        m_indexStrip = strip;
        setNeedsLayout();
    }
    VKMultiEditTableView::didAddSubview(subview);
    if (m_indexStrip && subviews().back().get() != m_indexStrip)
        bringSubviewToFront(m_indexStrip);
}

void VKFolderTableView::willRemoveSubview(ui::View* subview)
{
    if (subview == m_indexStrip)
        m_indexStrip = nullptr;
    VKMultiEditTableView::willRemoveSubview(subview);
}

void VKFolderTableView::layoutSubviews()
{
    VKMultiEditTableView::layoutSubviews();
    if (m_indexStrip) {
        gfx::Rect frame = m_indexStrip->frame();
        frame.origin.y = contentOffset().y + VKFolderControllerIndexViewMargin;
        m_indexStrip->setFrame(frame);
    }
}

bool VKFolderTableView::delaysTouchesInContentView(const ui::View* view) const
{
    if (m_indexStrip && view && view->isDescendantOfView(m_indexStrip))
        return false;
    return VKMultiEditTableView::delaysTouchesInContentView(view);
}
