#pragma once

#include "Platform/Core/Object.h"

#include <memory>
#include <string>
#include <string_view>

namespace core {
class DirectoryWatch;
}

// Posts DirectoryDidChangeNotification (object: the watcher) on the run loop
// of the thread that made it whenever an entry of its folder is added,
// removed or renamed; several changes between two passes of the loop post
// once; DirectoryDidEndNotification once when the folder itself is removed,
// moved away or unmounted, after which it posts nothing. For folder views that
// want live updates. Made and released on one thread.
class VKDirectoryWatcher : public core::Object {
public:
    static constexpr const char* DirectoryDidChangeNotification = "VKDirectoryWatcherDirectoryDidChangeNotification";
    static constexpr const char* DirectoryDidEndNotification = "VKDirectoryWatcherDirectoryDidEndNotification";

    // Null, with a log line naming the reason, for a missing path, a file or
    // a folder that cannot be read.
    static std::shared_ptr<VKDirectoryWatcher> initWithPath(std::string_view path);
    ~VKDirectoryWatcher() override;

    std::string path() const { return m_path; }
    void directoryChanged();
    // Posts now for changes the loop has not passed on yet (before the
    // folder is read, so that the reader takes them).
    void processPendingChanges();

private:
    explicit VKDirectoryWatcher(std::string path);

    std::string m_path;
    std::unique_ptr<core::DirectoryWatch> m_watch;
};
