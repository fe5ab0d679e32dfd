#include "Shell/VKApplication.h"

#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewAdditions.h"
#include "Shell/VKOpenURLTarget.h"
#include "Shell/VKSystemDismissibleAlert.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/AudioSession.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace {

std::mutex sharedMutex;
std::shared_ptr<VKApplication> sharedInstance;

constexpr const char* QuotaStoreKey = "VKQuotaStore";

// Names the oldest layout kept in the public folder beside the documents.
constexpr const char* MetadataItemsOfFirstLayout[] = {
    "Downloads", "TandryBookmarks.sql", "VKWebHistory.plist", "ThumbnailCache", "Trash"
};

void removeQuotaStore()
{
    // The quota tree describes the old places; the next launch rebuilds it.
    core::UserDefaults::standard()->remove(QuotaStoreKey);
}

bool holdsEntries(const std::string& folder)
{
    auto names = core::fs::contentsOfDirectory(folder);
    return names && !names->empty();
}

// The name of the first folder below `root` on the way to `path`, when the
// path lies below it.
std::optional<std::string> firstComponentBelow(std::string_view path, const std::string& root)
{
    std::string standardized = core::path::standardizingPath(path);
    std::string standardRoot = core::path::standardizingPath(root);
    if (!core::path::isWithin(standardized, standardRoot))
        return std::nullopt;
    for (const auto& component :
        core::path::pathComponents(std::string_view(standardized).substr(standardRoot.size()))) {
        if (component != "/")
            return component;
    }
    return std::nullopt;
}

} // namespace

void VKApplicationCreateDirectoryWithIntermediateDirectories(const std::string& path)
{
    core::Error error;
    if (!core::fs::createDirectory(path, true, &error))
        core::log("WARNING: Failed to create {}: {}", path, error.description());
}

std::shared_ptr<VKApplication> VKApplication::sharedApplication()
{
    if (auto toolkit = std::dynamic_pointer_cast<VKApplication>(ui::Application::sharedPointer()))
        return toolkit;
    std::lock_guard lock(sharedMutex);
    if (!sharedInstance)
        sharedInstance = create();
    return sharedInstance;
}

void VKApplication::setSharedApplication(std::shared_ptr<VKApplication> application)
{
    std::unique_lock lock(sharedMutex);
    std::swap(sharedInstance, application);
    lock.unlock();
    application.reset();
}

std::shared_ptr<VKApplication> VKApplication::create()
{
    std::shared_ptr<VKApplication> application(new VKApplication());
    application->layOutDirectories();
    return application;
}

VKApplication::VKApplication() = default;

std::string VKApplication::currentLanguage()
{
    return core::currentLanguage();
}

void VKApplication::layOutDirectories()
{
    m_homeDirectory = core::paths::home();
    std::string library = core::paths::library();

    m_publicDirectory = core::paths::documents();
    if (!core::fs::exists(m_publicDirectory))
        VKApplicationCreateDirectoryWithIntermediateDirectories(m_publicDirectory);

    m_metadataDirectory = core::paths::preferences() + "/Metadata";
    if (!core::fs::exists(m_metadataDirectory)) {
        VKApplicationCreateDirectoryWithIntermediateDirectories(m_metadataDirectory);
        attemptDocumentsUpdate1();
    }

    m_serversDirectory = library + "/Servers";
    if (!core::fs::exists(m_serversDirectory))
        VKApplicationCreateDirectoryWithIntermediateDirectories(m_serversDirectory);

    m_documentsDirectory = library + "/Documents";
    if (!core::fs::exists(m_documentsDirectory)) {
        VKApplicationCreateDirectoryWithIntermediateDirectories(m_documentsDirectory);
        attemptDocumentsUpdate2();
    }
}

void VKApplication::attemptDocumentsUpdate1()
{
    core::log("attemptDocumentsUpdate1");
    for (const char* name : MetadataItemsOfFirstLayout) {
        core::fs::moveItem(core::path::appendingPathComponent(m_publicDirectory, name),
            core::path::appendingPathComponent(m_metadataDirectory, name));
    }

    std::string oldFolder = core::path::appendingPathComponent(m_publicDirectory, "Tandry");
    if (auto names = core::fs::contentsOfDirectory(oldFolder)) {
        for (const auto& name : *names) {
            std::string from = core::path::appendingPathComponent(oldFolder, name);
            if (!core::fs::moveItem(from, core::path::appendingPathComponent(m_publicDirectory, name)))
                core::log("Warning, failed to update: {}", from);
        }
    }
    if (!holdsEntries(oldFolder))
        core::fs::removeItem(oldFolder);
    removeQuotaStore();
}

void VKApplication::attemptDocumentsUpdate2()
{
    core::log("attemptDocumentsUpdate2");
    auto moveContents = [](const std::string& from, const std::string& to) {
        auto names = core::fs::contentsOfDirectory(from);
        if (!names)
            return;
        for (const auto& name : *names) {
            core::Error error;
            if (!core::fs::moveItem(core::path::appendingPathComponent(from, name),
                    core::path::appendingPathComponent(to, name), &error))
                core::log("Warning, attemptDocumentsUpdate2 error: {}", error.description());
        }
    };
    moveContents(m_publicDirectory, m_documentsDirectory);
    std::string oldPublic = core::path::appendingPathComponent(m_documentsDirectory, "Public");
    moveContents(oldPublic, m_publicDirectory);
    if (!holdsEntries(oldPublic))
        core::fs::removeItem(oldPublic);
    removeQuotaStore();
}

std::string VKApplication::inboxDirectory() const
{
    return core::path::appendingPathComponent(m_publicDirectory, "Inbox");
}

std::string VKApplication::downloadsDirectory()
{
    return metadataSubdirectory("Downloads");
}

std::string VKApplication::subdirectory(const std::string& parent, std::string_view name)
{
    std::string path = core::path::appendingPathComponent(parent, name);
    std::lock_guard lock(m_subdirectoryMutex);
    if (!core::fs::exists(path))
        VKApplicationCreateDirectoryWithIntermediateDirectories(path);
    return path;
}

std::string VKApplication::metadataSubdirectory(std::string_view name)
{
    return subdirectory(m_metadataDirectory, name);
}

std::string VKApplication::serversSubdirectory(std::string_view name)
{
    return subdirectory(m_serversDirectory, name);
}

std::optional<std::string> VKApplication::rootDirectoryForPath(std::string_view path) const
{
    if (core::path::isWithin(path, m_documentsDirectory))
        return m_documentsDirectory;
    if (core::path::isWithin(path, m_publicDirectory))
        return m_publicDirectory;
    if (auto service = firstComponentBelow(path, m_serversDirectory))
        return core::path::appendingPathComponent(m_serversDirectory, *service);
    core::log("Warning: invalid root path");
    return std::nullopt;
}

std::string VKApplication::localizedPrefixForPath(std::string_view path) const
{
    if (core::path::isWithin(path, m_documentsDirectory))
        return core::localized("Documents");
    if (core::path::isWithin(path, m_publicDirectory))
        return core::localized("Public");
    return firstComponentBelow(path, m_serversDirectory).value_or("");
}

void VKApplication::setIdleTimerDisabled(bool disabled)
{
    if (!disabled && core::UserDefaults::standard()->boolForKey("VKInsomniaEnabled")) {
        core::log("VKApplication, blocking setIdleTimerDisabled:NO");
        return;
    }
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
        core::log("Dismissing: {}", view->description());
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
    return fmt::format("<VKApplication {}> {}", fmt::ptr(this), m_homeDirectory);
}
