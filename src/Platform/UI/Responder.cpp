#include "Platform/UI/Responder.h"

#include "Platform/UI/Checks.h"
#include "Platform/UI/Window.h"

namespace ui {

bool Responder::becomeFirstResponder()
{
    requireMainThread("Responder::becomeFirstResponder");
    Window* window = responderWindow();
    if (!window)
        return false;
    if (isFirstResponder())
        return true;
    if (!canBecomeFirstResponder())
        return false;
    return window->makeFirstResponder(this);
}

bool Responder::resignFirstResponder()
{
    requireMainThread("Responder::resignFirstResponder");
    Window* window = responderWindow();
    if (!window || !isFirstResponder())
        return true;
    if (!canResignFirstResponder())
        return false;
    window->makeFirstResponder(nullptr);
    return true;
}

bool Responder::isFirstResponder() const
{
    Window* window = responderWindow();
    return window && window->firstResponder() == this;
}

void Responder::touchesBegan(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesBegan(touches, event);
}

void Responder::touchesMoved(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesMoved(touches, event);
}

void Responder::touchesEnded(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesEnded(touches, event);
}

void Responder::touchesCancelled(const TouchSet& touches, const Event& event)
{
    if (auto* next = nextResponder())
        next->touchesCancelled(touches, event);
}

void Responder::motionBegan(const Event& event)
{
    if (auto* next = nextResponder())
        next->motionBegan(event);
}

void Responder::motionEnded(const Event& event)
{
    if (auto* next = nextResponder())
        next->motionEnded(event);
}

bool Responder::performKeyCommand(KeyCommand)
{
    return false;
}

void Responder::remoteControlReceived(const Event& event)
{
    if (auto* next = nextResponder())
        next->remoteControlReceived(event);
}

} // namespace ui
