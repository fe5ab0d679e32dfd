#include "App/Shell/VKApplication.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/UserDefaults.h"

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
    std::lock_guard lock(sharedMutex);
    if (!sharedInstance)
        sharedInstance = create();
    return sharedInstance;
}

void VKApplication::setSharedApplication(std::shared_ptr<VKApplication> application)
{
    std::lock_guard lock(sharedMutex);
    sharedInstance = std::move(application);
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
    m_idleTimerDisabled = disabled;
}

void VKApplication::forceIdleTimerDisabled()
{
    m_idleTimerDisabled = false;
}

void VKApplication::setNetworkActivityIndicatorVisible(bool visible)
{
    if (!visible) {
        auto delegate = networkActivityDelegate();
        if (delegate && delegate->isNetworkActiveForApplication(*this))
            visible = true;
    }
    m_networkActivityIndicatorVisible = visible;
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

std::string VKApplication::description() const
{
    return fmt::format("<VKApplication {}> {}", fmt::ptr(this), m_homeDirectory);
}
