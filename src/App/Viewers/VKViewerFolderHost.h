#pragma once

// What a viewer asks of the folder screen it was opened from: to move the
// shown file to the trash, and the neighbouring files it can show (the
// image viewer's slide show, the players' next and previous). The folder
// screen implements it; the viewer holds it for as long as it lives.

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKFileResource;

class VKViewerFolderHost {
public:
    // The results of moveResourceToTrash.
    static constexpr int TrashMoved = 1;
    static constexpr int TrashLocked = 2;

    virtual ~VKViewerFolderHost() = default;

    // True for TrashMoved; any other result shows an alert with "OK" that
    // says why the item stayed: `lockedMessage` for TrashLocked,
    // `failedMessage` otherwise (both localized here). The viewer and the
    // folder screen's commands each pass their own texts.
    static bool alertUnlessMoved(int result, const char* lockedMessage, const char* failedMessage);

    // The folder the screen lists.
    virtual std::shared_ptr<VKFileResource> folderResource() const = 0;
    // 1 moved, 2 the item is locked, anything else failed. Before the move
    // the screen posts VKFolderControllerWillDeleteResourceNotification for
    // the item, which a viewer showing it hears.
    virtual int moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource) = 0;

    // Rows the viewers can show, in the screen's order. `mimePrefix`
    // ("image/") keeps only the files whose MIME type begins with it; none
    // keeps all. The walks end at the first or last row (no wrap-around)
    // and find nothing from a resource the screen does not list.
    virtual std::vector<std::shared_ptr<VKFileResource>> getAllViewableResourcesWithType(
        const std::optional<std::string>& mimePrefix) = 0;
    virtual std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix) = 0;
    virtual std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix) = 0;
    // The same walks, skipping every row that conforms to one of the type
    // identifiers.
    virtual std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers) = 0;
    virtual std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers) = 0;
    virtual std::shared_ptr<VKFileResource> getFirstViewableResourceIgnoringUTIdentifiers(
        const std::vector<std::string>& ignoredIdentifiers) = 0;
};
