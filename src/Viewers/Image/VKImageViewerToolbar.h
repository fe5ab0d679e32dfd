#pragma once

#include "Platform/UI/BarButtonItem.h"

#include <memory>
#include <vector>

class VKImageViewController;

// The picture viewer's toolbar: the document's actions, previous picture,
// slide show (its image says play or pause), next picture and the trash,
// spaced evenly. The viewer is the items' target; they hold it weakly.
class VKImageViewerToolbar {
public:
    const std::shared_ptr<ui::BarButtonItem>& previousItem() const { return m_previousItem; }
    const std::shared_ptr<ui::BarButtonItem>& nextItem() const { return m_nextItem; }
    const std::shared_ptr<ui::BarButtonItem>& slideShowItem() const { return m_slideShowItem; }
    // Whether items were made and the slide show's shows `active`'s image.
    bool showsSlideShowState(bool active) const;

    std::vector<std::shared_ptr<ui::BarButtonItem>> makeItems(const std::shared_ptr<VKImageViewController>& viewer,
        bool slideShowActive);
    void setEnabled(bool hasPrevious, bool hasNext, bool canPlay);

private:
    std::shared_ptr<ui::BarButtonItem> m_previousItem;
    std::shared_ptr<ui::BarButtonItem> m_nextItem;
    std::shared_ptr<ui::BarButtonItem> m_slideShowItem;
    ui::BarButtonItem::SystemItem m_slideShowSystemItem = ui::BarButtonItem::SystemItem::Play;
};
