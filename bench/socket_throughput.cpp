// bench: tandry_http
// Loopback transfers through the run-loop socket against a plain blocking
// send/recv loop in the same binary: 256 MiB written in 131,072-byte writes,
// and read through 524,288-byte length reads, should each reach 80% of the
// plain loop (the medians of nine turns in which the three take turns).
// Also: the heap an idle connected socket holds (1 KiB or less
// over 1,000 sockets), and what one idle pass of the loop costs with 1,000
// quiet sockets on it.
#include "HTTP/AsyncSocket.h"
#include "Platform/Core/RunLoop.h"

#include "../PeerTiming.h"
#include "Report.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t Total = size_t(256) << 20;
constexpr size_t WriteSize = 131072;
constexpr size_t ReadSize = 524288;

struct Server : AsyncSocketDelegate {
    std::vector<std::shared_ptr<AsyncSocket>> accepted;
    uint64_t received = 0;
    uint64_t written = 0;
    void onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>& socket) override
    {
        accepted.push_back(socket);
    }
    void onSocketDidReadData(AsyncSocket& socket, const core::Data& data, long) override
    {
        received += data.size();
        if (received < Total)
            socket.readDataToLength(std::min<uint64_t>(ReadSize, Total - received), 60, 1);
    }
    void onSocketDidWriteDataWithTag(AsyncSocket&, long) override { written += WriteSize; }
};

int connectTo(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    return fd;
}

void sendAll(int fd, size_t total, size_t piece)
{
    std::vector<char> buffer(piece, 's');
    for (size_t done = 0; done < total;) {
        const ssize_t count = send(fd, buffer.data(), std::min(piece, total - done), MSG_NOSIGNAL);
        if (count <= 0)
            return;
        done += static_cast<size_t>(count);
    }
}

// The bytes received, `total` unless the peer stopped short.
size_t receiveAll(int fd, size_t total, size_t piece)
{
    std::vector<char> buffer(piece);
    size_t done = 0;
    while (done < total) {
        const ssize_t count = recv(fd, buffer.data(), std::min(piece, total - done), 0);
        if (count <= 0)
            break;
        done += static_cast<size_t>(count);
    }
    return done;
}

struct Fixture {
    std::shared_ptr<Server> server = std::make_shared<Server>();
    std::shared_ptr<AsyncSocket> listener = AsyncSocket::create(server);
    uint16_t port = 0;
    Fixture()
    {
        listener->acceptOnPort(0);
        port = listener->localPort();
    }
    ~Fixture()
    {
        for (auto& socket : server->accepted)
            socket->disconnect();
        listener->disconnect();
        core::RunLoop::current().runOnce();
    }
    std::shared_ptr<AsyncSocket> accept(int& peer)
    {
        peer = connectTo(port);
        const size_t before = server->accepted.size();
        while (server->accepted.size() == before || !server->accepted.back()->isConnected())
            core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 1);
        return server->accepted.back();
    }
};

// One transfer each way of timing it, in seconds; each checks that every
// byte arrived (a short transfer would time nothing).
double plainBlockingLoop(Fixture& fixture)
{
    int peer = -1;
    auto socket = fixture.accept(peer);
    const int fd = dup(socket->getCFSocket());
    socket->disconnect();
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    size_t received = 0;
    double seconds = bench::seconds([&] {
        std::thread receiver([peer, &received] { received = receiveAll(peer, Total, ReadSize); });
        sendAll(fd, Total, WriteSize);
        receiver.join();
    });
    close(fd);
    close(peer);
    if (received != Total)
        bench::wrongAnswer(fmt::format("the plain loop moved {} bytes of {}", received, Total));
    return seconds;
}

double asyncSocketWrites(Fixture& fixture)
{
    const core::Data piece(std::string(WriteSize, 'w'));
    int peer = -1;
    auto socket = fixture.accept(peer);
    fixture.server->written = 0;
    size_t received = 0;
    double seconds = bench::seconds([&] {
        std::thread receiver([peer, &received] { received = receiveAll(peer, Total, ReadSize); });
        for (size_t queued = 0; queued < Total; queued += WriteSize)
            socket->writeData(piece, 60, 1);
        while (fixture.server->written < Total)
            core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 1);
        receiver.join();
    });
    socket->disconnect();
    close(peer);
    if (received != Total)
        bench::wrongAnswer(fmt::format("the socket's writes delivered {} bytes of {}", received, Total));
    return seconds;
}

double asyncSocketLengthReads(Fixture& fixture)
{
    int peer = -1;
    auto socket = fixture.accept(peer);
    fixture.server->received = 0;
    double seconds = bench::seconds([&] {
        std::thread sender([peer] { sendAll(peer, Total, WriteSize); });
        socket->readDataToLength(ReadSize, 60, 1);
        while (fixture.server->received < Total)
            core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 1);
        sender.join();
    });
    socket->disconnect();
    close(peer);
    if (fixture.server->received != Total)
        bench::wrongAnswer(fmt::format("the socket's reads took {} bytes of {}", fixture.server->received, Total));
    return seconds;
}

// The three take turns, each turn starting with the next of them, and the
// medians are compared: one loopback transfer of 256 MiB swings by a
// quarter from one to the next with how the two threads fall on the CPUs,
// so one of each, run one kind after the other, compared nothing steady.
void loopbackTransfers(benchmark::State& state)
{
    constexpr int Turns = 9;
    Fixture fixture;
    std::vector<double> plain, writes, reads;
    for (auto _ : state) {
        for (int turn = 0; turn < Turns; ++turn) {
            for (int k = 0; k < 3; ++k) {
                switch ((turn + k) % 3) {
                case 0: plain.push_back(plainBlockingLoop(fixture)); break;
                case 1: writes.push_back(asyncSocketWrites(fixture)); break;
                default: reads.push_back(asyncSocketLengthReads(fixture)); break;
                }
            }
        }
    }
    state.counters["plain_ms"] = bench::median(plain) * 1e3;
    state.counters["writes_ms"] = bench::median(writes) * 1e3;
    state.counters["reads_ms"] = bench::median(reads) * 1e3;
}
BENCHMARK(loopbackTransfers)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void raiseDescriptorLimit()
{
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 8192);
    setrlimit(RLIMIT_NOFILE, &limit);
}

// Heap held by 1,000 accepted, connected, idle sockets (with their streams,
// run-loop sources and time-out observations), per socket.
void idleSocketMemory(benchmark::State& state)
{
    raiseDescriptorLimit();
    const size_t count = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        Fixture fixture;
        fixture.server->accepted.reserve(count + 1);
        std::vector<int> peers;
        int warm = -1;
        fixture.accept(warm);
        for (int i = 0; i < 5; ++i)
            core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 0.01);
        const size_t before = mallinfo2().uordblks;
        // A few at a time: the listen backlog holds 128.
        for (size_t i = 0; i < count; ++i) {
            peers.push_back(connectTo(fixture.port));
            if (i % 64 == 63)
                core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 0.01);
        }
        while (fixture.server->accepted.size() < count + 1 || !fixture.server->accepted.back()->isConnected())
            core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 0.1);
        for (int i = 0; i < 5; ++i)
            core::RunLoop::current().runOnce(core::RunLoop::DefaultMode, 0.01);
        const size_t after = mallinfo2().uordblks;
        state.counters["heap_bytes_per_socket"] = static_cast<double>(after - before) / static_cast<double>(count);

        // One idle pass (a timer or a wake-up with no descriptor ready).
        const int rounds = 200;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i) {
            core::RunLoop::current().wakeUp();
            core::RunLoop::current().runOnce();
        }
        const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
        state.counters["idle_pass_us"] = spent.count() / rounds;
        for (int fd : peers)
            close(fd);
        close(warm);
    }
}
BENCHMARK(idleSocketMemory)->Arg(10)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    const double plain = bench::runCounter("loopbackTransfers", "plain_ms");
    const double writes = bench::runCounter("loopbackTransfers", "writes_ms");
    const double reads = bench::runCounter("loopbackTransfers", "reads_ms");
    bench::atLeast("run-loop socket writes / plain blocking loop", plain / writes, 0.8, "x",
        fmt::format("256 MiB in 128 KiB writes, medians of 9 turns: {:.0f} ms, the plain loop {:.0f} ms", writes, plain));
    bench::atLeast("run-loop socket length reads / plain blocking loop", plain / reads, 0.8, "x",
        fmt::format("in 512 KiB reads: {:.0f} ms", reads));
    bench::atMost("heap per idle socket, 1,000 sockets", bench::runCounter("idleSocketMemory/1000", "heap_bytes_per_socket"),
        1024, "bytes");
    bench::figure("an idle pass with 1,000 quiet sockets", bench::runCounter("idleSocketMemory/1000", "idle_pass_us"), "µs");
});

} // namespace
