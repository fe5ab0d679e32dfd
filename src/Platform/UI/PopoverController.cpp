#include "Platform/UI/PopoverController.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/DimmingView.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardViewDrawing.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

namespace {

std::vector<std::shared_ptr<PopoverController>> visiblePopovers;

} // namespace

// The popover's frame: a dark rounded body around the content and the arrow
// on one side, at `arrowOffset` along it.
class PopoverView : public View {
public:
    PopoverController::ArrowDirection arrow = PopoverController::Up;
    float arrowOffset = 0;
    // Escape closes it, as a tap outside would, even where taps outside
    // are refused; no other key reaches what is under it.
    std::function<void()> escape;

    bool performKeyCommand(KeyCommand command) override
    {
        if (command == KeyCommand::Escape && escape)
            escape();
        return true;
    }

    void draw(gfx::Context& context, const gfx::Rect&) override
    {
        constexpr float h = PopoverController::ArrowHeight, half = PopoverController::ArrowBase / 2;
        gfx::Rect b = bounds();
        gfx::Rect body = b;
        gfx::Point tip, left, right;
        switch (arrow) {
        case PopoverController::Up:
            body = { b.minX(), b.minY() + h, b.width(), b.height() - h };
            tip = { arrowOffset, b.minY() };
            left = { arrowOffset - half, body.minY() + 1 };
            right = { arrowOffset + half, body.minY() + 1 };
            break;
        case PopoverController::Down:
            body = { b.minX(), b.minY(), b.width(), b.height() - h };
            tip = { arrowOffset, b.maxY() };
            left = { arrowOffset - half, body.maxY() - 1 };
            right = { arrowOffset + half, body.maxY() - 1 };
            break;
        case PopoverController::Left:
            body = { b.minX() + h, b.minY(), b.width() - h, b.height() };
            tip = { b.minX(), arrowOffset };
            left = { body.minX() + 1, arrowOffset - half };
            right = { body.minX() + 1, arrowOffset + half };
            break;
        default:
            body = { b.minX(), b.minY(), b.width() - h, b.height() };
            tip = { b.maxX(), arrowOffset };
            left = { body.maxX() - 1, arrowOffset - half };
            right = { body.maxX() - 1, arrowOffset + half };
            break;
        }
        context.setFillColor(gfx::Color::rgb255(31, 41, 58));
        StandardViewDrawing::fillRoundedRect(context, body, 9);
        context.beginPath();
        context.moveToPoint(left.x, left.y);
        context.addLineToPoint(tip.x, tip.y);
        context.addLineToPoint(right.x, right.y);
        context.closePath();
        context.fillPath();
    }
};

std::shared_ptr<PopoverController> PopoverController::create(std::shared_ptr<ViewController> content)
{
    auto popover = std::make_shared<PopoverController>();
    popover->setContentViewController(std::move(content));
    return popover;
}

PopoverController::PopoverController() = default;

PopoverController::~PopoverController() = default;

void PopoverController::setContentViewController(std::shared_ptr<ViewController> content, bool)
{
    requireMainThread("PopoverController::setContentViewController");
    if (m_visible && m_content && m_content->isViewLoaded())
        m_content->view()->removeFromSuperview();
    m_content = std::move(content);
    if (m_visible && m_content) {
        m_container->addSubview(m_content->view());
        place();
    }
}

gfx::Size PopoverController::popoverContentSize() const
{
    gfx::Size size = m_content ? m_content->contentSizeForViewInPopover() : gfx::Size();
    gfx::Rect screen = Screen::main()->bounds();
    return { std::clamp(size.width, 0.f, std::max(0.f, screen.width() - ScreenMargin)),
        std::clamp(size.height, 0.f, std::max(0.f, screen.height() - ScreenMargin)) };
}

void PopoverController::setPassthroughViews(std::vector<std::weak_ptr<View>> views)
{
    m_passthrough = std::move(views);
    if (m_dimmingView)
        m_dimmingView->setPassthroughViews(m_passthrough);
}

void PopoverController::presentFromRect(const gfx::Rect& rect, const View& view, unsigned directions, bool animated)
{
    requireFinite(rect, "PopoverController::presentFromRect");
    Window* window = view.window();
    if (!window)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("PopoverController::presentFromRect: {} is in no window", view.className()));
    present(view.convertRect(rect, window), *window, directions, animated);
}

void PopoverController::presentFromBarButtonItem(const BarButtonItem& item, unsigned directions, bool animated)
{
    auto view = item.view();
    if (!view || !view->window())
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("PopoverController::presentFromBarButtonItem: {} has no laid-out view", item.description()));
    present(view->convertRect(view->bounds(), view->window()), *view->window(), directions, animated);
}

void PopoverController::present(const gfx::Rect& anchor, Window& window, unsigned directions, bool animated)
{
    requireMainThread("PopoverController::present");
    if ((directions & Any) == 0)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("PopoverController::present: {} names no arrow direction", directions));
    if (!m_content)
        throw core::Exception(core::Exception::InvalidArgument, "PopoverController::present: no content controller");
    auto self = std::static_pointer_cast<PopoverController>(shared_from_this());
    if (m_visible)
        dismiss(false);
    m_anchor = window.interfaceToWindow().inverted().apply(anchor);
    m_directions = directions & Any;

    std::weak_ptr<PopoverController> weakSelf = self;
    m_dimmingView = DimmingView::create(window.bounds(), 0);
    m_dimmingView->setPassthroughViews(m_passthrough);
    m_dimmingView->setTapHandler([weakSelf] {
        if (auto self = weakSelf.lock())
            self->outsideTap();
    });
    auto container = std::make_shared<PopoverView>();
    container->escape = [weakSelf] {
        if (auto self = weakSelf.lock(); self && self->m_visible)
            self->close(true, true, DismissalCause::OutsideTap);
    };
    m_container = container;
    m_container->addSubview(m_content->view());
    window.addSubview(m_dimmingView);
    window.addSubview(m_container);
    m_visible = true;
    visiblePopovers.push_back(self);
    place();
    m_content->viewWillAppear(animated);
    m_content->viewDidAppear(animated);
    // A turn, or a desktop window's resize, moves its anchor away.
    auto dismiss = [weakSelf](const core::Notification&) {
        if (auto self = weakSelf.lock())
            self->dismissForRotation();
    };
    m_rotation = core::NotificationCenter::defaultCenter().observe(
        Application::willChangeStatusBarOrientationNotification, nullptr, dismiss);
    m_resize = core::NotificationCenter::defaultCenter().observe(Application::didResizeScreenNotification, nullptr, dismiss);
}

View* PopoverController::popoverView() const
{
    return m_visible ? m_container.get() : nullptr;
}

void PopoverController::place()
{
    Window* window = m_container ? m_container->window() : nullptr;
    if (!window)
        return;
    gfx::Rect area = window->interfaceBounds();
    gfx::Size content = popoverContentSize();
    gfx::Size framed { content.width + 2 * BorderWidth, content.height + 2 * BorderWidth };
    // Room on each side of the anchor, in the order the arrows are tried.
    struct Side {
        ArrowDirection arrow;
        float room;
        float need;
    };
    const Side sides[] = {
        { Up, area.maxY() - m_anchor.maxY(), framed.height + ArrowHeight },
        { Down, m_anchor.minY() - area.minY(), framed.height + ArrowHeight },
        { Left, area.maxX() - m_anchor.maxX(), framed.width + ArrowHeight },
        { Right, m_anchor.minX() - area.minX(), framed.width + ArrowHeight },
    };
    const Side* chosen = nullptr;
    for (auto& side : sides)
        if ((m_directions & side.arrow) && side.room >= side.need) {
            chosen = &side;
            break;
        }
    if (!chosen)
        for (auto& side : sides)
            if ((m_directions & side.arrow) && (!chosen || side.room > chosen->room))
                chosen = &side;
    m_arrow = chosen->arrow;

    // Across the arrow's axis it keeps half the screen's margin from the
    // interface's edges.
    constexpr float edge = ScreenMargin / 2;
    auto across = [](float centre, float length, float low, float high) {
        return std::clamp(centre - length / 2, low + edge, std::max(low + edge, high - edge - length));
    };
    bool vertical = m_arrow == Up || m_arrow == Down;
    gfx::Size size = vertical ? gfx::Size { framed.width, framed.height + ArrowHeight }
                              : gfx::Size { framed.width + ArrowHeight, framed.height };
    gfx::Rect frame;
    switch (m_arrow) {
    case Up:
        frame = { across(m_anchor.midX(), size.width, area.minX(), area.maxX()), m_anchor.maxY(), size.width, size.height };
        break;
    case Down:
        frame = { across(m_anchor.midX(), size.width, area.minX(), area.maxX()), m_anchor.minY() - size.height, size.width,
            size.height };
        break;
    case Left:
        frame = { m_anchor.maxX(), across(m_anchor.midY(), size.height, area.minY(), area.maxY()), size.width, size.height };
        break;
    default:
        frame = { m_anchor.minX() - size.width, across(m_anchor.midY(), size.height, area.minY(), area.maxY()), size.width,
            size.height };
        break;
    }
    // The arrow points at the anchor's middle, kept clear of the corners.
    float along = vertical ? m_anchor.midX() - frame.minX() : m_anchor.midY() - frame.minY();
    float length = vertical ? size.width : size.height;
    float margin = ArrowBase / 2 + BorderWidth;
    m_container->arrow = m_arrow;
    m_container->arrowOffset = std::clamp(along, margin, std::max(margin, length - margin));

    // Upright in the interface: turned with it inside the window.
    gfx::AffineTransform toWindow = window->interfaceToWindow();
    gfx::AffineTransform turn = toWindow;
    turn.tx = turn.ty = 0;
    m_container->setTransform(turn);
    m_container->setBounds({ 0, 0, frame.width(), frame.height() });
    m_container->setCenter(toWindow.apply(gfx::Point { frame.midX(), frame.midY() }));
    m_container->setNeedsDisplay();
    if (m_content && m_content->isViewLoaded())
        m_content->view()->setFrame({ BorderWidth + (m_arrow == Left ? ArrowHeight : 0),
            BorderWidth + (m_arrow == Up ? ArrowHeight : 0), content.width, content.height });
}

void PopoverController::dismiss(bool animated)
{
    dismiss(animated, false);
}

void PopoverController::dismiss(bool animated, bool notifyDelegate)
{
    close(animated, notifyDelegate, DismissalCause::Code);
}

void PopoverController::dismissForRotation()
{
    if (m_visible)
        close(false, false, DismissalCause::Rotation);
}

void PopoverController::close(bool animated, bool notifyDelegate, DismissalCause cause)
{
    requireMainThread("PopoverController::dismiss");
    auto self = std::static_pointer_cast<PopoverController>(shared_from_this());
    if (auto hook = m_hook)
        hook(*this, cause);
    if (!m_visible)
        return;
    m_visible = false;
    m_rotation.reset();
    m_resize.reset();
    if (m_content)
        m_content->viewWillDisappear(animated);
    m_dimmingView->setTapHandler(nullptr);
    m_dimmingView->removeFromSuperview();
    m_container->removeFromSuperview();
    if (m_content && m_content->isViewLoaded() && m_content->view()->superview() == m_container.get())
        m_content->view()->removeFromSuperview();
    m_dimmingView.reset();
    m_container.reset();
    std::erase(visiblePopovers, self);
    if (m_content)
        m_content->viewDidDisappear(animated);
    if (notifyDelegate)
        if (auto d = delegate())
            d->didDismiss(*this);
}

void PopoverController::outsideTap()
{
    if (!m_visible)
        return;
    auto self = shared_from_this();
    if (auto d = delegate(); d && !d->shouldDismiss(*this))
        return;
    close(true, true, DismissalCause::OutsideTap);
}

std::vector<std::shared_ptr<PopoverController>> PopoverController::shownPopovers()
{
    return visiblePopovers;
}

void PopoverController::resetForTesting()
{
    visiblePopovers.clear();
}

} // namespace ui
