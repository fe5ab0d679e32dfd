#include "Cloud/DBRestClientAdditions.h"

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/DBRestClient.h"

#include <fmt/format.h>

bool isLoadingMethod(const DBRestClient& client, std::string_view method, const std::string& path,
    const char* userInfoKey)
{
    const std::string prefix = fmt::format("/{}/{}", kDBDropboxAPIVersion, method);
    for (const auto& request : client.requests()) {
        if (!request || !request->request().url().path().starts_with(prefix))
            continue;
        auto found = request->userInfo().find(userInfoKey);
        if (found != request->userInfo().end() && found->second.isString() && found->second.string() == path)
            return true;
    }
    return false;
}

bool isLoadingMetadataForPath(const DBRestClient& client, const std::string& path)
{
    return isLoadingMethod(client, "metadata", path, "path");
}

bool isLoadingThumbnailForPath(const DBRestClient& client, const std::string& path)
{
    return isLoadingMethod(client, "thumbnails", path, "path");
}

bool isUploadingFileForPath(const DBRestClient& client, const std::string& path)
{
    return isLoadingMethod(client, "files", path, "destinationPath");
}

bool isCreatingFolderForPath(const DBRestClient& client, const std::string& path)
{
    return isLoadingMethod(client, "fileops/create_folder", path, "path");
}

bool isDeletingPath(const DBRestClient& client, const std::string& path)
{
    return isLoadingMethod(client, "fileops/delete", path, "path");
}

bool isCopyingPath(const DBRestClient& client, const std::string& path)
{
    return isLoadingMethod(client, "fileops/copy", path, "from_path");
}

bool isMovingPath(const DBRestClient& client, const std::string& path)
{
    return isLoadingMethod(client, "fileops/move", path, "from_path");
}

bool isLoadingFileForPath(const DBRestClient& client, const std::string& path)
{
    return client.loadRequests().count(path) > 0;
}
