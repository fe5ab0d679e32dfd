#include "DropboxSDK/DBRestClient.h"

#include "DropboxSDK/DBAccountInfo.h"
#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBMetadata.h"
#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/DBRequestBuilder.h"
#include "DropboxSDK/DBSession.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Net/URLError.h"

#include <fmt/format.h>
#include <utility>

namespace {

using Callback = DBRestClientCallback;

// A 200 answer whose body is not what the endpoint promises: a failure, not
// a success with an empty record.
core::Error cannotParse(const core::Value::Dictionary& userInfo)
{
    return core::Error(net::URLErrorDomain, net::URLError::CannotParseResponse, userInfo);
}

} // namespace

DBRestClient::Ending::Ending(DBRestClient& client, DBRequest& request)
    : m_client(std::static_pointer_cast<DBRestClient>(client.shared_from_this()))
    , m_request(request)
{
    core::RunLoop::current().keepAliveUntilEndOfPass(request.shared_from_this());
}

DBRestClient::Ending::~Ending()
{
    m_client->finished(m_request);
}

DBRestClient::DBRestClient(std::shared_ptr<DBSession> session, std::string root)
    : m_builder(std::move(session), std::move(root))
{
}

std::shared_ptr<DBRestClient> DBRestClient::initWithSession(std::shared_ptr<DBSession> session, std::string root)
{
    return std::shared_ptr<DBRestClient>(new DBRestClient(std::move(session), std::move(root)));
}

DBRestClient::~DBRestClient()
{
    // Copies: a cancelled request tells nobody, but stay safe all the same.
    auto requests = std::move(m_requests);
    auto loads = std::move(m_loadRequests);
    for (const auto& request : requests)
        request->cancel();
    for (const auto& [path, request] : loads)
        request->cancel();
}

void DBRestClient::setTimeoutIntervalForTesting(double seconds)
{
    DBRequestBuilder::setTimeoutIntervalForTesting(seconds);
}

std::string DBRestClient::userInfoString(const DBRequest& request, const char* key)
{
    auto found = request.userInfo().find(key);
    return found != request.userInfo().end() && found->second.isString() ? found->second.string() : std::string();
}

std::string DBRestClient::escapePath(std::string_view path)
{
    return DBRequestBuilder::escapePath(path);
}

core::URLRequest DBRestClient::requestWithProtocol(std::string_view protocol, std::string_view host,
    std::string_view path, const core::Value::Dictionary& parameters, std::string_view method) const
{
    return m_builder.request(protocol, host, path, parameters, method);
}

DBRestClient::RequestSigner DBRestClient::signerFor(std::string_view protocol, std::string_view host, std::string path,
    core::Value::Dictionary parameters, std::string_view method) const
{
    auto client = std::static_pointer_cast<const DBRestClient>(shared_from_this());
    return [weak = std::weak_ptr<const DBRestClient>(client), protocol = std::string(protocol), host = std::string(host),
               path = std::move(path), parameters = std::move(parameters), method = std::string(method)] {
        auto client = weak.lock();
        return client ? client->requestWithProtocol(protocol, host, path, parameters, method) : core::URLRequest();
    };
}

std::shared_ptr<DBRequest> DBRestClient::start(RequestSigner sign, Completion completion,
    core::Value::Dictionary userInfo)
{
    auto request = DBRequest::initWithURLRequest(sign(), weak_from_this(), DBRequest::selector(completion));
    request->setSigner(std::move(sign));
    request->setUserInfo(std::move(userInfo));
    m_requests.insert(request);
    return request;
}

void DBRestClient::finished(DBRequest& request)
{
    auto self = std::static_pointer_cast<DBRequest>(request.shared_from_this());
    if (m_requests.erase(self))
        return;
    auto load = m_loadRequests.find(userInfoString(request, "path"));
    if (load != m_loadRequests.end() && load->second == self)
        m_loadRequests.erase(load);
}

std::shared_ptr<DBRestClientDelegate> DBRestClient::delegateFor(DBRestClientCallback callback) const
{
    auto delegate = m_delegate.lock();
    return delegate && delegate->respondsTo(callback) ? delegate : nullptr;
}

void DBRestClient::checkForAuthenticationFailure(const DBRequest& request)
{
    if (!request.error().is(DBErrorDomain, 401))
        return;
    if (auto delegate = session()->delegate())
        delegate->sessionDidReceiveAuthorizationFailure(*session());
}

void DBRestClient::fail(const DBRequest& request, const core::Error& error, DBRestClientCallback callback,
    FailureCallback method, bool checksAuthorization)
{
    if (checksAuthorization)
        checkForAuthenticationFailure(request);
    if (auto delegate = delegateFor(callback))
        ((*delegate).*method)(*this, error);
}

std::optional<core::Value> DBRestClient::answerObject(const DBRequest& request, core::Error& error)
{
    error = request.error();
    if (error)
        return std::nullopt;
    auto json = request.resultJSON();
    if (json && json->isDictionary())
        return json;
    error = cannotParse(request.userInfo());
    return std::nullopt;
}

// -- login and account ---------------------------------------------------------

void DBRestClient::loginWithEmail(const std::string& email, const std::string& password)
{
    start(signerFor(kDBProtocolHTTPS, kDBDropboxAPIHost, "/token",
              { { "email", core::Value(email) }, { "password", core::Value(password) } }),
        &DBRestClient::requestDidLogin, {});
}

void DBRestClient::requestDidLogin(DBRequest& request)
{
    Ending ending(*this, request);
    core::Error error;
    if (auto json = answerObject(request, error)) {
        const core::Value& token = (*json)["token"];
        const core::Value& secret = (*json)["secret"];
        if (token.isString() && secret.isString()) {
            session()->updateAccessToken(token.string(), secret.string());
            if (auto delegate = delegateFor(Callback::DidLogin))
                delegate->restClientDidLogin(*this);
            return;
        }
        error = cannotParse(request.userInfo());
    }
    // A refused login is the user's mistake, not a revoked token: the
    // session's delegate does not hear of it.
    fail(request, error, Callback::LoginFailedWithError, &DBRestClientDelegate::loginFailedWithError, false);
}

void DBRestClient::createAccount(const std::string& email, const std::string& password, const std::string& firstName,
    const std::string& lastName)
{
    core::Value::Dictionary parameters {
        { "email", core::Value(email) },
        { "first_name", core::Value(firstName) },
        { "last_name", core::Value(lastName) },
    };
    // The password is signed and sent but kept out of the user info, which
    // every error of the request carries to whoever logs it.
    core::Value::Dictionary userInfo = parameters;
    parameters.emplace("password", core::Value(password));
    start(signerFor(kDBProtocolHTTPS, kDBDropboxAPIHost, "/account", parameters, "POST"),
        &DBRestClient::requestDidCreateAccount, std::move(userInfo));
}

void DBRestClient::requestDidCreateAccount(DBRequest& request)
{
    Ending ending(*this, request);
    if (request.error())
        fail(request, request.error(), Callback::CreateAccountFailedWithError, &DBRestClientDelegate::createAccountFailedWithError, false);
    else if (auto delegate = delegateFor(Callback::CreatedAccount))
        delegate->restClientCreatedAccount(*this);
}

void DBRestClient::loadAccountInfo()
{
    start(signerFor(kDBProtocolHTTP, kDBDropboxAPIHost, "/account/info", {}),
        &DBRestClient::requestDidLoadAccountInfo, { { "root", core::Value(root()) } });
}

void DBRestClient::requestDidLoadAccountInfo(DBRequest& request)
{
    Ending ending(*this, request);
    core::Error error;
    if (auto json = answerObject(request, error)) {
        if (auto delegate = delegateFor(Callback::LoadedAccountInfo))
            delegate->loadedAccountInfo(*this, DBAccountInfo::initWithDictionary(*json));
        return;
    }
    fail(request, error, Callback::LoadAccountInfoFailedWithError, &DBRestClientDelegate::loadAccountInfoFailedWithError);
}

// -- metadata ------------------------------------------------------------------

void DBRestClient::loadMetadata(const std::string& path)
{
    loadMetadata(path, std::nullopt);
}

void DBRestClient::loadMetadata(const std::string& path, const std::optional<std::string>& hash)
{
    core::Value::Dictionary parameters;
    if (hash)
        parameters.emplace("hash", core::Value(*hash));
    start(signerFor(kDBProtocolHTTP, kDBDropboxAPIHost, fmt::format("/metadata/{}{}", root(), path), parameters),
        &DBRestClient::requestDidLoadMetadata, { { "root", core::Value(root()) }, { "path", core::Value(path) } });
}

void DBRestClient::requestDidLoadMetadata(DBRequest& request)
{
    Ending ending(*this, request);
    if (request.statusCode() == 304) {
        if (auto delegate = delegateFor(Callback::MetadataUnchangedAtPath))
            delegate->metadataUnchangedAtPath(*this, userInfoString(request, "path"));
        return;
    }
    if (request.error()) {
        fail(request, request.error(), Callback::LoadMetadataFailedWithError, &DBRestClientDelegate::loadMetadataFailedWithError);
        return;
    }
    // A listing of thousands of entries is read off the main thread; the
    // request leaves `requests` now (the parse no longer counts as running)
    // and the records come back in a later pass, unless the client is gone.
    auto text = std::make_shared<const std::string>(request.resultData());
    std::weak_ptr<DBRestClient> weakSelf = std::static_pointer_cast<DBRestClient>(shared_from_this());
    core::Thread::detach("DBRestClient metadata", [weakSelf, text, userInfo = request.userInfo()]() mutable {
        auto metadata = DBMetadata::initWithJSONString(*text);
        text.reset();
        core::performOnMainThread(weakSelf, [metadata = std::move(metadata), userInfo = std::move(userInfo)](DBRestClient& self) {
            self.metadataParsed(std::move(metadata), userInfo);
        });
    });
}

void DBRestClient::metadataParsed(std::shared_ptr<const DBMetadata> metadata, const core::Value::Dictionary& userInfo)
{
    if (!metadata) {
        if (auto delegate = delegateFor(Callback::LoadMetadataFailedWithError))
            delegate->loadMetadataFailedWithError(*this, cannotParse(userInfo));
    } else if (auto delegate = delegateFor(Callback::LoadedMetadata)) {
        delegate->loadedMetadata(*this, metadata);
    }
}

// -- files and thumbnails ------------------------------------------------------

void DBRestClient::loadFile(const std::string& path, const std::string& destinationPath)
{
    auto sign = signerFor(kDBProtocolHTTPS, kDBDropboxAPIContentHost, fmt::format("/files/{}{}", root(), path), {});
    auto request = DBRequest::initWithURLRequest(sign(), weak_from_this(), DBRequest::selector(&DBRestClient::requestDidLoadFile));
    request->setSigner(std::move(sign));
    request->setUserInfo({ { "root", core::Value(root()) }, { "path", core::Value(path) },
        { "destinationPath", core::Value(destinationPath) } });
    request->setResultFilename(destinationPath);
    request->setDownloadProgressSelector(DBRequest::selector(&DBRestClient::requestLoadProgress));
    auto& slot = m_loadRequests[path];
    // One load per path: the newer one wins, the older ends without a word.
    if (auto previous = std::exchange(slot, request))
        previous->cancel();
}

void DBRestClient::requestLoadProgress(DBRequest& request)
{
    if (auto delegate = delegateFor(Callback::LoadProgressForFile))
        delegate->loadProgress(*this, request.downloadProgress(), request.resultFilename());
}

void DBRestClient::requestDidLoadFile(DBRequest& request)
{
    Ending ending(*this, request);
    if (request.error()) {
        fail(request, request.error(), Callback::LoadFileFailedWithError, &DBRestClientDelegate::loadFileFailedWithError);
        return;
    }
    const std::string& destination = request.resultFilename();
    std::optional<std::string> contentType;
    std::optional<std::string> eTag;
    if (const auto& response = request.response()) {
        contentType = response->header("Content-Type");
        eTag = response->header("Etag");
    }
    if (auto delegate = delegateFor(Callback::LoadedFile))
        delegate->loadedFile(*this, destination);
    else if (auto delegate = delegateFor(Callback::LoadedFileContentType))
        delegate->loadedFile(*this, destination, contentType);
    else if (auto delegate = delegateFor(Callback::LoadedFileContentTypeETag))
        delegate->loadedFile(*this, destination, contentType, eTag);
}

void DBRestClient::loadThumbnail(const std::string& path, const std::optional<std::string>& size,
    const std::string& destinationPath)
{
    core::Value::Dictionary parameters;
    if (size)
        parameters.emplace("size", core::Value(*size));
    auto request = start(signerFor(kDBProtocolHTTP, kDBDropboxAPIContentHost,
                             fmt::format("/thumbnails/{}{}", root(), path), parameters),
        &DBRestClient::requestDidLoadThumbnail,
        { { "root", core::Value(root()) }, { "path", core::Value(path) }, { "destinationPath", core::Value(destinationPath) } });
    request->setResultFilename(destinationPath);
}

void DBRestClient::requestDidLoadThumbnail(DBRequest& request)
{
    Ending ending(*this, request);
    if (request.error())
        fail(request, request.error(), Callback::LoadThumbnailFailedWithError, &DBRestClientDelegate::loadThumbnailFailedWithError);
    else if (auto delegate = delegateFor(Callback::LoadedThumbnail))
        delegate->loadedThumbnail(*this, request.resultFilename());
}

// -- file operations -----------------------------------------------------------

// Every file operation is a form POST to the API host whose parameters
// are also its user info.
void DBRestClient::fileOperation(std::string_view endpoint, core::Value::Dictionary parameters, Completion completion)
{
    parameters.emplace("root", core::Value(root()));
    start(signerFor(kDBProtocolHTTP, kDBDropboxAPIHost, fmt::format("/fileops/{}", endpoint), parameters, "POST"),
        completion, parameters);
}

void DBRestClient::moveFrom(const std::string& fromPath, const std::string& toPath)
{
    fileOperation("move", { { "from_path", core::Value(fromPath) }, { "to_path", core::Value(toPath) } },
        &DBRestClient::requestDidMovePath);
}

void DBRestClient::copyFrom(const std::string& fromPath, const std::string& toPath)
{
    fileOperation("copy", { { "from_path", core::Value(fromPath) }, { "to_path", core::Value(toPath) } },
        &DBRestClient::requestDidCopyPath);
}

void DBRestClient::deletePath(const std::string& path)
{
    fileOperation("delete", { { "path", core::Value(path) } }, &DBRestClient::requestDidDeletePath);
}

void DBRestClient::createFolder(const std::string& path)
{
    fileOperation("create_folder", { { "path", core::Value(path) } }, &DBRestClient::requestDidCreateFolder);
}

void DBRestClient::requestDidMovePath(DBRequest& request)
{
    Ending ending(*this, request);
    // The answer is the item's record; anything else did not do the work.
    core::Error error;
    if (!answerObject(request, error))
        fail(request, error, Callback::MovePathFailedWithError, &DBRestClientDelegate::movePathFailedWithError);
    else if (auto delegate = delegateFor(Callback::MovedPath))
        delegate->movedPath(*this, userInfoString(request, "from_path"), userInfoString(request, "to_path"));
}

void DBRestClient::requestDidCopyPath(DBRequest& request)
{
    Ending ending(*this, request);
    // The answer is the item's record; anything else did not do the work.
    core::Error error;
    if (!answerObject(request, error))
        fail(request, error, Callback::CopyPathFailedWithError, &DBRestClientDelegate::copyPathFailedWithError);
    else if (auto delegate = delegateFor(Callback::CopiedPath))
        delegate->copiedPath(*this, userInfoString(request, "from_path"), userInfoString(request, "to_path"));
}

void DBRestClient::requestDidDeletePath(DBRequest& request)
{
    Ending ending(*this, request);
    core::Error error;
    if (!answerObject(request, error))
        fail(request, error, Callback::DeletePathFailedWithError, &DBRestClientDelegate::deletePathFailedWithError);
    else if (auto delegate = delegateFor(Callback::DeletedPath))
        delegate->deletedPath(*this, userInfoString(request, "path"));
}

void DBRestClient::requestDidCreateFolder(DBRequest& request)
{
    Ending ending(*this, request);
    core::Error error;
    if (auto json = answerObject(request, error)) {
        if (auto delegate = delegateFor(Callback::CreatedFolder))
            delegate->createdFolder(*this, DBMetadata::initWithDictionary(*json));
        return;
    }
    fail(request, error, Callback::CreateFolderFailedWithError, &DBRestClientDelegate::createFolderFailedWithError);
}
