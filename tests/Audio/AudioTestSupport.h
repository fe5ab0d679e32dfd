#pragma once

// What the audio player's tests share: a fake network for the stream, a
// delegate that writes down what it hears, and the pump that plays on the
// manual clock while the decoding thread keeps up.

#include "Platform/Core/RunLoop.h"
#include "Platform/Net/FakeURLLoad.h"
#include "Platform/Net/FakeURLServer.h"
#include "Support/Media/AudioFixtures.h"
#include "Audio/AQAudioStreamPlayer.h"
#include "Audio/VKAudioPlayer.h"

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace test {

inline std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct StreamEvents : AQAudioStreamPlayerDelegate, VKAudioPlayerDelegate {
    std::vector<std::string> events;
    std::vector<core::Error> errors;
    void* lastPlayer = nullptr;
    void audioStreamPlayerDidPreload(AQAudioStreamPlayer& p) override { note("preload", &p); }
    void audioStreamPlayerDidFinishPlaying(AQAudioStreamPlayer& p, bool ok) override { note(ok ? "finished" : "finished badly", &p); }
    void audioStreamPlayerErrorDidOccur(AQAudioStreamPlayer& p, const core::Error& e) override
    {
        errors.push_back(e);
        note("error " + std::to_string(e.code()), &p);
    }
    void audioPlayerDidFinishPlaying(VKAudioPlayer& p, bool ok) override { note(ok ? "finished" : "finished badly", &p); }
    void audioPlayerErrorDidOccur(VKAudioPlayer& p, const core::Error& e) override
    {
        errors.push_back(e);
        note("error " + std::to_string(e.code()), &p);
    }
    void note(std::string event, void* player)
    {
        events.push_back(std::move(event));
        lastPlayer = player;
    }
    bool has(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

// Steps the manual clock (in tenths by default), letting real events (the loopback
// server, the decoding thread) in between, until `done` or `seconds`.
inline bool playUntil(const std::function<bool()>& done, double seconds, double step = 0.1)
{
    auto& loop = core::RunLoop::main();
    for (double t = 0; t < seconds; t += step) {
        loop.runUntil(done, 0.02);
        if (done())
            return true;
        loop.advance(step);
    }
    loop.runUntil(done, 0.02);
    return done();
}

} // namespace test
