#include "Platform/Web/LoadTimeout.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Net/URLError.h"

#include <cmath>

namespace web {

LoadTimeout::LoadTimeout(std::function<void(const core::Error&)> expired)
    : m_expired(std::move(expired))
{
}

LoadTimeout::~LoadTimeout()
{
    stop();
}

void LoadTimeout::start(const core::URLRequest& request, std::string address)
{
    stop();
    const double interval = request.timeoutInterval();
    if (!(interval > 0) || !std::isfinite(interval))
        return;
    m_address = std::move(address);
    // The timer is ours alone and invalidated before this object goes.
    m_timer = core::RunLoop::main().schedule(interval, false, [this, url = request.url()](core::Timer&) {
        m_timer.reset();
        m_address.clear();
        m_expired(net::URLError::make(net::URLError::TimedOut, url));
    });
}

void LoadTimeout::loadStarted(const std::string& address)
{
    if (m_timer && address != m_address)
        stop();
}

void LoadTimeout::stop()
{
    if (auto timer = std::exchange(m_timer, nullptr))
        timer->invalidate();
    m_address.clear();
}

} // namespace web
