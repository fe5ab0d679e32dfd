#pragma once

// The application's settings: the defaults every subsystem reads, and the
// settings of older versions moved to where they live now.
class VKAppDefaults {
public:
    // Registers the settings with their defaults (nothing is written).
    static void registerDefaults();
    // "VKLoginPassword" into the keychain, "VKGuestAccessEnabled" to
    // "VKRemoteGuestAccess"; each old setting removed. A home without
    // "VKLoginPasswordSet" (or "VKPasscodeLockSet") gets it when its
    // keychain holds a password (a passcode).
    static void upgradeDefaults();
};
