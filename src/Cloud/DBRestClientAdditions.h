#pragma once

#include <string>
#include <string_view>

class DBRestClient;

// Which requests a REST client has open, by endpoint and cloud path: the
// service answers its is-busy questions from these.

// One of the client's open requests goes to "/0/<method>" and carries `path`
// under `userInfoKey`.
bool isLoadingMethod(const DBRestClient& client, std::string_view method, const std::string& path,
    const char* userInfoKey);
bool isLoadingMetadataForPath(const DBRestClient& client, const std::string& path);
bool isLoadingThumbnailForPath(const DBRestClient& client, const std::string& path);
bool isUploadingFileForPath(const DBRestClient& client, const std::string& path);
bool isCreatingFolderForPath(const DBRestClient& client, const std::string& path);
bool isDeletingPath(const DBRestClient& client, const std::string& path);
bool isCopyingPath(const DBRestClient& client, const std::string& path);
bool isMovingPath(const DBRestClient& client, const std::string& path);
// The client's file-load table holds the path.
bool isLoadingFileForPath(const DBRestClient& client, const std::string& path);
