#pragma once

// The program's movie engine: GStreamer's, run in a process of its own
// (MovieEngineServer, the tandry-movie program beside tandry), so that
// the decoders' libraries, tables and threads go when the movie closes, and
// a decoder that crashes on a damaged file ends the movie, not the program.
// It answers as GStreamerMovieEngine does, on the main thread: commands go
// out as they come (those before the process runs wait for it), frames come
// back through shared memory, one at a time, and the position, the frames
// dropped and the sound output as the process last told them. The
// process's end before the movie's is a failure.

#include "Platform/Media/Movie/MovieEngine.h"

#include <memory>
#include <string>

namespace media {

class RemoteMovieEngine : public MovieEngine {
public:
    // `program` is the movie process's executable.
    explicit RemoteMovieEngine(std::string program);
    ~RemoteMovieEngine() override;

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

    struct Connection;

private:
    std::string m_program;
    std::shared_ptr<Connection> m_connection;
};

} // namespace media
