#include "Platform/Net/NetlinkReachability.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace net {

namespace {

using Links = std::unordered_map<int, unsigned>;

std::atomic<uint32_t> nextSequence { 1 };

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) { }
    ~Socket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Calls `visit` for every whole message in `bytes` (which must be aligned).
template<typename Visit> void forEachMessage(std::string_view bytes, Visit&& visit)
{
    auto* header = reinterpret_cast<const nlmsghdr*>(bytes.data());
    int length = int(std::min<size_t>(bytes.size(), 1u << 30));
    for (; NLMSG_OK(header, length); header = NLMSG_NEXT(header, length))
        visit(header);
}

Links parseLinks(std::string_view bytes)
{
    Links links;
    forEachMessage(bytes, [&](const nlmsghdr* header) {
        if (header->nlmsg_type != RTM_NEWLINK || header->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
            return;
        auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(header));
        links[info->ifi_index] = info->ifi_flags;
    });
    return links;
}

bool isRunning(const Links& links, int index)
{
    auto found = links.find(index);
    return found != links.end() && (found->second & (IFF_UP | IFF_RUNNING)) == (IFF_UP | IFF_RUNNING);
}

uint32_t readUnsigned(const rtattr* attribute, uint32_t fallback)
{
    if (RTA_PAYLOAD(attribute) < sizeof(uint32_t))
        return fallback;
    uint32_t value;
    std::memcpy(&value, RTA_DATA(attribute), sizeof value);
    return value;
}

bool routeIsUsable(const nlmsghdr* header, const Links& links, bool defaultRoute)
{
    if (header->nlmsg_type != RTM_NEWROUTE || header->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return false;
    auto* route = static_cast<const rtmsg*>(NLMSG_DATA(header));
    if (route->rtm_family != AF_INET || (route->rtm_flags & RTNH_F_LINKDOWN))
        return false;
    uint32_t table = route->rtm_table;
    int outputLink = 0;
    const rtattr* multipath = nullptr;
    int attributesLength = int(header->nlmsg_len - NLMSG_LENGTH(sizeof(rtmsg)));
    for (auto* attribute = RTM_RTA(route); RTA_OK(attribute, attributesLength);
         attribute = RTA_NEXT(attribute, attributesLength)) {
        if (attribute->rta_type == RTA_TABLE)
            table = readUnsigned(attribute, table);
        else if (attribute->rta_type == RTA_OIF)
            outputLink = int(readUnsigned(attribute, 0));
        else if (attribute->rta_type == RTA_MULTIPATH)
            multipath = attribute;
    }
    if (defaultRoute) {
        if (table != RT_TABLE_MAIN || route->rtm_dst_len != 0 || route->rtm_type != RTN_UNICAST)
            return false;
    } else if (route->rtm_type != RTN_UNICAST && route->rtm_type != RTN_LOCAL) {
        return false;
    }
    if (outputLink && isRunning(links, outputLink))
        return true;
    if (!multipath)
        return false;
    auto* hop = static_cast<const rtnexthop*>(RTA_DATA(multipath));
    int hopsLength = int(RTA_PAYLOAD(multipath));
    while (hopsLength >= int(sizeof(rtnexthop)) && hop->rtnh_len >= sizeof(rtnexthop) && hop->rtnh_len <= hopsLength) {
        if (!(hop->rtnh_flags & RTNH_F_LINKDOWN) && isRunning(links, hop->rtnh_ifindex))
            return true;
        hopsLength -= RTNH_ALIGN(hop->rtnh_len);
        hop = RTNH_NEXT(hop);
    }
    return false;
}

uint32_t flagsFrom(std::string_view links, std::string_view routes, bool defaultRoute)
{
    auto linkFlags = parseLinks(links);
    bool reachable = false;
    forEachMessage(routes, [&](const nlmsghdr* header) {
        reachable = reachable || routeIsUsable(header, linkFlags, defaultRoute);
    });
    return reachable ? Reachability::Reachable : 0;
}

// Sends one request to the kernel on a socket of its own and collects the
// answer's messages (to the end of a dump, or the one reply). Nothing when
// the kernel cannot be asked.
std::optional<std::string> query(nlmsghdr& request)
{
    Socket socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (socket.fd() < 0)
        return std::nullopt;
    timeval timeout { 2, 0 };
    setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    socklen_t localLength = sizeof local;
    if (bind(socket.fd(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0
        || getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return std::nullopt;
    request.nlmsg_seq = nextSequence++;
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    if (sendto(socket.fd(), &request, request.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return std::nullopt;

    std::string answer;
    std::string buffer(32768, '\0');
    for (;;) {
        sockaddr_nl from {};
        socklen_t fromLength = sizeof from;
        ssize_t count = recvfrom(socket.fd(), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from),
            &fromLength);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::nullopt;
        if (from.nl_pid != 0)
            continue;
        bool done = false;
        bool multipart = false;
        forEachMessage(std::string_view(buffer.data(), size_t(count)), [&](const nlmsghdr* header) {
            if (header->nlmsg_seq != request.nlmsg_seq || header->nlmsg_pid != local.nl_pid)
                return;
            if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR) {
                done = true;
                return;
            }
            multipart = multipart || (header->nlmsg_flags & NLM_F_MULTI);
            answer.append(reinterpret_cast<const char*>(header), NLMSG_ALIGN(header->nlmsg_len));
        });
        if (done || !multipart)
            return answer;
    }
}

std::optional<std::string> dump(uint16_t type, unsigned char family)
{
    struct {
        nlmsghdr header;
        rtgenmsg body;
    } request {};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtgenmsg));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.body.rtgen_family = family;
    return query(request.header);
}

std::optional<std::string> lookUpRoute(uint32_t address)
{
    struct {
        nlmsghdr header;
        rtmsg route;
        char attributes[RTA_SPACE(sizeof(uint32_t))];
    } request {};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.route.rtm_family = AF_INET;
    request.route.rtm_dst_len = 32;
    auto* destination = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) + NLMSG_ALIGN(request.header.nlmsg_len));
    destination->rta_type = RTA_DST;
    destination->rta_len = RTA_LENGTH(sizeof address);
    std::memcpy(RTA_DATA(destination), &address, sizeof address);
    request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_SPACE(sizeof address);
    // An address without a route is answered with an error: no route.
    return query(request.header);
}

std::optional<uint32_t> flagsForAddress(uint32_t address)
{
    auto links = dump(RTM_GETLINK, AF_UNSPEC);
    if (!links)
        return std::nullopt;
    auto routes = address == 0 ? dump(RTM_GETROUTE, AF_INET) : lookUpRoute(address);
    if (!routes)
        return std::nullopt;
    return flagsFrom(*links, *routes, address == 0);
}

// The first IPv4 address of a host name, 0 when it has none.
uint32_t resolve(const std::string& hostName)
{
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(hostName.c_str(), nullptr, &hints, &result) != 0 || !result)
        return 0;
    uint32_t address = 0;
    for (auto* entry = result; entry && !address; entry = entry->ai_next)
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in))
            address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(result);
    return address;
}

} // namespace

struct NetlinkReachability::State : std::enable_shared_from_this<State> {
    ReachabilityTarget target;
    int fd = -1;
    std::shared_ptr<core::DescriptorSource> source;
    std::weak_ptr<core::RunLoop> loop;
    Callback callback;
    uint32_t delivered = 0;
    bool recomputePending = false;
    // Host names: the flags of the last resolution, one resolution at a time.
    uint32_t resolvedFlags = 0;
    bool resolving = false;
    bool resolveAgain = false;

    bool isScheduled() const { return fd >= 0; }

    void deliver(uint32_t flags)
    {
        if (!isScheduled() || flags == delivered)
            return;
        delivered = flags;
        auto keep = shared_from_this();
        auto call = callback;
        call(flags);
    }

    void readable()
    {
        alignas(nlmsghdr) char buffer[8192];
        bool changed = false;
        for (;;) {
            sockaddr_nl from {};
            socklen_t fromLength = sizeof from;
            ssize_t count = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && errno == ENOBUFS) {
                // Messages were lost: look at the tables afresh.
                changed = true;
                continue;
            }
            if (count <= 0)
                break;
            if (from.nl_pid != 0)
                continue;
            forEachMessage(std::string_view(buffer, size_t(count)), [&](const nlmsghdr* header) {
                switch (header->nlmsg_type) {
                case RTM_NEWLINK: case RTM_DELLINK: case RTM_NEWADDR: case RTM_DELADDR:
                case RTM_NEWROUTE: case RTM_DELROUTE:
                    changed = true;
                }
            });
        }
        if (!changed || recomputePending)
            return;
        auto runLoop = loop.lock();
        if (!runLoop)
            return;
        recomputePending = true;
        std::weak_ptr<State> weak = shared_from_this();
        runLoop->performAfter(0, [weak] {
            if (auto self = weak.lock())
                self->recompute();
        }, {}, core::RunLoop::CommonModes);
    }

    void recompute()
    {
        recomputePending = false;
        if (!isScheduled())
            return;
        if (target.isHostName())
            startResolving();
        else
            deliver(flagsForAddress(target.address).value_or(0));
    }

    void startResolving()
    {
        if (resolving) {
            resolveAgain = true;
            return;
        }
        auto runLoop = loop.lock();
        if (!runLoop)
            return;
        resolving = true;
        std::weak_ptr<State> weak = shared_from_this();
        std::weak_ptr<core::RunLoop> weakLoop = runLoop;
        core::Thread::detach("reachability " + target.hostName, [weak, weakLoop, name = target.hostName] {
            uint32_t address = resolve(name);
            uint32_t flags = address ? flagsForAddress(address).value_or(0) : 0;
            if (auto runLoop = weakLoop.lock())
                runLoop->post([weak, flags] {
                    if (auto self = weak.lock())
                        self->resolved(flags);
                });
        });
    }

    void resolved(uint32_t flags)
    {
        resolving = false;
        resolvedFlags = flags;
        deliver(flags);
        if (std::exchange(resolveAgain, false) && isScheduled())
            startResolving();
    }

    void stop()
    {
        if (source)
            source->remove();
        source.reset();
        if (fd >= 0)
            close(fd);
        fd = -1;
        callback = nullptr;
        resolveAgain = false;
    }
};

std::shared_ptr<NetlinkReachability> NetlinkReachability::create(const ReachabilityTarget& target)
{
    auto state = std::make_shared<State>();
    state->target = target;
    return std::shared_ptr<NetlinkReachability>(new NetlinkReachability(std::move(state)));
}

NetlinkReachability::NetlinkReachability(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

NetlinkReachability::~NetlinkReachability()
{
    m_state->stop();
}

std::optional<uint32_t> NetlinkReachability::flags()
{
    if (m_state->target.isHostName())
        return m_state->resolvedFlags;
    return flagsForAddress(m_state->target.address);
}

bool NetlinkReachability::schedule(core::RunLoop& loop, Callback callback)
{
    unschedule();
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return false;
    sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return false;
    }
    auto& state = *m_state;
    std::weak_ptr<State> weak = m_state;
    state.source = loop.addSource(fd, core::DescriptorSource::Read, [weak](core::DescriptorSource&, unsigned) {
        if (auto self = weak.lock())
            self->readable();
    }, core::RunLoop::CommonModes);
    state.fd = fd;
    state.loop = loop.shared_from_this();
    state.callback = std::move(callback);
    if (state.target.isHostName()) {
        state.delivered = state.resolvedFlags;
        state.startResolving();
    } else {
        state.delivered = flagsForAddress(state.target.address).value_or(0);
    }
    return true;
}

void NetlinkReachability::unschedule()
{
    m_state->stop();
}

uint32_t NetlinkReachability::flagsFromMessagesForTesting(std::string_view links, std::string_view routes, bool defaultRoute)
{
    // Copies keep the walk aligned whatever the caller's buffers.
    std::string linkBytes(links);
    std::string routeBytes(routes);
    return flagsFrom(linkBytes, routeBytes, defaultRoute);
}

} // namespace net
