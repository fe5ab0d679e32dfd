#include "Platform/Web/WebFileAccess.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Net/URLError.h"

#include <algorithm>
#include <cstdlib>

namespace web {

namespace {

bool isKnownScheme(const std::string& scheme)
{
    static const char* const known[] = { "http", "https", "file", "about", "data", "blob" };
    return std::any_of(std::begin(known), std::end(known),
        [&](const char* name) { return core::ascii::equalIgnoringCase(scheme, name); });
}

// The path with its links resolved as far as it exists, so that a link in
// the home cannot lead out of it.
std::string resolvedPath(const std::string& path)
{
    std::string standardized = core::path::standardizingPath(path);
    std::string existing = standardized;
    std::string rest;
    while (!existing.empty() && existing != "/") {
        if (char* real = realpath(existing.c_str(), nullptr)) {
            std::string result = std::string(real) + rest;
            std::free(real);
            return result;
        }
        size_t slash = existing.rfind('/');
        rest = existing.substr(slash) + rest;
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
    return standardized;
}

} // namespace

bool WebFileAccess::isReadableFile(const std::string& path)
{
    std::string file = resolvedPath(path);
    std::string home = core::paths::home();
    if (!home.empty() && core::path::isWithin(file, resolvedPath(home)))
        return true;
    auto bundle = core::Bundle::main();
    return bundle && !bundle->bundlePath().empty() && core::path::isWithin(file, resolvedPath(bundle->bundlePath()));
}

std::optional<core::Error> WebFileAccess::refusal(const core::URL& url)
{
    if (!isKnownScheme(url.scheme()))
        return net::URLError::make(net::URLError::UnsupportedURL, url);
    if (url.isFileURL() && !isReadableFile(url.filePath()))
        return net::URLError::make(net::URLError::NoPermissionsToReadFile, url);
    return std::nullopt;
}

std::optional<core::Error> WebFileAccess::loadRefusal(const core::URL& url) const
{
    if (auto refused = refusal(url))
        return refused;
    if (url.isFileURL() && m_folders) {
        std::string file = resolvedPath(url.filePath());
        bool inside = std::any_of(m_folders->begin(), m_folders->end(),
            [&](const std::string& folder) { return core::path::isWithin(file, resolvedPath(folder)); });
        if (!inside)
            return net::URLError::make(net::URLError::NoPermissionsToReadFile, url);
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> WebFileAccess::pageFolders() const
{
    if (!m_folders)
        return std::nullopt;
    std::vector<std::string> folders;
    for (const auto& folder : *m_folders) {
        for (std::string path : { core::path::standardizingPath(folder), resolvedPath(folder) }) {
            if (std::find(folders.begin(), folders.end(), path) == folders.end())
                folders.push_back(path);
        }
    }
    return folders;
}

} // namespace web
