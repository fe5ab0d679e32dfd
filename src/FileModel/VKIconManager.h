#pragma once

#include "Platform/Core/Object.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace gfx {
class Image;
}
class VKFileResource;

// The type icons of the folder lists: the folder icon for collections, the
// bundle's icon for a file's extension (resources/FileIcons/<extension>.png),
// else a generic text, binary or plain page chosen by the MIME type. Icons are
// loaded once per extension, as the item spells it, and kept.
class VKIconManager : public core::Object {
public:
    static std::shared_ptr<VKIconManager> sharedManager();
    // Replaces the shared manager (tests); null makes a new one on next use.
    static void setSharedManagerForTesting(std::shared_ptr<VKIconManager> manager);

    std::shared_ptr<gfx::Image> iconForResource(const VKFileResource& resource);
    // Never null while the bundle holds the generic icon.
    std::shared_ptr<gfx::Image> loadIconFromDiskForResource(const VKFileResource& resource) const;
    // Whether the image is one of the three generic pages (the very objects;
    // the folder icon is not generic): cells then label the extension or
    // prefer a thumbnail.
    bool isGenericIcon(const std::shared_ptr<gfx::Image>& image) const;

    const std::shared_ptr<gfx::Image>& collectionIcon() const { return m_collectionIcon; }
    const std::shared_ptr<gfx::Image>& genericIcon() const { return m_genericIcon; }

private:
    VKIconManager();

    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<gfx::Image>, std::less<>> m_fileIcons;
    std::shared_ptr<gfx::Image> m_genericIcon;
    std::shared_ptr<gfx::Image> m_genericTextIcon;
    std::shared_ptr<gfx::Image> m_genericBinIcon;
    std::shared_ptr<gfx::Image> m_collectionIcon;
};
