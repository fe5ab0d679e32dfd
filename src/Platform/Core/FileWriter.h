#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace core {

class FileHandle;

// Writes a file that arrives in pieces (a download's body) on a thread of
// its own, so that the run loop that receives the pieces never waits for the
// disk. Pieces are written in the order given, without being copied (Data
// shares its bytes). The first write that fails stops the writer: whatever
// is still queued is dropped and the owner hears the error once. finish()
// runs a last step on the writer's thread once every piece is written and
// the file closed (moving it into place, say), then reports on the owner's
// run loop. cancel() (or letting the writer go) drops what is queued; the
// owner hears nothing more, and the file is closed soon after by the
// writer's thread. Made and driven on one thread with a run loop, where
// every report arrives.
class FileWriter {
public:
    struct Handlers {
        // The first failed write, in the POSIX domain.
        std::function<void(const Error&)> failed;
        // The queue fell back to LowWaterBytes after write() answered that
        // it was backlogged.
        std::function<void()> drained;
        // The writer's thread closed the file: after the last step, a
        // failure or a cancel. Comes last, and also after cancel(), so that
        // the owner knows when the file is quiet again.
        std::function<void()> closed;
    };
    // Past this many queued bytes write() answers that the owner should
    // hold further pieces until drained().
    static constexpr size_t HighWaterBytes = size_t(8) << 20;
    static constexpr size_t LowWaterBytes = size_t(2) << 20;

    // Opens the existing file at `path` for writing from its start; nothing
    // (and `error`) when it cannot be opened.
    static std::shared_ptr<FileWriter> create(const std::string& path, Handlers handlers, Error* error = nullptr);
    // Opens the existing file at `path` for writing after its first `size`
    // bytes, which must be all it holds (a resumed download whose partial
    // file changed meanwhile would be corrupted by its body): nothing (and
    // `error`, EEXIST for another length) otherwise.
    static std::shared_ptr<FileWriter> createAppending(const std::string& path, uint64_t size, Handlers handlers,
        Error* error = nullptr);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Queues a piece; true when more than HighWaterBytes now wait.
    bool write(Data piece);
    // Bytes queued and not yet written.
    size_t queuedBytes() const;
    // After the last piece is written and the file closed, runs `lastStep`
    // on the writer's thread (unless a write failed) and hands its error
    // (none for success) to `done` on the owner's run loop. Pieces written
    // after this are dropped.
    void finish(std::function<Error()> lastStep, std::function<void(const Error&)> done);
    void cancel();

    struct State;

private:
    explicit FileWriter(std::shared_ptr<State> state);
    static std::shared_ptr<FileWriter> start(std::shared_ptr<FileHandle> file, Handlers handlers);

    std::shared_ptr<State> m_state;
};

} // namespace core
