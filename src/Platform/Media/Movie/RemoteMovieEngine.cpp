#include "Platform/Media/Movie/RemoteMovieEngine.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Process.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Media/Movie/GStreamerMovieEngine.h"
#include "Platform/Media/Movie/MovieEngineServer.h"
#include "Platform/Media/Movie/MovieEngineWire.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace media {

// The running process and what it last said; shared with the socket's
// callback, which finds no client once the engine is gone.
struct RemoteMovieEngine::Connection : std::enable_shared_from_this<Connection> {
    MovieEngineClient* client = nullptr;
    std::unique_ptr<core::Process> process;
    int socket = -1;
    int frames = -1;
    std::shared_ptr<core::DescriptorSource> source;
    void* mapped = nullptr;
    size_t mappedSize = 0;
    bool failed = false;
    bool prerolled = false;
    bool wantsPlaying = false;
    wire::Message maximumSize;
    bool soundOutput = true;
    double position = -1;
    uint64_t presented = 0;
    uint64_t dropped = 0;

    ~Connection() { close(); }

    void close()
    {
        if (source)
            source->remove();
        source = nullptr;
        // Killed at once: it holds nothing of the user's.
        process = nullptr;
        for (int* descriptor : { &socket, &frames }) {
            if (*descriptor >= 0)
                ::close(*descriptor);
            *descriptor = -1;
        }
        if (mapped)
            ::munmap(mapped, mappedSize);
        mapped = nullptr;
        mappedSize = 0;
    }

    bool start(const std::string& program)
    {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
            return false;
        socket = pair[0];
        frames = ::memfd_create("tandry-movie-frames", MFD_CLOEXEC);
        std::vector<std::string> arguments;
        if (GStreamerMovieEngine::isSilent())
            arguments.push_back(MovieEngineServer::SilentArgument);
        if (GStreamerMovieEngine::isUnsynchronized())
            arguments.push_back(MovieEngineServer::UnsynchronizedArgument);
        core::Error error;
        if (frames >= 0)
            process = core::Process::start(program, arguments, {}, &error, { pair[1], frames });
        ::close(pair[1]);
        if (!process) {
            core::log("The movie process did not start: {}", error.localizedDescription());
            return false;
        }
        source = core::RunLoop::main().addSource(socket, core::DescriptorSource::Read,
            [weak = weak_from_this()](core::DescriptorSource&, unsigned) {
                if (auto connection = weak.lock())
                    connection->read();
            });
        return true;
    }

    // Nothing before the process runs: what the process must know then
    // goes with the file's opening.
    void send(wire::Kind kind, const wire::Message& message = {}, std::string_view text = {}, int descriptor = -1)
    {
        if (failed || socket < 0)
            return;
        wire::Message out = message;
        out.kind = kind;
        if (!wire::send(socket, out, text, descriptor))
            fail("the movie process ended");
    }

    void fail(const std::string& message)
    {
        if (failed)
            return;
        failed = true;
        core::log("Movie playback failed: {}", message);
        close();
        if (client)
            client->movieEngineDidFail(message);
    }

    void read()
    {
        auto received = wire::receive(socket);
        if (!received)
            return fail("the movie process ended");
        const auto& message = received->message;
        switch (message.kind) {
        case wire::Kind::Prerolled:
            prerolled = true;
            soundOutput = message.flags & wire::SoundOutput;
            if (client)
                client->movieEngineDidPreroll(std::isfinite(message.number) ? std::max(0.0, message.number) : 0,
                    int(message.types & (MovieMediaTypeVideo | MovieMediaTypeAudio)));
            break;
        case wire::Kind::Frame:
            takeFrame(message);
            break;
        case wire::Kind::Status:
            position = message.number;
            dropped = message.dropped;
            break;
        case wire::Kind::ReachedEnd:
            if (client)
                client->movieEngineDidReachEnd();
            break;
        case wire::Kind::Failed:
            fail(received->text);
            break;
        default:
            fail("the movie process said what it cannot");
        }
    }

    // The frame the process left in the shared file, checked against the
    // file's size before a byte of it is read.
    void takeFrame(const wire::Message& message)
    {
        const int width = message.width, height = message.height;
        if (width <= 0 || height <= 0 || width > wire::MaximumFrameSide || height > wire::MaximumFrameSide
            || message.stride < uint64_t(width) * 4 || message.stride > uint64_t(wire::MaximumFrameSide) * 4)
            return fail("the movie process sent a frame it cannot have");
        const size_t size = size_t(message.stride) * size_t(height);
        struct stat info;
        if (::fstat(frames, &info) != 0 || uint64_t(info.st_size) < size)
            return fail("the movie process sent a frame it cannot have");
        if (mappedSize < size_t(info.st_size)) {
            if (mapped)
                ::munmap(mapped, mappedSize);
            mappedSize = size_t(info.st_size);
            mapped = ::mmap(nullptr, mappedSize, PROT_READ, MAP_SHARED, frames, 0);
            if (mapped == MAP_FAILED) {
                mapped = nullptr;
                mappedSize = 0;
                return fail("the movie's frames cannot be read");
            }
        }
        auto frame = gfx::Image::imageWithOpaquePixels(width, height, size_t(message.stride),
            static_cast<const uint8_t*>(mapped));
        position = message.number;
        dropped = message.dropped;
        send(wire::Kind::FrameTaken);
        if (!frame || failed)
            return;
        ++presented;
        if (client)
            client->movieEngineDidPresentFrame(frame);
    }
};

RemoteMovieEngine::RemoteMovieEngine(std::string program)
    : m_program(std::move(program))
    , m_connection(std::make_shared<Connection>())
{
}

RemoteMovieEngine::~RemoteMovieEngine()
{
    m_connection->client = nullptr;
    m_connection->close();
}

void RemoteMovieEngine::open(const std::string& path, MovieEngineClient* client)
{
    auto& connection = *m_connection;
    connection.client = client;
    if (connection.socket >= 0 || connection.failed)
        return;
    if (!connection.start(m_program)) {
        core::RunLoop::main().post([weak = std::weak_ptr<Connection>(m_connection)] {
            if (auto connection = weak.lock())
                connection->fail("the movie process did not start");
        });
        return;
    }
    // The process gets the file, not its name: a path of /proc/self/fd
    // would name another file there.
    int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        core::RunLoop::main().post([weak = std::weak_ptr<Connection>(m_connection)] {
            if (auto connection = weak.lock())
                connection->fail("the file cannot be opened");
        });
        return;
    }
    connection.send(wire::Kind::MaximumFrameSize, connection.maximumSize);
    connection.send(wire::Kind::Open, {}, {}, file);
    ::close(file);
    // As GStreamer's engine does, a play asked for before the file is open
    // starts it once it is.
    if (connection.wantsPlaying)
        connection.send(wire::Kind::Play);
}

void RemoteMovieEngine::play()
{
    m_connection->wantsPlaying = true;
    m_connection->send(wire::Kind::Play);
}

void RemoteMovieEngine::pause()
{
    m_connection->wantsPlaying = false;
    m_connection->send(wire::Kind::Pause);
}

void RemoteMovieEngine::stop()
{
    m_connection->wantsPlaying = false;
    if (m_connection->prerolled)
        m_connection->position = 0;
    m_connection->send(wire::Kind::Stop);
}

void RemoteMovieEngine::seek(double seconds)
{
    if (!m_connection->prerolled || !std::isfinite(seconds))
        return;
    m_connection->position = std::max(0.0, seconds);
    m_connection->send(wire::Kind::Seek, { .number = seconds });
}

double RemoteMovieEngine::position() const
{
    return m_connection->prerolled && !m_connection->failed ? m_connection->position : -1;
}

void RemoteMovieEngine::setMaximumFrameSize(gfx::Size pixels)
{
    auto& size = m_connection->maximumSize;
    size.width = int32_t(std::clamp(pixels.width, 0.0f, float(wire::MaximumFrameSide)));
    size.height = int32_t(std::clamp(pixels.height, 0.0f, float(wire::MaximumFrameSide)));
    m_connection->send(wire::Kind::MaximumFrameSize, size);
}

uint64_t RemoteMovieEngine::presentedFrames() const
{
    return m_connection->presented;
}

uint64_t RemoteMovieEngine::droppedFrames() const
{
    return m_connection->dropped;
}

bool RemoteMovieEngine::hasSoundOutput() const
{
    return m_connection->soundOutput;
}

} // namespace media
