#pragma once

// The program's movie engine: playbin decoding into an appsink as BGRx
// frames no larger than asked, the newest of which goes to the main thread
// through a one-slot mailbox (a frame that arrives before the last was taken
// replaces it and counts as dropped). Sound goes to the desktop's output, or
// to a clock-keeping null sink in tests; playbin's audio sink is the clock
// that keeps sound and picture together.
//
// GStreamer's threads never reach the toolkit: the bus's sync handler and
// the sample callback only post to the main loop, and what they post finds
// nothing to do once the engine is gone (its pipeline is shut down, which
// joins the streaming threads, before the engine goes).

#include "Platform/Media/Movie/MovieEngine.h"

#include <memory>

namespace media {

class GStreamerMovieEngine : public MovieEngine {
public:
    // Seconds a file may take to preroll before it counts as broken.
    static constexpr double PrerollTimeout = 10;

    // Sound into a null sink that keeps time (tests, benchmarks; the movie
    // process passes it on).
    static void setSilent(bool silent);
    // Frames are decoded as fast as they come, not on the clock (benchmarks).
    static void setUnsynchronized(bool unsynchronized);
    static bool isSilent();
    static bool isUnsynchronized();
    // gst_init, once per process.
    static void initialize();

    GStreamerMovieEngine();
    ~GStreamerMovieEngine() override;

    void open(const std::string& path, MovieEngineClient* client) override;
    void play() override;
    void pause() override;
    void stop() override;
    void seek(double seconds) override;
    double position() const override;
    void setMaximumFrameSize(gfx::Size pixels) override;
    uint64_t presentedFrames() const override;
    uint64_t droppedFrames() const override;
    bool hasSoundOutput() const override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace media
