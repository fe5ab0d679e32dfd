#pragma once

// Movie clips made for a test by gst-launch-1.0 in a folder of its home:
// 45 red then 45 blue frames of 320 × 240 at 30 per second with a tone,
// in MP4 and QuickTime (H.264 and AAC), as JPEG frames in AVI without
// sound, sound only, half a clip without its index at the front, and text
// named like a movie.

#include <cstdlib>
#include <string>

#define TANDRY_REQUIRE_MOVIE_PEERS()                                                   \
    do {                                                                               \
        if (!test::MovieClips::havePeers()) {                                          \
            if (std::getenv("CI"))                                                     \
                FAIL() << "gst-launch-1.0, gst-discoverer-1.0 and the codecs are needed"; \
            GTEST_SKIP() << "gst-launch-1.0, gst-discoverer-1.0 or a codec missing";   \
        }                                                                              \
    } while (false)

namespace test {

class MovieClips {
public:
    explicit MovieClips(std::string directory);

    static bool havePeers();

    // Each answers the clip's path ("" when the peer failed).
    std::string colours(const std::string& name = "c.mp4", const std::string& muxer = "mp4mux");
    std::string jpegAVI(const std::string& name = "c.avi");
    std::string soundOnly(const std::string& name = "s.m4a");
    // The first half of the colours clip, muxed without faststart.
    std::string truncated(const std::string& name = "half.mp4");
    std::string text(const std::string& name = "text.mp4");
    // A few red JPEG frames of `width` × `height` in QuickTime (pictures
    // larger than any screen; AVI takes none so large).
    std::string redPictures(const std::string& name, int width, int height, int frames = 3);
    // A clip of `seconds` at `width` × `height` (benchmarks).
    std::string large(const std::string& name, int width, int height, double seconds);

    // gst-discoverer-1.0's duration of a file, in seconds (−1 when unread).
    static double discoveredDuration(const std::string& path);

private:
    std::string run(const std::string& name, const std::string& pipeline);
    std::string m_directory;
};

} // namespace test
