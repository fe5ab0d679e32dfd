#pragma once

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Object.h"
#include "Platform/UI/AlertView.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace core {
class Thread;
}

class VKAppDiskQuotaHost;
class VKModalActivityIndicator;
class VKQuotaWatcher;

// The application's part in the disk quota: the quota tree kept between
// runs, the watcher that follows other programs' changes, the recount of
// the document folders on a worker thread (the server stopped meanwhile,
// an indicator when it takes long, stopped when this goes) and the warning
// a full store raises. The application delegate is its host and its only
// owner (blocks and the alert hold it weakly), so the host outlives it.
class VKAppDiskQuota : public core::Object, public ui::AlertViewDelegate {
public:
    enum class Alert : int { Warning = 3003 };

    static std::shared_ptr<VKAppDiskQuota> create(VKAppDiskQuotaHost& host);
    ~VKAppDiskQuota() override;

    // The tree the last run kept ("VKQuotaStore") goes to the quota manager,
    // and the kept tree and free space are forgotten.
    void restoreSavedTree();
    // Keeps the tree and the free space for the next run, unless a recount
    // is half way through.
    void saveTree() const;
    // Starts following what other programs change in the document folders
    // (once).
    void startWatching();

    // The quota warning: one alert, kept until its button is pressed, shown
    // at once when the host lets it, else by showPendingWarning().
    void showWarning();
    void showPendingWarning();
    const std::shared_ptr<ui::AlertView>& warningAlert() const { return m_warningAlert; }
    // The warning for each time the server finds the store full.
    core::Observation observeInsufficientStorage();
    void clickedButton(ui::AlertView& alert, int index) override;

    // A full recount with the indicator when nothing was counted yet, else
    // a quiet recount of the document folders whose count is not valid.
    void recountIfNeeded();
    // Counts both document folders afresh with the indicator and forgets the
    // thumbnails and content indexes.
    void rebuild();
    // Counts the given folders again on a worker thread; the indicator shows
    // when the count takes longer than 0.2 s. A recount asked for while one
    // runs is refused (logged).
    void startRecount(bool smart, std::vector<std::string> directories, bool showIndicator);
    bool isRecounting() const;
    const std::shared_ptr<VKModalActivityIndicator>& indicator() const { return m_indicator; }
    // Tests hold the worker before its count (the hold runs on it).
    static void setWorkerHoldForTesting(std::function<void()> hold);

private:
    explicit VKAppDiskQuota(VKAppDiskQuotaHost& host);
    void showIndicator();
    void recountDidEnd(const std::vector<std::string>& directories);

    VKAppDiskQuotaHost& m_host;
    std::shared_ptr<ui::AlertView> m_warningAlert;
    bool m_warningPending = false;
    std::shared_ptr<VKModalActivityIndicator> m_indicator;
    bool m_indicatorScheduled = false;
    bool m_recountRunning = false;
    std::unique_ptr<VKQuotaWatcher> m_watcher;
    // The running recount, cancelled when this goes (the program's end), so
    // that its walk stops at the next entry instead of holding the exit.
    std::weak_ptr<core::Thread> m_recount;
};
