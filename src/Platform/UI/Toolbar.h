#pragma once

// A bar of items along the bottom of a screen. Items sit 6 points from the
// edges and 8 apart; flexible spaces share what is left, fixed spaces and
// items with a width take that width. Item views are made at layout, so an
// item's view() is null until the bar laid out.

#include "Platform/Graphics/Color.h"
#include "Platform/UI/NavigationBar.h"

namespace ui {

class BarButtonItem;

class Toolbar : public View {
public:
    static constexpr float Edge = 6;
    static constexpr float Gap = 8;

    static std::shared_ptr<Toolbar> create(const gfx::Rect& frame = {});
    Toolbar();
    ~Toolbar() override;

    // Each change of the look draws the bar and its buttons again (and
    // lays out what translucency moves).
    NavigationBar::Style barStyle() const { return m_style; }
    void setBarStyle(NavigationBar::Style style);
    bool isTranslucent() const { return m_translucent || m_style == NavigationBar::Style::BlackTranslucent; }
    void setTranslucent(bool translucent);
    std::optional<gfx::Color> tintColor() const { return m_tint; }
    void setTintColor(std::optional<gfx::Color> color);

    const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return m_items; }
    void setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);

    gfx::Size sizeThatFits(gfx::Size size) const override;
    void layoutSubviews() override;

private:
    void rebuildViews();

    NavigationBar::Style m_style = NavigationBar::Style::Default;
    bool m_translucent = false;
    std::optional<gfx::Color> m_tint;
    std::vector<std::shared_ptr<BarButtonItem>> m_items;
    std::vector<std::shared_ptr<View>> m_views;
    bool m_viewsStale = false;
};

// A plain bar 49 points high along the bottom of a screen (sheets can
// anchor to it).
class TabBar : public View {
public:
    static constexpr float Height = 49;
    static std::shared_ptr<TabBar> create(const gfx::Rect& frame = {}) { return make<TabBar>(frame); }
    gfx::Size sizeThatFits(gfx::Size size) const override { return { size.width, Height }; }
};

} // namespace ui
