#pragma once

// An object on the responder chain: view → its controller → superview → … →
// window → application. Touches, motion and remote-control events that a
// responder does not handle travel to its next responder. One first
// responder per window.

#include "Platform/Core/Object.h"

#include <memory>
#include <vector>

namespace ui {

class Event;
class Touch;
class Window;

using TouchSet = std::vector<std::shared_ptr<Touch>>;

// What a desktop keyboard asks of the screen, beyond typing: the host turns
// keys into these (arrows, Page Up/Down, Home/End and the space bar scroll
// or move; Return confirms or opens; Escape cancels or goes back; Alt+Left
// and Backspace go back; Ctrl+F finds, Ctrl+W closes, Delete deletes).
enum class KeyCommand { Up, Down, Left, Right, PageUp, PageDown, Home, End, Return, Escape, Back, Find, Close, Delete, ZoomIn, ZoomOut, ZoomReset };

class Responder : public core::Object {
public:
    virtual Responder* nextResponder() const { return nullptr; }

    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    // Asks the window's current first responder to resign first; false when
    // it refuses, when this one cannot, or when it is in no window.
    virtual bool becomeFirstResponder();
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;
    // Whether the keyboard is up while this is first responder.
    virtual bool usesKeyboard() const { return false; }
    // The window whose first responder this may be.
    virtual Window* responderWindow() const { return nullptr; }

    // By default each passes the event on to the next responder.
    virtual void touchesBegan(const TouchSet& touches, const Event& event);
    virtual void touchesMoved(const TouchSet& touches, const Event& event);
    virtual void touchesEnded(const TouchSet& touches, const Event& event);
    virtual void touchesCancelled(const TouchSet& touches, const Event& event);
    virtual void motionBegan(const Event& event);
    virtual void motionEnded(const Event& event);
    virtual void remoteControlReceived(const Event& event);
    // A key command, from the key window's key responder up the chain
    // (Application::sendKeyCommand) until one answers true: taken.
    virtual bool performKeyCommand(KeyCommand command);

protected:
    // Hooks for the first-responder changes (text inputs raise the keyboard).
    virtual void didBecomeFirstResponder() { }
    virtual void didResignFirstResponder() { }
    friend class Window;
};

} // namespace ui
