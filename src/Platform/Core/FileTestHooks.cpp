#include "Platform/Core/FileTestHooks.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace core {

namespace {

std::atomic<int> writeError { 0 };
std::mutex copyHookMutex;
std::shared_ptr<const std::function<int(const std::string&)>> copyHook;
std::atomic<bool> hasCopyHook { false };
std::mutex renameHookMutex;
std::shared_ptr<const std::function<int(const std::string&)>> renameHook;
std::atomic<bool> hasRenameHook { false };
std::shared_ptr<const std::function<int(const std::string&)>> listHook;
std::atomic<bool> hasListHook { false };
std::shared_ptr<const std::function<int(const std::string&)>> openHook;
std::atomic<bool> hasOpenHook { false };
using DataHook = std::function<int(const std::string&, uint64_t)>;
std::shared_ptr<const DataHook> dataHook;
std::atomic<bool> hasDataHook { false };
std::shared_ptr<const std::function<void(size_t)>> writeHook;
std::atomic<bool> hasWriteHook { false };

} // namespace

void FileTestHooks::failNextWrite(int error) { writeError = error; }

void FileTestHooks::setCopyItemHook(std::function<int(const std::string& from)> hook)
{
    std::lock_guard lock(copyHookMutex);
    copyHook = hook ? std::make_shared<const std::function<int(const std::string&)>>(std::move(hook)) : nullptr;
    hasCopyHook = copyHook != nullptr;
}

void FileTestHooks::setRenameItemHook(std::function<int(const std::string& from)> hook)
{
    std::lock_guard lock(renameHookMutex);
    renameHook = hook ? std::make_shared<const std::function<int(const std::string&)>>(std::move(hook)) : nullptr;
    hasRenameHook = renameHook != nullptr;
}

void FileTestHooks::setListFolderHook(std::function<int(const std::string& path)> hook)
{
    std::lock_guard lock(renameHookMutex);
    listHook = hook ? std::make_shared<const std::function<int(const std::string&)>>(std::move(hook)) : nullptr;
    hasListHook = listHook != nullptr;
}

void FileTestHooks::setOpenFileHook(std::function<int(const std::string& path)> hook)
{
    std::lock_guard lock(renameHookMutex);
    openHook = hook ? std::make_shared<const std::function<int(const std::string&)>>(std::move(hook)) : nullptr;
    hasOpenHook = openHook != nullptr;
}

void FileTestHooks::setCopyDataHook(std::function<int(const std::string& to, uint64_t written)> hook)
{
    std::lock_guard lock(copyHookMutex);
    dataHook = hook ? std::make_shared<const DataHook>(std::move(hook)) : nullptr;
    hasDataHook = dataHook != nullptr;
}

void FileTestHooks::setWriteHook(std::function<void(size_t length)> hook)
{
    std::lock_guard lock(copyHookMutex);
    writeHook = hook ? std::make_shared<const std::function<void(size_t)>>(std::move(hook)) : nullptr;
    hasWriteHook = writeHook != nullptr;
}

void FileTestHooks::reset()
{
    writeError = 0;
    setWriteHook(nullptr);
    setCopyItemHook(nullptr);
    setRenameItemHook(nullptr);
    setListFolderHook(nullptr);
    setOpenFileHook(nullptr);
    setCopyDataHook(nullptr);
}

int FileTestHooks::takeWriteError()
{
    return writeError.load(std::memory_order_relaxed) ? writeError.exchange(0) : 0;
}

// A per-path hook's verdict, 0 without one.
static int verdictOf(const std::atomic<bool>& has, std::mutex& mutex,
    const std::shared_ptr<const std::function<int(const std::string&)>>& installed, const std::string& path)
{
    if (!has.load(std::memory_order_relaxed))
        return 0;
    std::shared_ptr<const std::function<int(const std::string&)>> hook;
    {
        std::lock_guard lock(mutex);
        hook = installed;
    }
    // Called outside the lock: a hook may wait for the test's thread.
    return hook ? (*hook)(path) : 0;
}

int FileTestHooks::copyItemError(const std::string& from)
{
    return verdictOf(hasCopyHook, copyHookMutex, copyHook, from);
}

int FileTestHooks::renameItemError(const std::string& from)
{
    return verdictOf(hasRenameHook, renameHookMutex, renameHook, from);
}

int FileTestHooks::listFolderError(const std::string& path)
{
    return verdictOf(hasListHook, renameHookMutex, listHook, path);
}

int FileTestHooks::openFileError(const std::string& path)
{
    return verdictOf(hasOpenHook, renameHookMutex, openHook, path);
}

int FileTestHooks::copyDataError(const std::string& to, uint64_t written)
{
    if (!hasDataHook.load(std::memory_order_relaxed))
        return 0;
    std::shared_ptr<const DataHook> hook;
    {
        std::lock_guard lock(copyHookMutex);
        hook = dataHook;
    }
    return hook ? (*hook)(to, written) : 0;
}

void FileTestHooks::willWrite(size_t length)
{
    if (!hasWriteHook.load(std::memory_order_relaxed))
        return;
    std::shared_ptr<const std::function<void(size_t)>> hook;
    {
        std::lock_guard lock(copyHookMutex);
        hook = writeHook;
    }
    if (hook)
        (*hook)(length);
}

} // namespace core
