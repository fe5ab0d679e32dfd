#pragma once

#include "Platform/Core/Notification.h"

#include <string>

// An item moved or renamed, by its local paths.
struct VKResourceMove {
    std::string oldPath;
    std::string newPath;
};

// Posted after the folder browser or the WebDAV server moved or renamed an
// item. The server's is posted on the main thread a pass after a MOVE put
// its item in place, with the response as its object.
inline constexpr core::NoticeName<VKResourceMove> VKFolderControllerDidMoveResourceNotification {
    "VKFolderControllerDidMoveResourceNotification"
};
inline constexpr core::NoticeName<VKResourceMove> WebDAVDidMoveResourceNotification { "WebDAVDidMoveResourceNotification" };
