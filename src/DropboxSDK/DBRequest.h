#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Core/Value.h"
#include "Platform/Net/URLConnectionDelegate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace core {
class FileWriter;
}
namespace net {
class URLConnection;
}

// Hears when cloud requests start and stop (the network-activity
// indicator): each request sends networkRequestStarted once and
// networkRequestStopped once, however it ends.
class DBNetworkRequestDelegate {
public:
    virtual ~DBNetworkRequestDelegate() = default;
    virtual void networkRequestStarted() = 0;
    virtual void networkRequestStopped() = 0;
};

// One signed HTTP exchange with the cloud service, started when it is made.
// The body is collected in memory or, for a 200 answer when resultFilename
// is set, streamed into a unique file in this run's staging folder (swept by the
// launch after a killed run) that then replaces
// the destination in one rename (the old file stays whole until then, and a
// folder there is never replaced). The file is written on a thread of its
// own, so that the run loop never waits for the disk; the request ends only
// once the last byte is written and the file moved into place, and a disk
// slower than the network holds the connection back. Any status other than 200 is an error in
// DBErrorDomain carrying the service's JSON error entries. The request ends
// in exactly one of: its selector, its failure selector, or cancel()
// (nothing sent). Main thread only; whoever started it keeps it until it
// ends, and letting it go earlier cancels it.
class DBRequest : public core::Object, public net::URLConnectionDelegate {
public:
    // What the request sends its target: the completion, failure and
    // progress messages, each with the request.
    using Selector = std::function<void(core::Object& target, DBRequest& request)>;
    template<typename Target>
    static Selector selector(void (Target::*method)(DBRequest&))
    {
        return [method](core::Object& target, DBRequest& request) { (static_cast<Target&>(target).*method)(request); };
    }

    // Bodies kept in memory stop here: the request fails with
    // NSURLErrorDomain DataLengthExceedsMaximum.
    static constexpr size_t MaximumResultDataLength = size_t(64) << 20;
    static constexpr int DataLengthExceedsMaximum = -1103;

    // Starts the load and tells the network delegate.
    static std::shared_ptr<DBRequest> initWithURLRequest(const core::URLRequest& request,
        std::weak_ptr<core::Object> target, Selector selector);
    // A request whose body is still being written (an upload staged on a
    // worker): it runs from now on as far as anyone can tell (its request
    // and user info are readable, cancel() and letting it go end it, the
    // network delegate hears it start) but connects only when
    // startLoading() hands it the finished request.
    static std::shared_ptr<DBRequest> initWaitingForBody(const core::URLRequest& request,
        std::weak_ptr<core::Object> target, Selector selector);
    // Connects a waiting request with `request` (the same URL, its body and
    // headers now complete); nothing for a request that ended meanwhile.
    void startLoading(const core::URLRequest& request);
    bool isWaitingForBody() const { return !m_connection && !m_ended; }
    ~DBRequest() override;

    static void setNetworkRequestDelegate(std::weak_ptr<DBNetworkRequestDelegate> delegate);

    // Set right after the request is made, before its answer arrives.
    void setUserInfo(core::Value::Dictionary userInfo) { m_userInfo = std::move(userInfo); }
    void setResultFilename(std::string path) { m_resultFilename = std::move(path); }
    void setFailureSelector(Selector selector) { m_failureSelector = std::move(selector); }
    void setDownloadProgressSelector(Selector selector) { m_downloadProgressSelector = std::move(selector); }
    void setUploadProgressSelector(Selector selector) { m_uploadProgressSelector = std::move(selector); }
    // Makes the request again with a fresh signature (nonce and time
    // stamp), for a load the network layer must send once more: the service
    // refuses a nonce it has seen, answered or not. Headers and a body file
    // the signature does not cover carry over from the request sent.
    using Signer = std::function<core::URLRequest()>;
    void setSigner(Signer signer) { m_signer = std::move(signer); }
    // A file that belongs to the request (an upload's staged body): removed
    // when the request ends, however it ends.
    void setTemporaryBodyFile(std::string path) { m_temporaryBodyFile = std::move(path); }

    // 0 before the answer's head.
    int statusCode() const;
    // The body held in memory as text; none when it is not UTF-8.
    std::optional<std::string> resultString() const;
    // The body read as a JSON object or array; none otherwise.
    std::optional<core::Value> resultJSON() const;

    // Stops the load; nothing is sent to the target afterwards and the
    // temporary file is removed.
    void cancel();

    const core::Error& error() const { return m_error; }
    const std::string& resultFilename() const { return m_resultFilename; }
    const std::string& resultData() const { return m_resultData; }
    float uploadProgress() const { return m_uploadProgress; }
    float downloadProgress() const { return m_downloadProgress; }
    int64_t bytesDownloaded() const { return m_bytesDownloaded; }
    const std::optional<core::HTTPURLResponse>& response() const { return m_response; }
    const core::URLRequest& request() const { return m_request; }
    const core::Value::Dictionary& userInfo() const { return m_userInfo; }
    // Where the body is being written; empty when it is not.
    const std::string& tempFilename() const { return m_tempFilename; }

    void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response) override;
    void didReceiveData(net::URLConnection&, const core::Data& data) override;
    void didSendBodyData(net::URLConnection&, int64_t written, int64_t totalWritten, int64_t totalExpected) override;
    void didFinishLoading(net::URLConnection&) override;
    void didFailWithError(net::URLConnection&, const core::Error& error) override;
    std::optional<core::URLRequest> requestForResending(net::URLConnection&, const core::URLRequest& sent) override;

private:
    DBRequest(const core::URLRequest& request, std::weak_ptr<core::Object> target, Selector selector);

    bool writesToFile() const;
    void fileWritten(const core::Error& moveError);
    void stopWriting();
    // Ends the request with `error`: the load stopped, the temporary file
    // removed, progress reset when asked, the failure sent.
    void failWith(core::Error error, bool resetProgress);
    void removeTemporaryFile(const char* logFormat);
    void send(const Selector& selector);
    void sendCompletion();
    void stopped();
    core::Error errorForStatus() const;

    core::URLRequest m_request;
    std::weak_ptr<core::Object> m_target;
    Selector m_selector;
    Selector m_failureSelector;
    Selector m_downloadProgressSelector;
    Selector m_uploadProgressSelector;
    Signer m_signer;
    std::shared_ptr<net::URLConnection> m_connection;
    std::shared_ptr<core::FileWriter> m_writer;
    std::string m_resultFilename;
    std::string m_tempFilename;
    std::string m_temporaryBodyFile;
    core::Value::Dictionary m_userInfo;
    std::optional<core::HTTPURLResponse> m_response;
    int64_t m_bytesDownloaded = 0;
    float m_downloadProgress = 0;
    float m_uploadProgress = 0;
    std::string m_resultData;
    core::Error m_error;
    bool m_ended = false;
    bool m_stopped = false;
};
