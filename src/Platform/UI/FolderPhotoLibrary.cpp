#include "Platform/UI/FolderPhotoLibrary.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Collator.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/PicturesFolder.h"

#include <algorithm>
#include <deque>

namespace ui {

namespace {

bool hasExtension(std::string_view name, std::initializer_list<const char*> extensions)
{
    std::string extension = core::ascii::lowercased(core::path::pathExtension(name));
    return std::any_of(extensions.begin(), extensions.end(), [&](const char* e) { return extension == e; });
}

struct Folder {
    std::string path;
    std::vector<std::string> components;
};

} // namespace

void FolderPhotoLibrary::install()
{
    ImagePickerController::setLibrarySource([] { return scan(PicturesFolder::path()); });
}

bool FolderPhotoLibrary::isImageName(std::string_view name)
{
    return hasExtension(name, { "jpg", "jpeg", "png", "gif", "tif", "tiff", "webp", "bmp" });
}

bool FolderPhotoLibrary::isMovieName(std::string_view name)
{
    return hasExtension(name, { "mov", "mp4", "m4v", "avi", "mkv", "webm", "3gp" });
}

std::vector<ImagePickerController::Album> FolderPhotoLibrary::scan(const std::string& picturesFolder)
{
    const core::Collator collator("", core::Collator::Strength::Tertiary, true);
    auto byName = [&](const std::string& a, const std::string& b) { return collator.compare(a, b) < 0; };
    std::vector<std::pair<std::vector<std::string>, ImagePickerController::Album>> found;
    std::deque<Folder> waiting { { picturesFolder, {} } };
    size_t folders = 0, entries = 0;
    while (!waiting.empty() && folders < MaximumFolders && entries < MaximumEntries) {
        Folder folder = std::move(waiting.front());
        waiting.pop_front();
        ++folders;
        auto listing = core::fs::contentsOfDirectoryWithTypes(folder.path);
        if (!listing)
            continue;
        std::vector<std::string> images, movies, subfolders;
        for (const auto& entry : *listing) {
            if (++entries > MaximumEntries)
                break;
            if (entry.name.empty() || entry.name[0] == '.' || entry.isLink)
                continue;
            if (entry.isDirectory) {
                if (int(folder.components.size()) < MaximumDepth)
                    subfolders.push_back(entry.name);
            } else if (isImageName(entry.name) || isMovieName(entry.name)) {
                images.push_back(entry.name);
            }
        }
        std::sort(subfolders.begin(), subfolders.end(), byName);
        for (const auto& name : subfolders) {
            auto components = folder.components;
            components.push_back(name);
            waiting.push_back({ core::path::appendingPathComponent(folder.path, name), std::move(components) });
        }
        if (images.empty())
            continue;
        std::sort(images.begin(), images.end(), byName);
        ImagePickerController::Album album;
        if (folder.components.empty()) {
            album.name = core::path::lastPathComponent(picturesFolder);
        } else {
            for (const auto& component : folder.components)
                album.name += (album.name.empty() ? "" : " > ") + component;
        }
        for (const auto& name : images) {
            std::string path = core::path::appendingPathComponent(folder.path, name);
            ImagePickerController::Media media;
            if (isMovieName(name)) {
                media.mediaType = ImagePickerController::movieType;
                media.movieURL = core::URL::fileURL(path);
                // For its preview; pictures are only named.
                if (auto attributes = core::fs::attributes(path))
                    media.byteSize = attributes->size;
            } else {
                media.mediaType = ImagePickerController::imageType;
            }
            media.path = path;
            album.media.push_back(std::move(media));
        }
        found.emplace_back(folder.components, std::move(album));
    }
    // The pictures folder first, then the others by their path.
    std::stable_sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
        return std::lexicographical_compare(a.first.begin(), a.first.end(), b.first.begin(), b.first.end(), byName);
    });
    std::vector<ImagePickerController::Album> albums;
    for (auto& [components, album] : found)
        albums.push_back(std::move(album));
    return albums;
}

} // namespace ui
