#pragma once

// Posted after the folder browser or the WebDAV server moved or renamed an
// item; user info "OldPath" and "NewPath" (local paths). The server's is
// posted on the main thread a pass after a MOVE put its item in place, with
// the response as its object.
inline constexpr const char* VKFolderControllerDidMoveResourceNotification =
    "VKFolderControllerDidMoveResourceNotification";
inline constexpr const char* WebDAVDidMoveResourceNotification = "WebDAVDidMoveResourceNotification";
