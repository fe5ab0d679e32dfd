#include "Platform/Media/Movie/MoviePlayerController.h"

#include "Platform/Core/Error.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Media/Movie/MovieView.h"
#include "Platform/UI/Screen.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace media {

std::shared_ptr<MoviePlayerController> MoviePlayerController::create(
    const std::string& path, const std::string& folder, core::Error* error)
{
    if (path.empty())
        return nullptr;
    auto file = core::fs::openRegularFileWithin(path, folder, error);
    if (!file) {
        core::log("Movie player: refused {}", path);
        return nullptr;
    }
    auto player = std::make_shared<MoviePlayerController>(path);
    player->m_file = std::move(file);
    player->prepareToPlay();
    return player;
}

MoviePlayerController::MoviePlayerController(std::string path)
    : m_path(std::move(path))
{
}

MoviePlayerController::~MoviePlayerController()
{
    endSeekTimer();
    // The engine goes first: nothing it posted reaches this player after.
    m_engine.reset();
    if (m_view)
        m_view->setPlayer({});
}

const std::shared_ptr<MovieView>& MoviePlayerController::view()
{
    if (!m_view) {
        m_view = std::make_shared<MovieView>();
        m_view->setPlayer(sharedAs<MoviePlayerController>());
        m_view->setShowsControls(m_controlStyle == MovieControlStyle::Fullscreen);
    }
    return m_view;
}

void MoviePlayerController::setControlStyle(MovieControlStyle style)
{
    m_controlStyle = style;
    if (m_view)
        m_view->setShowsControls(style == MovieControlStyle::Fullscreen);
}

void MoviePlayerController::setShouldAutoplay(bool autoplay)
{
    m_shouldAutoplay = autoplay;
}

void MoviePlayerController::prepareToPlay()
{
    if (m_engine)
        return;
    if (!m_file)
        m_file = core::fs::openRegularFile(m_path);
    m_engine = MovieEngine::make();
    m_frameLimit = {};
    updateFrameLimit();
    if (!m_file) {
        movieEngineDidFail("no regular file");
        return;
    }
    // The descriptor's own name: what was opened and checked is read,
    // whatever the path leads to by now.
    m_engine->open(fmt::format("/proc/self/fd/{}", m_file->fd.get()), this);
}

void MoviePlayerController::updateFrameLimit()
{
    if (!m_engine)
        return;
    // Frames never need more pixels than the picture shows: drawn one to
    // one, they are copied rather than scaled at every redraw. Before the
    // view has a size, the largest screen's side either way round.
    float scale = 1, side = 0;
    for (const auto& screen : ui::Screen::screens()) {
        gfx::Rect bounds = screen->bounds();
        scale = std::max(scale, screen->scale());
        side = std::max({ side, bounds.size.width * screen->scale(), bounds.size.height * screen->scale() });
    }
    gfx::Size limit { side, side };
    if (m_view && m_view->bounds().size.width >= 1 && m_view->bounds().size.height >= 1)
        limit = { std::ceil(m_view->bounds().size.width * scale), std::ceil(m_view->bounds().size.height * scale) };
    if (limit.width > 0 && limit.height > 0 && limit != m_frameLimit) {
        m_frameLimit = limit;
        m_engine->setMaximumFrameSize(limit);
    }
}

void MoviePlayerController::movieViewDidResize()
{
    updateFrameLimit();
}

double MoviePlayerController::currentPlaybackTime() const
{
    if (m_atEnd)
        return m_duration;
    if (!isPreparedToPlay())
        return m_pendingTime >= 0 ? m_pendingTime : std::max(0.0, m_initialPlaybackTime);
    if (m_seekTimer)
        return m_seekPosition;
    double position = m_engine ? m_engine->position() : -1;
    if (position < 0)
        return m_lastTime;
    return m_duration > 0 ? std::min(position, m_duration) : position;
}

void MoviePlayerController::setCurrentPlaybackTime(double seconds)
{
    if (!std::isfinite(seconds))
        return;
    seconds = std::max(0.0, seconds);
    if (m_duration > 0)
        seconds = std::min(seconds, m_duration);
    if (m_atEnd && !m_failed && m_engine) {
        if (m_duration > 0 && seconds >= m_duration)
            return;
        // Back from the end, paused where asked.
        auto keep = shared_from_this();
        m_atEnd = false;
        m_lastTime = m_seekPosition = seconds;
        m_engine->seek(seconds);
        setPlaybackState(MoviePlaybackState::Paused);
        setLoadState(MovieLoadStatePlayable | MovieLoadStatePlaythroughOK);
        return;
    }
    if (!isPreparedToPlay()) {
        m_pendingTime = seconds;
        return;
    }
    m_atEnd = false;
    m_lastTime = seconds;
    m_seekPosition = seconds;
    if (m_engine)
        m_engine->seek(seconds);
}

double MoviePlayerController::currentPlaybackRateForTesting() const
{
    if (m_seekTimer)
        return m_seekRate;
    return m_playbackState == MoviePlaybackState::Playing ? 1.0 : 0.0;
}

void MoviePlayerController::setCurrentPlaybackRate(double rate)
{
    if (!std::isfinite(rate))
        return;
    if (m_seekTimer) {
        m_seekRate = std::fabs(rate);
        return;
    }
    if (rate == 0)
        pause();
    else
        play();
}

void MoviePlayerController::play()
{
    if (m_failed || !m_engine)
        return;
    if (m_seekTimer)
        endSeekTimer();
    if (m_atEnd) {
        // Played again after the end: from the start.
        m_atEnd = false;
        m_lastTime = m_seekPosition = std::max(0.0, m_initialPlaybackTime);
        m_engine->seek(m_lastTime);
        setLoadState(MovieLoadStatePlayable | MovieLoadStatePlaythroughOK);
    }
    m_engine->play();
    setPlaybackState(MoviePlaybackState::Playing);
}

void MoviePlayerController::pause()
{
    if (m_failed || !m_engine)
        return;
    if (m_seekTimer)
        endSeekTimer();
    m_lastTime = currentPlaybackTime();
    m_engine->pause();
    setPlaybackState(MoviePlaybackState::Paused);
}

void MoviePlayerController::stop()
{
    endSeekTimer();
    if (m_engine && !m_failed)
        m_engine->stop();
    m_lastTime = 0;
    setPlaybackState(MoviePlaybackState::Stopped);
}

void MoviePlayerController::beginSeekingForward()
{
    beginSeeking(MoviePlaybackState::SeekingForward);
}

void MoviePlayerController::beginSeekingBackward()
{
    beginSeeking(MoviePlaybackState::SeekingBackward);
}

void MoviePlayerController::beginSeeking(MoviePlaybackState direction)
{
    if (m_failed || !m_engine || !isPreparedToPlay())
        return;
    if (!m_seekTimer) {
        m_stateBeforeSeeking = m_playbackState;
        m_seekPosition = currentPlaybackTime();
        m_seekRate = 2.0;
        m_engine->pause();
        m_seekTimer = core::RunLoop::main().schedule(SeekStepInterval, true,
            [weak = std::weak_ptr<MoviePlayerController>(sharedAs<MoviePlayerController>())](core::Timer&) {
                if (auto self = weak.lock())
                    self->seekStep();
            });
    }
    setPlaybackState(direction);
}

void MoviePlayerController::seekStep()
{
    double step = m_seekRate * SeekStepInterval;
    if (m_playbackState == MoviePlaybackState::SeekingBackward)
        step = -step;
    double start = std::max(0.0, m_initialPlaybackTime);
    double position = std::max(start, m_seekPosition + step);
    if (m_duration > 0)
        position = std::min(position, m_duration);
    m_seekPosition = position;
    if (m_engine)
        m_engine->seek(position);
}

void MoviePlayerController::endSeeking()
{
    if (!m_seekTimer)
        return;
    endSeekTimer();
    m_lastTime = m_seekPosition;
    if (m_engine)
        m_engine->seek(m_seekPosition);
    if (m_stateBeforeSeeking == MoviePlaybackState::Playing) {
        m_engine->play();
        setPlaybackState(MoviePlaybackState::Playing);
    } else {
        setPlaybackState(m_stateBeforeSeeking == MoviePlaybackState::Stopped ? MoviePlaybackState::Paused
                                                                               : m_stateBeforeSeeking);
    }
}

void MoviePlayerController::endSeekTimer()
{
    if (m_seekTimer)
        m_seekTimer->invalidate();
    m_seekTimer = nullptr;
    m_seekRate = 0;
}

void MoviePlayerController::userDidExit()
{
    // Paused, not stopped, while the finish is told: whoever listens can
    // still read where the user left.
    auto keep = shared_from_this();
    pause();
    finish(MovieFinishReason::UserExited, false);
    stop();
}

bool MoviePlayerController::hasSoundOutput() const
{
    return !m_engine || m_engine->hasSoundOutput();
}

uint64_t MoviePlayerController::presentedFrames() const
{
    return m_engine ? m_engine->presentedFrames() : 0;
}

uint64_t MoviePlayerController::droppedFrames() const
{
    return m_engine ? m_engine->droppedFrames() : 0;
}

void MoviePlayerController::setLoadState(int state)
{
    if (m_loadState == state)
        return;
    m_loadState = state;
    core::NotificationCenter::defaultCenter().post(MoviePlayerLoadStateDidChangeNotification, shared_from_this());
}

void MoviePlayerController::setPlaybackState(MoviePlaybackState state)
{
    if (m_playbackState == state)
        return;
    m_playbackState = state;
    if (m_view)
        m_view->playerStateDidChange();
    core::NotificationCenter::defaultCenter().post(MoviePlayerPlaybackStateDidChangeNotification, shared_from_this());
}

void MoviePlayerController::finish(MovieFinishReason reason, bool failed)
{
    MovieFinish finish { reason, std::nullopt };
    if (failed)
        finish.error = core::Error(MoviePlayerErrorDomain, 1);
    // The handlers may let go of the player.
    auto keep = shared_from_this();
    core::NotificationCenter::defaultCenter().post(MoviePlayerPlaybackDidFinishNotification, keep, std::move(finish));
}

void MoviePlayerController::movieEngineDidPreroll(double duration, int mediaTypes)
{
    m_duration = duration;
    m_mediaTypes = mediaTypes;
    double start = m_pendingTime >= 0 ? m_pendingTime : m_initialPlaybackTime;
    m_pendingTime = -1;
    if (start > 0) {
        m_lastTime = std::min(start, duration > 0 ? duration : start);
        m_engine->seek(m_lastTime);
    }
    auto keep = shared_from_this();
    setLoadState(MovieLoadStatePlayable | MovieLoadStatePlaythroughOK);
    if (m_shouldAutoplay && m_playbackState != MoviePlaybackState::Playing && !m_failed)
        play();
}

void MoviePlayerController::movieEngineDidPresentFrame(const std::shared_ptr<gfx::Image>& frame)
{
    if (m_view)
        m_view->setFrameImage(frame);
}

void MoviePlayerController::movieEngineDidReachEnd()
{
    if (m_atEnd || m_failed)
        return;
    auto keep = shared_from_this();
    endSeekTimer();
    if (m_engine)
        m_engine->pause();
    m_atEnd = true;
    setPlaybackState(MoviePlaybackState::Stopped);
    setLoadState(MovieLoadStateUnknown);
    finish(MovieFinishReason::PlaybackEnded, false);
}

void MoviePlayerController::movieEngineDidFail(const std::string& message)
{
    if (m_failed)
        return;
    auto keep = shared_from_this();
    core::log("Movie player: {}: {}", m_path, message);
    endSeekTimer();
    m_failed = true;
    setPlaybackState(MoviePlaybackState::Stopped);
    finish(MovieFinishReason::PlaybackError, true);
}

} // namespace media
