// DBRestClient's upload: a multipart form whose one part is the file,
// staged in a body file by a worker (which also makes the file) and
// streamed from there, signed over the protocol parameters plus the stored
// file name.

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/FileHandle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UUID.h"

#include <cerrno>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The source is copied in pieces of this size, so no file is ever held whole.
constexpr size_t ReadSize = 524288;
constexpr const char* LogPrefix = "DBRestClient#uploadFileToRoot:path:filename:fromPath:";
constexpr const char* BodyFilePrefix = "DBRestClient-upload-";

// The name the service stores and the signature covers: every character
// that would end or break the Content-Disposition line (";", a quote, a
// backslash, CR, LF and other controls) becomes "-".
std::string safeFileName(std::string_view name)
{
    std::string safe(name);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ';' || c == '"' || c == '\\' || byte < 0x20 || byte == 0x7F)
            c = '-';
    }
    return safe;
}

struct StagedBody {
    int errorCode = 0;
    uint64_t length = 0;
};

bool bodyWasRemoved(const core::FileHandle& body)
{
    struct stat info;
    return fstat(body.fileDescriptor(), &info) != 0 || info.st_nlink == 0;
}

// Appends the source and the closing boundary to the body file, which
// holds the opening bytes. On the worker: a source that vanished, or became
// a FIFO or a device, is opened without waiting and refused. A removed body file
// (the upload was cancelled) stops the copy.
StagedBody stageBody(core::FileHandle& body, const std::string& sourcePath, const std::string& boundary)
{
    StagedBody staged;
    const int injected = core::FileTestHooks::copyItemError(sourcePath);
    int source = injected ? -1 : open(sourcePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (source >= 0 && (fstat(source, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(source);
        source = -1;
    }
    if (source < 0) {
        // Never an empty part in its place: that would replace the file in
        // the cloud with nothing and report success.
        core::log("{} unable to open sourceFile", LogPrefix);
        return { DBErrorSourceFileMissing, 0 };
    }
    {
        std::vector<char> buffer(ReadSize);
        for (;;) {
            if (bodyWasRemoved(body)) {
                close(source);
                return { DBErrorFileWriteFailed, 0 };
            }
            const ssize_t got = read(source, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                // A part of the file must not go out as the whole of it.
                core::log("{} unable to read sourceFile", LogPrefix);
                close(source);
                return { DBErrorSourceFileMissing, 0 };
            }
            if (got == 0)
                break;
            if (!body.writeData(std::string_view(buffer.data(), size_t(got)))) {
                core::log("{} failed to write data", LogPrefix);
                close(source);
                return { DBErrorFileWriteFailed, 0 };
            }
        }
        close(source);
    }
    if (!body.writeData(fmt::format("\r\n--{}--\r\n", boundary))) {
        core::log("{} failed to write end of data", LogPrefix);
        return { DBErrorFileWriteFailed, 0 };
    }
    staged.length = body.offsetInFile();
    return staged;
}

// Makes the body file, which must not exist yet, with the part's head.
std::shared_ptr<core::FileHandle> createBody(const std::string& path, const std::string& opening)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    close(fd);
    auto body = core::FileHandle::fileHandleForWritingAtPath(path);
    if (!body || !body->writeData(opening))
        return nullptr;
    return body;
}

} // namespace

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

    const std::string safeName = safeFileName(filename);
    core::URLRequest request = uploadRequest(safeName, toPath);
    const std::string boundary = core::uuidString();
    request.setHeader("Content-Type", fmt::format("multipart/form-data; boundary={}", boundary));

    // The body file's name, which no other upload can take, is settled
    // here, so that a cancel removes the file; the worker makes it with the
    // part's head, then adds the file and the closing boundary.
    const std::string bodyPath = core::path::appendingPathComponent(core::paths::temporaryDirectory(),
        BodyFilePrefix + core::uuidString());
    const std::string opening = fmt::format(
        "--{}\r\nContent-Disposition: form-data; name=\"file\"; filename=\"{}\"\r\nContent-Type: application/octet-stream\r\n\r\n",
        boundary, safeName);
    request.setBodyFilePath(bodyPath);

    auto pending = DBRequest::initWaitingForBody(request, weak_from_this(), DBRequest::selector(&DBRestClient::requestDidUploadFile));
    pending->setUserInfo({ { "root", core::Value(root()) }, { "path", core::Value(toPath) },
        { "destinationPath", core::Value(destinationPath) }, { "sourcePath", core::Value(sourcePath) } });
    pending->setUploadProgressSelector(DBRequest::selector(&DBRestClient::requestUploadProgress));
    pending->setTemporaryBodyFile(bodyPath);
    pending->setSigner([weak = std::weak_ptr<DBRestClient>(self), safeName, toPath] {
        auto client = weak.lock();
        return client ? client->uploadRequest(safeName, toPath) : core::URLRequest();
    });
    m_requests.insert(pending);

    std::weak_ptr<DBRestClient> weakSelf = self;
    std::weak_ptr<DBRequest> weakRequest = pending;
    core::Thread::detach("DBRestClient upload", [weakSelf, weakRequest, bodyPath, opening, sourcePath, boundary] {
        StagedBody staged { DBErrorFileCreateFailed, 0 };
        if (auto body = createBody(bodyPath, opening)) {
            staged = stageBody(*body, sourcePath, boundary);
        } else {
            core::log("{} failed to create file", LogPrefix);
            core::fs::removeItem(bodyPath);
        }
        core::performOnMainThread([weakSelf, weakRequest, bodyPath, staged] {
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
    std::string folder = toPath;
    if (folder.size() >= 2 && folder.back() == '/')
        folder.pop_back();
    const std::string urlText = fmt::format("{}/{}/files/{}{}", baseURLText(kDBProtocolHTTPS, kDBDropboxAPIContentHost),
        kDBDropboxAPIVersion, root(), escapePath(folder));
    auto url = core::URL::parse(urlText);
    if (!url)
        throw core::Exception("DBRestClientBadURL", fmt::format("Cannot make a URL of {}", urlText));

    // The signature covers "file", the stored name, which the request
    // itself carries only inside its body.
    const auto& store = session()->credentialStore();
    MPURLRequestParameter::List protocol = store->oauthParameters();
    MPURLRequestParameter::List signedParameters = protocol;
    signedParameters.push_back(MPURLRequestParameter::initWithName("file", safeName));
    MPOAuthURLRequest::sortParametersForSigning(signedParameters);
    auto oauthRequest = MPOAuthURLRequest::initWithURL(*url, signedParameters);
    oauthRequest->setHTTPMethod("POST");
    auto signature = MPOAuthSignatureParameter::initWithText(
        MPURLRequestParameter::parameterStringForParameters(signedParameters), store->signingKey(), *oauthRequest,
        store->signatureMethod().value_or(std::string()));
    MPOAuthURLRequest::sortParametersForSigning(protocol);
    const std::string query = fmt::format("{}&{}", MPURLRequestParameter::parameterStringForParameters(protocol),
        signature->URLEncodedParameterString());

    core::URLRequest request(core::URL::parse(urlText + "?" + query).value());
    request.setMethod("POST");
    if (const double timeout = testTimeoutInterval(); timeout > 0)
        request.setTimeoutInterval(timeout);
    return request;
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
