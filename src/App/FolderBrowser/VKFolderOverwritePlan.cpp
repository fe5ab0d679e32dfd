#include "App/FolderBrowser/VKFolderOverwritePlan.h"

#include "App/FolderBrowser/VKFolderItemTransfer.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <fmt/format.h>

namespace {

std::string localizedFormat(const char* format, const auto&... arguments)
{
    return fmt::format(fmt::runtime(core::localized(format)), arguments...);
}

} // namespace

VKFolderOverwritePlan::VKFolderOverwritePlan(const std::vector<std::shared_ptr<VKFileResource>>& items,
    const std::string& destination, Operation operation, bool toTrash)
    : m_operation(operation)
    , m_toTrash(toTrash)
{
    auto quota = VKQuotaManager::defaultManager();
    const bool copy = operation == Operation::Copy;
    for (const auto& item : items) {
        if (copy)
            m_bytesNeeded += int64_t(quota->sizeForPath(item->path()));
        const std::string name = item->name();
        const std::string target = core::path::appendingPathComponent(destination, name);
        auto there = VKFolderItemTransfer::isPlainName(name) ? core::fs::attributes(target) : std::nullopt;
        if (!there)
            continue;
        m_collisions.push_back({ name, item->isDirectory() && there->isDirectory() });
        if (copy)
            m_bytesNeeded -= int64_t(quota->sizeForPath(target));
    }
}

std::string VKFolderOverwritePlan::sheetTitle(const std::string& destinationName) const
{
    std::string title;
    switch (m_operation) {
    case Operation::Move:
        title = localizedFormat("Move to \"{}\"", destinationName);
        break;
    case Operation::Copy:
        title = localizedFormat("Copy to \"{}\"", destinationName);
        break;
    case Operation::Download:
        title = localizedFormat("Download to \"{}\"", destinationName);
        break;
    case Operation::Other:
        break;
    }
    if (m_collisions.empty())
        return title;
    std::string line;
    if (m_collisions.size() == 1) {
        const Collision& only = m_collisions.front();
        if (only.folderOverFolder && m_toTrash)
            line = localizedFormat("The folder \"{}\" is already there. It will be replaced by this one, not merged; "
                                   "the one there now goes to the Trash.",
                only.name);
        else if (m_toTrash)
            line = localizedFormat("\"{}\" is already there and will be replaced. The one there now goes to the Trash.",
                only.name);
        else
            line = localizedFormat("\"{}\" is already there and will be replaced.", only.name);
    } else {
        line = localizedFormat("{} items are already there and will be replaced.", m_collisions.size());
        const bool folders = std::any_of(m_collisions.begin(), m_collisions.end(),
            [](const Collision& collision) { return collision.folderOverFolder; });
        if (folders && m_toTrash)
            line += " " + core::localized("Folders are replaced whole, not merged.");
        if (m_toTrash)
            line += " " + core::localized("The ones there now go to the Trash.");
    }
    return title.empty() ? line : title + "\n" + line;
}

std::string VKFolderOverwritePlan::replaceButtonTitle() const
{
    if (m_collisions.size() == 1)
        return core::localized("Replace");
    return localizedFormat("Replace {} Items", m_collisions.size());
}
