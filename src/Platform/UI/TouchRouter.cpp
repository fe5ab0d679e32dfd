#include "Platform/UI/TouchRouter.h"

#include "Platform/UI/Event.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

#include <utility>
#include <algorithm>

namespace ui {

namespace {

using State = GestureRecognizer::State;

std::vector<std::weak_ptr<GestureRecognizer>> active;
TouchSet held;
bool settling = false;

bool hasRecognized(const GestureRecognizer& r)
{
    return r.state() == State::Began || r.state() == State::Changed || r.state() == State::Ended;
}

bool isTerminal(State s)
{
    return s == State::Ended || s == State::Cancelled || s == State::Failed;
}

std::vector<std::shared_ptr<GestureRecognizer>> liveActive()
{
    std::vector<std::shared_ptr<GestureRecognizer>> result;
    for (auto& weak : active)
        if (auto r = weak.lock())
            result.push_back(std::move(r));
    return result;
}

bool contains(const TouchSet& touches, const Touch* touch)
{
    return std::any_of(touches.begin(), touches.end(), [&](auto& t) { return t.get() == touch; });
}

// Whether a recognizer of the touch that cancels view touches has won it.
bool cancelledByRecognizer(const Touch& touch)
{
    for (auto& r : touch.gestureRecognizers())
        if (r->cancelsTouchesInView() && hasRecognized(*r) && (contains(r->touches(), &touch) || touch.phase() >= Touch::Phase::Ended))
            return true;
    return false;
}

bool endMustWait(const Touch& touch)
{
    for (auto& r : touch.gestureRecognizers())
        if (r->delaysTouchesEnded() && r->isEnabled() && r->state() == State::Possible && TouchRouter::isActive(*r))
            return true;
    return false;
}

void cancelInView(const std::shared_ptr<Touch>& touch)
{
    if (touch->isCancelledInView())
        return;
    touch->setCancelledInView(true);
    auto view = touch->view();
    if (view && touch->isDeliveredToView())
        view->touchesCancelled({ touch }, Event::touches({ touch }));
}

// The nearest scroll view above the hit view that holds touches back from
// its content, if any.
ScrollView* delayingScrollView(const View& hit)
{
    for (View* view = hit.superview(); view; view = view->superview())
        if (auto* scroll = dynamic_cast<ScrollView*>(view); scroll && scroll->delaysTouchesInContentView(&hit))
            return scroll;
    return nullptr;
}

} // namespace

// Hands a held touch to the content: the recognizers inside the scroll
// view hear it begin, then its view, unless a drag or another recognizer
// took it meanwhile (then the content never hears of it).
void TouchRouter::releaseContent(const std::shared_ptr<Touch>& touch)
{
    if (!touch->isContentDelayed())
        return;
    auto inner = touch->releaseContent();
    if (touch->isCancelledInView() || cancelledByRecognizer(*touch) || touch->phase() == Touch::Phase::Cancelled) {
        touch->setCancelledInView(true);
        return;
    }
    std::vector<std::weak_ptr<GestureRecognizer>> all = inner;
    for (auto& r : touch->gestureRecognizers())
        all.push_back(r);
    touch->setGestureRecognizers(std::move(all));
    Event event = Event::touches({ touch });
    for (auto& weak : inner) {
        auto r = weak.lock();
        if (!r || !r->isEnabled() || isTerminal(r->state()))
            continue;
        if (!isActive(*r))
            active.push_back(r);
        r->m_touches.push_back(touch);
        r->touchesBegan({ touch }, event);
    }
    auto view = touch->view();
    if (view && !touch->isCancelledInView() && !cancelledByRecognizer(*touch)) {
        touch->setDeliveredToView(true);
        view->touchesBegan({ touch }, event);
    }
}

bool TouchRouter::isActive(const GestureRecognizer& recognizer)
{
    return std::any_of(active.begin(), active.end(), [&](auto& w) { return w.lock().get() == &recognizer; });
}

bool TouchRouter::mayBegin(GestureRecognizer& recognizer)
{
    for (auto& other : liveActive()) {
        if (other.get() == &recognizer)
            continue;
        if ((other->state() == State::Began || other->state() == State::Changed) && !recognizer.canRecognizeWith(*other))
            return false;
    }
    return true;
}

void TouchRouter::stateChanged(GestureRecognizer& recognizer, bool recognizedNow)
{
    if (recognizedNow) {
        for (auto& other : liveActive()) {
            if (other.get() == &recognizer || other->state() != State::Possible)
                continue;
            if (other->requiredToFail().get() == &recognizer || !recognizer.canRecognizeWith(*other))
                other->applyState(State::Failed);
        }
        if (recognizer.cancelsTouchesInView())
            cancelViewTouches(recognizer);
    }
    if (recognizer.state() == State::Failed) {
        for (auto& other : liveActive())
            if (other->requiredToFail().get() == &recognizer && other->m_pending)
                other->setState(*other->m_pending);
    }
    settle();
}

void TouchRouter::cancelViewTouches(GestureRecognizer& recognizer)
{
    for (auto& touch : recognizer.touches())
        cancelInView(touch);
    auto heldNow = held;
    for (auto& touch : heldNow) {
        auto recognizers = touch->gestureRecognizers();
        if (std::any_of(recognizers.begin(), recognizers.end(), [&](auto& r) { return r.get() == &recognizer; })) {
            cancelInView(touch);
            std::erase(held, touch);
            touch->releaseView();
        }
    }
}

void TouchRouter::deactivate(GestureRecognizer& recognizer)
{
    std::erase_if(active, [&](auto& w) {
        auto r = w.lock();
        return !r || r.get() == &recognizer;
    });
}

void TouchRouter::settle()
{
    if (std::exchange(settling, true))
        return;
    for (auto& r : liveActive()) {
        if (isTerminal(r->state()) && r->touches().empty()) {
            deactivate(*r);
            r->reset();
        }
    }
    auto heldNow = held;
    for (auto& touch : heldNow) {
        if (cancelledByRecognizer(*touch)) {
            cancelInView(touch);
        } else if (endMustWait(*touch)) {
            continue;
        } else if (auto view = touch->view(); view && !touch->isCancelledInView()) {
            touch->setEndDelayed(false);
            view->touchesEnded({ touch }, Event::touches({ touch }));
        }
        std::erase(held, touch);
        touch->releaseView();
    }
    settling = false;
}

void TouchRouter::route(Window&, const Event& event)
{
    const TouchSet& touches = event.allTouches();

    // Recognizers, fixed at touch-down: those of the hit view and its
    // ancestors that take the touch.
    // A touch landing in a delaying scroll view's content reaches the
    // recognizers of the scroll view and above at once; the content's own
    // recognizers and view wait (see releaseContent).
    for (auto& touch : touches) {
        if (touch->phase() != Touch::Phase::Began)
            continue;
        View* hit = touch->view().get();
        ScrollView* delaying = hit ? delayingScrollView(*hit) : nullptr;
        std::vector<std::weak_ptr<GestureRecognizer>> inner, recognizers;
        bool inside = delaying != nullptr;
        for (View* view = hit; view; view = view->superview()) {
            if (view == delaying)
                inside = false;
            for (auto& r : view->gestureRecognizers()) {
                if (!r->isEnabled() || isTerminal(r->state()))
                    continue;
                if (auto delegate = r->delegate(); delegate && !delegate->shouldReceiveTouch(*r, *touch))
                    continue;
                (inside ? inner : recognizers).push_back(r);
            }
        }
        touch->setGestureRecognizers(std::move(recognizers));
        if (delaying) {
            touch->holdContent(std::move(inner));
            std::weak_ptr<Touch> weak = touch;
            core::RunLoop::main().performAfter(ScrollView::ContentTouchDelay, [weak] {
                if (auto held = weak.lock(); held && held->isContentDelayed()) {
                    releaseContent(held);
                    settle();
                }
            });
        }
    }
    // A lift within the delay: the content hears the whole touch now.
    for (auto& touch : touches)
        if (touch->isContentDelayed() && touch->phase() >= Touch::Phase::Ended)
            releaseContent(touch);

    std::vector<std::shared_ptr<GestureRecognizer>> order;
    for (auto& touch : touches)
        for (auto& r : touch->gestureRecognizers())
            if (std::find(order.begin(), order.end(), r) == order.end())
                order.push_back(r);

    for (auto& r : order) {
        TouchSet began, moved, ended, cancelled;
        for (auto& touch : touches) {
            auto recognizers = touch->gestureRecognizers();
            if (std::find(recognizers.begin(), recognizers.end(), r) == recognizers.end())
                continue;
            switch (touch->phase()) {
            case Touch::Phase::Began:
                if (r->isEnabled() && !isTerminal(r->state()))
                    began.push_back(touch);
                break;
            case Touch::Phase::Moved:
            case Touch::Phase::Stationary:
                if (contains(r->m_touches, touch.get()))
                    moved.push_back(touch);
                break;
            case Touch::Phase::Ended:
                if (contains(r->m_touches, touch.get()))
                    ended.push_back(touch);
                break;
            case Touch::Phase::Cancelled:
                if (contains(r->m_touches, touch.get()))
                    cancelled.push_back(touch);
                break;
            }
        }
        if (!began.empty()) {
            if (!isActive(*r))
                active.push_back(r);
            for (auto& touch : began)
                r->m_touches.push_back(touch);
            r->touchesBegan(began, event);
        }
        if (!moved.empty() && !isTerminal(r->state()))
            r->touchesMoved(moved, event);
        if (!ended.empty()) {
            if (!isTerminal(r->state()))
                r->touchesEnded(ended, event);
            if (r->m_touches.size() == ended.size())
                r->m_lastWindowLocation = r->locationInView(nullptr);
            std::erase_if(r->m_touches, [&](auto& t) { return contains(ended, t.get()); });
        }
        if (!cancelled.empty()) {
            if (!isTerminal(r->state()))
                r->touchesCancelled(cancelled, event);
            if (r->m_touches.size() == cancelled.size())
                r->m_lastWindowLocation = r->locationInView(nullptr);
            std::erase_if(r->m_touches, [&](auto& t) { return contains(cancelled, t.get()); });
        }
    }

    // The views, one call per view and phase.
    std::vector<View*> views;
    for (auto& touch : touches)
        if (touch->view() && std::find(views.begin(), views.end(), touch->view().get()) == views.end())
            views.push_back(touch->view().get());
    for (View* view : views) {
        auto keep = std::static_pointer_cast<View>(view->shared_from_this());
        TouchSet phases[5];
        for (auto& touch : touches) {
            if (touch->view().get() != view || touch->isContentDelayed())
                continue;
            if (touch->isCancelledInView() || cancelledByRecognizer(*touch)) {
                if (!touch->isCancelledInView())
                    cancelInView(touch);
                if (touch->phase() >= Touch::Phase::Ended)
                    touch->releaseView();
                continue;
            }
            Touch::Phase phase = touch->phase();
            if (phase == Touch::Phase::Ended && endMustWait(*touch)) {
                touch->setEndDelayed(true);
                held.push_back(touch);
                continue;
            }
            phases[int(phase)].push_back(touch);
        }
        for (auto& touch : phases[int(Touch::Phase::Began)])
            touch->setDeliveredToView(true);
        if (!phases[0].empty())
            view->touchesBegan(phases[0], event);
        if (!phases[1].empty())
            view->touchesMoved(phases[1], event);
        if (!phases[3].empty())
            view->touchesEnded(phases[3], event);
        if (!phases[4].empty())
            view->touchesCancelled(phases[4], event);
        for (int phase : { 3, 4 })
            for (auto& touch : phases[phase])
                touch->releaseView();
    }
    settle();
}

void TouchRouter::resetForTesting()
{
    active.clear();
    held.clear();
    settling = false;
}

} // namespace ui
