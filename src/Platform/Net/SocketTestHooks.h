#pragma once

#include <cstddef>

namespace net {

// Hooks through which tests bend the socket layer's system calls: a cap on
// the bytes of each read and write (so that a transfer is made of many
// partial ones), and an errno that the next read, write or accept fails
// with. Process-wide, off unless a test turns them on; reset() turns them
// off again.
class SocketTestHooks {
public:
    static void setByteCap(size_t cap);
    static void failNextRead(int error);
    static void failNextWrite(int error);
    static void failNextAccept(int error);
    static void reset();

    // Used by the layer: the length to ask the system for, and the injected
    // errno (0 when none), which is taken away by asking.
    static size_t capped(size_t length);
    static int takeReadError();
    static int takeWriteError();
    static int takeAcceptError();
};

} // namespace net
