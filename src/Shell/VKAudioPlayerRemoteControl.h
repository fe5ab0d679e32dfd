#pragma once

// What the window asks of the audio player that last played when a
// remote-control command arrives (a headset button, the lock screen): the
// player screen implements it; the shell only forwards the commands.
class VKAudioPlayerRemoteControl {
public:
    virtual ~VKAudioPlayerRemoteControl() = default;

    // Whether it has something loaded to play; without that the command
    // goes on along the responder chain.
    virtual bool hasResource() const = 0;
    virtual bool isPlaying() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void togglePlay() = 0;
    virtual void handleNext() = 0;
    virtual void handlePrevious() = 0;
};
