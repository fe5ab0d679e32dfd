#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VKQuotaManager;
namespace core {
class Thread;
}

// Keeps the quota tree current with what other programs do in the document
// folders (a file copied in by a desktop program, a folder removed in a
// terminal), so that sizes, the space left and both searches tell the truth
// before the next launch. Every folder below the roots is watched (inotify,
// on a thread of its own, which does all the disk work): a folder whose
// entries change, or one of whose files is written, is rescanned as the
// smart rescan does (subfolders that kept their stamps are kept) once a
// burst has been quiet for SettleDelay, and at least every LongestDelay
// while it goes on, so that thousands of new files cost a few rescans, not
// thousands; new subfolders are watched and then rescanned
// for what arrived before their watch. The tree's own notifications tell the
// screens. Links are never followed. When the system allows no more watches
// the rest of the tree waits for the launch rescan (logged once).
class VKQuotaWatcher {
public:
    static constexpr double SettleDelay = 0.2;
    static constexpr double LongestDelay = 1.0;

    // Watches the roots (folders inside the quota's tree) until destroyed.
    static std::unique_ptr<VKQuotaWatcher> start(std::shared_ptr<VKQuotaManager> quota, std::vector<std::string> roots);
    // Stops the thread and waits until it has ended: a walk of the folders
    // stops at its next entry.
    ~VKQuotaWatcher();
    VKQuotaWatcher(const VKQuotaWatcher&) = delete;
    VKQuotaWatcher& operator=(const VKQuotaWatcher&) = delete;

    // Any thread: the watcher has set up its first watches; folders rescanned
    // so far (tests wait on them).
    bool isReadyForTesting() const;
    uint64_t rescanCountForTesting() const;

    struct Worker;

private:
    VKQuotaWatcher(std::shared_ptr<Worker> worker, std::shared_ptr<core::Thread> thread);
    std::shared_ptr<Worker> m_worker;
    std::shared_ptr<core::Thread> m_thread;
};
