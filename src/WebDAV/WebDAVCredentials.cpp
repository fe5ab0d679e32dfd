#include "WebDAV/WebDAVCredentials.h"

#include <mutex>

namespace {

std::mutex& slotMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<WebDAVCredentials>& slot()
{
    static std::shared_ptr<WebDAVCredentials> credentials;
    return credentials;
}

} // namespace

std::shared_ptr<WebDAVCredentials> WebDAVCredentials::current()
{
    std::lock_guard lock(slotMutex());
    return slot();
}

void WebDAVCredentials::setCurrent(std::shared_ptr<WebDAVCredentials> credentials)
{
    std::lock_guard lock(slotMutex());
    slot() = std::move(credentials);
}
