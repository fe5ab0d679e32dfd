#include "Platform/Net/URLConnection.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/CurlMulti.h"
#include "Platform/Net/CurlTransfer.h"
#include "Platform/Net/FakeURLLoad.h"
#include "Platform/Net/FakeURLServer.h"
#include "Platform/Net/URLError.h"
#include "Platform/Net/URLLoadingOptions.h"

#include <algorithm>
#include <fmt/format.h>

namespace net {

struct URLConnection::Private { };

namespace {

// Body bytes that arrive while the delegate has not yet been called join
// the queued piece up to this size, reserved at once so that appending
// never moves them.
constexpr size_t DataEventSize = 256 * 1024;
// Body bytes handed to the delegate in one pass of the run loop: a fast
// transfer's backlog is spread over passes, so that what the delegate does
// per byte never holds the loop for long.
constexpr size_t DataPerPass = 1024 * 1024;

// Whether the pointer was never given an object (as opposed to one that expired).
template<typename T> bool isUnset(const std::weak_ptr<T>& pointer)
{
    const std::weak_ptr<T> empty;
    return !pointer.owner_before(empty) && !empty.owner_before(pointer);
}

} // namespace

URLConnection::URLConnection(const Private&, const core::URLRequest& request,
    std::weak_ptr<URLConnectionDelegate> delegate)
    : m_request(request)
    , m_delegate(std::move(delegate))
    , m_hasDelegate(!isUnset(m_delegate))
    , m_loop(core::RunLoop::current().weak_from_this())
{
}

URLConnection::~URLConnection()
{
    if (m_load)
        m_load->stop();
}

bool URLConnection::canHandleRequest(const core::URLRequest& request)
{
    const std::string scheme = request.url().scheme();
    return core::ascii::equalIgnoringCase(scheme, "http") || core::ascii::equalIgnoringCase(scheme, "https");
}

std::shared_ptr<URLConnection> URLConnection::create(const core::URLRequest& request,
    std::weak_ptr<URLConnectionDelegate> delegate)
{
    auto connection = std::make_shared<URLConnection>(Private {}, request, std::move(delegate));
    const core::URL url = request.url().absoluteURL();
    if (!canHandleRequest(request)) {
        connection->fail(URLError::UnsupportedURL);
        return connection;
    }
    if (url.host().empty()) {
        connection->fail(URLError::BadURL);
        return connection;
    }
    if (auto server = FakeURLServer::serverForURL(url.absoluteString())) {
        auto load = FakeURLLoad::create(*connection, request);
        connection->m_load = load;
        load->start(connection);
        server->accept(load);
        return connection;
    }
    int errorCode = URLError::Unknown;
    auto transfer = CurlTransfer::create(*connection, request, errorCode);
    if (!transfer) {
        connection->fail(errorCode);
        return connection;
    }
    connection->m_load = transfer;
    transfer->start(connection);
    return connection;
}

void URLConnection::cancel()
{
    if (m_cancelled || m_finished)
        return;
    // Stopping the load lets go of the connection's own reference.
    auto self = weak_from_this().lock();
    m_cancelled = true;
    m_events.clear();
    m_queuedDataBytes = 0;
    if (auto load = std::move(m_load))
        load->stop();
}

std::string URLConnection::description() const
{
    return fmt::format("<URLConnection: {}> {{ URL: {} }}", static_cast<const void*>(this),
        m_request.url().absoluteString());
}

void URLConnection::enqueue(URLLoadEvent event)
{
    if (m_cancelled || m_finished)
        return;
    m_events.push_back(std::move(event));
    scheduleDelivery();
}

void URLConnection::appendData(const char* bytes, size_t length)
{
    if (m_cancelled || m_finished || length == 0)
        return;
    m_queuedDataBytes += length;
    if (!m_events.empty() && m_events.back().kind == URLLoadEvent::Kind::Data
        && m_events.back().data.size() + length <= m_events.back().data.capacity()) {
        m_events.back().data.append(bytes, length);
        return;
    }
    URLLoadEvent event(URLLoadEvent::Kind::Data);
    event.data.reserve(std::max(length, DataEventSize));
    event.data.assign(bytes, length);
    enqueue(std::move(event));
}

void URLConnection::fail(int code)
{
    URLLoadEvent event(URLLoadEvent::Kind::Failure);
    event.error = URLError::make(code, m_request.url().absoluteURL());
    enqueue(std::move(event));
}

void URLConnection::resend(URLConnectionDelegate* delegate)
{
    // As many times as curl itself would: each try may take another
    // closed connection from the pool.
    constexpr int MaximumResends = 5;
    auto self = std::static_pointer_cast<URLConnection>(shared_from_this());
    std::optional<core::URLRequest> request;
    if (++m_resends <= MaximumResends)
        request = delegate ? delegate->requestForResending(*this, m_request) : m_request;
    if (m_cancelled)
        return;
    if (!request) {
        fail(URLError::NetworkConnectionLost);
        return;
    }
    m_request = *request;
    int errorCode = URLError::Unknown;
    auto transfer = CurlTransfer::create(*this, m_request, errorCode);
    m_load = transfer;
    if (!transfer) {
        fail(errorCode);
        return;
    }
    transfer->start(self);
}

void URLConnection::scheduleDelivery()
{
    if (m_deliveryScheduled)
        return;
    m_deliveryScheduled = true;
    auto self = std::static_pointer_cast<URLConnection>(shared_from_this());
    if (CurlMulti::deferDelivery(self))
        return;
    if (auto loop = m_loop.lock())
        loop->post([self] {
            self->deliverEvents();
            // Outside curl's steps nothing else lets a transfer that paused
            // for this queue go on.
            CurlMulti::resumePausedTransfers();
        });
}

void URLConnection::resumeDelivery()
{
    if (!m_deliverySuspended)
        return;
    m_deliverySuspended = false;
    if (!m_events.empty())
        scheduleDelivery();
}

void URLConnection::deliverEvents()
{
    // The delegate may drop its last reference to this connection.
    auto self = shared_from_this();
    m_deliveryScheduled = false;
    size_t delivered = 0;
    while (!m_cancelled && !m_deliverySuspended && !m_events.empty()) {
        if (delivered >= DataPerPass) {
            scheduleDelivery();
            return;
        }
        std::shared_ptr<URLConnectionDelegate> delegate;
        if (m_hasDelegate) {
            delegate = m_delegate.lock();
            if (!delegate) {
                cancel();
                return;
            }
        }
        URLLoadEvent event = std::move(m_events.front());
        m_events.pop_front();
        if (event.kind == URLLoadEvent::Kind::Resend) {
            resend(delegate.get());
            continue;
        }
        m_queuedDataBytes -= event.data.size();
        delivered += event.data.size();
        const bool last = event.kind == URLLoadEvent::Kind::Finish || event.kind == URLLoadEvent::Kind::Failure;
        std::shared_ptr<URLLoad> endedLoad;
        if (last) {
            m_finished = true;
            m_events.clear();
            m_queuedDataBytes = 0;
            endedLoad = std::move(m_load);
        }
        if (!delegate)
            continue;
        switch (event.kind) {
        case URLLoadEvent::Kind::Response:
            delegate->didReceiveResponse(*this, *event.response);
            break;
        case URLLoadEvent::Kind::Data:
            delegate->didReceiveData(*this, core::Data(std::move(event.data)));
            break;
        case URLLoadEvent::Kind::SentBody:
            delegate->didSendBodyData(*this, event.written, event.totalWritten, event.totalExpected);
            break;
        case URLLoadEvent::Kind::Finish:
            delegate->didFinishLoading(*this);
            break;
        case URLLoadEvent::Kind::Failure:
            delegate->didFailWithError(*this, event.error);
            break;
        case URLLoadEvent::Kind::Resend:
            break;
        }
    }
}

void URLConnection::setCAFile(std::string path)
{
    URLLoadingOptions::setCAFile(std::move(path));
}

void URLConnection::addRoute(const std::string& hostAndPort, const std::string& address)
{
    URLLoadingOptions::addRoute(hostAndPort, address);
}

void URLConnection::removeAllRoutes()
{
    URLLoadingOptions::removeAllRoutes();
}

void URLConnection::resetForTesting()
{
    CurlMulti::resetCurrent();
    FakeURLServer::removeAll();
    URLLoadingOptions::setCAFile({});
    URLLoadingOptions::removeAllRoutes();
}

} // namespace net
