#include "Viewers/Document/VKScrollSigns.h"

#include "Kit/VKGeometry.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/ViewAnimation.h"

#include <algorithm>
#include <cmath>

void VKScrollSigns::showImage(ui::View& parent, const std::string& name)
{
    auto image = ui::Images::imageNamed(name);
    if (!m_imageView) {
        m_imageView = ui::ImageView::create(image);
        m_imageView->setUserInteractionEnabled(false);
        parent.addSubview(m_imageView);
    } else {
        m_imageView->setImage(image);
        parent.bringSubviewToFront(m_imageView.get());
    }
    m_imageView->sizeToFit();
    gfx::Rect own(gfx::Point(), m_imageView->bounds().size);
    m_imageView->setFrame(VKRectCenteredRectInRect(own, parent.bounds()));
    m_imageView->setAlpha(1);
    ui::ViewAnimation::begin("VKIndicateSearchImageFade");
    ui::ViewAnimation::setDuration(SearchImageFadeDuration);
    m_imageView->setAlpha(0);
    ui::ViewAnimation::commit();
}

void VKScrollSigns::flashIndicator(ui::View& indicator, gfx::Size contentSize, gfx::Rect visible, float offsetY)
{
    gfx::Rect frame = indicator.frame();
    gfx::Rect scroller = indicator.superview()->bounds();
    double range = double(contentSize.height) - scroller.height();
    gfx::Rect target = frame;
    if (range > 0) {
        float height = std::max(36.f, std::floor(visible.height() * visible.height() / contentSize.height));
        target.size.height = height;
        target.origin.x = scroller.maxX() - frame.width() - 1;
        indicator.setFrame(target);
        target.origin.y = float(offsetY + (offsetY / range) * (scroller.height() - height));
    }
    ui::ViewAnimation::begin();
    indicator.setAlpha(1);
    indicator.setFrame(target);
    ui::ViewAnimation::commit();
    ui::ViewAnimation::begin();
    ui::ViewAnimation::setDelay(1.0);
    indicator.setAlpha(0);
    ui::ViewAnimation::commit();
}
