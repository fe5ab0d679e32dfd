#include "Platform/UI/PicturesFolder.h"

#include "Platform/Core/Data.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"

#include <cstdlib>

namespace ui {

namespace {

// A user-dirs.dirs larger than this is no such file.
constexpr size_t MaximumUserDirsSize = 64 * 1024;

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::string PicturesFolder::fromUserDirs(std::string_view text, const std::string& home)
{
    std::string found;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        constexpr std::string_view key = "XDG_PICTURES_DIR=\"";
        if (!line.starts_with(key) || line.size() < key.size() + 1 || line.back() != '"')
            continue;
        std::string_view value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.find('"') != std::string_view::npos || value.find('\\') != std::string_view::npos
            || value.find('\0') != std::string_view::npos)
            continue;
        std::string path;
        if (value.starts_with("$HOME/") && !home.empty())
            path = core::path::appendingPathComponent(home, std::string(value.substr(6)));
        else if (value.starts_with("/"))
            path = std::string(value);
        else
            continue;
        found = path;
    }
    return found;
}

std::string PicturesFolder::path()
{
    if (std::string pictures = environment("XDG_PICTURES_DIR"); !pictures.empty())
        return pictures;
    std::string home = environment("HOME");
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/')
        config = home.empty() ? std::string() : core::path::appendingPathComponent(home, ".config");
    if (!config.empty()) {
        std::string file = core::path::appendingPathComponent(config, "user-dirs.dirs");
        auto attributes = core::fs::attributes(file);
        if (attributes && attributes->size <= MaximumUserDirsSize) {
            core::Data text;
            if (core::fs::readFile(file, text)) {
                if (std::string pictures = fromUserDirs(text.view(), home); !pictures.empty())
                    return pictures;
            }
        }
    }
    if (!home.empty())
        return core::path::appendingPathComponent(home, "Pictures");
    return "Pictures";
}

} // namespace ui
