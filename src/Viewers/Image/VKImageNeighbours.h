#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

class VKFileResource;
class VKViewerFolderHost;

// The picture viewer's neighbours in its folder: the previous and next
// pictures it can show (others, of kinds no decoder reads, are passed over),
// every such picture of the folder, and which ones are already read ahead
// (a generated preview or a finished cloud download), by UUID.
class VKImageNeighbours {
public:
    // Whether the platform decodes (or draws) the file's kind of picture.
    static bool canShowImage(const VKFileResource& resource);
    static std::shared_ptr<VKFileResource> previous(VKViewerFolderHost* folder,
        std::shared_ptr<VKFileResource> resource);
    static std::shared_ptr<VKFileResource> next(VKViewerFolderHost* folder,
        std::shared_ptr<VKFileResource> resource);
    // In the folder's order.
    static std::vector<std::shared_ptr<VKFileResource>> showable(VKViewerFolderHost* folder);

    const std::set<std::string>& preloaded() const { return m_preloaded; }
    bool isPreloaded(const std::string& uuid) const { return m_preloaded.contains(uuid); }
    void markPreloaded(const std::string& uuid) { m_preloaded.insert(uuid); }
    void clear() { m_preloaded.clear(); }
    // Reads `neighbour` ahead unless it already is: a cloud picture is
    // fetched, a local one gets its screen preview. Pending loads are
    // dropped first.
    void preload(const std::shared_ptr<VKFileResource>& neighbour);

private:
    std::set<std::string> m_preloaded;
};
