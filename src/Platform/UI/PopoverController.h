#pragma once

// A popover: a content controller shown over its anchor's window, next to a
// rectangle or a bar item, in a dark frame with an arrow pointing at the
// anchor. It stands upright in the interface (the window's bounds turned to
// the status bar's orientation, as alerts do). The arrow is the first
// permitted of up (the popover below the anchor), down, left and right for
// which the framed content fits in the interface; when none fits, the
// permitted one with the most room. A tap outside it (but not on a
// pass-through view) asks the delegate, then dismisses; the dismissal hook
// runs first on every path (outside tap, code, rotation) and learns which it
// was, and the delegate hears of a dismissal only after an outside tap,
// unless code asks for it. A shown popover is kept by the toolkit until it
// goes.

#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Graphics/Geometry.h"

#include <functional>
#include <memory>
#include <vector>

namespace ui {

class BarButtonItem;
class DimmingView;
class PopoverController;
class PopoverView;
class View;
class Window;
class ViewController;

class PopoverControllerDelegate {
public:
    virtual ~PopoverControllerDelegate() = default;
    virtual bool shouldDismiss(PopoverController& popover)
    {
        (void)popover;
        return true;
    }
    virtual void didDismiss(PopoverController& popover) { (void)popover; }
};

class PopoverController : public core::Object {
public:
    // The device's numbers.
    enum ArrowDirection : unsigned { Up = 1, Down = 2, Left = 4, Right = 8, Any = 15, Unknown = ~0u };
    // The room the screen keeps around a popover.
    static constexpr float ScreenMargin = 10;
    // The frame around the content and the arrow that stands out of it.
    static constexpr float BorderWidth = 6;
    static constexpr float ArrowHeight = 13;
    static constexpr float ArrowBase = 28;

    static std::shared_ptr<PopoverController> create(std::shared_ptr<ViewController> content);
    PopoverController();
    ~PopoverController() override;

    const std::shared_ptr<ViewController>& contentViewController() const { return m_content; }
    void setContentViewController(std::shared_ptr<ViewController> content, bool animated = false);
    // The content's own size; never more than the screen less ScreenMargin
    // on each axis.
    gfx::Size popoverContentSize() const;

    std::shared_ptr<PopoverControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<PopoverControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::vector<std::weak_ptr<View>>& passthroughViews() const { return m_passthrough; }
    void setPassthroughViews(std::vector<std::weak_ptr<View>> views);
    // Why a popover goes.
    enum class DismissalCause { OutsideTap, Code, Rotation };
    using DismissalHook = std::function<void(PopoverController&, DismissalCause)>;
    // Runs first on every dismissal, with its cause; a code dismissal of a
    // popover that is closed already runs it too, so an owner that keeps a
    // closed popover to show again hears that it is no longer wanted. Store
    // a closure that holds its owner weakly.
    void setDismissalHook(DismissalHook hook) { m_hook = std::move(hook); }

    // NSInvalidArgumentException when the view is in no window, the
    // directions name none, or the item has no laid-out view.
    void presentFromRect(const gfx::Rect& rect, const View& view, unsigned directions, bool animated);
    void presentFromBarButtonItem(const BarButtonItem& item, unsigned directions, bool animated);

    bool isPopoverVisible() const { return m_visible; }
    ArrowDirection arrowDirection() const { return m_visible ? m_arrow : Unknown; }
    // The view that holds the framed content and draws the frame and the
    // arrow, in the anchor's window (null while hidden); its arrow's side
    // touches the anchor.
    View* popoverView() const;

    // Code dismissals: the hook, the dismissal, and the delegate's
    // didDismiss only with `notifyDelegate`.
    void dismiss(bool animated);
    void dismiss(bool animated, bool notifyDelegate);
    // A tap outside the popover, as a person makes it.
    void outsideTap();
    // Closes the popover, unanimated and without the delegate, because the
    // interface turns; the toolkit does it when the status bar is about to
    // turn. The hook hears Rotation.
    void dismissForRotation();

    // The popovers shown now, oldest first.
    static std::vector<std::shared_ptr<PopoverController>> shownPopovers();
    static void resetForTesting();

private:
    void present(const gfx::Rect& anchorInWindow, Window& window, unsigned directions, bool animated);
    void close(bool animated, bool notifyDelegate, DismissalCause cause);
    void place();

    std::shared_ptr<ViewController> m_content;
    std::weak_ptr<PopoverControllerDelegate> m_delegate;
    std::vector<std::weak_ptr<View>> m_passthrough;
    DismissalHook m_hook;
    std::shared_ptr<DimmingView> m_dimmingView;
    std::shared_ptr<PopoverView> m_container;
    core::Observation m_rotation;
    core::Observation m_resize;
    // In the interface's space.
    gfx::Rect m_anchor;
    unsigned m_directions = Any;
    ArrowDirection m_arrow = Unknown;
    bool m_visible = false;
};

} // namespace ui
