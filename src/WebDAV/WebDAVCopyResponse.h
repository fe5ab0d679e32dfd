#pragma once

#include "FileModel/VKResourceMoveNotifications.h"
#include "WebDAV/WebDAVResponse.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKQuotaManager;

// COPY and MOVE of the item at the request URI to the "Destination" header's
// path. The checks run on the main thread; a COPY then does its file work on
// a thread of its own (the client is kept waiting with interim answers and
// the socket may not time out meanwhile) and answers on the main thread, a
// MOVE works at once. An item that is replaced stays whole until its
// replacement is complete: the copy or move goes to a hidden sibling, which
// is swapped with the old item in one step before the old one is removed.
class WebDAVCopyResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVCopyResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    // MOVE when set, COPY otherwise.
    bool deleteOriginal() const { return m_deleteOriginal; }
    void setDeleteOriginal(bool deleteOriginal) { m_deleteOriginal = deleteOriginal; }

    void start() override;
    // Ends (kept open unless said) and lets the socket time out again.
    void sendWebDAVDidEndDelegateMessage(End end = End::KeepOpen);
    void postWebDAVDidMoveNotification(const VKResourceMove& move);
    // No while the copy runs on its thread.
    std::optional<bool> onSocketShouldTimeout() override;

    bool isCopyInProgress() const { return m_isCopyInProgress.load(); }
    const std::vector<std::string>& failedItems() const { return m_failedItems; }

private:
    using WebDAVResponse::WebDAVResponse;

    // Everything the file work needs, taken on the main thread before it
    // starts, so that the copying thread never asks the connection.
    struct Operation {
        std::string sourcePath;
        std::string destinationPath;
        core::URL sourceURI;
        core::URL destinationURI;
        bool sourceIsCollection = false;
        bool shallowCollection = false; // a Depth "0" copy of a folder
        bool move = false;
        std::shared_ptr<VKQuotaManager> quota;
        // The request when it carries conditions, judged again on the
        // destination before a copy goes into place.
        std::shared_ptr<const HTTPMessageRequest> conditions;
    };
    struct Outcome {
        bool destinationExisted = false;
        bool destinationWasCollection = false;
        bool failed = false;
        bool preconditionFailed = false;
        std::vector<std::string> failedItems;
    };

    // Builds the answer (for refusals) and ends, kept open.
    void refuse(int code, std::optional<std::string_view> description = std::nullopt);
    // The Destination as a URL below the server's root: nothing (after
    // answering) when it is unusable.
    std::optional<core::URL> destinationURL();
    // Whether a Destination with a host names this server: the scheme of the
    // connection, and the host and port the request was sent to (its "Host")
    // or the server's own.
    bool namesThisServer(const core::URL& destination);
    // Whether the destination needs credentials the request has not given;
    // answers the 401 challenge itself.
    bool challengedForDestination(const core::URL& destination);
    static Outcome performOperationWithDestination(const Operation& operation);
    void operationDidEnd(const Operation& operation, Outcome outcome);

    WebDAVResourceRef m_resource;
    std::optional<core::URL> m_hostURL;
    std::vector<std::string> m_failedItems;
    bool m_deleteOriginal = false;
    std::atomic<bool> m_isCopyInProgress { false };
};
