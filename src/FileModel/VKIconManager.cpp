#include "FileModel/VKIconManager.h"

#include "FileModel/VKFileResource.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Graphics/Image.h"

namespace {

std::mutex iconManagerMutex;
std::shared_ptr<VKIconManager> sharedIconManager;

constexpr const char* IconFolder = "FileIcons";
// Extensions are remembered up to this many; past it (a store full of made-up
// extensions) icons are still answered, only no longer kept.
constexpr size_t MaximumCachedExtensions = 4096;

std::shared_ptr<gfx::Image> bundleIcon(std::string_view name)
{
    std::string path = core::Bundle::main()->pathForResource(name, "png", IconFolder);
    return path.empty() ? nullptr : gfx::Image::imageWithContentsOfFile(path);
}

std::string lowercased(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

} // namespace

std::shared_ptr<VKIconManager> VKIconManager::sharedManager()
{
    std::lock_guard lock(iconManagerMutex);
    if (!sharedIconManager)
        sharedIconManager = std::shared_ptr<VKIconManager>(new VKIconManager());
    return sharedIconManager;
}

void VKIconManager::setSharedManagerForTesting(std::shared_ptr<VKIconManager> manager)
{
    std::lock_guard lock(iconManagerMutex);
    sharedIconManager = std::move(manager);
}

VKIconManager::VKIconManager()
    : m_genericIcon(bundleIcon("generic"))
    , m_genericTextIcon(bundleIcon("txt_generic"))
    , m_genericBinIcon(bundleIcon("bin_generic"))
    , m_collectionIcon(bundleIcon("collection"))
{
}

std::shared_ptr<gfx::Image> VKIconManager::iconForResource(const VKFileResource& resource)
{
    if (resource.isCollection())
        return m_collectionIcon;
    std::string extension = resource.pathExtension();
    if (extension.empty())
        return m_genericIcon;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_fileIcons.find(extension);
        if (found != m_fileIcons.end())
            return found->second;
    }
    auto icon = loadIconFromDiskForResource(resource);
    std::lock_guard lock(m_mutex);
    if (m_fileIcons.size() < MaximumCachedExtensions)
        m_fileIcons.emplace(extension, icon);
    return icon;
}

std::shared_ptr<gfx::Image> VKIconManager::loadIconFromDiskForResource(const VKFileResource& resource) const
{
    if (auto icon = bundleIcon(lowercased(resource.pathExtension())))
        return icon;
    std::string type = resource.mimeType();
    if (type.starts_with("text/"))
        return m_genericTextIcon;
    if (type == "application/octet-stream" || type == "unknown")
        return m_genericBinIcon;
    return m_genericIcon;
}

bool VKIconManager::isGenericIcon(const std::shared_ptr<gfx::Image>& image) const
{
    return image && (image == m_genericIcon || image == m_genericTextIcon || image == m_genericBinIcon);
}
