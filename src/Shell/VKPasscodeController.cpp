#include "Shell/VKPasscodeController.h"

#include "Shell/Interface/ScreenAdditions.h"
#include "Kit/DateAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/ViewAnimation.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

struct VKPasscodeController::Private { };

namespace {

// The stored date and the clock are seconds since 2001 held in doubles, so
// "now + 0.2" read back a moment later may be off by a few tenths of a
// microsecond either way; a millisecond absorbs that, so that a lock-out
// neither ends early nor shows a second too many.
constexpr double Tolerance = 0.001;

// The layout, in points: the instruction, the row of boxes and the failure
// note stacked in a block that stands in the middle of the room between the
// navigation bar and the keyboard. Landscape on the phone leaves about 100
// points there, so that layout packs the block tighter.
struct Layout {
    float infoHeight;
    float gapAbove;
    float gapBelow;
    float failureHeight;
};
constexpr Layout PortraitLayout { 24, 20, 20, 24 };
constexpr Layout LandscapeLayout { 20, 4, 6, 22 };
constexpr gfx::Size BoxSize { 60, 52 };
constexpr float BoxGap = 12;
constexpr float PasscodeLabelMargin = 10;
constexpr float FailurePadding = 12;

float blockHeight(const Layout& layout)
{
    return layout.infoHeight + layout.gapAbove + BoxSize.height + layout.gapBelow + layout.failureHeight;
}

// Where the block starts below the top of the screen's content, for the
// layout's orientation on this device.
float blockTop(const Layout& layout, bool landscape)
{
    bool tablet = ui::Screen::userInterfaceIdiom() == core::Device::Idiom::Tablet;
    auto screen = ui::Screen::main();
    gfx::Rect bounds = boundsForOrientation(*screen,
        landscape ? ui::Orientation::LandscapeRight : ui::Orientation::Portrait);
    float bar = landscape && !tablet ? ui::NavigationBar::LandscapeHeight : ui::NavigationBar::Height;
    float room = bounds.height() - ui::Application::currentStatusBarHeight() - bar - ui::Keyboard::height(tablet, landscape);
    return std::max(0.0f, std::floor((room - blockHeight(layout)) / 2));
}

bool isAllDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::shared_ptr<gfx::Image> blankImage()
{
    return ui::Images::imageNamed("passcode_blank.png");
}

std::shared_ptr<gfx::Image> dotImage()
{
    return ui::Images::imageNamed("passcode_dot.png");
}

} // namespace

std::shared_ptr<VKPasscodeController> VKPasscodeController::passcodeControllerForInterfaceOrientation(
    ui::Orientation orientation)
{
    bool portrait = orientation == ui::Orientation::Portrait || orientation == ui::Orientation::PortraitUpsideDown;
    auto controller = std::make_shared<VKPasscodeController>(Private {}, !portrait);
    controller->observeApplication();
    return controller;
}

VKPasscodeController::VKPasscodeController(const Private&, bool landscape) : m_landscape(landscape) { }

VKPasscodeController::~VKPasscodeController()
{
    if (m_updateTimer)
        m_updateTimer->invalidate();
}

void VKPasscodeController::observeApplication()
{
    auto& center = core::NotificationCenter::defaultCenter();
    m_didBecomeActive = center.observe(ui::Application::didBecomeActiveNotification, nullptr, [this](const auto&) {
        updateStatus();
        if (isViewLoaded())
            hiddenField().becomeFirstResponder();
    });
    m_willResignActive = center.observe(ui::Application::willResignActiveNotification, nullptr, [this](const auto&) {
        clearPasscode();
    });
}

ui::TextField& VKPasscodeController::hiddenField()
{
    view();
    return *m_hiddenField;
}

ui::ImageView& VKPasscodeController::digitViewForTesting(int index)
{
    view();
    return *m_digits.at(size_t(index));
}

ui::Label& VKPasscodeController::infoLabel()
{
    view();
    return *m_infoLabel;
}

ui::Label& VKPasscodeController::failureLabel()
{
    view();
    return *m_failureLabel;
}

void VKPasscodeController::loadView()
{
    auto* application = ui::Application::shared();
    gfx::Rect frame = application ? application->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto root = ui::View::create({ 0, 0, frame.width(), frame.height() });
    root->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    float width = root->bounds().width();
    // Everything keeps its distance from the top and stays centred across.
    const unsigned centred = ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin | ui::View::FlexibleBottomMargin;
    const Layout& layout = m_landscape ? LandscapeLayout : PortraitLayout;
    float y = blockTop(layout, m_landscape);

    m_infoLabel = ui::Label::create({ PasscodeLabelMargin, y, width - 2 * PasscodeLabelMargin, layout.infoHeight });
    m_infoLabel->setFont(ui::Fonts::boldSystemFont(m_landscape ? 16 : 17));
    m_infoLabel->setTextColor(gfx::Color::rgb255(76, 86, 108));
    m_infoLabel->setShadowColor(ui::StandardColors::white());
    m_infoLabel->setShadowOffset({ 0, 1 });
    m_infoLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_infoLabel->setAdjustsFontSizeToFitWidth(true);
    m_infoLabel->setMinimumFontSize(12);
    m_infoLabel->setBackgroundColor(ui::StandardColors::clear());
    m_infoLabel->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleBottomMargin);
    root->addSubview(m_infoLabel);
    y += layout.infoHeight + layout.gapAbove;

    // The boxes stand in a row of their own, so that they keep their
    // spacing whatever width the screen gives the view.
    float rowWidth = PasscodeLength * BoxSize.width + (PasscodeLength - 1) * BoxGap;
    auto row = ui::View::create({ std::floor((width - rowWidth) / 2), y, rowWidth, BoxSize.height });
    row->setBackgroundColor(ui::StandardColors::clear());
    row->setAutoresizingMask(centred);
    float x = 0;
    for (auto& digit : m_digits) {
        digit = ui::ImageView::create(blankImage());
        digit->setFrame({ x, 0, BoxSize.width, BoxSize.height });
        row->addSubview(digit);
        x += BoxSize.width + BoxGap;
    }
    root->addSubview(row);
    y += BoxSize.height + layout.gapBelow;

    // A white note on a red pill, as wide as its text.
    m_failureLabel = ui::Label::create({ PasscodeLabelMargin, y, width - 2 * PasscodeLabelMargin, layout.failureHeight });
    m_failureLabel->setFont(ui::Fonts::boldSystemFont(m_landscape ? 13 : 14));
    m_failureLabel->setTextColor(ui::StandardColors::white());
    m_failureLabel->setBackgroundColor(gfx::Color::rgb255(196, 38, 30));
    m_failureLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_failureLabel->setAdjustsFontSizeToFitWidth(true);
    m_failureLabel->setMinimumFontSize(10);
    m_failureLabel->layer().setCornerRadius(layout.failureHeight / 2);
    m_failureLabel->setAutoresizingMask(centred);
    m_failureLabel->setHidden(true);
    root->addSubview(m_failureLabel);

    // Takes the keys; never shown.
    m_hiddenField = ui::TextField::create({ 0, 0, 0, 0 });
    m_hiddenField->setHidden(true);
    m_hiddenField->setKeyboardType(ui::TextInput::KeyboardType::NumberPad);
    root->addSubview(m_hiddenField);
    setView(root);
}

void VKPasscodeController::viewDidLoad()
{
    VKNonRotatingViewController::viewDidLoad();
    m_infoLabel->setText(m_infoText);
    m_hiddenField->setSecureTextEntry(false);
    m_hiddenField->setDelegate(std::dynamic_pointer_cast<ui::TextFieldDelegate>(shared_from_this()));
    m_hiddenField->addTarget(shared_from_this(), "textFieldValueDidChange", [this](auto&, auto*) {
        textFieldValueDidChange();
    }, ui::Control::EditingChanged);
    view()->setBackgroundColor(ui::StandardColors::groupTableViewBackground());
    updateStatus();
}

void VKPasscodeController::viewDidUnload()
{
    VKNonRotatingViewController::viewDidUnload();
    endSlide();
    m_hiddenField.reset();
    m_digits = {};
    m_infoLabel.reset();
    m_failureLabel.reset();
}

void VKPasscodeController::viewWillAppear(bool animated)
{
    VKNonRotatingViewController::viewWillAppear(animated);
    updateStatus();
    m_hiddenField->becomeFirstResponder();
}

// A screen that goes into a window only after will-appear (a window's root)
// takes the keys once it is there.
void VKPasscodeController::viewDidAppear(bool animated)
{
    VKNonRotatingViewController::viewDidAppear(animated);
    if (!m_hiddenField->isFirstResponder())
        m_hiddenField->becomeFirstResponder();
}

void VKPasscodeController::viewWillDisappear(bool animated)
{
    VKNonRotatingViewController::viewWillDisappear(animated);
    m_hiddenField->resignFirstResponder();
    stopTimer();
}

void VKPasscodeController::setInfoText(std::string text)
{
    m_infoText = std::move(text);
    if (m_infoLabel)
        m_infoLabel->setText(m_infoText);
    clearPasscode();
    updateStatus();
}

std::string VKPasscodeController::passcode() const
{
    if (!m_hiddenField)
        return {};
    std::string text = m_hiddenField->text();
    return text.substr(0, std::min(text.size(), size_t(PasscodeLength)));
}

void VKPasscodeController::clearPasscode()
{
    ++m_entryGeneration;
    if (!m_hiddenField)
        return;
    m_hiddenField->setText("");
    passcodeUpdated();
}

bool VKPasscodeController::shouldChangeCharacters(ui::TextField&, core::Range range, std::string_view replacement)
{
    if (range.location >= size_t(PasscodeLength) || isPasscodeEntryDisabled())
        return false;
    return isAllDigits(replacement);
}

void VKPasscodeController::textFieldValueDidChange()
{
    passcodeUpdated();
    if (m_hiddenField->text().size() < size_t(PasscodeLength))
        return;
    uint64_t generation = m_entryGeneration;
    core::RunLoop::main().performAfter(sharedAs<VKPasscodeController>(), EnteredDelay, [generation](VKPasscodeController& self) {
        if (self.m_entryGeneration != generation)
            return;
        if (auto delegate = self.delegate())
            delegate->passcodeEnteredForController(self);
    });
}

void VKPasscodeController::passcodeUpdated()
{
    size_t length = m_hiddenField ? m_hiddenField->text().size() : 0;
    for (size_t position = 0; position < m_digits.size(); ++position)
        if (m_digits[position])
            m_digits[position]->setImage(length > position ? dotImage() : blankImage());
}

// Back-off

int64_t VKPasscodeController::failedAttempts()
{
    auto value = core::UserDefaults::standard()->object(VKFailedAttemptsKey);
    if (value.isInteger())
        return std::max<int64_t>(0, value.integer());
    if (value.isReal()) {
        double count = value.real();
        if (!(count > 0))
            return 0;
        return count >= 9.2e18 ? std::numeric_limits<int64_t>::max() : int64_t(count);
    }
    return 0;
}

std::optional<core::Date> VKPasscodeController::disabledUntilDate()
{
    auto value = core::UserDefaults::standard()->object(VKDisabledUntilDateKey);
    if (!value.isDate())
        return std::nullopt;
    return value.date();
}

double VKPasscodeController::lockoutForAttempt(int64_t count)
{
    if (count < FirstLongLockoutAttempt)
        return ShortLockout;
    int64_t doublings = std::min(count, LastDoublingAttempt) - FirstLongLockoutAttempt;
    return FirstLongLockout * std::ldexp(1.0, int(doublings));
}

std::string VKPasscodeController::countdownText(double seconds)
{
    double whole = std::ceil(std::max(0.0, seconds - Tolerance));
    auto total = int64_t(std::min(whole, 9.0e15));
    return fmt::format("{:02}:{:02}:{:02}", total / 3600, total / 60 % 60, total % 60);
}

bool VKPasscodeController::isPasscodeEntryDisabled() const
{
    if (m_isAnimating)
        return true;
    auto until = disabledUntilDate();
    return until && isAfterDate(until->addingTimeInterval(-Tolerance), core::Date::now());
}

void VKPasscodeController::registerSuccess()
{
    auto defaults = core::UserDefaults::standard();
    defaults->remove(VKFailedAttemptsKey);
    defaults->remove(VKDisabledUntilDateKey);
    updateStatus();
}

void VKPasscodeController::registerFailedAttempt()
{
    int64_t count = failedAttempts();
    if (count < std::numeric_limits<int64_t>::max())
        ++count;
    auto defaults = core::UserDefaults::standard();
    defaults->set(VKFailedAttemptsKey, core::Value(count));
    defaults->set(VKDisabledUntilDateKey, core::Value(core::Date::now().addingTimeInterval(lockoutForAttempt(count))));
    clearAfterDelay();
    updateStatus();
}

void VKPasscodeController::registerFailedConfirmation()
{
    setFailureText(core::localized("Passcodes did not match. Try again."));
    clearAfterDelay();
}

void VKPasscodeController::clearAfterDelay()
{
    core::RunLoop::main().performAfter(sharedAs<VKPasscodeController>(), ClearDelay, [](VKPasscodeController& self) {
        self.clearPasscode();
    });
}

void VKPasscodeController::updateStatus()
{
    int64_t count = failedAttempts();
    if (count == 0)
        setFailureText({});
    else
        setFailureText(fmt::format(fmt::runtime(core::localized(
                                       count == 1 ? "{} Failed Passcode Attempt" : "{} Failed Passcode Attempts")),
            count));

    auto until = disabledUntilDate();
    double left = until ? until->timeIntervalSinceNow() : 0;
    if (left <= Tolerance) {
        stopTimer();
        if (m_infoLabel)
            m_infoLabel->setText(m_infoText);
        return;
    }
    if (left > ShortLockout + Tolerance && m_infoLabel)
        m_infoLabel->setText(
            fmt::format(fmt::runtime(core::localized("Try again in {}")), countdownText(left)));
    stopTimer();
    m_updateTimer = core::RunLoop::main().schedule(sharedAs<VKPasscodeController>(), std::min(left, 1.0), false, [](VKPasscodeController& self, core::Timer&) {
        self.updateStatus();
    });
}

void VKPasscodeController::stopTimer()
{
    if (m_updateTimer)
        m_updateTimer->invalidate();
    m_updateTimer.reset();
}

// The note keeps its middle where it stands (it may be sliding) and takes
// the width of its text, within the screen's.
void VKPasscodeController::setFailureText(const std::string& text)
{
    if (!m_failureLabel)
        return;
    m_failureLabel->setText(text);
    m_failureLabel->setHidden(text.empty());
    if (text.empty())
        return;
    gfx::Rect frame = m_failureLabel->frame();
    float widest = view()->bounds().width() - 2 * PasscodeLabelMargin;
    float width = std::min(widest, std::ceil(m_failureLabel->sizeThatFits({ 10000, frame.height() }).width) + 2 * FailurePadding);
    float middle = frame.midX();
    m_failureLabel->setFrame({ std::round(middle - width / 2), frame.minY(), width, frame.height() });
}

// Slide

void VKPasscodeController::animateToInfoText(std::string text)
{
    if (!isViewLoaded() || !view()->window()) {
        setInfoText(std::move(text));
        return;
    }
    endSlide();
    auto& root = *view();
    auto* application = ui::Application::shared();
    float width = boundsForOrientation(*ui::Screen::main(),
        application ? application->statusBarOrientation() : ui::Orientation::Portrait)
                      .width();
    auto screen = ui::Screen::main();
    ui::RenderOptions options;
    options.scale = screen ? screen->scale() : 1;
    auto drawn = ui::Renderer::renderImage(root, options);

    for (const auto& subview : std::vector(root.subviews())) {
        gfx::Rect frame = subview->frame();
        subview->setFrame(frame.offsetBy(width, 0));
    }
    setInfoText(std::move(text));
    m_isAnimating = true;
    auto picture = ui::ImageView::create(drawn ? drawn->makeImage() : nullptr);
    picture->setFrame({ 0, 0, root.bounds().width(), root.bounds().height() });
    root.addSubview(picture);
    m_slidePicture = picture;

    uint64_t generation = ++m_slideGeneration;
    std::weak_ptr<core::Object> weak = weak_from_this();
    ui::ViewAnimation::begin(SlideAnimationName);
    ui::ViewAnimation::setDuration(SlideDuration);
    ui::ViewAnimation::setDidStopHandler([weak, generation](const std::string&, bool, const core::Value&) {
        if (auto self = std::static_pointer_cast<VKPasscodeController>(weak.lock()))
            self->slideDidStop(generation);
    });
    for (const auto& subview : std::vector(root.subviews())) {
        gfx::Rect frame = subview->frame();
        subview->setFrame(frame.offsetBy(-width, 0));
    }
    ui::ViewAnimation::commit();
}

void VKPasscodeController::slideDidStop(uint64_t generation)
{
    if (generation == m_slideGeneration)
        endSlide();
}

// The views already stand where they belong (an animation sets its final
// values at once); only the picture and the flag remain.
void VKPasscodeController::endSlide()
{
    ++m_slideGeneration;
    m_isAnimating = false;
    if (m_slidePicture)
        m_slidePicture->removeFromSuperview();
    m_slidePicture.reset();
}
