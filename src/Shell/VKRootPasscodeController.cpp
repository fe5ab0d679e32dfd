#include "Shell/VKRootPasscodeController.h"

#include "Shell/VKPasscodeController.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Window.h"

#include <functional>

namespace {

// Tells the lock when the entry screen has appeared.
class PasscodeNavigationController : public ui::NavigationController {
public:
    explicit PasscodeNavigationController(std::function<void()> didAppear) : m_didAppear(std::move(didAppear)) { }
    void viewDidAppear(bool animated) override
    {
        ui::NavigationController::viewDidAppear(animated);
        if (m_didAppear)
            m_didAppear();
    }

private:
    std::function<void()> m_didAppear;
};

} // namespace

std::shared_ptr<VKRootPasscodeController> VKRootPasscodeController::create()
{
    return std::make_shared<VKRootPasscodeController>();
}

VKRootPasscodeController::~VKRootPasscodeController()
{
    if (m_passcodeController)
        m_passcodeController->setDelegate({});
}

std::shared_ptr<VKPasscodeController> VKRootPasscodeController::passcodeController()
{
    if (!m_passcodeController) {
        m_passcodeController = VKPasscodeController::passcodeControllerForInterfaceOrientation(ui::Orientation::Portrait);
        m_passcodeController->setTitle(VKMainBundleDisplayName().value_or("Tandry"));
        m_passcodeController->setInfoText(core::localized("Enter your passcode"));
    }
    return m_passcodeController;
}

std::shared_ptr<gfx::Image> VKRootPasscodeController::imageForOrientation(ui::Orientation)
{
    return ui::Images::imageNamed("Default.png");
}

void VKRootPasscodeController::loadView()
{
    auto* application = ui::Application::shared();
    auto image = ui::ImageView::create(imageForOrientation(ui::Orientation::Portrait));
    image->setFrame(application ? application->applicationFrame() : gfx::Rect { 0, 20, 320, 460 });
    image->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    setView(image);
}

void VKRootPasscodeController::presentInWindow(std::shared_ptr<ui::Window> window, bool animated)
{
    if (!window)
        return;
    m_window = std::move(window);
    m_dismissed = false;
    m_window->setWindowLevel(ui::Window::LevelAlert + 1);
    m_hiddenViews.clear();
    for (const auto& subview : std::vector(m_window->subviews())) {
        if (subview == view() || subview->isHidden())
            continue;
        subview->setHidden(true);
        m_hiddenViews.push_back(subview);
    }
    if (!m_windowBackground)
        m_windowBackground = m_window->backgroundColor();
    m_window->setBackgroundColor(ui::StandardColors::clear());
    if (auto* application = ui::Application::shared()) {
        // The entry screen stands upright whatever the window showed.
        application->setStatusBarOrientation(ui::Orientation::Portrait, false);
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, false);
        application->setStatusBarHidden(false);
        view()->setFrame(application->applicationFrame());
    }
    view()->setAlpha(1);
    m_window->addSubview(view());

    std::weak_ptr<core::Object> weak = weak_from_this();
    auto navigation = std::make_shared<PasscodeNavigationController>([weak] {
        if (auto self = std::static_pointer_cast<VKRootPasscodeController>(weak.lock()))
            self->passcodeNavigationDidAppear();
    });
    navigation->setViewControllers({ passcodeController() }, false);
    m_passcodeNavController = navigation;
    presentModalViewController(navigation, animated);
}

void VKRootPasscodeController::passcodeNavigationDidAppear()
{
    if (m_dismissed)
        return;
    if (m_window)
        m_window->setBackgroundColor(ui::StandardColors::lightGray());
    // The picture has done its part once the entry screen covers it.
    core::RunLoop::main().performAfter(sharedAs<VKRootPasscodeController>(), 0, [](VKRootPasscodeController& self) {
        if (!self.m_dismissed && self.isViewLoaded())
            self.view()->removeFromSuperview();
    });
}

void VKRootPasscodeController::dismissPasscodeControllerAnimated(bool animated)
{
    m_dismissed = true;
    if (m_window) {
        m_window->setWindowLevel(ui::Window::LevelNormal);
        for (const auto& weak : m_hiddenViews)
            if (auto hidden = weak.lock())
                hidden->setHidden(false);
        // What shows through the lists' empty rows is the window's colour.
        if (m_windowBackground)
            m_window->setBackgroundColor(*m_windowBackground);
    }
    m_windowBackground.reset();
    m_hiddenViews.clear();
    if (isViewLoaded())
        view()->setAlpha(0);
    if (m_passcodeNavController && m_passcodeNavController->presentingViewController())
        m_passcodeNavController->dismissModalViewController(animated);
    // The toolkit puts a covered presenter's view back as the modal goes;
    // this one has nothing left to show.
    if (isViewLoaded())
        view()->removeFromSuperview();
}
