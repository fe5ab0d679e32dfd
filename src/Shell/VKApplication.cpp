#include "Shell/VKApplication.h"

#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewAdditions.h"
#include "Shell/VKOpenURLTarget.h"
#include "Shell/VKSystemDismissibleAlert.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace {

std::mutex applicationMutex;
std::shared_ptr<VKApplication> sharedInstance;

} // namespace

std::shared_ptr<VKApplication> VKApplication::sharedApplication()
{
    if (auto toolkit = std::dynamic_pointer_cast<VKApplication>(ui::Application::sharedPointer()))
        return toolkit;
    std::lock_guard lock(applicationMutex);
    if (!sharedInstance)
        sharedInstance = create();
    return sharedInstance;
}

void VKApplication::setSharedApplicationForTesting(std::shared_ptr<VKApplication> application)
{
    std::unique_lock lock(applicationMutex);
    std::swap(sharedInstance, application);
    lock.unlock();
    application.reset();
}

std::shared_ptr<VKApplication> VKApplication::create()
{
    return std::shared_ptr<VKApplication>(new VKApplication(VKHomeLayout::current()));
}

VKApplication::VKApplication(std::shared_ptr<const VKHomeLayout> layout)
    : m_layout(std::move(layout))
{
}

std::string VKApplication::currentLanguage()
{
    return core::currentLanguage();
}

void VKApplication::setIdleTimerDisabled(bool disabled)
{
    if (!disabled && core::UserDefaults::standard()->boolForKey("VKInsomniaEnabled"))
        return;
    ui::Application::setIdleTimerDisabled(disabled);
}

void VKApplication::forceIdleTimerDisabled()
{
    ui::Application::setIdleTimerDisabled(false);
}

void VKApplication::setNetworkActivityIndicatorVisible(bool visible)
{
    if (!visible) {
        auto delegate = networkActivityDelegate();
        if (delegate && delegate->isNetworkActiveForApplication(*this))
            visible = true;
    }
    ui::Application::setNetworkActivityIndicatorVisible(visible);
}

void VKApplication::setNetworkActivityDelegate(std::weak_ptr<VKNetworkActivityDelegate> delegate)
{
    std::lock_guard lock(m_delegateMutex);
    m_networkActivityDelegate = std::move(delegate);
}

std::shared_ptr<VKNetworkActivityDelegate> VKApplication::networkActivityDelegate() const
{
    std::lock_guard lock(m_delegateMutex);
    return m_networkActivityDelegate.lock();
}

void VKApplication::setContentViewControllerSource(ContentViewControllerSource source)
{
    m_contentViewControllerSource = std::move(source);
}

bool VKApplication::openURL(const core::URL& url)
{
    if (url.absoluteString().empty())
        return false;
    auto controller = m_contentViewControllerSource ? m_contentViewControllerSource() : nullptr;
    if (auto target = std::dynamic_pointer_cast<VKOpenURLTarget>(controller)) {
        target->handleOpenEventForURLRequest(core::URLRequest(url));
        return true;
    }
    return ui::Application::openURL(url);
}

bool VKApplication::openURLNoChecks(const core::URL& url)
{
    return ui::Application::openURL(url);
}

void VKApplication::initializeMediaPlaybackAudioSession()
{
    auto& session = ui::AudioSession::shared();
    if (!session.initialize([](int state) { VKApplicationAudioInterruptionListener(nullptr, state); }))
        return;
    session.setCategory(ui::AudioSession::categoryMediaPlayback);
    session.setActive(true);
}

// A delegate tells a dismissal by the system from a plain Cancel by these.
static_assert(VKActionSheet::tagsAreDistinct(std::array { VKActionSheet::UntaggedButton, VKActionSheetTagSystemCancelled }));
static_assert(VKActionSheet::tagsAreDistinct(std::array { VKActionSheet::UntaggedButton, VKAlertViewTagSystemCancelled }));

void VKApplication::vk_dismissActiveActionSheets()
{
    // Collected first: a dismissal changes the trees being walked.
    std::vector<std::shared_ptr<ui::ActionSheet>> sheets;
    for (const auto& window : windows()) {
        auto found = vkFindViewsWithClass<ui::ActionSheet>(*window);
        sheets.insert(sheets.end(), found.begin(), found.end());
    }
    for (const auto& sheet : sheets) {
        sheet->setTag(VKActionSheetTagSystemCancelled);
        sheet->dismiss(sheet->cancelButtonIndex(), false);
    }
}

void VKApplication::vk_dismissActiveAlertView()
{
    std::vector<std::shared_ptr<ui::View>> alerts;
    for (const auto& window : windows()) {
        for (const auto& view : window->subviews()) {
            if (std::dynamic_pointer_cast<ui::AlertView>(view) || std::dynamic_pointer_cast<VKSystemDismissibleAlert>(view))
                alerts.push_back(view);
        }
    }
    for (const auto& view : alerts) {
        view->setTag(VKAlertViewTagSystemCancelled);
        if (auto alert = std::dynamic_pointer_cast<ui::AlertView>(view))
            alert->dismiss(alert->cancelButtonIndex(), false);
        else if (auto popup = std::dynamic_pointer_cast<VKSystemDismissibleAlert>(view))
            popup->dismissWithClickedButtonIndex(popup->cancelButtonIndex(), false);
    }
}

void VKApplicationAudioInterruptionListener(void*, int interruptionState)
{
    const char* name = interruptionState == ui::AudioSession::BeginInterruption
        ? VKApplicationAudioInterruptionDidBeginNotification
        : VKApplicationAudioInterruptionDidEndNotification;
    core::NotificationCenter::defaultCenter().post(name, VKApplication::sharedApplication());
}

std::string VKApplication::description() const
{
    return fmt::format("<VKApplication {}> {}", fmt::ptr(this), m_layout->homeDirectory());
}
