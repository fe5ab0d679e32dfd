#pragma once

// What plays a movie file for MoviePlayerController: it opens a file and
// prerolls it paused, plays, pauses, seeks and reports back on the main
// thread only (its client is never called from a decoding thread, nor after
// the engine is gone). The program's engine is GStreamer's; tests install
// test::FakeMovieEngine through setFactory.

#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace gfx {
class Image;
}

namespace media {

// The movie's kinds of media (bits).
inline constexpr int MovieMediaTypeNone = 0;
inline constexpr int MovieMediaTypeVideo = 1 << 0;
inline constexpr int MovieMediaTypeAudio = 1 << 1;

class MovieEngineClient {
public:
    virtual ~MovieEngineClient() = default;
    // Prerolled (the first frame is out when there is a picture): the
    // duration in seconds (0 when unknown) and the media types.
    virtual void movieEngineDidPreroll(double duration, int mediaTypes) = 0;
    // The newest decoded frame, to show now.
    virtual void movieEngineDidPresentFrame(const std::shared_ptr<gfx::Image>& frame) = 0;
    virtual void movieEngineDidReachEnd() = 0;
    // The file cannot be played; `message` is the engine's own, for the log.
    virtual void movieEngineDidFail(const std::string& message) = 0;
};

class MovieEngine {
public:
    using Factory = std::function<std::unique_ptr<MovieEngine>()>;
    // The engine new players get; an empty factory restores GStreamer's.
    static void setFactory(Factory factory);
    static std::unique_ptr<MovieEngine> make();

    virtual ~MovieEngine() = default;
    // Starts opening `path`, paused; the client hears of the outcome later.
    virtual void open(const std::string& path, MovieEngineClient* client) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // Back to the start, paused, holding no frame.
    virtual void stop() = 0;
    virtual void seek(double seconds) = 0;
    // The position in seconds; −1 while unknown.
    virtual double position() const = 0;
    // Frames are scaled down to fit this many pixels (0 × 0: any size).
    virtual void setMaximumFrameSize(gfx::Size pixels) = 0;
    virtual uint64_t presentedFrames() const = 0;
    virtual uint64_t droppedFrames() const = 0;
    // False once prerolled without a sound device: the sound is dropped in
    // time with the picture.
    virtual bool hasSoundOutput() const { return true; }
};

} // namespace media
