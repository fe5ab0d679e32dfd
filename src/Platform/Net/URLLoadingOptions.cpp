#include "Platform/Net/URLLoadingOptions.h"

#include <mutex>

namespace net {

namespace {

std::mutex optionsMutex;
URLLoadingOptions options;

} // namespace

URLLoadingOptions URLLoadingOptions::current()
{
    std::lock_guard lock(optionsMutex);
    return options;
}

void URLLoadingOptions::setCAFile(std::string path)
{
    std::lock_guard lock(optionsMutex);
    options.caFile = std::move(path);
}

void URLLoadingOptions::addRoute(const std::string& hostAndPort, const std::string& address)
{
    std::lock_guard lock(optionsMutex);
    options.routes[hostAndPort] = address;
}

void URLLoadingOptions::removeAllRoutes()
{
    std::lock_guard lock(optionsMutex);
    options.routes.clear();
}

} // namespace net
