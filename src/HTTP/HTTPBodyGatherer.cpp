#include "HTTP/HTTPBodyGatherer.h"

#include "HTTP/HTTPConnection.h"
#include "Platform/Core/Assert.h"

#include <utility>

HTTPBodyGatherer::HTTPBodyGatherer(HTTPConnection& connection, uint64_t limit, std::function<void()> then)
    : m_connection(connection), m_limit(limit), m_then(std::move(then))
{
}

void HTTPBodyGatherer::requestBodyDidRead(std::string_view bytes)
{
    // The connection cuts a body to the length its head announced, which
    // the method held to the limit before it asked; only a chunked body
    // can pass it, and is refused once it does.
    if (m_body.size() + bytes.size() > m_limit) {
        TANDRY_ASSERT(m_connection.requestBodyFraming().kind == HTTPBodyFraming::Kind::Chunked);
        m_then = nullptr;
        m_body.clear();
        m_connection.sendResponseWithStatusCode(413, std::nullopt, HTTPConnection::FinalResponseCloseTag);
        return;
    }
    m_body.append(bytes);
    m_connection.readRequestBody(shared_from_this());
}

void HTTPBodyGatherer::requestBodyDidEnd()
{
    auto keep = shared_from_this();
    TANDRY_ASSERT(m_then && m_connection.request());
    m_connection.request()->message().setBody(std::exchange(m_body, std::string()));
    std::exchange(m_then, nullptr)();
}

void HTTPBodyGatherer::requestBodyDidFail()
{
    m_then = nullptr;
    m_body.clear();
    m_connection.sendResponseWithStatusCode(400, std::nullopt, HTTPConnection::FinalResponseCloseTag);
}
