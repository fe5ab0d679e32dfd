#include "Viewers/PDF/VKScrollPagingViewCell.h"

#include "Platform/UI/StandardColors.h"
#include "Viewers/PDF/VKCenteringScrollView.h"

std::shared_ptr<VKScrollPagingViewCell> VKScrollPagingViewCell::create(std::string reuseIdentifier)
{
    return ui::View::make<VKScrollPagingViewCell>(gfx::Rect(0, 0, 0, 0), std::move(reuseIdentifier));
}

VKScrollPagingViewCell::VKScrollPagingViewCell(std::string reuseIdentifier)
    : VKPagingViewCell(std::move(reuseIdentifier))
    , m_scrollView(VKCenteringScrollView::create(gfx::Rect(0, 0, 0, 0)))
{
    setBackgroundColor(ui::StandardColors::clear());
    m_scrollView->setVerticalLock(true);
    m_scrollView->setBackgroundColor(ui::StandardColors::clear());
    addSubview(m_scrollView);
}

VKScrollPagingViewCell::~VKScrollPagingViewCell()
{
    m_scrollView->setDelegate({});
}

void VKScrollPagingViewCell::setFrame(const gfx::Rect& frame)
{
    VKPagingViewCell::setFrame(frame);
    gfx::Size size = bounds().size;
    m_scrollView->setFrame(gfx::Rect(0, 0, size.width, size.height));
}

void VKScrollPagingViewCell::setToolbarContentInsets(const gfx::EdgeInsets& insets)
{
    VKPagingViewCell::setToolbarContentInsets(insets);
    m_scrollView->setContentInset(insets);
}

void VKScrollPagingViewCell::prepareForReuse()
{
    m_scrollView->setMinimumZoomScale(1.0f);
    m_scrollView->setZoomScale(1.0f);
    m_scrollView->setContentView(nullptr);
    // The indicators belong to the scroll view; all else goes.
    std::vector<std::shared_ptr<ui::View>> gone;
    for (auto& view : m_scrollView->subviews())
        if (view.get() != m_scrollView->horizontalScrollIndicator() && view.get() != m_scrollView->verticalScrollIndicator())
            gone.push_back(view);
    for (auto& view : gone)
        view->removeFromSuperview();
}

void VKScrollPagingViewCell::doubleTapRecognized(ui::GestureRecognizer& recognizer)
{
    m_scrollView->doubleTapRecognized(recognizer);
}
