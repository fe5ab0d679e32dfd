#pragma once

// A movie engine for tests: a movie of `duration` seconds whose frames
// (320 × 240, red in the first half, blue after) come at 30 per second of
// the run loop's clock while it plays, so the manual clock drives it. It
// prerolls on the next pass unless told to wait; the test can make it fail
// or end. `install` makes every new player use one; `last` is the newest.

#include "Platform/Media/Movie/MovieEngine.h"

#include <memory>
#include <string>

namespace core {
class Timer;
}

namespace test {

class FakeMovieEngine : public media::MovieEngine {
public:
    struct Script {
        double duration = 60;
        int mediaTypes = media::MovieMediaTypeVideo | media::MovieMediaTypeAudio;
        bool prerollsByItself = true;
        // Fails instead of prerolling.
        bool broken = false;
        // False: played as without a sound device.
        bool soundOutput = true;
    };
    static constexpr double FrameInterval = 1.0 / 30;

    // Every player made from now on gets a fake following `script`.
    static void install();
    static void install(Script script);
    static void uninstall();
    static Script& script();
    // The newest fake that still exists.
    static FakeMovieEngine* last();
    static int liveCount();

    FakeMovieEngine();
    ~FakeMovieEngine() override;

    void open(const std::string& path, media::MovieEngineClient* client) override;
    void play() override;
    void pause() override;
    void stop() override;
    void seek(double seconds) override;
    double position() const override;
    void setMaximumFrameSize(gfx::Size pixels) override { m_maximumSize = pixels; }
    uint64_t presentedFrames() const override { return m_presented; }
    uint64_t droppedFrames() const override { return 0; }
    bool hasSoundOutput() const override { return m_script.soundOutput; }

    // What the test does to it.
    void preroll();
    void fail(const std::string& message = "broken");
    void reachEnd();
    bool isPlaying() const { return m_playing; }
    const std::string& path() const { return m_path; }
    gfx::Size maximumFrameSize() const { return m_maximumSize; }

private:
    void present();
    void tick();
    double now() const;

    Script m_script;
    std::string m_path;
    media::MovieEngineClient* m_client = nullptr;
    bool m_prerolled = false;
    bool m_playing = false;
    bool m_ended = false;
    double m_position = 0;
    double m_playStart = 0;
    uint64_t m_presented = 0;
    gfx::Size m_maximumSize;
    std::shared_ptr<core::Timer> m_frameTimer;
    std::shared_ptr<bool> m_alive;
};

} // namespace test
