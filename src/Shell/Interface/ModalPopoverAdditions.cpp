#include "Shell/Interface/ModalPopoverAdditions.h"

#include "Shell/Interface/PopoverControllerAdditions.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewController.h"

namespace {

using Cause = ui::PopoverController::DismissalCause;

// The modal popover and what it needs to come back after a turn.
struct ModalPopover {
    std::shared_ptr<ui::PopoverController> popover;
    std::shared_ptr<core::Object> sourceItem;
    // The side its arrow was on when a turn closed it.
    unsigned arrow = ui::PopoverController::Any;
    bool closedForTurn = false;
    core::Observation willChange;
    core::Observation didChange;
    std::shared_ptr<core::Timer> reopening;

    ~ModalPopover()
    {
        if (reopening)
            reopening->invalidate();
    }
};

std::unique_ptr<ModalPopover> theModalPopover;

bool isModal(const ui::PopoverController& popover)
{
    return theModalPopover && theModalPopover->popover.get() == &popover;
}

// Forgetting it also cancels a pending reopening, so a popover dismissed or
// replaced while closed for a turn never comes back beside its successor.
void forget()
{
    auto gone = std::move(theModalPopover);
}

// Runs `work` with the popover's delegate detached, so that nothing of a
// turn reaches it.
template<typename Work> void withoutDelegate(ui::PopoverController& popover, Work work)
{
    auto delegate = popover.delegate();
    popover.setDelegate({});
    work();
    popover.setDelegate(delegate);
}

void willRotate()
{
    if (!theModalPopover || !theModalPopover->sourceItem)
        return;
    if (theModalPopover->reopening) {
        theModalPopover->reopening->invalidate();
        theModalPopover->reopening.reset();
    }
    auto popover = theModalPopover->popover;
    withoutDelegate(*popover, [&] { popover->dismissForRotation(); });
}

void presentAfterRotation(const ui::PopoverController* expected)
{
    if (!theModalPopover || theModalPopover->popover.get() != expected)
        return;
    theModalPopover->reopening.reset();
    theModalPopover->closedForTurn = false;
    auto popover = theModalPopover->popover;
    auto source = theModalPopover->sourceItem;
    unsigned arrow = theModalPopover->arrow;
    if (arrow == ui::PopoverController::Unknown || (arrow & ui::PopoverController::Any) == 0)
        arrow = ui::PopoverController::Any;
    bool shown = false;
    withoutDelegate(*popover, [&] {
        if (auto item = std::dynamic_pointer_cast<ui::BarButtonItem>(source))
            shown = presentPopoverFromBarButtonItemRect(*popover, *item, arrow, true);
        else if (auto view = std::dynamic_pointer_cast<ui::View>(source))
            shown = presentPopoverCenteredInView(*popover, *view, arrow, true);
    });
    // One that cannot come back is no modal popover any more.
    if (!shown && isModal(*popover))
        forget();
}

void didRotate()
{
    if (!theModalPopover || !theModalPopover->closedForTurn)
        return;
    if (theModalPopover->reopening)
        theModalPopover->reopening->invalidate();
    const ui::PopoverController* expected = theModalPopover->popover.get();
    theModalPopover->reopening = core::RunLoop::main().schedule(VKModalPopoverReopenDelay, false,
        [expected](core::Timer&) { presentAfterRotation(expected); });
}

// Every dismissal of the modal popover passes here first: a turn's closes
// it for later, anything else ends it.
void dismissalHook(ui::PopoverController& popover, Cause cause)
{
    if (!isModal(popover))
        return;
    if (cause == Cause::Rotation) {
        if (popover.isPopoverVisible())
            theModalPopover->arrow = popover.arrowDirection();
        theModalPopover->closedForTurn = true;
        return;
    }
    forget();
}

template<typename Present>
std::shared_ptr<ui::PopoverController> presentModal(std::shared_ptr<ui::ViewController> content,
    std::shared_ptr<core::Object> source, Present present)
{
    auto popover = createNewModalPopoverControllerForViewController(std::move(content), std::move(source));
    bool shown = false;
    try {
        shown = present(*popover);
    } catch (...) {
        if (isModal(*popover))
            forget();
        throw;
    }
    if (!shown) {
        if (isModal(*popover))
            forget();
        return nullptr;
    }
    return popover;
}

} // namespace

std::shared_ptr<ui::PopoverController> modalPopoverController()
{
    return theModalPopover ? theModalPopover->popover : nullptr;
}

std::shared_ptr<ui::PopoverController> createNewModalPopoverControllerForViewController(
    std::shared_ptr<ui::ViewController> content, std::shared_ptr<core::Object> sourceItem)
{
    if (auto old = modalPopoverController()) {
        old->dismiss(false);
        if (isModal(*old))
            forget();
    }
    auto modal = std::make_unique<ModalPopover>();
    modal->popover = ui::PopoverController::create(std::move(content));
    modal->sourceItem = std::move(sourceItem);
    modal->popover->setDismissalHook(dismissalHook);
    auto& center = core::NotificationCenter::defaultCenter();
    modal->willChange = center.observe(ui::Application::willChangeStatusBarOrientationNotification, nullptr,
        [](const core::Notification&) { willRotate(); });
    modal->didChange = center.observe(ui::Application::didChangeStatusBarOrientationNotification, nullptr,
        [](const core::Notification&) { didRotate(); });
    theModalPopover = std::move(modal);
    return theModalPopover->popover;
}

std::shared_ptr<ui::PopoverController> presentViewControllerInModalPopover(std::shared_ptr<ui::ViewController> content,
    const std::shared_ptr<ui::BarButtonItem>& item, unsigned directions, bool)
{
    if (!item)
        return nullptr;
    return presentModal(std::move(content), item, [&](ui::PopoverController& popover) {
        return presentPopoverFromBarButtonItemRect(popover, *item, directions, true);
    });
}

std::shared_ptr<ui::PopoverController> presentViewControllerInModalPopover(std::shared_ptr<ui::ViewController> content,
    const std::shared_ptr<ui::View>& view, unsigned directions, bool animated)
{
    if (!view)
        return nullptr;
    return presentModal(std::move(content), view, [&](ui::PopoverController& popover) {
        return presentPopoverCenteredInView(popover, *view, directions, animated);
    });
}

void dismissModalPopoverControllerAnimated(bool animated)
{
    auto popover = modalPopoverController();
    if (!popover)
        return;
    popover->dismiss(animated);
    if (isModal(*popover))
        forget();
    if (auto delegate = popover->delegate())
        delegate->didDismiss(*popover);
}

void resetModalPopoverForTesting()
{
    forget();
}
