#pragma once

// A folder screen over a fixed list of files, walked in order: what the
// image viewer's tests and its benchmark swipe through. Like the stub, it
// moves anything to the trash without touching it.

#include "FileModel/VKFileResource.h"
#include "StubFolderHost.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace test {

class ListedFolderHost : public StubFolderHost {
public:
    std::vector<std::shared_ptr<VKFileResource>> getAllViewableResourcesWithType(const std::optional<std::string>&) override
    {
        return files;
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>&) override
    {
        return step(resource, 1);
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>&) override
    {
        return step(resource, -1);
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>&) override
    {
        return step(resource, 1);
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>&) override
    {
        return step(resource, -1);
    }
    std::shared_ptr<VKFileResource> getFirstViewableResourceIgnoringUTIdentifiers(const std::vector<std::string>&) override
    {
        return files.empty() ? nullptr : files.front();
    }
    // The file `by` places from `resource` in the list, or null.
    std::shared_ptr<VKFileResource> step(const std::shared_ptr<VKFileResource>& resource, int by) const
    {
        if (!resource)
            return nullptr;
        auto found = std::find_if(files.begin(), files.end(), [&](auto& file) { return file->path() == resource->path(); });
        if (found == files.end())
            return nullptr;
        auto index = (found - files.begin()) + by;
        return index >= 0 && index < std::ptrdiff_t(files.size()) ? files[size_t(index)] : nullptr;
    }

    std::vector<std::shared_ptr<VKFileResource>> files;
};

} // namespace test
