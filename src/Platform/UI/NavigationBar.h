#pragma once

// The bar over a navigation stack: a stack of navigation items, the top one
// shown with its title (or title view), prompt, left item or back button
// (reading the previous item's back item or title, "Back" when empty) and
// right item. Subclasses (a navigation controller's bar factory makes them)
// may size and lay out the bar themselves: the four views are exposed and
// the base layout can be called.

#include "Platform/Graphics/Color.h"
#include "Platform/UI/View.h"

#include <memory>
#include <optional>
#include <vector>

namespace ui {

class Label;
class NavigationBar;
class NavigationItem;

class NavigationBarDelegate {
public:
    virtual ~NavigationBarDelegate() = default;
    virtual bool shouldPushItem(NavigationBar&, NavigationItem&) { return true; }
    virtual void didPushItem(NavigationBar&, NavigationItem&) { }
    virtual bool shouldPopItem(NavigationBar&, NavigationItem&) { return true; }
    virtual void didPopItem(NavigationBar&, NavigationItem&) { }
};

class NavigationBar : public View {
public:
    enum class Style { Default = 0, Black = 1, BlackTranslucent = 2 };
    static constexpr float Height = 44;
    static constexpr float LandscapeHeight = 32; // the phone's
    static constexpr float PromptHeight = 30;
    static constexpr float Margin = 5;

    static std::shared_ptr<NavigationBar> create(const gfx::Rect& frame = {});
    NavigationBar();
    ~NavigationBar() override;

    Style barStyle() const { return m_style; }
    void setBarStyle(Style style);
    bool isTranslucent() const { return m_translucent || m_style == Style::BlackTranslucent; }
    void setTranslucent(bool translucent);
    std::optional<gfx::Color> tintColor() const { return m_tint; }
    void setTintColor(std::optional<gfx::Color> color);

    const std::vector<std::shared_ptr<NavigationItem>>& items() const { return m_items; }
    void setItems(std::vector<std::shared_ptr<NavigationItem>> items, bool animated = false);
    void pushItem(const std::shared_ptr<NavigationItem>& item, bool animated = false);
    std::shared_ptr<NavigationItem> popItem(bool animated = false);
    NavigationItem* topItem() const;
    NavigationItem* backItem() const;
    std::shared_ptr<NavigationBarDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<NavigationBarDelegate> delegate) { m_delegate = std::move(delegate); }

    // The views of the top item, made at layout: the title label or title
    // view, the prompt label (null without a prompt), the left view (the
    // left item's or the back button) and the right item's view.
    View* titleView() const { return m_titleView.get(); }
    View* promptView() const { return m_promptView.get(); }
    View* leftButtonView() const { return m_leftView.get(); }
    View* rightButtonView() const { return m_rightView.get(); }
    // What the back button reads for the current stack (empty: none).
    std::string backButtonTitle() const;
    // A tap on the back button: the delegate may take it.
    void backButtonTapped();

    // 44 points (32 in landscape on the phone), plus 30 with a prompt.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    // Places the prompt, the left and right views and the title between.
    void layoutSubviews() override;
    // The left and right buttons answer touches over at least 44 × 44
    // points around their centres, whatever their pictures' size.
    View* hitTest(gfx::Point point, const Event* event = nullptr) override;
    // Escape from its title view (a search field) is its Cancel item.
    bool performKeyCommand(KeyCommand command) override;

protected:
    // Makes the top item's views when the items changed since the last
    // layout, so a subclass can adjust them before the base layout runs.
    void makeViewsIfNeeded();

private:
    void itemsChanged();
    void rebuildViews();
    void watch(NavigationItem& item);

    Style m_style = Style::Default;
    bool m_translucent = false;
    std::optional<gfx::Color> m_tint;
    std::vector<std::shared_ptr<NavigationItem>> m_items;
    std::weak_ptr<NavigationBarDelegate> m_delegate;
    std::shared_ptr<View> m_titleView;
    std::shared_ptr<View> m_promptView;
    std::shared_ptr<View> m_leftView;
    std::shared_ptr<View> m_rightView;
    bool m_viewsStale = true;
};

// 44 points, or 32 in landscape on the phone.
float barHeightForInterface();

} // namespace ui
