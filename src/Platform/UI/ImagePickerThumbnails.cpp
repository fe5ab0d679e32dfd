#include "Platform/UI/ImagePickerThumbnails.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Checks.h"

#include <algorithm>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace ui {

namespace {

// A file's thumbnail is known by its path; a picture held in memory (the
// tests' libraries) by its address, which the entry keeps alive so that it
// cannot be reused.
struct Key {
    std::string path;
    const gfx::Image* image = nullptr;
    float points = 0;
    float scale = 1;
    bool operator==(const Key& other) const
    {
        return path == other.path && image == other.image && points == other.points && scale == other.scale;
    }
};

struct KeyHash {
    size_t operator()(const Key& key) const
    {
        return std::hash<std::string>()(key.path) ^ (std::hash<const void*>()(key.image) << 1) ^ std::hash<float>()(key.points * key.scale);
    }
};

Key keyOf(const ImagePickerController::Media& media, float points, float scale)
{
    Key key;
    key.points = points;
    key.scale = scale;
    if (media.image)
        key.image = media.image.get();
    else
        key.path = media.path;
    return key;
}

} // namespace

struct ImagePickerThumbnails::State {
    struct Entry {
        std::shared_ptr<gfx::Image> thumbnail;
        std::shared_ptr<gfx::Image> source;
        std::list<Key>::iterator age;
    };
    struct Job {
        Key key;
        ImagePickerController::Media media;
        Wanted wanted;
        std::function<void()> ready;
    };

    // Main thread only.
    std::unordered_map<Key, Entry, KeyHash> kept;
    std::list<Key> ages; // most recently asked for first
    size_t bytes = 0;
    std::atomic<size_t> made { 0 };

    // Shared with the workers.
    std::mutex mutex;
    std::deque<Job> jobs;
    int workers = 0;

    void keep(const Key& key, std::shared_ptr<gfx::Image> thumbnail, std::shared_ptr<gfx::Image> source)
    {
        if (kept.count(key))
            return;
        ages.push_front(key);
        bytes += size_t(thumbnail->pixelWidth()) * size_t(thumbnail->pixelHeight()) * 4;
        kept.emplace(key, Entry { std::move(thumbnail), std::move(source), ages.begin() });
        while (kept.size() > MaximumKept) {
            auto oldest = kept.find(ages.back());
            bytes -= size_t(oldest->second.thumbnail->pixelWidth()) * size_t(oldest->second.thumbnail->pixelHeight()) * 4;
            kept.erase(oldest);
            ages.pop_back();
        }
    }

    static void work(std::shared_ptr<State> state)
    {
        for (;;) {
            Job job;
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                if (state->jobs.empty()) {
                    --state->workers;
                    return;
                }
                job = std::move(state->jobs.front());
                state->jobs.pop_front();
            }
            if (job.wanted && !*job.wanted)
                continue;
            auto thumbnail = make(job.media, job.key.points, job.key.scale);
            if (!thumbnail)
                continue;
            ++state->made;
            core::RunLoop::main().post([state, job = std::move(job), thumbnail]() mutable {
                state->keep(job.key, thumbnail, job.media.image);
                if (job.ready && (!job.wanted || *job.wanted))
                    job.ready();
            });
        }
    }
};

int ImagePickerThumbnails::maximumWorkers()
{
    // Half the cores, so that the main thread and the rest of the program
    // keep theirs: a screen of thumbnails is made in a fraction of the time
    // one worker takes.
    static const int workers = std::clamp(int(std::thread::hardware_concurrency() / 2), 1, 4);
    return workers;
}

ImagePickerThumbnails::ImagePickerThumbnails()
    : m_state(std::make_shared<State>())
{
}

ImagePickerThumbnails& ImagePickerThumbnails::shared()
{
    static ImagePickerThumbnails thumbnails;
    return thumbnails;
}

std::shared_ptr<gfx::Image> ImagePickerThumbnails::thumbnail(const ImagePickerController::Media& media, float points,
    float scale, const Wanted& wanted, std::function<void()> ready)
{
    requireMainThread("ImagePickerThumbnails::thumbnail");
    if (media.mediaType != ImagePickerController::imageType || !(points > 0) || !(scale > 0)
        || (!media.image && media.path.empty()))
        return nullptr;
    Key key = keyOf(media, points, scale);
    if (auto found = m_state->kept.find(key); found != m_state->kept.end()) {
        m_state->ages.splice(m_state->ages.begin(), m_state->ages, found->second.age);
        return found->second.thumbnail;
    }
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->jobs.push_front({ key, media, wanted, std::move(ready) });
        // Requests for cells long gone are not worth a decode: only the
        // newest screens' worth wait.
        if (m_state->jobs.size() > MaximumKept)
            m_state->jobs.pop_back();
        // One more worker while jobs wait for one, up to the pool's size.
        if (m_state->workers < maximumWorkers() && size_t(m_state->workers) < m_state->jobs.size()) {
            ++m_state->workers;
            start = true;
        }
    }
    if (start)
        core::Thread::detach("ui.PickerThumbnails", [state = m_state] { State::work(state); });
    return nullptr;
}

size_t ImagePickerThumbnails::keptCountForTesting() const
{
    return m_state->kept.size();
}

size_t ImagePickerThumbnails::keptBytesForTesting() const
{
    return m_state->bytes;
}

size_t ImagePickerThumbnails::madeCountForTesting() const
{
    return m_state->made;
}

void ImagePickerThumbnails::clear()
{
    requireMainThread("ImagePickerThumbnails::clear");
    m_state->kept.clear();
    m_state->ages.clear();
    m_state->bytes = 0;
}

std::shared_ptr<gfx::Image> ImagePickerThumbnails::make(const ImagePickerController::Media& media, float points,
    float scale)
{
    auto image = media.image ? media.image : gfx::Image::imageWithContentsOfFile(media.path);
    if (!image || !(points > 0) || !(scale > 0) || points * scale > 4096)
        return nullptr;
    gfx::Size size = image->size();
    if (size.width <= 0 || size.height <= 0)
        return nullptr;
    auto context = gfx::makeImageContext({ points, points }, scale);
    if (!context)
        return nullptr;
    // The middle square, filling the thumbnail.
    float fill = points / std::min(size.width, size.height);
    gfx::Size drawn { size.width * fill, size.height * fill };
    gfx::Rect rect { (points - drawn.width) / 2, (points - drawn.height) / 2, drawn.width, drawn.height };
    context->setInterpolationQuality(gfx::InterpolationQuality::Default);
    if (!context->drawImage(rect, *image))
        return nullptr;
    return context->makeImage();
}

} // namespace ui
