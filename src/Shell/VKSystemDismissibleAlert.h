#pragma once

// A view of the system's own that asks for a choice the way an alert does
// (the popup alert) and sits directly in a window: the application object
// dismisses it with the toolkit's alerts when it cancels them for the
// system (before the lock goes up, on going to the background), after
// giving the view the tag VKAlertViewTagSystemCancelled. The adopter must
// be a ui::View.
class VKSystemDismissibleAlert {
public:
    virtual ~VKSystemDismissibleAlert() = default;
    // The index the system's dismissal passes on (−1: none).
    virtual int cancelButtonIndex() const = 0;
    // Tells the delegate `index` and takes the view off the screen.
    virtual void dismissWithClickedButtonIndex(int index, bool animated) = 0;
};
