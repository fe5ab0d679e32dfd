#pragma once

// The constants the cloud client's classes share.

// The domain of the client's own errors: an HTTP status other than 200 as
// the code, or one of the client's codes below.
inline constexpr const char* DBErrorDomain = "cloud.invalid";

// Creating an upload's body file failed.
inline constexpr int DBErrorFileCreateFailed = 1000;
// An upload's source is missing (or is not a regular file).
inline constexpr int DBErrorSourceFileMissing = 1001;
// Writing a download's body or an upload's body file failed (a full disk).
inline constexpr int DBErrorFileWriteFailed = 1002;

// The REST API: its version and the two hosts its endpoints live on. The
// hosts are placeholders that reach nothing; the settings below point the
// client at a real (or fake) service.
inline constexpr const char* kDBProtocolHTTP = "http";
inline constexpr const char* kDBProtocolHTTPS = "https";
inline constexpr const char* kDBDropboxAPIVersion = "0";
inline constexpr const char* kDBDropboxAPIHost = "api.cloud.invalid";
inline constexpr const char* kDBDropboxAPIContentHost = "api-content.cloud.invalid";

// Settings that, when set to a URL such as "http://127.0.0.1:8089", give
// the scheme, host and port of every endpoint on the API host and on the
// content host.
inline constexpr const char* VKCloudAPIBaseURL = "VKCloudAPIBaseURL";
inline constexpr const char* VKCloudContentBaseURL = "VKCloudContentBaseURL";
