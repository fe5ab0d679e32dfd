// DBRestClient's upload: a multipart form whose one part is the file,
// staged in a body file by a worker (DBUploadBody, which also makes the
// file) and streamed from there, signed over the protocol parameters plus
// the stored file name.

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBUploadBody.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"

#include <fmt/format.h>
#include <sys/stat.h>

void DBRestClient::uploadFile(const std::string& filename, const std::string& toPath, const std::string& sourcePath)
{
    auto self = std::static_pointer_cast<DBRestClient>(shared_from_this());
    // Only a regular file (a link to one included) is sent; the main thread
    // looks at the source but never opens it, so a FIFO cannot block it.
    struct stat info;
    if (sourcePath.empty() || core::fs::hasNul(sourcePath) || stat(sourcePath.c_str(), &info) != 0
        || !S_ISREG(info.st_mode)) {
        failUpload(DBErrorSourceFileMissing, sourcePath);
        return;
    }
    const std::string destinationPath = core::path::appendingPathComponent(toPath, filename);

    // The body file's name is settled here, so that a cancel removes the
    // file; the worker makes it and fills it.
    const std::string safeName = DBUploadBody::safeFileName(filename);
    const DBUploadBody body(safeName, sourcePath);
    core::URLRequest request = uploadRequest(safeName, toPath);
    request.setHeader("Content-Type", body.contentType());
    request.setBodyFilePath(body.path());

    auto pending = DBRequest::initWaitingForBody(request, weak_from_this(), DBRequest::selector(&DBRestClient::requestDidUploadFile));
    pending->setUserInfo({ { "root", core::Value(root()) }, { "path", core::Value(toPath) },
        { "destinationPath", core::Value(destinationPath) }, { "sourcePath", core::Value(sourcePath) } });
    pending->setUploadProgressSelector(DBRequest::selector(&DBRestClient::requestUploadProgress));
    pending->setTemporaryBodyFile(body.path());
    pending->setSigner([weak = std::weak_ptr<DBRestClient>(self), safeName, toPath] {
        auto client = weak.lock();
        return client ? client->uploadRequest(safeName, toPath) : core::URLRequest();
    });
    m_requests.insert(pending);

    std::weak_ptr<DBRestClient> weakSelf = self;
    std::weak_ptr<DBRequest> weakRequest = pending;
    core::Thread::detach("DBRestClient upload", [weakSelf, weakRequest, body] {
        const DBUploadBody::Staged staged = body.stage();
        core::performOnMainThread([weakSelf, weakRequest, bodyPath = body.path(), staged] {
            auto client = weakSelf.lock();
            if (!client || !client->uploadBodyStaged(weakRequest, staged.errorCode, staged.length))
                // Cancelled before the worker made the file: nothing else
                // would remove it.
                core::fs::removeItem(bodyPath);
        });
    });
}

core::URLRequest DBRestClient::uploadRequest(const std::string& safeName, const std::string& toPath) const
{
    return m_builder.uploadRequest(safeName, toPath);
}

bool DBRestClient::uploadBodyStaged(const std::weak_ptr<DBRequest>& weakRequest, int errorCode, uint64_t length)
{
    auto request = weakRequest.lock();
    if (!request || !m_requests.count(request) || !request->isWaitingForBody())
        return false; // cancelled meanwhile
    if (errorCode) {
        const std::string sourcePath = userInfoString(*request, "sourcePath");
        m_requests.erase(request);
        request->cancel(); // silent; removes the body file
        failUpload(errorCode, sourcePath);
        return true;
    }
    core::URLRequest finished = request->request();
    finished.setHeader("Content-Length", fmt::format("{}", length));
    request->startLoading(finished);
    return true;
}

void DBRestClient::failUpload(int code, const std::string& sourcePath)
{
    if (auto delegate = delegateFor(DBRestClientCallback::UploadFileFailedWithError))
        delegate->uploadFileFailedWithError(*this, core::Error(DBErrorDomain, code, { { "sourcePath", core::Value(sourcePath) } }));
}

void DBRestClient::requestUploadProgress(DBRequest& request)
{
    const float progress = request.uploadProgress();
    if (auto delegate = delegateFor(DBRestClientCallback::UploadProgressForFileFrom))
        delegate->uploadProgress(*this, progress, userInfoString(request, "destinationPath"), userInfoString(request, "sourcePath"));
    else if (auto delegate = delegateFor(DBRestClientCallback::UploadProgressForFile))
        delegate->uploadProgress(*this, progress, userInfoString(request, "destinationPath"));
}

void DBRestClient::requestDidUploadFile(DBRequest& request)
{
    Ending ending(*this, request);
    if (request.error()) {
        fail(request, request.error(), DBRestClientCallback::UploadFileFailedWithError,
            &DBRestClientDelegate::uploadFileFailedWithError);
        return;
    }
    const std::string sourcePath = userInfoString(request, "sourcePath");
    if (auto delegate = delegateFor(DBRestClientCallback::UploadedFileFrom))
        delegate->uploadedFile(*this, userInfoString(request, "destinationPath"), sourcePath);
    else if (auto delegate = delegateFor(DBRestClientCallback::UploadedFile))
        delegate->uploadedFile(*this, sourcePath);
}
