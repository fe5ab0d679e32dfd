#include "Platform/Net/FakeURLLoad.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"

namespace net {

struct FakeURLLoad::Private { };

std::shared_ptr<FakeURLLoad> FakeURLLoad::create(URLConnection& connection, core::URLRequest request)
{
    return std::make_shared<FakeURLLoad>(Private {}, connection, std::move(request));
}

FakeURLLoad::FakeURLLoad(const Private&, URLConnection& connection, core::URLRequest request)
    : m_request(std::move(request))
    , m_connection(&connection)
{
}

std::string FakeURLLoad::requestBody() const
{
    if (m_request.bodyFilePath().empty())
        return m_request.body().toString();
    core::Data contents;
    if (!core::fs::readFile(m_request.bodyFilePath(), contents))
        return {};
    return contents.toString();
}

URLConnection* FakeURLLoad::connection() const
{
    return m_cancelled || m_ended ? nullptr : m_connection;
}

void FakeURLLoad::sendBodyProgress(int64_t written, int64_t totalWritten, int64_t totalExpected)
{
    if (auto* target = connection()) {
        URLLoadEvent event(URLLoadEvent::Kind::SentBody);
        event.written = written;
        event.totalWritten = totalWritten;
        event.totalExpected = totalExpected;
        target->enqueue(std::move(event));
    }
}

void FakeURLLoad::respond(int status, core::HeaderFields headers)
{
    if (auto* target = connection()) {
        URLLoadEvent event(URLLoadEvent::Kind::Response);
        event.response.emplace(m_request.url().absoluteURL(), status, std::move(headers), "application/octet-stream");
        target->enqueue(std::move(event));
    }
}

void FakeURLLoad::send(std::string_view bytes)
{
    if (auto* target = connection())
        target->appendData(bytes.data(), bytes.size());
}

void FakeURLLoad::finish()
{
    if (auto* target = connection()) {
        target->enqueue(URLLoadEvent(URLLoadEvent::Kind::Finish));
        m_ended = true;
        m_keepAlive.reset();
    }
}

void FakeURLLoad::fail(int code)
{
    if (auto* target = connection()) {
        URLLoadEvent event(URLLoadEvent::Kind::Failure);
        event.error = URLError::make(code, m_request.url().absoluteURL());
        target->enqueue(std::move(event));
        m_ended = true;
        m_keepAlive.reset();
    }
}

void FakeURLLoad::start(const std::shared_ptr<URLConnection>& connection)
{
    m_keepAlive = connection;
}

void FakeURLLoad::stop()
{
    m_cancelled = !m_ended;
    m_connection = nullptr;
    m_keepAlive.reset();
}

void FakeURLLoad::cancelConnection()
{
    if (auto keep = m_keepAlive)
        keep->cancel();
    stop();
}

} // namespace net
