#include "Kit/VKHomeLayout.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/UserDefaults.h"

#include <mutex>

namespace {

std::mutex currentMutex;
std::shared_ptr<const VKHomeLayout> currentLayout;

constexpr const char* QuotaStoreKey = "VKQuotaStore";

// Names the oldest layout kept in the public folder beside the documents.
constexpr const char* MetadataItemsOfFirstLayout[] = {
    "Downloads", "TandryBookmarks.sql", "VKWebHistory.plist", "ThumbnailCache", "Trash"
};

void createDirectoryWithIntermediateDirectories(const std::string& path)
{
    core::Error error;
    if (!core::fs::createDirectory(path, true, &error))
        core::log("WARNING: Failed to create {}: {}", path, error.description());
}

// Made when missing; true when it was.
bool createIfMissing(const std::string& path)
{
    if (core::fs::exists(path))
        return false;
    createDirectoryWithIntermediateDirectories(path);
    return true;
}

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

std::string subdirectory(const std::string& parent, std::string_view name)
{
    std::string path = core::path::appendingPathComponent(parent, name);
    // Threads racing to make the same folder all succeed.
    createIfMissing(path);
    return path;
}

} // namespace

VKHomeLayout::VKHomeLayout(std::string home)
    : m_homeDirectory(std::move(home))
    , m_documentsDirectory(m_homeDirectory + "/Library/Documents")
    , m_publicDirectory(m_homeDirectory + "/Documents")
    , m_metadataDirectory(m_homeDirectory + "/Library/Preferences/Metadata")
    , m_serversDirectory(m_homeDirectory + "/Library/Servers")
{
}

VKHomeLayout VKHomeLayout::layOut(std::string home)
{
    VKHomeLayout layout(std::move(home));
    createIfMissing(layout.m_publicDirectory);
    if (createIfMissing(layout.m_metadataDirectory))
        layout.moveFromFirstLayout();
    createIfMissing(layout.m_serversDirectory);
    if (createIfMissing(layout.m_documentsDirectory))
        layout.moveFromSecondLayout();
    return layout;
}

std::shared_ptr<const VKHomeLayout> VKHomeLayout::current()
{
    std::lock_guard lock(currentMutex);
    if (!currentLayout)
        currentLayout = std::make_shared<const VKHomeLayout>(layOut(core::paths::home()));
    return currentLayout;
}

void VKHomeLayout::setCurrent(std::shared_ptr<const VKHomeLayout> layout)
{
    std::lock_guard lock(currentMutex);
    currentLayout = std::move(layout);
}

void VKHomeLayout::moveFromFirstLayout() const
{
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

void VKHomeLayout::moveFromSecondLayout() const
{
    auto moveContents = [](const std::string& from, const std::string& to) {
        auto names = core::fs::contentsOfDirectory(from);
        if (!names)
            return;
        for (const auto& name : *names) {
            core::Error error;
            const auto source = core::path::appendingPathComponent(from, name);
            if (!core::fs::moveItem(source, core::path::appendingPathComponent(to, name), &error))
                core::log("Warning, failed to update: {}: {}", source, error.description());
        }
    };
    moveContents(m_publicDirectory, m_documentsDirectory);
    std::string oldPublic = core::path::appendingPathComponent(m_documentsDirectory, "Public");
    moveContents(oldPublic, m_publicDirectory);
    if (!holdsEntries(oldPublic))
        core::fs::removeItem(oldPublic);
    removeQuotaStore();
}

std::string VKHomeLayout::inboxDirectory() const
{
    return core::path::appendingPathComponent(m_publicDirectory, "Inbox");
}

std::string VKHomeLayout::metadataSubdirectory(std::string_view name) const
{
    return subdirectory(m_metadataDirectory, name);
}

std::string VKHomeLayout::serversSubdirectory(std::string_view name) const
{
    return subdirectory(m_serversDirectory, name);
}

std::optional<std::string> VKHomeLayout::rootDirectoryForPath(std::string_view path) const
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

std::string VKHomeLayout::localizedPrefixForPath(std::string_view path) const
{
    if (core::path::isWithin(path, m_documentsDirectory))
        return core::localized("Documents");
    if (core::path::isWithin(path, m_publicDirectory))
        return core::localized("Public");
    return firstComponentBelow(path, m_serversDirectory).value_or("");
}
