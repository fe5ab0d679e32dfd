#include "Shell/Interface/ViewAdditions.h"

#include "Platform/UI/Touch.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <cmath>

ui::View* vkFindFirstResponder(ui::View& view)
{
    if (view.isFirstResponder())
        return &view;
    for (const auto& subview : view.subviews())
        if (ui::View* found = vkFindFirstResponder(*subview))
            return found;
    return nullptr;
}

void vkRemoveAllSubviews(ui::View& view)
{
    // Removal changes the list: take a copy to walk.
    auto subviews = view.subviews();
    for (const auto& subview : subviews)
        subview->removeFromSuperview();
}

namespace {

void vkPopulateString(const ui::View& view, std::string& text, const std::string& indent)
{
    text += indent + view.description() + "\n";
    std::string deeper = indent + "    ";
    for (const auto& subview : view.subviews())
        vkPopulateString(*subview, text, deeper);
}

} // namespace

std::string vkDeepDescription(const ui::View& view)
{
    std::string text = "\n";
    vkPopulateString(view, text, "");
    return text;
}

gfx::Rect vkRectFromScreenRect(const ui::View& view, const gfx::Rect& rect)
{
    const ui::View* window = view.window();
    if (!window)
        return view.convertRectFrom(rect, nullptr);
    // The window's own frame and turn place it on the screen.
    gfx::Rect inWindow = window->layer().transformToRoot().inverted().apply(rect);
    return view.convertRectFrom(inWindow, window);
}

void vkBeginAnimations(std::string name, core::Value context, const core::Object*)
{
    ui::ViewAnimation::begin(std::move(name), std::move(context));
}

void vkCommitAnimations(const core::Object*)
{
    ui::ViewAnimation::commit();
}

std::shared_ptr<ui::View> dimmingViewWithFrame(const gfx::Rect& frame)
{
    auto view = ui::View::create(frame);
    view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    view->setBackgroundColor(gfx::Color::white(0, 0.5f));
    return view;
}

float deltaForTouches(const ui::View& view, const ui::TouchSet& touches)
{
    if (touches.size() < 2)
        return 0;
    gfx::Point first = touches[0]->locationInView(&view);
    gfx::Point second = touches[1]->locationInView(&view);
    return std::hypot(second.x - first.x, second.y - first.y);
}
