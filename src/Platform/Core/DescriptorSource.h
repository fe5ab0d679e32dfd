#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace core {

class RunLoop;

// A file descriptor watched by a run loop (RunLoop::addSource), level
// triggered: a callback that leaves data unread is called again next pass.
// The callback gets the events ready at the pass's start; HangUp and Error
// are reported whatever the interest. The source never closes the
// descriptor.
class DescriptorSource : public std::enable_shared_from_this<DescriptorSource> {
public:
    enum Event : unsigned { Read = 1, Write = 2, HangUp = 4, Error = 8 };
    using Callback = std::function<void(DescriptorSource&, unsigned events)>;

    struct Private;
    DescriptorSource(const Private&, std::weak_ptr<RunLoop> loop, int fd, unsigned interest, std::string mode,
        Callback callback);

    int fd() const { return m_fd; }
    unsigned interest() const { return m_interest; }
    // Read, Write, both or neither (nothing is watched then).
    void setInterest(unsigned interest);
    // Stops watching; no callback starts after this, even one whose
    // descriptor was ready earlier in the same pass.
    void remove();
    bool isActive() const { return m_active; }

private:
    friend class RunLoop;
    friend class RunLoopSources;
    std::weak_ptr<RunLoop> m_loop;
    int m_fd;
    unsigned m_interest;
    std::string m_mode;
    std::shared_ptr<Callback> m_callback;
    bool m_active = true;
    bool m_registered = false; // in the loop's epoll set
    uint64_t m_id = 0;
};

} // namespace core
