#pragma once

// The movie process: `tandry-movie` runs GStreamer's engine for the
// program that started it (RemoteMovieEngine) and ends when the program
// closes its socket or goes. Decoders and their libraries live and die
// with this process, so the program keeps none of their memory once a movie
// closes, and a decoder that crashes on a damaged file ends only the movie.
//
// Its socket is descriptor 3, the frames' shared memory file descriptor 4.

namespace media {

class MovieEngineServer {
public:
    static constexpr const char* SilentArgument = "--silent";
    static constexpr const char* UnsynchronizedArgument = "--unsynchronized";
    static constexpr int SocketDescriptor = 3;
    static constexpr int FramesDescriptor = 4;

    // Serves until the program goes; the process's exit status.
    static int run(int argc, char** argv);
};

} // namespace media
