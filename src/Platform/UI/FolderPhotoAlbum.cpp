#include "Platform/UI/FolderPhotoAlbum.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/PicturesFolder.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fmt/format.h>
#include <unistd.h>

namespace ui {

namespace {

constexpr float JPEGQuality = 0.9f;
// Past this many taken names something is wrong with the folder.
constexpr int MaximumTries = 100000;

std::string bundleName()
{
    auto bundle = core::Bundle::main();
    for (const char* key : { "CFBundleDisplayName", "CFBundleName" }) {
        core::Value name = bundle ? bundle->objectForInfoDictionaryKey(key) : core::Value();
        if (name.isString() && !name.string().empty() && name.string().find('/') == std::string::npos
            && name.string() != "." && name.string() != "..")
            return name.string();
    }
    return "Photos";
}

} // namespace

FolderPhotoAlbum::FolderPhotoAlbum(std::string folder) : m_folder(std::move(folder)) { }

std::string FolderPhotoAlbum::defaultFolder()
{
    return core::path::appendingPathComponent(PicturesFolder::path(), bundleName());
}

bool FolderPhotoAlbum::store(const std::string& stem, const std::string& extension,
    const std::function<bool(const std::string&, core::Error*)>& write, core::Error* error)
{
    static std::atomic<unsigned> counter { 0 };
    if (!core::fs::createDirectory(m_folder, true, error))
        return false;
    std::string temporary = core::path::appendingPathComponent(m_folder,
        fmt::format(".saving-{}-{}.{}", ::getpid(), counter++, extension));
    if (!write(temporary, error)) {
        core::fs::removeItem(temporary);
        return false;
    }
    // One saver at a time picks names; moveItem never replaces, so a name
    // taken by someone else meanwhile only moves us on to the next.
    std::lock_guard lock(m_mutex);
    for (int n = 1; n <= MaximumTries; ++n) {
        std::string name = n == 1 ? fmt::format("{}.{}", stem, extension) : fmt::format("{} {}.{}", stem, n, extension);
        std::string target = core::path::appendingPathComponent(m_folder, name);
        if (core::fs::exists(target))
            continue;
        core::Error moveError;
        if (core::fs::moveItem(temporary, target, &moveError))
            return true;
        if (moveError.code() != EEXIST) {
            core::fs::removeItem(temporary);
            core::setError(error, moveError);
            return false;
        }
    }
    core::fs::removeItem(temporary);
    core::setError(error, core::Error::posix(EEXIST));
    return false;
}

void FolderPhotoAlbum::enqueue(std::function<void()> job)
{
    std::lock_guard lock(m_queueMutex);
    m_jobs.push_back(std::move(job));
    if (m_workerRunning)
        return;
    m_workerRunning = true;
    core::Thread::detach("ui.PhotoAlbum", [self = shared_from_this()] {
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(self->m_queueMutex);
                if (self->m_jobs.empty()) {
                    self->m_workerRunning = false;
                    return;
                }
                job = std::move(self->m_jobs.front());
                self->m_jobs.pop_front();
            }
            job();
        }
    });
}

void FolderPhotoAlbum::saveImage(std::shared_ptr<gfx::Image> image, PhotoAlbum::Completion completion)
{
    enqueue([self = shared_from_this(), image = std::move(image), completion = std::move(completion)] {
        core::Error error;
        bool saved = self->store("Photo", "jpg",
            [&](const std::string& path, core::Error* out) { return image->writeJPEG(path, JPEGQuality, out); }, &error);
        if (completion)
            completion(saved ? nullptr : &error);
    });
}

void FolderPhotoAlbum::saveVideo(std::string path, PhotoAlbum::Completion completion)
{
    enqueue([self = shared_from_this(), path = std::move(path), completion = std::move(completion)] {
        core::Error error;
        std::string stem = core::path::deletingPathExtension(core::path::lastPathComponent(path));
        if (stem.empty() || stem[0] == '.')
            stem = "Video" + stem;
        bool saved = self->store(stem, core::path::pathExtension(path),
            [&](const std::string& temporary, core::Error* out) { return core::fs::copyItem(path, temporary, out); },
            &error);
        if (completion)
            completion(saved ? nullptr : &error);
    });
}

} // namespace ui
