#include "Platform/Core/FileWriter.h"

#include "Platform/Core/FileHandle.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace core {

struct FileWriter::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Data> queue;
    size_t queuedBytes = 0;
    bool backlogged = false;
    bool finishing = false;
    bool cancelled = false;
    std::function<Error()> lastStep;
    // Touched on the owner's thread only.
    Handlers handlers;
    std::function<void(const Error&)> done;
    std::shared_ptr<FileHandle> file;
    std::weak_ptr<RunLoop> loop;

    // Runs `report` on the owner's loop unless the writer was cancelled by then.
    static void tellOwner(const std::shared_ptr<State>& state, std::function<void(State&)> report)
    {
        auto loop = state->loop.lock();
        if (!loop)
            return;
        loop->post([state, report = std::move(report)] {
            {
                std::lock_guard lock(state->mutex);
                if (state->cancelled)
                    return;
            }
            report(*state);
        });
    }

    static void work(const std::shared_ptr<State>& state)
    {
        bool failed = false;
        for (;;) {
            Data piece;
            {
                std::unique_lock lock(state->mutex);
                state->wake.wait(lock, [&] { return state->cancelled || state->finishing || !state->queue.empty(); });
                if (state->cancelled || state->queue.empty())
                    break;
                piece = std::move(state->queue.front());
                state->queue.pop_front();
            }
            Error error;
            const bool written = state->file->writeData(piece, &error);
            std::lock_guard lock(state->mutex);
            state->queuedBytes -= piece.size();
            if (!written) {
                failed = true;
                state->queue.clear();
                state->queuedBytes = 0;
                tellOwner(state, [error](State& owner) {
                    if (auto failedHandler = owner.handlers.failed)
                        failedHandler(error);
                });
                break;
            }
            if (state->backlogged && state->queuedBytes <= LowWaterBytes) {
                state->backlogged = false;
                tellOwner(state, [](State& owner) {
                    if (auto drained = owner.handlers.drained)
                        drained();
                });
            }
        }
        state->file->closeFile();
        std::function<Error()> lastStep;
        bool runLastStep = false;
        {
            std::lock_guard lock(state->mutex);
            runLastStep = !state->cancelled && !failed && state->finishing;
            if (runLastStep)
                lastStep = std::move(state->lastStep);
        }
        if (runLastStep) {
            Error error = lastStep ? lastStep() : Error();
            tellOwner(state, [error](State& owner) {
                if (auto done = std::move(owner.done))
                    done(error);
            });
        }
        // Told even after a cancel, unlike the other reports.
        if (auto loop = state->loop.lock())
            loop->post([state] {
                if (auto closed = std::move(state->handlers.closed))
                    closed();
            });
    }
};

FileWriter::FileWriter(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

std::shared_ptr<FileWriter> FileWriter::create(const std::string& path, Handlers handlers, Error* error)
{
    auto file = FileHandle::fileHandleForWritingAtPath(path, error);
    if (!file)
        return nullptr;
    return start(std::move(file), std::move(handlers));
}

std::shared_ptr<FileWriter> FileWriter::createAppending(const std::string& path, uint64_t size, Handlers handlers,
    Error* error)
{
    auto file = FileHandle::fileHandleForWritingAtPath(path, error);
    if (!file)
        return nullptr;
    Error seekError;
    const uint64_t end = file->seekToEndOfFile(&seekError);
    if (seekError || end != size) {
        setError(error, seekError ? seekError : Error::posix(EEXIST));
        return nullptr;
    }
    return start(std::move(file), std::move(handlers));
}

std::shared_ptr<FileWriter> FileWriter::start(std::shared_ptr<FileHandle> file, Handlers handlers)
{
    auto state = std::make_shared<State>();
    state->file = std::move(file);
    state->handlers = std::move(handlers);
    state->loop = RunLoop::current().weak_from_this();
    Thread::detach("FileWriter", [state] { State::work(state); });
    return std::shared_ptr<FileWriter>(new FileWriter(state));
}

FileWriter::~FileWriter()
{
    cancel();
}

bool FileWriter::write(Data piece)
{
    if (piece.empty())
        return false;
    std::lock_guard lock(m_state->mutex);
    if (m_state->cancelled || m_state->finishing)
        return false;
    m_state->queuedBytes += piece.size();
    m_state->queue.push_back(std::move(piece));
    if (m_state->queuedBytes > HighWaterBytes)
        m_state->backlogged = true;
    m_state->wake.notify_one();
    return m_state->backlogged;
}

size_t FileWriter::queuedBytes() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->queuedBytes;
}

void FileWriter::finish(std::function<Error()> lastStep, std::function<void(const Error&)> done)
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->cancelled || m_state->finishing)
        return;
    m_state->finishing = true;
    m_state->lastStep = std::move(lastStep);
    m_state->done = std::move(done);
    m_state->wake.notify_one();
}

void FileWriter::cancel()
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->cancelled)
        return;
    m_state->cancelled = true;
    m_state->queue.clear();
    m_state->queuedBytes = 0;
    m_state->wake.notify_one();
}

} // namespace core
