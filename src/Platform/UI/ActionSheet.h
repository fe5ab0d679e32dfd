#pragma once

// An action sheet: a title and a column of buttons, the destructive one
// first and cancel last, shown from a toolbar, a tab bar, a view, a bar item
// or a rectangle. It becomes a subview of its anchor's window, above a
// dimming view, so it is found by walking the application's windows. On the
// phone idiom it rises from the bottom; on the tablet idiom a sheet shown
// from a toolbar, a tab bar, a bar item or a rectangle sits at its anchor
// without its cancel button (kept where a choice destroys), and a tap
// outside it dismisses it with the cancel index. Return presses its one
// choice besides cancel unless that one destroys.

#include "Platform/UI/ChoiceView.h"

#include <optional>

namespace ui {

class ActionSheet;
class BarButtonItem;
class DimmingView;
class Label;

using ActionSheetDelegate = ChoiceDelegate<ActionSheet>;

class ActionSheet : public DelegatingChoiceView<ActionSheet> {
public:
    // The device's numbers.
    enum class Style { Automatic = -1, Default = 0, BlackTranslucent = 1, BlackOpaque = 2 };
    enum class AnchorKind { None = 0, Toolbar = 1, TabBar = 2, View = 3, BarButtonItem = 4, Rect = 5 };

    static constexpr float ButtonHeight = 44;
    static constexpr float ButtonSpacing = 8;
    static constexpr float Margin = 20;
    // The width of a sheet shown at its anchor.
    static constexpr float AnchoredWidth = 272;

    // Indexes: destructive (when given) 0, the others in order, cancel last.
    static std::shared_ptr<ActionSheet> create(std::string title, std::weak_ptr<ActionSheetDelegate> delegate = {},
        std::optional<std::string> cancelTitle = std::nullopt,
        std::optional<std::string> destructiveTitle = std::nullopt, const std::vector<std::string>& otherTitles = {});
    ActionSheet();
    ~ActionSheet() override;
    // What create() does, for subclasses that make their own sheets.
    static void setUp(ActionSheet& sheet, std::string title, std::weak_ptr<ActionSheetDelegate> delegate,
        std::optional<std::string> cancelTitle, std::optional<std::string> destructiveTitle,
        const std::vector<std::string>& otherTitles);

    int destructiveButtonIndex() const { return m_destructiveIndex; }
    void setDestructiveButtonIndex(int index);
    int firstOtherButtonIndex() const;
    Style actionSheetStyle() const { return m_style; }
    // NSInvalidArgumentException outside −1 … 2.
    void setActionSheetStyle(Style style);

    // Each throws NSInvalidArgumentException when the anchor is in no window.
    void showFromToolbar(const View& toolbar);
    void showFromTabBar(const View& tabBar);
    void showInView(const View& view);
    // At the item's laid-out view (NSInvalidArgumentException without one).
    void showFromBarButtonItem(const BarButtonItem& item, bool animated);
    void showFromRect(const gfx::Rect& rect, const View& view, bool animated);

    AnchorKind anchorKind() const { return m_anchorKind; }
    // The anchor in window coordinates.
    gfx::Rect anchorRect() const { return m_anchorRect; }
    // Whether the sheet sits at its anchor (tablet idiom, bar item or rect).
    bool isAnchored() const { return m_anchored; }
    // Keeps the cancel button in a sheet that sits at its anchor, for a
    // question that must be answered plainly.
    void setShowsCancelButtonWhenAnchored(bool shows) { m_showsCancelWhenAnchored = shows; }
    // An anchored sheet points at its anchor from below it (Up) or above
    // it (Down), its arrow's tip this far from its left edge; otherwise None.
    enum class Arrow { None, Up, Down };
    Arrow arrow() const { return m_arrow; }
    float arrowX() const { return m_arrowX; }
    // How far the arrow stands out of the sheet.
    static constexpr float ArrowHeight = 13;

    void layoutSubviews() override;
    std::optional<int> defaultButtonIndex() const override;

protected:
    void removeFromScreen() override;
    bool showsButton(int index) const override;

private:
    void show(AnchorKind kind, const View& anchor, const gfx::Rect& rect, bool animated);

    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<DimmingView> m_dimmingView;
    int m_destructiveIndex = -1;
    Style m_style = Style::Automatic;
    AnchorKind m_anchorKind = AnchorKind::None;
    gfx::Rect m_anchorRect;
    bool m_anchored = false;
    bool m_showsCancelWhenAnchored = false;
    Arrow m_arrow = Arrow::None;
    float m_arrowX = 0;
};

} // namespace ui
