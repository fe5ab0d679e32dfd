// tool: tandry_app
// The child that bench/folder_zip.sh measures: the folder browser's zip or
// unzip of a tree, run as the browser runs it (a worker for a run of the
// class-wide operation, progress through the observer), printing one line
//   <mode> <seconds> <peak RSS growth in KiB> <progress reports> <largest progress step> <cancel ms>
// With --cancel the main thread cancels the run once the progress passed
// 10 % and the cancel is timed until the worker returned; nothing must be
// left then. Exit status 0 when the work did what it should.
//   folder_zip_run zip ARCHIVE ITEM...         (the items beside the archive)
//   folder_zip_run unzip ARCHIVE
//   folder_zip_run --cancel zip|unzip ...
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderZipWork.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    }
    return 0;
}

uint64_t treeBytes(const std::string& path)
{
    uint64_t total = 0;
    if (!stdfs::is_directory(path))
        return stdfs::file_size(path);
    for (const auto& entry : stdfs::recursive_directory_iterator(path)) {
        if (entry.is_regular_file())
            total += entry.file_size();
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    // The main loop makes this thread the main one, where the operation is
    // started and cancelled.
    core::RunLoop::setMainThread();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool cancel = !arguments.empty() && arguments.front() == "--cancel";
    if (cancel)
        arguments.erase(arguments.begin());
    if (arguments.size() < 2 || (arguments[0] != "zip" && arguments[0] != "unzip")) {
        std::fprintf(stderr, "usage: folder_zip_run [--cancel] zip ARCHIVE ITEM... | unzip ARCHIVE\n");
        return 2;
    }
    const bool zipping = arguments[0] == "zip";
    const std::string archive = stdfs::absolute(arguments[1]).string();
    const std::string folder = core::path::deletingLastPathComponent(archive);
    // The unarchiver sizes its work against the store's quota: the store is
    // the bench's folder.
    core::paths::setHome(folder);
    VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(folder, folder + "/Servers"));

    std::mutex mutex;
    std::vector<float> reports;
    auto observation = core::NotificationCenter::defaultCenter().observe(
        VKFolderControllerOperationProgressNotification, nullptr, [&](const VKOperationProgress& news) {
            std::lock_guard lock(mutex);
            reports.push_back(news.progress);
        });

    std::shared_ptr<VKZipArchiver> archiver;
    std::shared_ptr<VKZipUnarchiver> unarchiver;
    std::optional<std::string> expansionFolder;
    std::vector<std::string> items;
    uint64_t total = 0;
    if (zipping) {
        for (size_t i = 2; i < arguments.size(); ++i) {
            items.push_back(stdfs::absolute(arguments[i]).string());
            total += treeBytes(items.back());
        }
        archiver = VKZipArchiver::archiverWithPath(archive);
    } else {
        unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archive);
        if (unarchiver)
            expansionFolder = VKFolderZipWork::makeExpansionFolder(archive);
    }
    if (!archiver && !(unarchiver && expansionFolder)) {
        std::fprintf(stderr, "cannot open %s\n", archive.c_str());
        return 1;
    }

    const long startRSS = statusKiB("VmRSS:");
    const auto start = Clock::now();
    const auto run = VKBrowserOperation::startOperationWithLabel("bench", false);
    std::atomic<bool> done = false;
    bool succeeded = false;
    std::thread worker([&] {
        if (zipping) {
            succeeded = VKFolderZipWork::archiveItems(*archiver, items, total, run).has_value();
        } else {
            succeeded = VKFolderZipWork::expandArchive(*unarchiver, *expansionFolder, run).success;
        }
        done = true;
    });
    double cancelMilliseconds = 0;
    if (cancel) {
        while (!done && VKBrowserOperation::operationProgress() < 0.1f)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto asked = Clock::now();
        VKBrowserOperation::cancelOperation();
        while (!done)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        cancelMilliseconds = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    }
    worker.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    VKBrowserOperation::endOperation(run);

    float largestStep = 0;
    float last = 0;
    for (float value : reports) {
        largestStep = std::max(largestStep, value - last);
        last = value;
    }
    if (!cancel)
        largestStep = std::max(largestStep, 1.0f - last);
    std::printf("%s %.4f %ld %zu %.4f %.1f\n", arguments[0].c_str(), seconds, statusKiB("VmHWM:") - startRSS,
        reports.size(), double(largestStep), cancelMilliseconds);
    return succeeded != cancel ? 0 : 1;
}
