#include "Viewers/Image/VKImageViewerToolbar.h"

#include "Viewers/Image/VKImageViewController.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Platform/UI/Images.h"

namespace {

ui::BarButtonItem::SystemItem slideShowSystemItem(bool active)
{
    return active ? ui::BarButtonItem::SystemItem::Pause : ui::BarButtonItem::SystemItem::Play;
}

} // namespace

bool VKImageViewerToolbar::showsSlideShowState(bool active) const
{
    return m_slideShowItem && m_slideShowSystemItem == slideShowSystemItem(active);
}

std::vector<std::shared_ptr<ui::BarButtonItem>> VKImageViewerToolbar::makeItems(
    const std::shared_ptr<VKImageViewController>& viewer, bool slideShowActive)
{
    std::weak_ptr<VKImageViewController> weak = viewer;
    std::shared_ptr<core::Object> target = viewer;
    auto act = [weak](void (VKImageViewController::*method)(const std::shared_ptr<core::Object>&)) {
        return [weak, method](ui::BarButtonItem& item) {
            if (auto viewer = weak.lock())
                ((*viewer).*method)(item.shared_from_this());
        };
    };
    m_previousItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowPreviousShadow.png"),
        ui::BarButtonItem::Style::Plain, target, "imageViewGoBackOrForward", act(&VKImageViewController::imageViewGoBackOrForward));
    m_nextItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowNextShadow.png"),
        ui::BarButtonItem::Style::Plain, target, "imageViewGoBackOrForward", act(&VKImageViewController::imageViewGoBackOrForward));
    m_slideShowSystemItem = slideShowSystemItem(slideShowActive);
    m_slideShowItem = barButtonSystemItem(m_slideShowSystemItem, target, "toggleImageSlideShow",
        act(&VKImageViewController::toggleImageSlideShow));
    return {
        barButtonSystemItem(ui::BarButtonItem::SystemItem::Action, target, VKImageViewController::ShowDocumentActionSheetAction,
            act(&VKImageViewController::showDocumentActionSheet)),
        flexibleSpaceBarButtonItem(),
        m_previousItem,
        flexibleSpaceBarButtonItem(),
        m_slideShowItem,
        flexibleSpaceBarButtonItem(),
        m_nextItem,
        flexibleSpaceBarButtonItem(),
        barButtonSystemItem(ui::BarButtonItem::SystemItem::Trash, target, VKImageViewController::DeleteItemAction,
            act(&VKImageViewController::deleteItem)),
    };
}

void VKImageViewerToolbar::setEnabled(bool hasPrevious, bool hasNext, bool canPlay)
{
    if (m_previousItem)
        m_previousItem->setEnabled(hasPrevious);
    if (m_nextItem)
        m_nextItem->setEnabled(hasNext);
    if (m_slideShowItem)
        m_slideShowItem->setEnabled(canPlay);
}
