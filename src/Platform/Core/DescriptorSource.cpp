#include "Platform/Core/DescriptorSource.h"

#include "Platform/Core/RunLoop.h"

namespace core {

DescriptorSource::DescriptorSource(const Private&, std::weak_ptr<RunLoop> loop, int fd, unsigned interest,
    std::string mode, Callback callback)
    : m_loop(std::move(loop))
    , m_fd(fd)
    , m_interest(interest)
    , m_mode(std::move(mode))
    , m_callback(std::make_shared<Callback>(std::move(callback)))
{
}

void DescriptorSource::setInterest(unsigned interest)
{
    interest &= Read | Write;
    if (!m_active || interest == m_interest)
        return;
    auto loop = m_loop.lock();
    if (loop)
        loop->checkOwner("DescriptorSource::setInterest");
    m_interest = interest;
    if (loop)
        loop->sourceInterestChanged(*this);
}

void DescriptorSource::remove()
{
    if (!m_active)
        return;
    auto loop = m_loop.lock();
    if (loop)
        loop->checkOwner("DescriptorSource::remove");
    m_active = false;
    // Kept alive while the loop forgets it (the loop may hold the last reference).
    auto self = shared_from_this();
    if (loop)
        loop->sourceRemoved(*this);
    auto callback = std::move(m_callback);
}

} // namespace core
