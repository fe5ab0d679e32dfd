#include "Kit/VKDirectoryWatcher.h"

#include "Platform/Core/DirectoryWatch.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"

#include <cstring>

std::shared_ptr<VKDirectoryWatcher> VKDirectoryWatcher::initWithPath(std::string_view path)
{
    std::shared_ptr<VKDirectoryWatcher> watcher(new VKDirectoryWatcher(std::string(path)));
    std::weak_ptr<VKDirectoryWatcher> weak = watcher;
    core::Error error;
    watcher->m_watch = core::DirectoryWatch::create(watcher->m_path, [weak] {
        if (auto self = weak.lock())
            self->directoryChanged();
    }, &error);
    if (!watcher->m_watch) {
        int code = int(error.code());
        const char* name = strerrorname_np(code);
        core::log("VKDirectoryWatcher: cannot watch '{}': {} ({})", watcher->m_path, std::strerror(code),
            name ? name : "unknown error");
        return nullptr;
    }
    watcher->m_watch->onEnd([weak] {
        if (auto self = weak.lock())
            core::NotificationCenter::defaultCenter().post(DirectoryDidEndNotification, self);
    });
    return watcher;
}

VKDirectoryWatcher::VKDirectoryWatcher(std::string path)
    : m_path(std::move(path))
{
}

VKDirectoryWatcher::~VKDirectoryWatcher() = default;

void VKDirectoryWatcher::directoryChanged()
{
    core::NotificationCenter::defaultCenter().post(DirectoryDidChangeNotification, shared_from_this());
}

void VKDirectoryWatcher::processPendingChanges()
{
    if (m_watch)
        m_watch->processPendingEvents();
}
