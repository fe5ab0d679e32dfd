#pragma once

#include "DropboxSDK/DBRequestBuilder.h"
#include "DropboxSDK/DBRestClientDelegate.h"
#include "Platform/Core/Object.h"

#include <map>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

class DBRequest;
class DBSession;

// The client of the cloud service's REST API, version "0": each call signs
// one request with the session's credentials (OAuth 1.0, HMAC-SHA1), runs
// it as a DBRequest and tells the delegate the outcome, decoded into the
// service's records. Clients are cheap, one per operation or transfer;
// several calls may run on one at once. Main thread only.
//
// What runs is readable: `requests` holds every running request but file
// loads, `loadRequests` the file loads by cloud path (one per path). Each
// request's URL path begins "/0/<endpoint>" and its user info carries the
// cloud paths ("root", "path", "destinationPath", "sourcePath",
// "from_path", "to_path"), so callers can tell which path is busy.
//
// Letting the client go cancels everything it runs: no callback follows,
// temporary files go, and a listing still being parsed is dropped.
// Subclasses extend it (the cloud layer's clients); they are made by a
// static function of their own through the protected constructor.
// Requests are built and signed by its DBRequestBuilder; an upload's body
// is staged by a DBUploadBody (DBRestClientUpload.cpp).
class DBRestClient : public core::Object {
public:
    // The root "dropbox" unless given.
    static std::shared_ptr<DBRestClient> initWithSession(std::shared_ptr<DBSession> session,
        std::string root = "dropbox");
    ~DBRestClient() override;

    std::shared_ptr<DBRestClientDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<DBRestClientDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::shared_ptr<DBSession>& session() const { return m_builder.session(); }
    const std::string& root() const { return m_builder.root(); }

    // A cloud path for a URL: every byte but letters, digits, "-._" and "/"
    // percent-escaped ("/a b~" reads "/a%20b%7E").
    static std::string escapePath(std::string_view path);

    // Login and sign-up go to the API host over https; the access token
    // comes from login (stored in the session before restClientDidLogin).
    void loginWithEmail(const std::string& email, const std::string& password);
    void createAccount(const std::string& email, const std::string& password, const std::string& firstName,
        const std::string& lastName);
    void loadAccountInfo();

    // A folder's listing (or a file's entry); with the folder's hash, an
    // unchanged folder is answered by metadataUnchangedAtPath.
    void loadMetadata(const std::string& path);
    void loadMetadata(const std::string& path, const std::optional<std::string>& hash);

    // The file at `path` into the local `destinationPath` (replaced whole
    // at the end). A second load of one path replaces the first, silently.
    void loadFile(const std::string& path, const std::string& destinationPath);
    // A thumbnail ("large", "medium") into `destinationPath`.
    void loadThumbnail(const std::string& path, const std::optional<std::string>& size,
        const std::string& destinationPath);

    void moveFrom(const std::string& fromPath, const std::string& toPath);
    void copyFrom(const std::string& fromPath, const std::string& toPath);
    void deletePath(const std::string& path);
    void createFolder(const std::string& path);

    // Sends the local file `sourcePath` as `filename` into the cloud folder
    // `toPath` as a multipart form, staged in a file of the staging folder by a
    // worker and streamed from there. A source that is not a regular file
    // fails inside the call (DBErrorDomain 1001).
    void uploadFile(const std::string& filename, const std::string& toPath, const std::string& sourcePath);

    const std::unordered_set<std::shared_ptr<DBRequest>>& requests() const { return m_requests; }
    const std::map<std::string, std::shared_ptr<DBRequest>>& loadRequests() const { return m_loadRequests; }

    // The time-out of requests made from now on (seconds without progress);
    // 0 restores the default. For tests of stalled answers.
    static void setTimeoutIntervalForTesting(double seconds);

protected:
    DBRestClient(std::shared_ptr<DBSession> session, std::string root);

    // The signed request for an endpoint: `path` (root and cloud path
    // included) is escaped and put after the version; the parameters are
    // signed with the protocol's and go into the query of a GET or the form
    // body of a POST. The settings VKCloudAPIBaseURL and
    // VKCloudContentBaseURL, when set, give scheme, host and port.
    core::URLRequest requestWithProtocol(std::string_view protocol, std::string_view host, std::string_view path,
        const core::Value::Dictionary& parameters, std::string_view method = "GET") const;
    // Signs requestWithProtocol's request afresh each time it is called
    // (what DBRequest takes to send a request again).
    using RequestSigner = std::function<core::URLRequest()>;
    RequestSigner signerFor(std::string_view protocol, std::string_view host, std::string path,
        core::Value::Dictionary parameters, std::string_view method = "GET") const;
    // The signed POST of an upload into the folder `toPath`, its body not
    // yet set; `safeName` is the stored name, which the signature covers.
    core::URLRequest uploadRequest(const std::string& safeName, const std::string& toPath) const;

    // Tells the session's delegate when the request failed with 401.
    void checkForAuthenticationFailure(const DBRequest& request);

    // The completions, one per endpoint.
    virtual void requestDidLogin(DBRequest& request);
    virtual void requestDidCreateAccount(DBRequest& request);
    virtual void requestDidLoadAccountInfo(DBRequest& request);
    virtual void requestDidLoadMetadata(DBRequest& request);
    virtual void requestDidLoadFile(DBRequest& request);
    virtual void requestLoadProgress(DBRequest& request);
    virtual void requestDidLoadThumbnail(DBRequest& request);
    virtual void requestDidMovePath(DBRequest& request);
    virtual void requestDidCopyPath(DBRequest& request);
    virtual void requestDidDeletePath(DBRequest& request);
    virtual void requestDidCreateFolder(DBRequest& request);
    virtual void requestDidUploadFile(DBRequest& request);
    virtual void requestUploadProgress(DBRequest& request);

    // Whether the delegate answers the callback; the delegate, or none.
    std::shared_ptr<DBRestClientDelegate> delegateFor(DBRestClientCallback callback) const;

private:
    // Ends a completion: the request lives to the end of the run-loop pass
    // and leaves the client's tables after its callbacks, and the client
    // outlives a delegate that lets it go from inside one.
    class Ending {
    public:
        Ending(DBRestClient& client, DBRequest& request);
        ~Ending();
        Ending(const Ending&) = delete;
        Ending& operator=(const Ending&) = delete;

    private:
        std::shared_ptr<DBRestClient> m_client;
        DBRequest& m_request;
    };
    using Completion = void (DBRestClient::*)(DBRequest&);
    using FailureCallback = void (DBRestClientDelegate::*)(DBRestClient&, const core::Error&);

    // The text under `key` in the request's user info; "" when none.
    static std::string userInfoString(const DBRequest& request, const char* key);

    // Starts the request `sign` makes and keeps it in `requests`.
    std::shared_ptr<DBRequest> start(RequestSigner sign, Completion completion,
        core::Value::Dictionary userInfo);
    void fileOperation(std::string_view endpoint, core::Value::Dictionary parameters, Completion completion);
    // Ends the bookkeeping of a finished request (after its callbacks).
    void finished(DBRequest& request);
    // Tells the delegate of a failure, the session's delegate first when
    // the request's error is a refused token (login and sign-up excepted).
    void fail(const DBRequest& request, const core::Error& error, DBRestClientCallback callback, FailureCallback method,
        bool checksAuthorization = true);
    // The answer as a JSON object; none with `error` set (the request's own,
    // or NSURLErrorDomain -1017 for a body that is not one).
    static std::optional<core::Value> answerObject(const DBRequest& request, core::Error& error);
    void metadataParsed(std::shared_ptr<const DBMetadata> metadata, const core::Value::Dictionary& userInfo);
    // False when the request was cancelled meanwhile.
    bool uploadBodyStaged(const std::weak_ptr<DBRequest>& request, int errorCode, uint64_t length);
    void failUpload(int code, const std::string& sourcePath);

    DBRequestBuilder m_builder;
    std::unordered_set<std::shared_ptr<DBRequest>> m_requests;
    std::map<std::string, std::shared_ptr<DBRequest>> m_loadRequests;
    std::weak_ptr<DBRestClientDelegate> m_delegate;
};
