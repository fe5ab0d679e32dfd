#pragma once

#include "Kit/VKHookSlot.h"
#include "Platform/Core/Object.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the file model asks of the WebDAV server before it changes an item:
// whether a client holds a lock on it. The server sits above the file model,
// so the application wires these answers in at start-up; without them
// nothing is locked.
class VKServerLockHooks : public VKHookSlot<VKServerLockHooks> {
public:
    virtual ~VKServerLockHooks() = default;

    // The item's URI on the server, or nothing when the path lies outside
    // the served tree.
    virtual std::optional<std::string> URIForLocalPath(const std::string& path) = 0;
    // The locks on the URI, depth-infinity locks on its ancestors included.
    virtual std::vector<std::shared_ptr<core::Object>> locksForURI(const std::string& uri) = 0;
};
