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

void FileTestHooks::reset()
{
    writeError = 0;
    setCopyItemHook(nullptr);
    setRenameItemHook(nullptr);
}

int FileTestHooks::takeWriteError()
{
    return writeError.load(std::memory_order_relaxed) ? writeError.exchange(0) : 0;
}

int FileTestHooks::copyItemError(const std::string& from)
{
    if (!hasCopyHook.load(std::memory_order_relaxed))
        return 0;
    std::shared_ptr<const std::function<int(const std::string&)>> hook;
    {
        std::lock_guard lock(copyHookMutex);
        hook = copyHook;
    }
    // Called outside the lock: a hook may wait for the test's thread.
    return hook ? (*hook)(from) : 0;
}

int FileTestHooks::renameItemError(const std::string& from)
{
    if (!hasRenameHook.load(std::memory_order_relaxed))
        return 0;
    std::shared_ptr<const std::function<int(const std::string&)>> hook;
    {
        std::lock_guard lock(renameHookMutex);
        hook = renameHook;
    }
    return hook ? (*hook)(from) : 0;
}

} // namespace core
