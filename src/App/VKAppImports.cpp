#include "App/VKAppImports.h"

#include "Shell/VKApplication.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"

#include <fmt/format.h>

#include <cerrno>

namespace {

// Files older than this (seconds after 1970) carry no real date: the
// handing application lost it.
constexpr int64_t UndatedLimit = 86400;

// Handed-over files named "QL-" and eight characters carry a generated name.
bool isGeneratedName(const std::string& name)
{
    return name.starts_with("QL-") && core::path::deletingPathExtension(name).size() == 11;
}

} // namespace

void VKAppImports::copyWelcomeDocument()
{
    const auto source = core::Bundle::main()->pathForResource("Welcome", "docx");
    if (source.empty())
        return;
    const auto destination = core::path::appendingPathComponent(
        VKApplication::sharedApplication()->documentsDirectory(), core::localized("Welcome") + ".docx");
    if (!core::fs::copyItem(source, destination))
        core::log("Failed to copy: {}", source);
}

core::Result<std::string> VKAppImports::copyIntoInbox(const std::string& inbox, const std::string& path)
{
    const auto name = core::path::lastPathComponent(path);
    // A name another copy took meanwhile, or an inbox the import removed
    // as it emptied, is tried again, at most three times in all.
    constexpr int Attempts = 3;
    core::Error failure;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        core::fs::createDirectory(inbox, true);
        const auto copy = uniquePathForItemAtPath(core::path::appendingPathComponent(inbox, name));
        failure = {};
        if (core::fs::copyRegularFile(path, copy, &failure))
            return copy;
        const bool again = failure.domain() == core::Error::POSIXDomain
            && (failure.code() == EEXIST || (failure.code() == ENOENT && core::fs::failedPath(failure) != path));
        if (!again)
            break;
    }
    TANDRY_ASSERT(!failure.isEmpty());
    return failure;
}

std::optional<std::string> VKAppImports::importLaunchURL(const std::string& path)
{
    auto application = VKApplication::sharedApplication();
    const auto inbox = application->inboxDirectory();
    if (!core::path::isWithin(core::path::deletingLastPathComponent(path), inbox)) {
        core::log("Warning, launchURL not in ~/Documents/Inbox");
        return path;
    }
    // The free space: the last run's count, else the quota manager's. With
    // neither there is nothing to check against.
    std::optional<uint64_t> available;
    const auto stored = core::UserDefaults::standard()->object("VKQuotaAvailableBytes");
    if (stored.isInteger() && stored.toInteger() >= 0)
        available = uint64_t(stored.toInteger());
    else if (auto quota = VKQuotaManager::defaultManager())
        available = quota->quotaAvailableBytes();
    const auto attributes = core::fs::attributes(path);
    std::optional<std::string> result;
    if (available && attributes && attributes->size >= *available) {
        core::fs::removeItem(path);
    } else {
        const auto imports = core::path::appendingPathComponent(application->documentsDirectory(), "Imports");
        bool isDirectory = false;
        const bool exists = core::fs::exists(imports, &isDirectory);
        if (exists && !isDirectory) {
            core::log("Warning, ~/Documents/Imports is a regular file");
            return path;
        }
        if (!exists)
            core::fs::createDirectory(imports, true);
        auto name = core::path::lastPathComponent(path);
        if (isGeneratedName(name)) {
            const auto extension = core::path::pathExtension(name);
            name = fmt::format(fmt::runtime(core::localized("Import {}")),
                core::DateFormatter("d-MMM-yyyy HHmmss").format(core::Date::now()));
            if (!extension.empty())
                name += "." + extension;
        }
        const auto destination = uniquePathForItemAtPath(core::path::appendingPathComponent(imports, name));
        if (core::fs::moveItem(path, destination)) {
            auto moved = core::fs::attributes(destination);
            if (moved && moved->type == core::fs::FileType::Regular
                && moved->modificationTime < UndatedLimit * 1'000'000'000LL)
                core::fs::setModificationTime(destination, int64_t(core::Date::now().timeIntervalSince1970() * 1e9));
        } else {
            core::log("Warning, moveItemAtPath failed");
        }
        result = destination;
    }
    if (auto left = core::fs::contentsOfDirectory(inbox); left && left->empty())
        if (!core::fs::removeItem(inbox))
            core::log("Warning, failed to remove '~/Documents/Inbox'");
    return result;
}
