#include "Platform/UI/Images.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Graphics/Screen.h"

#include <map>
#include <mutex>
#include <string>

namespace ui {

namespace {

std::mutex imageCacheMutex;
std::map<std::string, std::shared_ptr<gfx::Image>, std::less<>> imageCache;

std::shared_ptr<gfx::Image> load(std::string_view name)
{
    auto bundle = core::Bundle::main();
    if (!bundle || name.empty())
        return nullptr;
    std::string base(name), type;
    if (auto dot = base.rfind('.'); dot != std::string::npos && dot + 1 < base.size()) {
        type = base.substr(dot + 1);
        base.resize(dot);
    }
    std::vector<std::string> types;
    if (type.empty())
        types = { "png", "jpg" };
    else
        types = { type };
    if (gfx::Screen::main().scale() >= 2) {
        for (auto& t : types) {
            std::string path = bundle->pathForResource(base + "@2x", t);
            if (!path.empty())
                if (auto image = gfx::Image::imageWithContentsOfFile(path, 2))
                    return image;
        }
    }
    for (auto& t : types) {
        std::string path = bundle->pathForResource(base, t);
        if (!path.empty())
            if (auto image = gfx::Image::imageWithContentsOfFile(path, 1))
                return image;
    }
    return nullptr;
}

} // namespace

std::shared_ptr<gfx::Image> Images::imageNamed(std::string_view name)
{
    {
        std::lock_guard lock(imageCacheMutex);
        if (auto it = imageCache.find(name); it != imageCache.end())
            return it->second;
    }
    auto image = load(name);
    if (image) {
        std::lock_guard lock(imageCacheMutex);
        imageCache.emplace(std::string(name), image);
    }
    return image;
}

void Images::clearCache()
{
    std::lock_guard lock(imageCacheMutex);
    imageCache.clear();
}

} // namespace ui
