#include "Platform/Core/SingleInstance.h"

#include "Platform/Core/Descriptor.h"
#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fmt/format.h>
#include <map>
#include <thread>

namespace core {

namespace {

// How long a connection may take to send its whole request.
constexpr double RequestTimeout = 5;

struct Address {
    sockaddr_un address {};
    socklen_t length = 0;
    bool abstract = false;
};

// The socket's file where its path fits an address; else an abstract name
// from the real path of its folder, the same for every process.
Address addressOf(const std::string& path)
{
    Address a;
    a.address.sun_family = AF_UNIX;
    if (path.size() < sizeof a.address.sun_path) {
        std::memcpy(a.address.sun_path, path.data(), path.size());
        a.length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
        return a;
    }
    std::string folder = path.substr(0, path.rfind('/'));
    char real[PATH_MAX];
    if (realpath(folder.c_str(), real))
        folder = real;
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (char c : folder + path.substr(path.rfind('/')))
        hash = (hash ^ uint8_t(c)) * 1099511628211ull;
    std::string name = fmt::format("tandry-instance-{:016x}", hash);
    std::memcpy(a.address.sun_path + 1, name.data(), name.size());
    a.length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    a.abstract = true;
    return a;
}

bool sameUser(int fd)
{
    ucred peer {};
    socklen_t length = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid();
}

// NUL-ended parts; nothing when the text is not whole or too many.
std::optional<SingleInstance::Request> parse(const std::string& text)
{
    SingleInstance::Request parts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos || parts.size() == SingleInstance::MaximumRequestParts)
            return std::nullopt;
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

struct SingleInstance::Impl {
    Descriptor lock;
    std::string socketPath;
    Descriptor listener;
    bool madeFile = false;
    std::shared_ptr<DescriptorSource> accepting;
    std::function<void(Request, Reply)> handler;

    struct Connection {
        Descriptor fd;
        std::string received;
        std::shared_ptr<DescriptorSource> source;
        std::shared_ptr<Timer> deadline;
    };
    std::map<uint64_t, std::shared_ptr<Connection>> connections;
    uint64_t nextId = 0;
    // Replies that outlive the owner find nothing to answer.
    std::shared_ptr<Impl*> alive = std::make_shared<Impl*>(this);

    void drop(uint64_t id)
    {
        auto found = connections.find(id);
        if (found == connections.end())
            return;
        auto connection = found->second;
        connections.erase(found);
        if (connection->source)
            connection->source->remove();
        if (connection->deadline)
            connection->deadline->invalidate();
    }

    void accept()
    {
        for (;;) {
            Descriptor fd(accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
            if (!fd.isValid())
                return;
            if (!sameUser(fd.get()))
                continue;
            auto connection = std::make_shared<Connection>();
            connection->fd = std::move(fd);
            uint64_t id = nextId++;
            std::weak_ptr<Impl*> weak = alive;
            connection->source = RunLoop::main().addSource(connection->fd.get(), DescriptorSource::Read,
                [weak, id](DescriptorSource&, unsigned) {
                    if (auto self = weak.lock())
                        (*self)->read(id);
                });
            connection->deadline = RunLoop::main().schedule(RequestTimeout, false, [weak, id](Timer&) {
                if (auto self = weak.lock())
                    (*self)->drop(id);
            });
            connections[id] = std::move(connection);
        }
    }

    void read(uint64_t id)
    {
        auto found = connections.find(id);
        if (found == connections.end())
            return;
        auto connection = found->second;
        char buffer[4096];
        ssize_t count = recv(connection->fd.get(), buffer, sizeof buffer, 0);
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (count > 0) {
            if (connection->received.size() + size_t(count) > MaximumRequestBytes) {
                core::log("Warning, a request to the running program was too long: dropped");
                drop(id);
                return;
            }
            connection->received.append(buffer, size_t(count));
            return;
        }
        // The sender ended its request (or failed).
        connection->source->remove();
        connection->source.reset();
        connection->deadline->invalidate();
        auto request = count == 0 ? parse(connection->received) : std::nullopt;
        if (!request) {
            drop(id);
            return;
        }
        std::weak_ptr<Impl*> weak = alive;
        handler(std::move(*request), [weak, id](int status) {
            auto self = weak.lock();
            if (!self)
                return;
            auto found = (*self)->connections.find(id);
            if (found == (*self)->connections.end())
                return;
            char byte = char(status);
            ssize_t sent = send(found->second->fd.get(), &byte, 1, MSG_NOSIGNAL);
            (void)sent;
            (*self)->drop(id);
        });
    }
};

SingleInstance::Taken SingleInstance::acquire(const std::string& lockPath, const std::string& socketPath)
{
    Descriptor fd(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.isValid())
        return { nullptr, "?" };
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        char holder[32] = {};
        ssize_t length = pread(fd.get(), holder, sizeof holder - 1, 0);
        std::string pid(holder, length > 0 ? size_t(length) : 0);
        while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' '))
            pid.pop_back();
        return { nullptr, pid.empty() ? std::string("?") : pid };
    }
    const auto text = std::to_string(getpid()) + "\n";
    if (ftruncate(fd.get(), 0) != 0 || pwrite(fd.get(), text.data(), text.size(), 0) != ssize_t(text.size()))
        core::log("Warning, cannot note the process in {}", lockPath);
    auto impl = std::make_unique<Impl>();
    impl->lock = std::move(fd);
    impl->socketPath = socketPath;
    return { std::unique_ptr<SingleInstance>(new SingleInstance(std::move(impl))), {} };
}

SingleInstance::SingleInstance(std::unique_ptr<Impl> impl)
    : m(std::move(impl))
{
}

SingleInstance::~SingleInstance()
{
    for (auto& [id, connection] : std::map(m->connections))
        m->drop(id);
    if (m->accepting)
        m->accepting->remove();
    m->listener.reset();
    // The file goes while the lock is still held: the next owner makes its own.
    if (m->madeFile)
        unlink(m->socketPath.c_str());
}

bool SingleInstance::listen(std::function<void(Request, Reply)> handler)
{
    Address address = addressOf(m->socketPath);
    // Whoever made a file there before is gone: the lock is ours.
    if (!address.abstract)
        unlink(m->socketPath.c_str());
    Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.isValid() || bind(fd.get(), reinterpret_cast<sockaddr*>(&address.address), address.length) != 0
        || ::listen(fd.get(), 8) != 0) {
        core::log("Warning, later launches cannot reach this one at {}: {}", m->socketPath, std::strerror(errno));
        return false;
    }
    if (!address.abstract) {
        m->madeFile = true;
        chmod(m->socketPath.c_str(), 0600);
    }
    m->listener = std::move(fd);
    m->handler = std::move(handler);
    std::weak_ptr<Impl*> weak = m->alive;
    m->accepting = RunLoop::main().addSource(m->listener.get(), DescriptorSource::Read, [weak](DescriptorSource&, unsigned) {
        if (auto self = weak.lock())
            (*self)->accept();
    });
    return true;
}

std::optional<int> SingleInstance::forward(const std::string& socketPath, const Request& request, double timeout)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    auto left = [&] {
        return int(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    };
    Address address = addressOf(socketPath);
    Descriptor fd;
    for (;;) {
        fd.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd.isValid())
            return std::nullopt;
        if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address.address), address.length) == 0)
            break;
        // The owner may not listen yet.
        if ((errno != ECONNREFUSED && errno != ENOENT) || left() == 0)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(50, left())));
    }
    std::string text;
    for (const auto& part : request)
        text += part + '\0';
    for (size_t sent = 0; sent < text.size();) {
        ssize_t count = send(fd.get(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::nullopt;
        sent += size_t(count);
    }
    shutdown(fd.get(), SHUT_WR);
    for (;;) {
        pollfd ready { fd.get(), POLLIN, 0 };
        int polled = poll(&ready, 1, left());
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return std::nullopt;
        unsigned char status = 0;
        ssize_t count = recv(fd.get(), &status, 1, 0);
        if (count < 0 && errno == EINTR)
            continue;
        return count == 1 ? std::optional<int>(status) : std::nullopt;
    }
}

} // namespace core
