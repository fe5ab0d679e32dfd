#pragma once

// What a media file holds, asked of GStreamer's discoverer (at most
// DiscoveryTimeout seconds): its tracks by the device's media types "vide"
// and "soun". A file that cannot be read or is no media has no tracks.

#include <string>
#include <string_view>
#include <vector>

namespace media {

class MovieAsset {
public:
    static constexpr double DiscoveryTimeout = 5;
    static constexpr const char* MediaTypeVideo = "vide";
    static constexpr const char* MediaTypeAudio = "soun";

    struct Track {
        std::string mediaType;
        std::string codec;
    };

    explicit MovieAsset(std::string path);

    const std::string& path() const { return m_path; }
    std::vector<Track> tracks(std::string_view mediaType) const;
    // Seconds; 0 when unknown.
    double duration() const { return m_duration; }
    bool isReadable() const { return m_readable; }

private:
    std::string m_path;
    std::vector<Track> m_tracks;
    double m_duration = 0;
    bool m_readable = false;
};

} // namespace media
