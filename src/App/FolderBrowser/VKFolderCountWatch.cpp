#include "App/FolderBrowser/VKFolderCountWatch.h"

#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Assert.h"
#include "Platform/Core/DirectoryWatch.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"

#include <algorithm>
#include <atomic>
#include <optional>

// Touched on the main thread only: the worker carries it back there.
struct VKFolderCountWatch::Counting {
    VKFolderCountWatch* owner = nullptr;
    bool running = false;
    bool again = false;
};

std::unique_ptr<VKFolderCountWatch> VKFolderCountWatch::create(const std::string& path, Counted counted)
{
    core::assertIsMainThread();
    std::unique_ptr<VKFolderCountWatch> watch(new VKFolderCountWatch(path, std::move(counted)));
    VKFolderCountWatch* self = watch.get();
    core::Error ignored;
    watch->m_watch = core::DirectoryWatch::create(path, [self] { self->changed(); }, &ignored);
    watch->count();
    return watch;
}

VKFolderCountWatch::VKFolderCountWatch(std::string path, Counted counted)
    : m_path(std::move(path))
    , m_counted(std::move(counted))
    , m_counting(std::make_shared<Counting>())
{
    m_counting->owner = this;
}

VKFolderCountWatch::~VKFolderCountWatch()
{
    m_counting->owner = nullptr;
    if (m_timer)
        m_timer->invalidate();
}

namespace {

// Taken off by the worker once its answer is posted: at 0 every answer is
// on the main loop's queue.
std::atomic<size_t> inFlight = 0;

} // namespace

size_t VKFolderCountWatch::countsInFlightForTesting()
{
    return inFlight;
}

uint32_t VKFolderCountWatch::shownCount(const std::vector<std::string>& names, bool showHidden)
{
    if (showHidden)
        return uint32_t(names.size());
    return uint32_t(std::count_if(names.begin(), names.end(), [](const std::string& name) { return !name.starts_with('.'); }));
}

void VKFolderCountWatch::changed()
{
    // The first news of a burst sets the time; later ones ride along.
    if (m_timer)
        return;
    m_timer = core::RunLoop::main().schedule(SettleDelay, false, [this](core::Timer&) {
        m_timer.reset();
        count();
    });
}

void VKFolderCountWatch::count()
{
    if (m_counting->running) {
        m_counting->again = true;
        return;
    }
    m_counting->running = true;
    ++inFlight;
    bool showHidden = core::UserDefaults::standard()->boolForKey("VKShowHiddenFiles");
    core::Thread::detach("VKFolderCountWatch", [path = m_path, showHidden, counting = m_counting] {
        auto names = core::fs::contentsOfDirectory(path);
        std::optional<uint32_t> count;
        std::optional<core::Date> modified;
        if (names) {
            count = shownCount(*names, showHidden);
            // The entries that came and went changed the folder's own date.
            modified = modificationDateOfItemAtPath(path);
        }
        core::RunLoop::main().post([counting, count, modified] {
            counting->running = false;
            if (counting->owner && counting->owner->m_counted)
                counting->owner->m_counted(count, modified);
            // The answer may have let the watch go.
            if (counting->owner && counting->again) {
                counting->again = false;
                counting->owner->changed();
            }
        });
        --inFlight;
    });
}
