#include "Platform/Media/SDLAudioSink.h"

#include "Platform/Core/RunLoop.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace media {

namespace {
std::atomic<float> s_masterGain { 1.0f };
}

void SDLAudioSink::setMasterGain(float gain)
{
    s_masterGain.store(clampedVolume(gain));
}

float SDLAudioSink::masterGain()
{
    return s_masterGain.load();
}

// What SDL's callback and the decoding thread share with the run loop.
struct SDLAudioSink::Shared {
    std::mutex mutex;
    std::condition_variable room;
    uint32_t channels = 0;
    std::vector<int16_t> ring;
    size_t readFrame = 0; // in frames, modulo the ring
    size_t storedFrames = 0;
    // Buffers whose samples are in the ring: the total of frames written
    // when each one's samples end.
    struct Marker {
        uint64_t id;
        uint64_t endFrame;
    };
    std::deque<Marker> markers;
    uint64_t framesWritten = 0;
    uint64_t framesRead = 0;
    std::atomic<int64_t> consumed { 0 };
    std::atomic<float> volume { 1.0f };
    bool closed = false;
    std::weak_ptr<core::RunLoop> loop;
    Client* client = nullptr;
    // Each report of a played buffer checks that the sink is still the one
    // that asked (flushes and closes bump it).
    std::atomic<uint64_t> generation { 0 };
    std::weak_ptr<Shared> self;
};

namespace {

std::mutex subsystemMutex;
int subsystemUsers = 0;

bool startSubsystem(std::string* reason)
{
    std::lock_guard lock(subsystemMutex);
    if (subsystemUsers++ > 0)
        return true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (reason)
            *reason = SDL_GetError();
        subsystemUsers = 0;
        return false;
    }
    return true;
}

void stopSubsystem()
{
    std::lock_guard lock(subsystemMutex);
    if (subsystemUsers > 0 && --subsystemUsers == 0)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void audioCallback(void* userData, Uint8* stream, int length)
{
    auto& shared = *static_cast<SDLAudioSink::Shared*>(userData);
    auto* out = reinterpret_cast<int16_t*>(stream);
    std::unique_lock lock(shared.mutex);
    const uint32_t channels = std::max<uint32_t>(shared.channels, 1);
    const size_t wanted = size_t(length) / sizeof(int16_t) / channels;
    const size_t frames = std::min(wanted, shared.storedFrames);
    const float volume = shared.volume.load() * s_masterGain.load();
    const size_t ringFrames = shared.ring.size() / channels;
    for (size_t i = 0; i < frames; i++) {
        const int16_t* from = &shared.ring[((shared.readFrame + i) % ringFrames) * channels];
        for (uint32_t c = 0; c < channels; c++)
            out[i * channels + c] = volume >= 1.0f ? from[c] : int16_t(std::lrint(from[c] * volume));
    }
    std::memset(out + frames * channels, 0, size_t(length) - frames * channels * sizeof(int16_t));
    shared.readFrame = (shared.readFrame + frames) % ringFrames;
    shared.storedFrames -= frames;
    shared.framesRead += frames;
    shared.consumed += int64_t(frames);
    std::vector<uint64_t> played;
    while (!shared.markers.empty() && shared.markers.front().endFrame <= shared.framesRead) {
        played.push_back(shared.markers.front().id);
        shared.markers.pop_front();
    }
    auto loop = played.empty() ? nullptr : shared.loop.lock();
    const uint64_t generation = shared.generation.load();
    std::weak_ptr<SDLAudioSink::Shared> weak = shared.self;
    lock.unlock();
    shared.room.notify_all();
    if (loop) {
        loop->post([weak, played = std::move(played), generation] {
            // Reports from before a flush or a close are dropped.
            auto shared = weak.lock();
            if (!shared || shared->generation.load() != generation || !shared->client)
                return;
            for (uint64_t id : played)
                shared->client->sinkDidPlay(id);
        });
    }
}

} // namespace

std::shared_ptr<SDLAudioSink> SDLAudioSink::create()
{
    return std::shared_ptr<SDLAudioSink>(new SDLAudioSink());
}

SDLAudioSink::SDLAudioSink()
    : m_shared(std::make_shared<Shared>())
{
    m_shared->self = m_shared;
}

SDLAudioSink::~SDLAudioSink()
{
    close();
}

bool SDLAudioSink::open(const Format& format, Client* client, std::string* reason)
{
    if (!startSubsystem(reason))
        return false;
    m_subsystemStarted = true;
    SDL_AudioSpec wanted {};
    wanted.freq = int(format.sampleRate);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = uint8_t(format.channels);
    wanted.samples = 2048;
    wanted.callback = audioCallback;
    wanted.userdata = m_shared.get();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->channels = format.channels;
        m_shared->ring.assign(RingFrames * format.channels, 0);
        m_shared->loop = core::RunLoop::current().shared_from_this();
        m_shared->client = client;
        m_shared->closed = false;
    }
    SDL_AudioSpec obtained {};
    // SDL converts to whatever the device takes.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (!m_device) {
        if (reason)
            *reason = SDL_GetError();
        close();
        return false;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    m_driver = driver ? driver : "";
    return true;
}

void SDLAudioSink::close()
{
    if (m_device) {
        // No callback runs once the device is closed.
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->closed = true;
        m_shared->client = nullptr;
        m_shared->generation++;
    }
    m_shared->room.notify_all();
    if (m_subsystemStarted) {
        m_subsystemStarted = false;
        stopSubsystem();
    }
}

void SDLAudioSink::start()
{
    if (m_device)
        SDL_PauseAudioDevice(m_device, 0);
}

void SDLAudioSink::pause()
{
    if (m_device)
        SDL_PauseAudioDevice(m_device, 1);
}

void SDLAudioSink::flush()
{
    pause();
    if (m_device)
        SDL_LockAudioDevice(m_device);
    {
        std::lock_guard lock(m_shared->mutex);
        m_epoch++;
        m_shared->generation++;
        m_shared->readFrame = 0;
        m_shared->storedFrames = 0;
        m_shared->markers.clear();
        m_shared->framesWritten = 0;
        m_shared->framesRead = 0;
        m_shared->consumed = 0;
    }
    if (m_device)
        SDL_UnlockAudioDevice(m_device);
    m_shared->room.notify_all();
}

void SDLAudioSink::setVolume(float volume)
{
    m_shared->volume.store(clampedVolume(volume));
}

int64_t SDLAudioSink::framesConsumed() const
{
    return m_shared->consumed.load();
}

void SDLAudioSink::bufferQueued(uint64_t, int64_t)
{
}

// Copies the samples into the ring as room frees up; the buffer's marker
// goes in after its last sample, so its report comes once SDL read them.
void SDLAudioSink::bufferDecoded(uint64_t epoch, uint64_t bufferID, const int16_t* samples, size_t frames)
{
    auto& shared = *m_shared;
    std::unique_lock lock(shared.mutex);
    const uint32_t channels = std::max<uint32_t>(shared.channels, 1);
    const size_t ringFrames = shared.ring.size() / channels;
    size_t done = 0;
    while (done < frames) {
        shared.room.wait(lock, [&] { return shared.closed || epoch != m_epoch.load() || shared.storedFrames < ringFrames; });
        if (shared.closed || epoch != m_epoch.load())
            return;
        const size_t room = ringFrames - shared.storedFrames;
        const size_t count = std::min(room, frames - done);
        for (size_t i = 0; i < count; i++) {
            const size_t slot = (shared.readFrame + shared.storedFrames + i) % ringFrames;
            std::memcpy(&shared.ring[slot * channels], samples + (done + i) * channels, channels * sizeof(int16_t));
        }
        shared.storedFrames += count;
        shared.framesWritten += count;
        done += count;
    }
    shared.markers.push_back({ bufferID, shared.framesWritten });
}

} // namespace media
