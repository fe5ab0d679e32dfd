#pragma once

// The constants the cloud client's classes share.

// The domain of the client's own errors: an HTTP status other than 200 as
// the code, or one of the client's codes below.
inline constexpr const char* DBErrorDomain = "dropbox.com";

// Writing a download's body to its file failed (a full disk).
inline constexpr int DBErrorFileWriteFailed = 1002;
