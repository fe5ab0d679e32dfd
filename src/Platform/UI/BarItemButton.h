#pragma once

// The button a bar shows for a titled or image item, and the navigation
// bar's back button. A tap runs its handler (the item's actions, or going
// back); titleWidth() says how wide its text is, for bars that lay out
// around it.

#include "Platform/UI/Button.h"

#include <functional>
#include <memory>

namespace ui {

class BarButtonItem;

class BarItemButton : public Button {
public:
    static constexpr float Padding = 10;
    static constexpr float Height = 30;
    static constexpr float LandscapeHeight = 24;

    // Shows `item` (null for a back button) and runs `tapped` on a tap.
    static std::shared_ptr<BarItemButton> create(const std::shared_ptr<BarButtonItem>& item, std::function<void()> tapped);
    static std::shared_ptr<BarItemButton> backButton(std::string title, std::function<void()> tapped);

    BarItemButton();
    std::shared_ptr<BarButtonItem> item() const { return m_item.lock(); }
    bool isBackButton() const { return m_back; }
    float titleWidth() const;
    // How tall the button stands in a bar of that height: lower in the
    // phone's low landscape bars.
    static float heightInBar(float barHeight);
    gfx::Size sizeThatFits(gfx::Size size) const override;

private:
    std::weak_ptr<BarButtonItem> m_item;
    bool m_back = false;
};

// The view a bar shows for `item`: its custom view, or a button that runs
// its actions. Spaces have none.
std::shared_ptr<View> makeBarItemView(const std::shared_ptr<BarButtonItem>& item);
// The width an item takes in a bar (flexible spaces: 0).
float barItemWidth(const BarButtonItem& item, const View* view);

} // namespace ui
