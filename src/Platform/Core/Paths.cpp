#include "Platform/Core/Paths.h"

#include "Platform/Core/Exception.h"

#include <cerrno>
#include <mutex>
#include <sys/stat.h>

namespace core::paths {

namespace {

std::mutex mutex;
std::string currentHome;

} // namespace

void setHome(const std::string& home)
{
    std::string trimmed = home;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    std::lock_guard lock(mutex);
    currentHome = trimmed;
}

std::string home()
{
    std::lock_guard lock(mutex);
    if (currentHome.empty())
        throw Exception(Exception::InternalInconsistency, "the application home is not set");
    return currentHome;
}

std::string documents()
{
    return home() + "/Documents";
}

std::string library()
{
    return home() + "/Library";
}

std::string preferences()
{
    return library() + "/Preferences";
}

std::string caches()
{
    return library() + "/Caches";
}

std::string temporaryDirectory()
{
    std::string folder = home() + "/tmp";
    struct stat info;
    // Tighten a folder made by someone else, but never chmod through a link.
    if (mkdir(folder.c_str(), 0700) != 0 && errno == EEXIST && lstat(folder.c_str(), &info) == 0
        && S_ISDIR(info.st_mode) && (info.st_mode & 07777) != 0700)
        chmod(folder.c_str(), 0700);
    return folder + "/";
}

} // namespace core::paths
