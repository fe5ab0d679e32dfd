#pragma once

#include "Platform/Core/Date.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {
class DirectoryWatch;
class Timer;
} // namespace core

// Keeps a shown folder row's item count and date current while files come
// and go inside that folder (another program, a client of the server): the
// folder's own entries are watched, a burst of changes settles for
// SettleDelay, then on a worker thread the entries are counted and the
// folder's modification date read, and both handed to `counted` on the main
// thread. One count runs at a time; news heard meanwhile count once more
// after it. Main thread only.
class VKFolderCountWatch {
public:
    static constexpr double SettleDelay = 0.4;
    // The date is absent when the folder could be listed but not read again.
    using Counted = std::function<void(uint32_t count, std::optional<core::Date> modified)>;

    // Null when the folder cannot be watched (gone, not a folder, not
    // readable); quiet, as rows of folders that are not local ask too. With
    // `countNow` the folder is counted at once as well (a row whose count
    // went unwatched for a while).
    static std::unique_ptr<VKFolderCountWatch> create(const std::string& path, bool countNow, Counted counted);
    ~VKFolderCountWatch();
    VKFolderCountWatch(const VKFolderCountWatch&) = delete;
    VKFolderCountWatch& operator=(const VKFolderCountWatch&) = delete;

    const std::string& path() const { return m_path; }

    // How many of a folder's names its row counts: hidden ones only when
    // hidden files are shown.
    static uint32_t shownCount(const std::vector<std::string>& names, bool showHidden);

private:
    struct Counting;

    VKFolderCountWatch(std::string path, Counted counted);
    void changed();
    void count();

    std::string m_path;
    Counted m_counted;
    std::unique_ptr<core::DirectoryWatch> m_watch;
    std::shared_ptr<core::Timer> m_timer;
    // Shared with the worker's answer, which finds the watch through it.
    std::shared_ptr<Counting> m_counting;
};
