#include "Shell/Interface/VKKeyboardDimmingView.h"

#include "Shell/Interface/ViewAdditions.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

std::shared_ptr<VKKeyboardDimmingView> VKKeyboardDimmingView::create(std::vector<std::weak_ptr<ui::Responder>> responders)
{
    auto view = std::make_shared<VKKeyboardDimmingView>();
    view->m_responders = std::move(responders);
    auto* dimming = view.get();
    auto& center = core::NotificationCenter::defaultCenter();
    view->m_willShow = center.observe(ui::Keyboard::willShowNotification, nullptr, [dimming](const ui::Keyboard::Change& change) {
        dimming->keyboardWillShow(change);
    });
    view->m_willHide = center.observe(ui::Keyboard::willHideNotification, nullptr, [dimming](const ui::Keyboard::Change& change) {
        dimming->keyboardWillHide(change);
    });
    view->m_didHide = center.observe(ui::Keyboard::didHideNotification, nullptr, [dimming](const core::Notification&) {
        dimming->keyboardDidHide();
    });
    return view;
}

VKKeyboardDimmingView::VKKeyboardDimmingView()
{
    setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    setBackgroundColor(ui::StandardColors::black());
    setAlpha(0);
    setHidden(true);
}

VKKeyboardDimmingView::~VKKeyboardDimmingView() = default;

bool VKKeyboardDimmingView::isWatched(const ui::View* responder) const
{
    if (!responder)
        return false;
    for (const auto& weak : m_responders)
        if (auto watched = weak.lock(); watched.get() == responder)
            return true;
    return false;
}

void VKKeyboardDimmingView::beginAnimationWithKeyboardChange(const ui::Keyboard::Change& change)
{
    double duration = change.animationDuration;
    auto curve = ui::ViewAnimation::Curve(change.animationCurve);
    // Focus moving between fields comes with no duration: dim in the
    // interface's own time rather than at once.
    if (!(duration > 0)) {
        auto* application = ui::Application::shared();
        duration = application ? application->statusBarOrientationAnimationDuration()
                               : ui::Application::OrientationAnimationDuration;
        curve = ui::ViewAnimation::Curve::EaseInOut;
    }
    if (int(curve) < 0 || int(curve) > int(ui::ViewAnimation::Curve::Linear))
        curve = ui::ViewAnimation::Curve::EaseInOut;
    ui::ViewAnimation::begin(AnimationName);
    ui::ViewAnimation::setBeginsFromCurrentState(true);
    ui::ViewAnimation::setCurve(curve);
    ui::ViewAnimation::setDuration(duration);
}

void VKKeyboardDimmingView::keyboardWillShow(const ui::Keyboard::Change& change)
{
    ui::Window* window = this->window();
    if (!window || !isWatched(vkFindFirstResponder(*window)))
        return;
    setHidden(false);
    beginAnimationWithKeyboardChange(change);
    setAlpha(DimmedAlpha);
    ui::ViewAnimation::commit();
}

void VKKeyboardDimmingView::keyboardWillHide(const ui::Keyboard::Change& change)
{
    if (isHidden())
        return;
    beginAnimationWithKeyboardChange(change);
    setAlpha(0);
    ui::ViewAnimation::commit();
}

void VKKeyboardDimmingView::keyboardDidHide()
{
    setHidden(true);
}

void VKKeyboardDimmingView::touchesBegan(const ui::TouchSet&, const ui::Event&)
{
    auto self = shared_from_this();
    if (ui::Window* window = this->window())
        if (ui::View* responder = vkFindFirstResponder(*window))
            responder->resignFirstResponder();
    if (auto delegate = this->delegate())
        delegate->keyboardDimmingViewDidReceiveTouches(*this);
}
