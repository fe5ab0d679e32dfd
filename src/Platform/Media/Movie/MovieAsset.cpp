#include "Platform/Media/Movie/MovieAsset.h"

#include "Platform/Core/Log.h"
#include "Platform/Media/Movie/GStreamerMovieEngine.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <filesystem>

namespace media {

namespace {

void addStreams(GList* streams, const char* mediaType, std::vector<MovieAsset::Track>& tracks)
{
    for (GList* item = streams; item; item = item->next) {
        auto* info = static_cast<GstDiscovererStreamInfo*>(item->data);
        std::string codec;
        if (GstCaps* caps = gst_discoverer_stream_info_get_caps(info)) {
            if (gst_caps_get_size(caps) > 0)
                codec = gst_structure_get_name(gst_caps_get_structure(caps, 0));
            gst_caps_unref(caps);
        }
        tracks.push_back({ mediaType, codec });
    }
}

} // namespace

MovieAsset::MovieAsset(std::string path)
    : m_path(std::move(path))
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(m_path, error))
        return;
    GStreamerMovieEngine::initialize();
    GError* failure = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(GstClockTime(DiscoveryTimeout * GST_SECOND), &failure);
    if (!discoverer) {
        core::log("MovieAsset: no discoverer: {}", failure ? failure->message : "");
        g_clear_error(&failure);
        return;
    }
    gchar* uri = gst_filename_to_uri(m_path.c_str(), nullptr);
    GstDiscovererInfo* info = uri ? gst_discoverer_discover_uri(discoverer, uri, &failure) : nullptr;
    g_free(uri);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        m_readable = true;
        GstClockTime duration = gst_discoverer_info_get_duration(info);
        m_duration = GST_CLOCK_TIME_IS_VALID(duration) ? double(duration) / double(GST_SECOND) : 0;
        GList* video = gst_discoverer_info_get_video_streams(info);
        GList* audio = gst_discoverer_info_get_audio_streams(info);
        addStreams(video, MediaTypeVideo, m_tracks);
        addStreams(audio, MediaTypeAudio, m_tracks);
        gst_discoverer_stream_info_list_free(video);
        gst_discoverer_stream_info_list_free(audio);
    }
    g_clear_error(&failure);
    if (info)
        g_object_unref(info);
    g_object_unref(discoverer);
}

std::vector<MovieAsset::Track> MovieAsset::tracks(std::string_view mediaType) const
{
    std::vector<Track> result;
    for (const auto& track : m_tracks)
        if (track.mediaType == mediaType)
            result.push_back(track);
    return result;
}

} // namespace media
