#pragma once

// The passcode entry screen, used by the lock over the window and by the
// passcode settings page: four boxes that fill with dots as digits are
// typed into a field that is never shown, the instruction above them (or,
// while entry is locked out, the time left) and the failure count below.
//
// Wrong entries lock the entry out for growing times that survive a
// relaunch: the count and the end of the lock-out live in the settings.
// Only digits are taken, so whatever the delegate stores is a passcode the
// lock will recognise.
//
// Every delayed step (the delegate's call after the fourth digit, the
// clearing of a wrong entry, the countdown, the end of the slide between
// instructions) holds the screen weakly: a closed screen is let go and
// never touched again.

#include "Shell/Interface/VKNonRotatingViewController.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Observation.h"
#include "Platform/UI/TextField.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace core {
class Timer;
}
namespace ui {
class ImageView;
class Label;
} // namespace ui

class VKPasscodeController;

class VKPasscodeControllerDelegate {
public:
    virtual ~VKPasscodeControllerDelegate() = default;
    // A whole entry is in `controller.passcode()`.
    virtual void passcodeEnteredForController(VKPasscodeController& controller) = 0;
};

// The back-off state in the settings: wrong entries since the last right
// one (an integer) and the date before which entry stays disabled.
inline constexpr const char* VKFailedAttemptsKey = "VKFailedAttemptsKey";
inline constexpr const char* VKDisabledUntilDateKey = "VKDisabledUntilDateKey";

class VKPasscodeController : public VKNonRotatingViewController, public ui::TextFieldDelegate {
public:
    static constexpr int PasscodeLength = 4;
    // From the fourth digit to the delegate's call.
    static constexpr double EnteredDelay = 0.1;
    // From a wrong entry to its digits going.
    static constexpr double ClearDelay = 0.2;
    // The lock-out after each of the first five wrong entries.
    static constexpr double ShortLockout = 0.2;
    // From the sixth wrong entry on: 30 s, doubling with each further one,
    // but no further than the 26th (30 × 2^20 s, about a year).
    static constexpr int64_t FirstLongLockoutAttempt = 6;
    static constexpr int64_t LastDoublingAttempt = 26;
    static constexpr double FirstLongLockout = 30;
    static constexpr double SlideDuration = 0.5;
    static constexpr const char* SlideAnimationName = "VKAnimateToInfoTextKey";

    // The portrait layout for orientations 1 and 2, the landscape one
    // otherwise. The screen watches the application's activity from here on.
    static std::shared_ptr<VKPasscodeController> passcodeControllerForInterfaceOrientation(ui::Orientation orientation);

    struct Private;
    VKPasscodeController(const Private&, bool landscape);
    ~VKPasscodeController() override;

    std::shared_ptr<VKPasscodeControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKPasscodeControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    bool isLandscapeLayout() const { return m_landscape; }

    const std::string& infoText() const { return m_infoText; }
    // Shows the instruction, clears the entry and refreshes the status.
    void setInfoText(std::string text);
    // The same with a slide: the screen as it was leaves to the left while
    // the new one comes in from the right; typing waits for the end.
    void animateToInfoText(std::string text);
    bool isAnimating() const { return m_isAnimating; }

    // The first four characters typed.
    std::string passcode() const;
    // Forgets the back-off (a right entry).
    void registerSuccess();
    // Counts a wrong entry and locks entry out for its time; the digits go
    // after ClearDelay.
    void registerFailedAttempt();
    // A confirmation that differs from the first entry: said so, the
    // digits go after ClearDelay; the count is left alone.
    void registerFailedConfirmation();
    void clearPasscode();
    // During the slide and until the lock-out's date.
    bool isPasscodeEntryDisabled() const;
    // The failure count and, while locked out, the time left, refreshed
    // each second until the lock-out ends.
    void updateStatus();

    // The back-off as the settings hold it. A count that is not a
    // non-negative number, or a date that is not a date, counts as none.
    static int64_t failedAttempts();
    static std::optional<core::Date> disabledUntilDate();
    // How long entry stays disabled after the `count`th wrong entry.
    static double lockoutForAttempt(int64_t count);
    // "hh:mm:ss" of the seconds left, rounded up.
    static std::string countdownText(double seconds);

    ui::TextField& hiddenField();
    ui::ImageView& digitViewForTesting(int index);
    ui::Label& infoLabel();
    ui::Label& failureLabel();

    void loadView() override;
    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // Refuses a change past the fourth position, any change while entry is
    // disabled, and anything but digits.
    bool shouldChangeCharacters(ui::TextField& field, core::Range range, std::string_view replacement) override;

private:
    void observeApplication();
    void textFieldValueDidChange();
    void passcodeUpdated();
    void setFailureText(const std::string& text);
    void stopTimer();
    void clearAfterDelay();
    void slideDidStop(uint64_t generation);
    void endSlide();

    std::weak_ptr<VKPasscodeControllerDelegate> m_delegate;
    bool m_landscape;
    std::string m_infoText;
    std::shared_ptr<ui::TextField> m_hiddenField;
    std::array<std::shared_ptr<ui::ImageView>, PasscodeLength> m_digits;
    std::shared_ptr<ui::Label> m_infoLabel;
    std::shared_ptr<ui::Label> m_failureLabel;
    std::shared_ptr<core::Timer> m_updateTimer;
    // The picture of the old screen while it slides away.
    std::shared_ptr<ui::View> m_slidePicture;
    bool m_isAnimating = false;
    uint64_t m_slideGeneration = 0;
    // Bumped whenever the entry is cleared, so that a delegate call due for
    // an entry that is gone does not go out.
    uint64_t m_entryGeneration = 0;
    // Posted on the main thread only: the observers call this controller
    // directly (see core::Observation).
    core::Observation m_didBecomeActive;
    core::Observation m_willResignActive;
};
