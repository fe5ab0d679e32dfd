#pragma once

class NetReachability;

// Told on the watcher's run loop when reachability changes.
class NetReachabilityDelegate {
public:
    virtual ~NetReachabilityDelegate() = default;
    virtual void reachabilityDidUpdate(NetReachability& reachability, bool reachable, bool usingCell) = 0;
};
