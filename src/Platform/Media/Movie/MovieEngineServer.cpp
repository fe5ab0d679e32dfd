#include "Platform/Media/Movie/MovieEngineServer.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Media/Movie/GStreamerMovieEngine.h"
#include "Platform/Media/Movie/MovieEngineWire.h"

#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace media {

namespace {

// How often the position goes to the program between frames (a movie of
// sound alone has none).
constexpr double StatusInterval = 0.25;

class Server : public MovieEngineClient {
public:
    Server() { m_engine = std::make_unique<GStreamerMovieEngine>(); }
    ~Server() override
    {
        if (m_file >= 0)
            ::close(m_file);
        if (m_mapped)
            ::munmap(m_mapped, m_mappedSize);
    }

    void serve()
    {
        auto& loop = core::RunLoop::main();
        m_source = loop.addSource(MovieEngineServer::SocketDescriptor, core::DescriptorSource::Read,
            [this](core::DescriptorSource&, unsigned) { readCommand(); });
        m_status = loop.schedule(StatusInterval, true, [this](core::Timer&) { sendStatus(); });
        loop.run();
    }

    void movieEngineDidPreroll(double duration, int mediaTypes) override
    {
        wire::Message message { .kind = wire::Kind::Prerolled };
        message.number = duration;
        message.types = uint32_t(mediaTypes);
        message.flags = m_engine->hasSoundOutput() ? wire::SoundOutput : 0;
        say(message);
    }
    void movieEngineDidPresentFrame(const std::shared_ptr<gfx::Image>& frame) override
    {
        // One frame at a time in the shared file: a newer one waits for
        // the program to take the last, replacing any that waited.
        if (m_frameOut) {
            if (m_waiting)
                ++m_dropped;
            m_waiting = frame;
            return;
        }
        sendFrame(*frame);
    }
    void movieEngineDidReachEnd() override { say({ .kind = wire::Kind::ReachedEnd }); }
    void movieEngineDidFail(const std::string& text) override { say({ .kind = wire::Kind::Failed }, text); }

private:
    void say(const wire::Message& message, std::string_view text = {})
    {
        if (!wire::send(MovieEngineServer::SocketDescriptor, message, text))
            end();
    }
    // The program went: nothing is left to do or keep.
    [[noreturn]] void end() { ::_exit(0); }

    void readCommand()
    {
        auto received = wire::receive(MovieEngineServer::SocketDescriptor);
        if (!received)
            end();
        const auto& message = received->message;
        switch (message.kind) {
        case wire::Kind::Open:
            // The file the program opened, by its descriptor: this
            // process names no path of the program's.
            if (received->descriptor < 0)
                end();
            m_file = std::exchange(received->descriptor, -1);
            m_engine->open("/proc/self/fd/" + std::to_string(m_file), this);
            break;
        case wire::Kind::Play:
            m_engine->play();
            break;
        case wire::Kind::Pause:
            m_engine->pause();
            break;
        case wire::Kind::Stop:
            m_engine->stop();
            break;
        case wire::Kind::Seek:
            m_engine->seek(message.number);
            break;
        case wire::Kind::MaximumFrameSize:
            m_engine->setMaximumFrameSize(gfx::Size(float(message.width), float(message.height)));
            break;
        case wire::Kind::FrameTaken:
            m_frameOut = false;
            if (auto waiting = std::move(m_waiting))
                sendFrame(*waiting);
            break;
        default:
            end();
        }
    }

    void sendFrame(const gfx::Image& frame)
    {
        const int width = frame.pixelWidth(), height = frame.pixelHeight();
        const size_t stride = size_t(width) * 4, size = stride * size_t(height);
        if (!ensureMapped(size))
            return movieEngineDidFail("no memory for the frame");
        if (!frame.copyPixels(static_cast<uint8_t*>(m_mapped), stride))
            return;
        wire::Message message { .kind = wire::Kind::Frame, .width = width, .height = height };
        message.stride = stride;
        message.dropped = dropped();
        message.number = m_engine->position();
        m_frameOut = true;
        say(message);
    }

    bool ensureMapped(size_t size)
    {
        if (size <= m_mappedSize)
            return true;
        if (m_mapped)
            ::munmap(m_mapped, m_mappedSize);
        m_mapped = nullptr;
        m_mappedSize = 0;
        if (::ftruncate(MovieEngineServer::FramesDescriptor, off_t(size)) != 0)
            return false;
        void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, MovieEngineServer::FramesDescriptor, 0);
        if (mapped == MAP_FAILED)
            return false;
        m_mapped = mapped;
        m_mappedSize = size;
        return true;
    }

    void sendStatus()
    {
        double position = m_engine->position();
        uint64_t dropped = this->dropped();
        if (position == m_lastPosition && dropped == m_lastDropped)
            return;
        m_lastPosition = position;
        m_lastDropped = dropped;
        wire::Message message { .kind = wire::Kind::Status };
        message.number = position;
        message.dropped = dropped;
        say(message);
    }

    uint64_t dropped() const { return m_engine->droppedFrames() + m_dropped; }

    std::unique_ptr<GStreamerMovieEngine> m_engine;
    std::shared_ptr<core::DescriptorSource> m_source;
    std::shared_ptr<core::Timer> m_status;
    void* m_mapped = nullptr;
    size_t m_mappedSize = 0;
    bool m_frameOut = false;
    std::shared_ptr<gfx::Image> m_waiting;
    int m_file = -1;
    uint64_t m_dropped = 0;
    double m_lastPosition = -2;
    uint64_t m_lastDropped = 0;
};

} // namespace

int MovieEngineServer::run(int argc, char** argv)
{
    // Ends with the program, however the program ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return 1;
    struct stat socket, frames;
    if (::fstat(SocketDescriptor, &socket) != 0 || !S_ISSOCK(socket.st_mode) || ::fstat(FramesDescriptor, &frames) != 0
        || !S_ISREG(frames.st_mode))
        return 2;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == SilentArgument)
            GStreamerMovieEngine::setSilent(true);
        else if (argument == UnsynchronizedArgument)
            GStreamerMovieEngine::setUnsynchronized(true);
    }
    core::RunLoop::setMainThread();
    Server server;
    server.serve();
    return 0;
}

} // namespace media
