#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace net {

class FakeURLLoad;

// A stand-in for the network in tests: loads of URLs that begin with the
// server's prefix never reach curl but wait for the test, which sees each
// request and answers through its FakeURLLoad. The answers travel through
// the connection's own event queue, so delivery, order and cancelling
// behave as for real loads.
class FakeURLServer : public std::enable_shared_from_this<FakeURLServer> {
public:
    using Handler = std::function<void(FakeURLLoad&)>;

    struct Private;
    FakeURLServer(const Private&, std::string prefix);

    // Takes the loads of URLs beginning with `prefix` ("http://cloud.test/")
    // until uninstalled; the longest matching prefix wins.
    static std::shared_ptr<FakeURLServer> install(std::string prefix);
    // Uninstalls every server and cancels the loads they hold.
    static void removeAll();
    static std::shared_ptr<FakeURLServer> serverForURL(const std::string& url);

    void uninstall();
    const std::string& prefix() const { return m_prefix; }

    // Called with each load as it starts; it may answer at once.
    void setHandler(Handler handler);
    std::vector<std::shared_ptr<FakeURLLoad>> loads() const;
    std::shared_ptr<FakeURLLoad> lastLoad() const;

    // A new load arrived.
    void accept(const std::shared_ptr<FakeURLLoad>& load);

private:
    void cancelLoads();

    const std::string m_prefix;
    mutable std::mutex m_mutex;
    Handler m_handler;
    std::vector<std::shared_ptr<FakeURLLoad>> m_loads;
};

} // namespace net
