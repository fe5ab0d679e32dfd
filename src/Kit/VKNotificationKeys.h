#pragma once

// User-info keys of the notifications that tell about a path: an item about
// to be deleted or a folder that changed ("Path"), and a move ("OldPath",
// "NewPath"). Posters and observers in every subsystem share them.
inline constexpr const char* VKNotificationPathKey = "Path";
inline constexpr const char* VKNotificationOldPathKey = "OldPath";
inline constexpr const char* VKNotificationNewPathKey = "NewPath";
