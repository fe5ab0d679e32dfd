#include "Platform/Media/AudioSink.h"

#include "Platform/Media/SDLAudioSink.h"

#include <mutex>

namespace media {

namespace {

std::mutex factoryMutex;

AudioSink::Factory& factory()
{
    static AudioSink::Factory made = [] { return SDLAudioSink::create(); };
    return made;
}

} // namespace

AudioSink::~AudioSink() = default;

std::shared_ptr<AudioSink> AudioSink::makeDefault()
{
    Factory make;
    {
        std::lock_guard lock(factoryMutex);
        make = factory();
    }
    return make ? make() : SDLAudioSink::create();
}

void AudioSink::setDefaultFactoryForTesting(Factory made)
{
    std::lock_guard lock(factoryMutex);
    factory() = made ? std::move(made) : Factory([] { return SDLAudioSink::create(); });
}

} // namespace media
