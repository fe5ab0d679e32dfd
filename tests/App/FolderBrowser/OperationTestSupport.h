#pragma once

// What the tests of the browser's long operation share: a recorder of the
// three notifications (posted on any thread) and a file operation that the
// test drives by hand.

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "FileModel/VKFileOperation.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Thread.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace test {

class OperationNotifications {
public:
    struct Entry {
        std::string name;
        double progress = -1; // −1: no "progress"
        bool onMainThread = true;
    };

    OperationNotifications()
    {
        auto& center = core::NotificationCenter::defaultCenter();
        for (const char* name : { VKFolderControllerOperationDidStartNotification,
                 VKFolderControllerOperationProgressNotification.name, VKFolderControllerOperationDidEndNotification })
            m_observations.push_back(center.observe(name, nullptr, [this](const core::Notification& notification) {
                Entry entry { notification.name(), -1, core::Thread::isMainThread() };
                if (auto news = notification.payload<VKOperationProgress>())
                    entry.progress = news->progress;
                EXPECT_FALSE(notification.object());
                std::lock_guard lock(m_mutex);
                m_entries.push_back(entry);
            }));
    }

    std::vector<Entry> entries() const
    {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }
    size_t count(std::string_view name) const
    {
        std::lock_guard lock(m_mutex);
        size_t n = 0;
        for (const auto& entry : m_entries)
            n += entry.name == name;
        return n;
    }
    std::vector<double> progressValues() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<double> values;
        for (const auto& entry : m_entries)
            if (entry.name == VKFolderControllerOperationProgressNotification.name)
                values.push_back(entry.progress);
        return values;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::vector<core::Observation> m_observations;
};

// Runs when told and reports what the test says through its delegate.
class ManualFileOperation : public VKFileOperation {
public:
    ManualFileOperation(std::string label, bool indeterminate, bool mayBeCancelled) : VKFileOperation({})
    {
        setLabel(std::move(label));
        m_indeterminate = indeterminate;
        m_mayBeCancelled = mayBeCancelled;
    }
    void run() override { ++runs; }
    std::string localizedErrorDescription() override { return "failed"; }
    void report(float progress)
    {
        if (auto delegate = this->delegate())
            delegate->fileOperation(*this, progress);
    }
    void finish(std::optional<core::Error> error)
    {
        if (auto delegate = this->delegate())
            delegate->fileOperationDidEnd(*this, error);
    }

    int runs = 0;
};

} // namespace test
