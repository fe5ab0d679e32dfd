#include "Viewers/AudioPlayer/VKAudioPlaylist.h"

#include "FileModel/VKFileResource.h"
#include "Kit/ArrayAdditions.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Path.h"

#include <algorithm>

namespace {

bool isAudio(const VKFileResource& resource)
{
    return resource.mimeType().rfind("audio/", 0) == 0;
}

} // namespace

bool VKAudioPlaylist::sameResource(const std::shared_ptr<VKFileResource>& a, const std::shared_ptr<VKFileResource>& b)
{
    return a == b || (a && b && a->isEqual(*b));
}

std::ptrdiff_t VKAudioPlaylist::indexOf(const Resources& list, const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return -1;
    for (size_t i = 0; i < list.size(); ++i)
        if (sameResource(list[i], resource))
            return std::ptrdiff_t(i);
    return -1;
}

void VKAudioPlaylist::setResources(const Resources& resources)
{
    m_needsRebuild = false;
    m_resources = resources;
    dropOrder();
}

void VKAudioPlaylist::dropOrder()
{
    m_order.clear();
    m_orderValid = false;
}

void VKAudioPlaylist::markForRebuild()
{
    dropOrder();
    m_needsRebuild = true;
}

std::shared_ptr<VKFileResource> VKAudioPlaylist::rebuildIfNeeded(const VKFileResource* current, bool allowed)
{
    std::shared_ptr<VKFileResource> replacement;
    if (m_needsRebuild && allowed && current) {
        std::string folder = core::path::deletingLastPathComponent(current->path());
        auto folderResource = VKFileResource::resourceWithPath(folder);
        if (folderResource && folderResource->isDirectory()) {
            m_resources.clear();
            dropOrder();
            if (auto children = folderResource->children())
                for (const auto& child : *children)
                    if (child && !child->isDirectory() && isAudio(*child))
                        m_resources.push_back(child);
            if (!current->exists() && !m_resources.empty())
                replacement = m_resources.front();
        }
    }
    m_needsRebuild = false;
    return replacement;
}

bool VKAudioPlaylist::addIfMissing(const std::shared_ptr<VKFileResource>& resource, bool shuffle)
{
    if (indexOf(m_resources, resource) >= 0)
        return false;
    auto playlist = m_resources;
    playlist.push_back(resource);
    if (!shuffle)
        std::stable_sort(playlist.begin(), playlist.end(), [](const auto& a, const auto& b) {
            return localizedNumericAndCaseInsensitiveCompare(a->baseName(), b->baseName()) < 0;
        });
    setResources(playlist);
    return true;
}

void VKAudioPlaylist::itemWillBeDeleted(const std::optional<std::string>& path, const VKFileResource* current)
{
    if (path && current && *path == core::path::deletingLastPathComponent(current->path()))
        markForRebuild();
}

void VKAudioPlaylist::itemDidMove(const std::optional<std::string>& oldPath, const std::optional<std::string>& newPath,
    const VKFileResource* current)
{
    if (!current)
        return;
    std::string folder = core::path::deletingLastPathComponent(current->path());
    if ((oldPath && core::path::deletingLastPathComponent(*oldPath) == folder)
        || (newPath && core::path::deletingLastPathComponent(*newPath) == folder))
        markForRebuild();
}

const VKAudioPlaylist::Resources& VKAudioPlaylist::order(const std::shared_ptr<VKFileResource>& current, bool shuffle)
{
    if (m_orderValid)
        return m_order;
    if (!shuffle) {
        m_order = m_resources;
    } else {
        Resources others;
        others.reserve(m_resources.size());
        for (const auto& entry : m_resources)
            if (!sameResource(entry, current))
                others.push_back(entry);
        if (others.size() >= 3)
            sortInRandomOrder(others);
        m_order.clear();
        if (current)
            m_order.push_back(current);
        m_order.insert(m_order.end(), others.begin(), others.end());
    }
    m_orderValid = true;
    return m_order;
}

std::shared_ptr<VKFileResource> VKAudioPlaylist::next(const std::shared_ptr<VKFileResource>& current, bool shuffle)
{
    const auto& list = order(current, shuffle);
    std::ptrdiff_t index = indexOf(list, current);
    if (index < 0 || size_t(index + 1) >= list.size())
        return nullptr;
    return list[size_t(index + 1)];
}

std::shared_ptr<VKFileResource> VKAudioPlaylist::previous(const std::shared_ptr<VKFileResource>& current, bool shuffle)
{
    const auto& list = order(current, shuffle);
    std::ptrdiff_t index = indexOf(list, current);
    if (index <= 0)
        return nullptr;
    return list[size_t(index - 1)];
}

VKAudioPlaylist::Step VKAudioPlaylist::stepNext(const Current& current, bool shuffle, int mode, bool byButton)
{
    if (!byButton && mode == SingleTrack)
        return {};
    auto track = current();
    if (auto following = next(track, shuffle))
        return { Step::Open, following };
    if (mode == RepeatAll) {
        const auto& list = order(track, shuffle);
        if (list.size() >= 2)
            return { Step::Open, list.front() };
        return { Step::Stay, nullptr };
    }
    return {};
}

VKAudioPlaylist::Step VKAudioPlaylist::stepPrevious(const Current& current, bool shuffle, int mode, bool byButton)
{
    if (!byButton && mode == SingleTrack)
        return { Step::Restart, nullptr };
    auto track = current();
    if (mode == RepeatAll && order(track, shuffle).size() == 1)
        return { Step::Restart, nullptr };
    if (auto preceding = previous(track, shuffle))
        return { Step::Open, preceding };
    if (mode == RepeatAll && !order(track, shuffle).empty())
        return { Step::Open, order(track, shuffle).back() };
    return {};
}

VKAudioPlaylist::Step VKAudioPlaylist::stepAtEnd(const Current& current, bool shuffle, int mode)
{
    if (mode == RepeatTrack || (mode == RepeatAll && order(current(), shuffle).size() == 1))
        return { Step::Restart, nullptr };
    return stepNext(current, shuffle, mode, false);
}
