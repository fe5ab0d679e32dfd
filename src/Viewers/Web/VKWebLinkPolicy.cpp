#include "Viewers/Web/VKWebLinkPolicy.h"

#include "FileModel/VKFileResource.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

// A path compared as a document's: lexically standardised, without a
// trailing "/".
std::string comparablePath(std::string_view path)
{
    std::string standard = core::path::standardizingPath(path);
    while (standard.size() > 1 && standard.back() == '/')
        standard.pop_back();
    return standard;
}

// The path with its links resolved, as far as it exists.
std::string resolvedPath(const std::string& path)
{
    std::error_code error;
    auto resolved = std::filesystem::weakly_canonical(path, error);
    return error ? std::string() : resolved.string();
}

} // namespace

bool VKWebLinkPolicy::isInsideFolder(const std::string& path, const std::string& folder)
{
    if (folder.empty() || !core::path::isWithin(path, folder))
        return false;
    std::string real = resolvedPath(path);
    std::string realFolder = resolvedPath(folder);
    return !real.empty() && !realFolder.empty() && core::path::isWithin(real, realFolder);
}

VKWebLinkPolicy::Decision VKWebLinkPolicy::decide(const core::URL& url) const
{
    if (url.absoluteString() == "about:blank")
        return { Verdict::Document, {} };
    std::string scheme = url.scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (scheme == "productivity-document-resource" || scheme == "x-apple-ql-id")
        return { Verdict::Document, {} };
    std::string host = url.host();
    if (scheme != "file" || (!host.empty() && host != "localhost"))
        return { Verdict::OpenElsewhere, {} };
    std::string path = comparablePath(url.filePath());
    for (const auto& own : documentPaths)
        if (!own.empty() && path == comparablePath(own))
            return { Verdict::Document, {} };
    auto target = VKFileResource::resourceWithPath(path);
    if (!target) {
        auto found = VKFileResource::resourceWithPath(path, true);
        if (found && !found->isDirectory())
            return { Verdict::ReloadWithRealPath, found->path() };
    }
    if (target && !target->isDirectory()
        && (isInsideFolder(target->path(), publicFolder) || (!guest && isInsideFolder(target->path(), privateFolder))))
        return { Verdict::LoadFile, target->path() };
    return { Verdict::Unsupported, {} };
}
