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

// Counts a shown folder row's items and reads its date on a worker, and
// keeps both current while files come and go inside that folder (another
// program, a client of the server): the folder's own entries are watched, a
// burst of changes settles for SettleDelay, then on a worker thread the
// entries are counted and the folder's modification date read, and both
// handed to `counted` on the main thread. One count runs at a time; news
// heard meanwhile count once more after it. An answer arriving after the
// watch went is dropped. Main thread only.
class VKFolderCountWatch {
public:
    static constexpr double SettleDelay = 0.4;
    // The count is absent when the folder could not be listed, the date
    // when it could be listed but not read again.
    using Counted = std::function<void(std::optional<uint32_t> count, std::optional<core::Date> modified)>;

    // The folder is counted at once, then followed. A folder that cannot be
    // watched (gone, not readable, no watches left) is counted only then,
    // quietly; one that cannot be listed has no count and no date.
    static std::unique_ptr<VKFolderCountWatch> create(const std::string& path, Counted counted);
    ~VKFolderCountWatch();
    VKFolderCountWatch(const VKFolderCountWatch&) = delete;
    VKFolderCountWatch& operator=(const VKFolderCountWatch&) = delete;

    const std::string& path() const { return m_path; }
    // Whether changes inside the folder are followed.
    bool isFollowing() const { return m_watch != nullptr; }
    // The counts started whose answers are not yet posted to the main loop,
    // of every watch (tests wait for them before looking at rows).
    static size_t countsInFlightForTesting();

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
