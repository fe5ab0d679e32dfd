#pragma once

// The interface's orientation lock, which a viewer's document sheet
// switches and a folder screen lets go of. The application delegate holds
// it; screens keep this weakly.
class VKAppOrientationLock {
public:
    virtual ~VKAppOrientationLock() = default;
    virtual bool isOrientationLocked() const = 0;
    virtual void setOrientationLocked(bool locked) = 0;
};
