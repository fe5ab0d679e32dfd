// fuzz: tandry_http
// The connection's request framing, driven through a real connection of the
// server over one end of a socket pair. The input's request heads go out
// pipelined, cut at random points; the bodies are made here, by the plain
// rules of framing, and are filled with a request of their own
// ("GET /smuggled"). Whatever the heads say:
//
// - no request is ever performed that a head did not start: not the one in a
//   body, nor the one sent after a head the server had to refuse, after a
//   chunked body (its trailer is never read) or after a 401;
// - the requests performed are the heads sent, in their order, some maybe
//   answered without being performed;
// - a body read in full is exactly the body sent: never longer than its
//   length says, chunked bodies decoded to exactly their data;
// - nothing below "/private" (password protected; no client here can know
//   a nonce's answer) is ever performed;
// - the connection always ends once the client has sent everything.
//
// Input: one byte that seeds the split points, then records divided by 0xFF
// bytes, each one byte that shapes its body (chunk sizes, extensions,
// trailer) and the request head.

#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "HTTP/AsyncSocket.h"
#include "HTTP/HTTPConnection.h"
#include "HTTP/HTTPRequestBodyReader.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Clock.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/HttpMessage.h"

#include <fmt/format.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view Smuggled = "GET /smuggled HTTP/1.1\r\nHost: s\r\n\r\n";
constexpr size_t MaxSentBody = 4096;

struct Performed {
    std::string method;
    std::string target;
    std::string version;
    std::optional<std::string> body;
};

std::vector<Performed>& performed()
{
    static std::vector<Performed> list;
    return list;
}

// A connection that performs GET, HEAD and POST at once (a body left
// unread), reads PUT bodies whole through the connection's body reading (as
// uploads do: chunked ones decoded, the trailer never read) and echoes
// TRACE; everything it performs is written down.
class Probe : public HTTPConnection, public HTTPRequestBodyReader {
public:
    static std::shared_ptr<HTTPConnection> create(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server)
    {
        return make<Probe>(socket, server);
    }

    const std::vector<std::string>& supportedHTTPVersions() const override
    {
        static const std::vector<std::string> versions { "HTTP/1.1", "HTTP/1.0" };
        return versions;
    }
    const std::vector<std::string>& supportedMethods() const override
    {
        static const std::vector<std::string> methods { "GET", "HEAD", "POST", "PUT", "TRACE" };
        return methods;
    }
    bool isPasswordProtected(const core::URL& uri) const override { return uri.path().starts_with("/private"); }
    std::optional<std::string> passwordForUser(const std::string& user) const override
    {
        return user == "user" ? std::optional<std::string>("password") : std::nullopt;
    }

    void performMethod(const std::string& method, const core::URL& uri, long tag) override
    {
        // TRACE needs no password; every other method does.
        FUZZ_CHECK(method == "TRACE" || !isPasswordProtected(uri));
        if (tag != BodyTag)
            performed().push_back({ method, m_request->message().target(), m_request->version(), std::nullopt });
        if (method == "PUT") {
            m_body.clear();
            return readRequestBody(sharedAs<Probe>());
        }
        if (method == "TRACE")
            return performTRACE(uri, tag);
        sendResponseWithStatusCode(200);
    }

    void requestBodyDidRead(std::string_view bytes) override
    {
        FUZZ_CHECK(!bytes.empty());
        m_body.append(bytes);
        const auto& framing = requestBodyFraming();
        FUZZ_CHECK(framing.kind != HTTPBodyFraming::Kind::Length || m_body.size() <= framing.length);
        readRequestBody(sharedAs<Probe>());
    }
    void requestBodyDidEnd() override
    {
        const auto& framing = requestBodyFraming();
        FUZZ_CHECK(framing.kind != HTTPBodyFraming::Kind::Length || m_body.size() == framing.length);
        performed().back().body = m_body;
        sendResponseWithStatusCode(201);
    }
    void requestBodyDidFail() override { sendResponseWithStatusCode(400, std::nullopt, FinalResponseCloseTag); }

private:
    std::string m_body;
};

// How a head delimits its body, by the plain rules: a Transfer-Encoding
// other than chunked alone, or a Content-Length that is not one decimal
// number (or a list of equal ones) up to 2^63 - 1, leaves it in doubt.
struct Framing {
    enum Kind { None, Length, Chunked, Doubtful } kind = None;
    uint64_t length = 0;
};

std::optional<uint64_t> decimal(std::string_view text)
{
    text = core::ascii::trimmed(text);
    if (text.empty())
        return std::nullopt;
    // Leading zeros are digits like any other ("007" is 7).
    while (text.size() > 1 && text.front() == '0')
        text.remove_prefix(1);
    if (text.size() > 19)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
    }
    return value <= uint64_t(INT64_MAX) ? std::optional(value) : std::nullopt;
}

Framing framingOf(const net::HttpMessage& head)
{
    Framing framing;
    if (auto coding = head.header("Transfer-Encoding")) {
        std::string lowered(core::ascii::trimmed(*coding));
        for (char& c : lowered)
            c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
        framing.kind = lowered == "chunked" ? Framing::Chunked : Framing::Doubtful;
        return framing;
    }
    auto length = head.header("Content-Length");
    if (!length)
        return framing;
    std::optional<uint64_t> value;
    std::string_view rest = *length;
    for (;;) {
        const size_t comma = rest.find(',');
        auto element = decimal(rest.substr(0, comma));
        if (!element || (value && *value != *element)) {
            framing.kind = Framing::Doubtful;
            return framing;
        }
        value = element;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    framing.kind = *value > 0 ? Framing::Length : Framing::None;
    framing.length = *value;
    return framing;
}

std::string bodyOfLength(size_t length)
{
    std::string body;
    while (body.size() < length)
        body.append(Smuggled);
    body.resize(length);
    return body;
}

std::string chunked(std::string_view data, uint8_t shape)
{
    std::string body;
    uint32_t state = shape * 2246822519u + 7;
    size_t at = 0;
    while (at < data.size()) {
        state = state * 1103515245u + 12345u;
        const size_t size = std::min<size_t>(data.size() - at, 1 + (state >> 16) % 40);
        body += shape & 1 ? fmt::format("{:X}", size) : fmt::format("{:x}", size);
        if (shape & 2)
            body += " ;name=\"a;b\"";
        body += "\r\n";
        body.append(data.substr(at, size));
        body += "\r\n";
        at += size;
    }
    body += shape & 4 ? "000\r\n" : "0\r\n";
    if (shape & 8)
        body += "Expires: never\r\n";
    body += "\r\n";
    return body;
}

struct Sent {
    std::string bytes;
    struct Request {
        std::string method;
        std::string target;
        std::string version;
        std::optional<std::string> body;
    };
    std::vector<Request> requests;
};

// The bytes to send: each record's head up to its end, with the body its
// framing calls for, until a head that must end the connection.
Sent compose(std::string_view input)
{
    Sent sent;
    while (!input.empty()) {
        const size_t cut = std::min(input.find('\xff'), input.size());
        std::string_view record = input.substr(0, cut);
        input.remove_prefix(std::min(cut + 1, input.size()));
        if (record.empty())
            continue;
        const uint8_t shape = uint8_t(record[0]);
        std::string head(record.substr(1));
        for (size_t found; (found = head.find("smuggled")) != std::string::npos;)
            head.erase(found, 8);

        auto message = net::HttpMessage::emptyRequest();
        const bool accepted = message.appendBytes(head);
        if (!accepted) {
            // Refused as it stands, and the connection with it.
            sent.bytes += head;
            sent.bytes += "\r\n\r\n";
            sent.bytes += Smuggled;
            return sent;
        }
        if (!message.isHeaderComplete()) {
            // The head goes on into whatever comes next: nothing more is sent.
            sent.bytes += head;
            return sent;
        }
        head.resize(head.size() - message.bodyLength());
        sent.bytes += head;
        const Framing framing = framingOf(message);
        Sent::Request request { message.method(), message.target(), message.version(), std::nullopt };
        switch (framing.kind) {
        case Framing::Doubtful:
            sent.bytes += Smuggled;
            sent.requests.push_back(request);
            return sent;
        case Framing::None:
            request.body = std::string();
            sent.requests.push_back(request);
            break;
        case Framing::Length:
            if (framing.length > MaxSentBody) {
                // Only part of it comes: the connection waits for the rest.
                sent.bytes += bodyOfLength(MaxSentBody);
                sent.requests.push_back(request);
                return sent;
            }
            request.body = bodyOfLength(size_t(framing.length));
            sent.bytes += *request.body;
            sent.requests.push_back(request);
            break;
        case Framing::Chunked:
            request.body = bodyOfLength(size_t(shape) * 5);
            sent.bytes += chunked(*request.body, shape);
            sent.bytes += Smuggled;
            sent.requests.push_back(request);
            return sent;
        }
    }
    return sent;
}

struct Setup {
    Setup()
    {
        std::filesystem::create_directories(fuzz::scratchFolder() + "/home");
        core::paths::setHome(fuzz::scratchFolder() + "/home");
        core::RunLoop::setMainThread();
        core::Clock::setCurrent(core::ManualClock::create());
        server = HTTPServer::create(core::URL::fileURL(fuzz::scratchFolder(), true));
        server->setConnectionClass<Probe>();
        listener = AsyncSocket::create(server);
    }
    std::shared_ptr<HTTPServer> server;
    std::shared_ptr<AsyncSocket> listener;
};

void receive(int fd, std::string& received)
{
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count <= 0)
            return;
        received.append(buffer, size_t(count));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    // Kept to the end of the process: the run loop it lives on is never torn down.
    static Setup& setup = *new Setup;
    if (size == 0 || size > 16384)
        return 0;
    uint32_t state = data[0] * 2654435761u + 1;
    const Sent sent = compose(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

    int pair[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0);
    performed().clear();
    setup.listener->acceptConnectedDescriptorForTesting(pair[0]);
    FUZZ_CHECK(setup.server->numberOfHTTPConnections() == 1);

    auto& loop = core::RunLoop::main();
    std::string received;
    std::string_view rest = sent.bytes;
    while (!rest.empty()) {
        state = state * 1103515245u + 12345u;
        const size_t piece = std::min<size_t>(rest.size(), 1 + (state >> 16) % ((state >> 8) % 3 == 0 ? 2048 : 24));
        const ssize_t written = ::send(pair[1], rest.data(), piece, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (written > 0)
            rest.remove_prefix(size_t(written));
        else if (written < 0 && errno != EAGAIN)
            break;
        loop.runOnce(core::RunLoop::DefaultMode, 0);
        loop.runOnce(core::RunLoop::DefaultMode, 0);
        receive(pair[1], received);
    }
    ::shutdown(pair[1], SHUT_WR);
    const bool ended = loop.runUntil([&] {
        receive(pair[1], received);
        return setup.server->numberOfHTTPConnections() == 0;
    }, 10);
    if (!ended)
        std::fprintf(stderr, "the connection outlived its client\n");
    FUZZ_CHECK(ended);
    loop.runUntilIdle();
    ::close(pair[1]);

    // What was performed is what the heads asked, in order: a subsequence
    // of the requests sent, bodies read in full equal to the bodies sent.
    auto matches = [](const Performed& done, const Sent::Request& request) {
        return done.method == request.method && done.target == request.target && done.version == request.version
            && (!done.body || (request.body && *done.body == *request.body));
    };
    size_t next = 0;
    for (const auto& request : performed()) {
        FUZZ_CHECK(request.target.find("smuggled") == std::string::npos);
        while (next < sent.requests.size() && !matches(request, sent.requests[next]))
            ++next;
        FUZZ_CHECK(next < sent.requests.size());
        ++next;
    }
    // Everything the input left scheduled goes, so that each input frees
    // what it allocated and the leak check has nothing to look into.
    HTTPConnection::resetForTesting();
    loop.resetForTesting();
    quiet.clear();
    return 0;
}
