#pragma once

#include "Platform/Core/Error.h"

#include <memory>
#include <optional>
#include <string>

class DBAccountInfo;
class DBMetadata;
class DBRestClient;

// The callbacks of DBRestClientDelegate, each optional. A delegate says
// which it answers (respondsTo), since a method with an empty default body
// cannot tell; the client sends only those, and where two callbacks report
// one outcome it sends the first one answered, in the order listed below.
enum class DBRestClientCallback {
    DidLogin,
    LoginFailedWithError,
    CreatedAccount,
    CreateAccountFailedWithError,
    LoadedMetadata,
    MetadataUnchangedAtPath,
    LoadMetadataFailedWithError,
    LoadedAccountInfo,
    LoadAccountInfoFailedWithError,
    // A finished file load: the first of these three that is answered.
    LoadedFile,
    LoadedFileContentType,
    LoadedFileContentTypeETag,
    LoadProgressForFile,
    LoadFileFailedWithError,
    LoadedThumbnail,
    LoadThumbnailFailedWithError,
    // A finished upload: with the source, else without it.
    UploadedFileFrom,
    UploadedFile,
    // Upload progress: with the source, else without it.
    UploadProgressForFileFrom,
    UploadProgressForFile,
    UploadFileFailedWithError,
    MovedPath,
    MovePathFailedWithError,
    CopiedPath,
    CopyPathFailedWithError,
    DeletedPath,
    DeletePathFailedWithError,
    CreatedFolder,
    CreateFolderFailedWithError,
};

// What a DBRestClient tells about its calls, on the main thread. Paths are
// cloud paths unless named local; errors come unchanged from the request
// (DBErrorDomain with the HTTP status and the service's JSON entries, the
// client's own codes, or the connection's errors).
class DBRestClientDelegate {
public:
    using Callback = DBRestClientCallback;
    virtual ~DBRestClientDelegate() = default;

    // Whether this delegate answers the callback.
    virtual bool respondsTo(Callback callback) const = 0;

    virtual void restClientDidLogin(DBRestClient&) { }
    virtual void loginFailedWithError(DBRestClient&, const core::Error&) { }
    virtual void restClientCreatedAccount(DBRestClient&) { }
    virtual void createAccountFailedWithError(DBRestClient&, const core::Error&) { }

    virtual void loadedMetadata(DBRestClient&, const std::shared_ptr<const DBMetadata>&) { }
    virtual void metadataUnchangedAtPath(DBRestClient&, const std::string& /*path*/) { }
    virtual void loadMetadataFailedWithError(DBRestClient&, const core::Error&) { }

    virtual void loadedAccountInfo(DBRestClient&, const std::shared_ptr<const DBAccountInfo>&) { }
    virtual void loadAccountInfoFailedWithError(DBRestClient&, const core::Error&) { }

    // The local destination, and the answer's "Content-Type" and "Etag".
    virtual void loadedFile(DBRestClient&, const std::string& /*destinationPath*/) { }
    virtual void loadedFile(DBRestClient&, const std::string& /*destinationPath*/,
        const std::optional<std::string>& /*contentType*/) { }
    virtual void loadedFile(DBRestClient&, const std::string& /*destinationPath*/,
        const std::optional<std::string>& /*contentType*/, const std::optional<std::string>& /*eTag*/) { }
    virtual void loadProgress(DBRestClient&, float /*progress*/, const std::string& /*destinationPath*/) { }
    virtual void loadFileFailedWithError(DBRestClient&, const core::Error&) { }

    virtual void loadedThumbnail(DBRestClient&, const std::string& /*destinationPath*/) { }
    virtual void loadThumbnailFailedWithError(DBRestClient&, const core::Error&) { }

    // The cloud destination (folder and file name) and the local source.
    virtual void uploadedFile(DBRestClient&, const std::string& /*destinationPath*/, const std::string& /*sourcePath*/) { }
    virtual void uploadedFile(DBRestClient&, const std::string& /*sourcePath*/) { }
    virtual void uploadProgress(DBRestClient&, float /*progress*/, const std::string& /*destinationPath*/,
        const std::string& /*sourcePath*/) { }
    virtual void uploadProgress(DBRestClient&, float /*progress*/, const std::string& /*destinationPath*/) { }
    virtual void uploadFileFailedWithError(DBRestClient&, const core::Error&) { }

    virtual void movedPath(DBRestClient&, const std::string& /*from*/, const std::string& /*to*/) { }
    virtual void movePathFailedWithError(DBRestClient&, const core::Error&) { }
    virtual void copiedPath(DBRestClient&, const std::string& /*from*/, const std::string& /*to*/) { }
    virtual void copyPathFailedWithError(DBRestClient&, const core::Error&) { }
    virtual void deletedPath(DBRestClient&, const std::string& /*path*/) { }
    virtual void deletePathFailedWithError(DBRestClient&, const core::Error&) { }
    virtual void createdFolder(DBRestClient&, const std::shared_ptr<const DBMetadata>&) { }
    virtual void createFolderFailedWithError(DBRestClient&, const core::Error&) { }
};
