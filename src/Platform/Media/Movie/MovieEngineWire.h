#pragma once

// What the program and its movie process say to each other over a
// SOCK_SEQPACKET socket pair: one fixed record a message, with a text after
// it for a path or a failure. Pictures do not travel on the socket: the
// movie process leaves each frame in a shared memory file and names its
// size; the program copies it out and answers FrameTaken before the next
// one is written there.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace media::wire {

enum class Kind : uint32_t {
    // The program to the movie process.
    Open = 1, // the file's descriptor beside it
    Play,
    Pause,
    Stop,
    Seek, // number: seconds
    MaximumFrameSize, // width, height
    FrameTaken,
    // The movie process to the program.
    Prerolled = 100, // number: duration; types; flags: SoundOutput
    Frame, // width, height, stride; number: position; dropped
    Status, // number: position; dropped
    ReachedEnd,
    Failed, // text: the engine's message
};

inline constexpr uint32_t SoundOutput = 1;
// A path or a message longer than this is refused.
inline constexpr size_t MaximumText = 16 * 1024;
// A frame wider or higher than this is refused.
inline constexpr int MaximumFrameSide = 16384;

struct Message {
    Kind kind {};
    int32_t width = 0;
    int32_t height = 0;
    uint32_t types = 0;
    uint32_t flags = 0;
    uint32_t reserved = 0;
    uint64_t stride = 0;
    uint64_t dropped = 0;
    double number = 0;
};

struct Received {
    Received() = default;
    Received(Received&& other) noexcept;
    Received& operator=(Received&&) = delete;
    ~Received();

    Message message;
    std::string text;
    // A descriptor that came with it (closed with it unless taken), or -1.
    int descriptor = -1;
};

// False when the peer is gone or the socket failed. `descriptor`, when
// not -1, goes with the message (the peer gets its own).
bool send(int socket, const Message& message, std::string_view text = {}, int descriptor = -1);
// The next message; nullopt at the peer's end, on a failure or on a
// message that is not one (too short, too long).
std::optional<Received> receive(int socket);

} // namespace media::wire
