#pragma once

#include <memory>

class HTTPServer;
class NetReachability;

// What the screens that tell the person where the server can be reached
// ask of the application: the server as it is now and the link it is
// reached over. The application delegate answers. A screen keeps this
// weakly and asks again each time: the server is made anew when guest
// mode changes.
class VKAppServerState {
public:
    virtual ~VKAppServerState() = default;
    // None before the server was set up.
    virtual const std::shared_ptr<HTTPServer>& httpServer() const = 0;
    virtual const std::shared_ptr<NetReachability>& netReachability() const = 0;
};
