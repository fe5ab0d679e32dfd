#pragma once

#include <cstdint>
#include <string>

// What a copy with updates tells its caller about each item, on the copying
// thread. Every method has the answer of a delegate that does not implement
// it, so a delegate overrides only what it wants to hear.
class VKFileManagerDelegate {
public:
    virtual ~VKFileManagerDelegate() = default;
    // false skips the item and fails the copy, without an error.
    virtual bool shouldCopyItemAtPath(const std::string& /*from*/, const std::string& /*to*/) { return true; }
    // After every buffer written, with this step's bytes; false cancels.
    virtual bool copyingItemAtPath(const std::string& /*from*/, const std::string& /*to*/, uint64_t /*bytesWritten*/)
    {
        return true;
    }
    // After each file or folder has been copied completely.
    virtual void didCopyItemAtPath(const std::string& /*from*/, const std::string& /*to*/) { }
};
