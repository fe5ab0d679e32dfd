#include "Platform/Media/Movie/GStreamerMovieEngine.h"

#include "Platform/Core/Device.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Graphics/Image.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/pbutils/missing-plugins.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fmt/format.h>
#include <mutex>

namespace media {

namespace {

std::atomic<bool> g_silent { false };
std::atomic<bool> g_unsynchronized { false };

double seconds(gint64 nanoseconds)
{
    return nanoseconds < 0 ? -1.0 : double(nanoseconds) / double(GST_SECOND);
}

} // namespace

// Shared with GStreamer's threads: the mailbox and the way back to the
// engine, which only the main thread follows.
struct GStreamerMovieEngine::State : std::enable_shared_from_this<State> {
    // Main thread only.
    GStreamerMovieEngine* engine = nullptr;
    MovieEngineClient* client = nullptr;
    GstElement* playbin = nullptr;
    GstElement* capsFilter = nullptr;
    GstElement* audioSink = nullptr;
    bool prerolled = false;
    bool soundOutput = true;
    bool failed = false;
    bool wantsPlaying = false;
    gfx::Size maximumSize;
    std::shared_ptr<core::Timer> prerollTimer;
    uint64_t presented = 0;

    // Any thread.
    std::mutex mutex;
    std::shared_ptr<gfx::Image> slot;
    std::condition_variable slotTaken;
    bool drainPosted = false;
    int maximumWidth = 0;
    int maximumHeight = 0;
    std::atomic<uint64_t> dropped { 0 };

    void postToMain(std::function<void(State&)> work)
    {
        core::RunLoop::main().post([weak = weak_from_this(), work = std::move(work)] {
            if (auto state = weak.lock(); state && state->engine)
                work(*state);
        });
    }

    // Streaming thread: copies the frame (scaled down when it is still
    // larger than allowed) and leaves it in the slot.
    void takeSample(GstSample* sample)
    {
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstVideoInfo info;
        if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
            return;
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
            return;
        int width = GST_VIDEO_FRAME_WIDTH(&frame), height = GST_VIDEO_FRAME_HEIGHT(&frame);
        auto* pixels = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        size_t stride = size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
        int maxWidth, maxHeight;
        {
            std::lock_guard lock(mutex);
            maxWidth = maximumWidth;
            maxHeight = maximumHeight;
        }
        std::shared_ptr<gfx::Image> image;
        if (maxWidth > 0 && maxHeight > 0 && (width > maxWidth || height > maxHeight)) {
            double scale = std::min(double(maxWidth) / width, double(maxHeight) / height);
            int w = std::max(1, int(width * scale)), h = std::max(1, int(height * scale));
            std::vector<uint32_t> scaled(size_t(w) * size_t(h));
            for (int y = 0; y < h; ++y) {
                auto* row = reinterpret_cast<const uint32_t*>(pixels + size_t(int(y / scale)) * stride);
                for (int x = 0; x < w; ++x)
                    scaled[size_t(y) * size_t(w) + size_t(x)] = row[std::min(width - 1, int(x / scale))];
            }
            image = gfx::Image::imageWithOpaquePixels(w, h, size_t(w) * 4, reinterpret_cast<const uint8_t*>(scaled.data()));
        } else {
            image = gfx::Image::imageWithOpaquePixels(width, height, stride, pixels);
        }
        gst_video_frame_unmap(&frame);
        if (!image)
            return;
        bool post = false;
        {
            std::unique_lock lock(mutex);
            // Decoding without the clock, a frame waits a moment for the
            // main loop to take the one before it rather than replace it.
            if (g_unsynchronized && slot)
                slotTaken.wait_for(lock, std::chrono::milliseconds(50), [&] { return !slot; });
            if (slot)
                ++dropped;
            slot = std::move(image);
            if (!drainPosted)
                drainPosted = post = true;
        }
        if (post)
            postToMain([](State& state) { state.drain(); });
    }

    void drain()
    {
        std::shared_ptr<gfx::Image> frame;
        {
            std::lock_guard lock(mutex);
            frame = std::move(slot);
            slot = nullptr;
            drainPosted = false;
        }
        slotTaken.notify_all();
        if (!frame || failed)
            return;
        ++presented;
        if (client)
            client->movieEngineDidPresentFrame(frame);
    }

    void fail(const std::string& message)
    {
        if (failed)
            return;
        failed = true;
        if (prerollTimer)
            prerollTimer->invalidate();
        prerollTimer = nullptr;
        core::log("Movie playback failed: {}", message);
        if (playbin)
            gst_element_set_state(playbin, GST_STATE_PAUSED);
        if (client)
            client->movieEngineDidFail(message);
    }

    // Main thread: what the bus said.
    void handle(GstMessage* message)
    {
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            std::string text = error ? error->message : "unknown error";
            if (debug)
                core::log("GStreamer: {}", debug);
            g_clear_error(&error);
            g_free(debug);
            fail(text);
            break;
        }
        case GST_MESSAGE_ASYNC_DONE:
            if (!prerolled && !failed)
                didPreroll();
            break;
        case GST_MESSAGE_ELEMENT: {
            // A stream without its decoder would play on without it: a
            // movie missing its picture or sound counts as unplayable.
            gchar* description = gst_missing_plugin_message_get_description(message);
            fail(std::string("missing ") + (description ? description : "decoder"));
            g_free(description);
            break;
        }
        case GST_MESSAGE_EOS:
            if (!failed && client)
                client->movieEngineDidReachEnd();
            break;
        default:
            break;
        }
    }

    void didPreroll()
    {
        prerolled = true;
        if (prerollTimer)
            prerollTimer->invalidate();
        prerollTimer = nullptr;
        gint64 duration = -1;
        gst_element_query_duration(playbin, GST_FORMAT_TIME, &duration);
        gint videoCount = 0, audioCount = 0;
        g_object_get(playbin, "n-video", &videoCount, "n-audio", &audioCount, nullptr);
        int types = (videoCount > 0 ? MovieMediaTypeVideo : 0) | (audioCount > 0 ? MovieMediaTypeAudio : 0);
        if (types == MovieMediaTypeNone) {
            fail("no playable streams");
            return;
        }
        // Without a sound device the automatic sink plays into a fake one.
        if (audioSink && GST_IS_BIN(audioSink)) {
            if (GstElement* fake = gst_bin_get_by_name(GST_BIN(audioSink), "fake-audio-sink")) {
                soundOutput = false;
                gst_object_unref(fake);
            }
        }
        if (wantsPlaying)
            gst_element_set_state(playbin, GST_STATE_PLAYING);
        if (client)
            client->movieEngineDidPreroll(std::max(0.0, seconds(duration)), types);
    }
};

namespace {

GstBusSyncReply busSyncHandler(GstBus*, GstMessage* message, gpointer data)
{
    auto* weak = static_cast<std::weak_ptr<GStreamerMovieEngine::State>*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
    case GST_MESSAGE_EOS:
    case GST_MESSAGE_ASYNC_DONE:
    case GST_MESSAGE_ELEMENT:
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ELEMENT && !gst_is_missing_plugin_message(message))
            break;
        if (auto state = weak->lock()) {
            // Released with the posted work, which is dropped unrun once
            // the engine is gone: a message holds its element, and through
            // it the whole pipeline.
            std::shared_ptr<GstMessage> held(gst_message_ref(message), gst_message_unref);
            state->postToMain([held](GStreamerMovieEngine::State& state) { state.handle(held.get()); });
        }
        break;
    default:
        break;
    }
    // A handler that drops a message owns it (the bus does not unref it): left
    // alone, every message would keep its element, and with it the whole
    // pipeline, alive.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void deleteWeakState(gpointer data)
{
    delete static_cast<std::weak_ptr<GStreamerMovieEngine::State>*>(data);
}

GstFlowReturn onSample(GstAppSink* sink, gpointer data, bool preroll)
{
    auto* weak = static_cast<std::weak_ptr<GStreamerMovieEngine::State>*>(data);
    GstSample* sample = preroll ? gst_app_sink_pull_preroll(sink) : gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_ERROR;
    if (auto state = weak->lock())
        state->takeSample(sample);
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

} // namespace

void GStreamerMovieEngine::setSilentForTesting(bool silent)
{
    g_silent = silent;
}

void GStreamerMovieEngine::setUnsynchronizedForTesting(bool unsynchronized)
{
    g_unsynchronized = unsynchronized;
}

void GStreamerMovieEngine::initialize()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        // Frames and the decoders' pictures are allocated on the streaming
        // threads, each with a heap of its own: the process grew by
        // megabytes with every movie until the heaps' limits were fixed
        // (mapping each frame instead costs half the frame rate).
        core::Device::limitRetainedHeap();
    });
}

GStreamerMovieEngine::GStreamerMovieEngine()
    : m_state(std::make_shared<State>())
{
    initialize();
    m_state->engine = this;
}

GStreamerMovieEngine::~GStreamerMovieEngine()
{
    m_state->engine = nullptr;
    m_state->client = nullptr;
    if (m_state->prerollTimer)
        m_state->prerollTimer->invalidate();
    if (GstElement* playbin = m_state->playbin) {
        // Joins the streaming threads; what they posted finds no engine.
        gst_element_set_state(playbin, GST_STATE_NULL);
        if (GstBus* bus = gst_element_get_bus(playbin)) {
            gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
            gst_object_unref(bus);
        }
        gst_object_unref(playbin);
    }
    m_state->playbin = nullptr;
    m_state->audioSink = nullptr;
    m_state->capsFilter = nullptr;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->slot = nullptr;
    }
    // The free pages left between live blocks go back too.
    core::Device::releaseFreeHeapMemory();
}

void GStreamerMovieEngine::open(const std::string& path, MovieEngineClient* client)
{
    auto& state = *m_state;
    state.client = client;
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    GstElement* bin = gst_bin_new("tandry-video");
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* scale = gst_element_factory_make("videoscale", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!playbin || !bin || !convert || !scale || !filter || !sink) {
        for (GstElement* element : { playbin, bin, convert, scale, filter, sink })
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        state.postToMain([](State& state) { state.fail("GStreamer's playback elements are missing"); });
        return;
    }
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRx,pixel-aspect-ratio=1/1");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "sync", g_unsynchronized ? FALSE : TRUE, "max-buffers", 2, "drop", FALSE, nullptr);
    GstAppSinkCallbacks callbacks {};
    callbacks.new_sample = [](GstAppSink* sink, gpointer data) { return onSample(sink, data, false); };
    callbacks.new_preroll = [](GstAppSink* sink, gpointer data) { return onSample(sink, data, true); };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, new std::weak_ptr<State>(m_state), deleteWeakState);
    // Scaled in the decoder's own format first, so a picture larger than
    // the screen is converted only at the size it is shown.
    gst_bin_add_many(GST_BIN(bin), scale, convert, filter, sink, nullptr);
    gst_element_link_many(scale, convert, filter, sink, nullptr);
    GstPad* pad = gst_element_get_static_pad(scale, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", pad));
    gst_object_unref(pad);
    g_object_set(playbin, "video-sink", bin, nullptr);
    GstElement* audio = nullptr;
    if (g_silent || g_unsynchronized) {
        audio = gst_element_factory_make("fakesink", nullptr);
        if (audio)
            g_object_set(audio, "sync", g_unsynchronized ? FALSE : TRUE, nullptr);
    } else {
        audio = gst_element_factory_make("autoaudiosink", nullptr);
    }
    if (audio)
        g_object_set(playbin, "audio-sink", audio, nullptr);
    state.audioSink = audio;
    // No subtitles or visualisations: only the file's own picture and sound.
    gint flags = 0;
    g_object_get(playbin, "flags", &flags, nullptr);
    flags &= ~((1 << 2) | (1 << 3));
    g_object_set(playbin, "flags", flags, nullptr);

    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
    GstBus* bus = gst_element_get_bus(playbin);
    gst_bus_set_sync_handler(bus, busSyncHandler, new std::weak_ptr<State>(m_state), deleteWeakState);
    gst_object_unref(bus);
    state.playbin = playbin;
    state.capsFilter = filter;
    setMaximumFrameSize(state.maximumSize);
    state.prerollTimer = core::RunLoop::main().schedule(PrerollTimeout, false,
        [weak = std::weak_ptr<State>(m_state)](core::Timer&) {
            if (auto state = weak.lock(); state && state->engine && !state->prerolled)
                state->fail("the file did not preroll in time");
        });
    if (gst_element_set_state(playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        state.postToMain([](State& state) { state.fail("the pipeline refused to start"); });
}

void GStreamerMovieEngine::play()
{
    m_state->wantsPlaying = true;
    if (m_state->playbin && m_state->prerolled && !m_state->failed)
        gst_element_set_state(m_state->playbin, GST_STATE_PLAYING);
}

void GStreamerMovieEngine::pause()
{
    m_state->wantsPlaying = false;
    if (m_state->playbin && !m_state->failed)
        gst_element_set_state(m_state->playbin, GST_STATE_PAUSED);
}

void GStreamerMovieEngine::stop()
{
    pause();
    if (m_state->playbin && m_state->prerolled && !m_state->failed)
        gst_element_seek_simple(m_state->playbin, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0);
}

void GStreamerMovieEngine::seek(double seconds)
{
    if (!m_state->playbin || !m_state->prerolled || m_state->failed || !std::isfinite(seconds))
        return;
    gint64 target = gint64(std::max(0.0, seconds) * double(GST_SECOND));
    gst_element_seek_simple(m_state->playbin, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), target);
}

double GStreamerMovieEngine::position() const
{
    gint64 position = -1;
    if (!m_state->playbin || !m_state->prerolled || !gst_element_query_position(m_state->playbin, GST_FORMAT_TIME, &position))
        return -1;
    return seconds(position);
}

void GStreamerMovieEngine::setMaximumFrameSize(gfx::Size pixels)
{
    auto& state = *m_state;
    state.maximumSize = pixels;
    int width = int(std::max(0.0f, pixels.width)), height = int(std::max(0.0f, pixels.height));
    {
        std::lock_guard lock(state.mutex);
        state.maximumWidth = width;
        state.maximumHeight = height;
    }
    // videoscale brings a larger picture down to the limit, keeping its
    // shape, before it is converted and copied: an 8K frame never reaches
    // memory whole in BGRx. The copy's own scaling stays as the fallback.
    if (state.capsFilter && width > 0 && height > 0) {
        GstCaps* caps = gst_caps_from_string(
            fmt::format("video/x-raw,format=BGRx,pixel-aspect-ratio=1/1,width=[1,{}],height=[1,{}]", width, height)
                .c_str());
        g_object_set(state.capsFilter, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }
}

uint64_t GStreamerMovieEngine::presentedFrames() const
{
    return m_state->presented;
}

uint64_t GStreamerMovieEngine::droppedFrames() const
{
    return m_state->dropped.load();
}

bool GStreamerMovieEngine::hasSoundOutput() const
{
    return m_state->soundOutput;
}

} // namespace media
