#pragma once

// A folder screen for viewer tests: it lists `folder`, moves anything to the
// trash without touching it, and has no neighbours to walk to. Fixtures
// derive from it and answer only what their tests look at.

#include "App/Viewers/VKViewerFolderHost.h"
#include "Platform/Core/Object.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace test {

class StubFolderHost : public core::Object, public VKViewerFolderHost {
public:
    std::shared_ptr<VKFileResource> folderResource() const override { return folder; }
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>&) override { return TrashMoved; }
    std::vector<std::shared_ptr<VKFileResource>> getAllViewableResourcesWithType(const std::optional<std::string>&) override
    {
        return {};
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(const std::shared_ptr<VKFileResource>&,
        const std::optional<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::optional<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(const std::shared_ptr<VKFileResource>&,
        const std::vector<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::vector<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getFirstViewableResourceIgnoringUTIdentifiers(const std::vector<std::string>&) override
    {
        return nullptr;
    }

    std::shared_ptr<VKFileResource> folder;
};

} // namespace test
