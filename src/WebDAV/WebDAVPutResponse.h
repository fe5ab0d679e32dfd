#pragma once

#include "WebDAV/WebDAVResponse.h"

#include <cstdint>
#include <string>

class WebDAVUploadFile;

// PUT: stores the request body as the file at the request URI. The body
// streams from the connection, one piece at a time, into a staging file
// for the target, which takes
// the old file's dead properties and is renamed over the target only once
// every announced byte is in; until then the old file stays whole, and a
// refused or broken upload leaves nothing behind.
class WebDAVPutResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVPutResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);
    ~WebDAVPutResponse() override;

    void start() override;
    // False after it ended the response with 507.
    bool writeData(std::string_view bytes);
    void putDidEndSuccessfully();

    // The body's bytes go to the file; a chunked body that breaks its
    // framing or brings more than "X-Expected-Entity-Length" announced ends
    // with 400, one that outgrows the room with 507 (the old file intact
    // either way).
    void requestBodyDidRead(std::string_view bytes) override;
    void requestBodyDidEnd() override;
    void requestBodyDidFail() override;
    void onSocketDidDisconnect() override;

    // The hidden file the body goes into; empty when there is none.
    std::string temporaryPathForTesting() const;

private:
    using WebDAVResponse::WebDAVResponse;

    // Asks the connection for the body's next piece.
    void readBody();
    void discardTemporaryFile();
    // 507, telling the application that room ran out.
    void refuseForWantOfRoom();
    void fail(int code, std::optional<std::string_view> description = std::nullopt);
    // The file the upload replaces as the client's conditions judge it:
    // nothing where no file is (a link that leads nowhere or out of the
    // roots is none).
    std::optional<core::fs::Attributes> targetAttributes() const;

    WebDAVResourceRef m_resource;
    std::string m_path;
    std::unique_ptr<WebDAVUploadFile> m_upload;
    uint64_t m_contentLength = 0;
    uint64_t m_lengthRead = 0;
    // The most the body may take (the room when it started, with the old
    // file's size); nothing when the quota manager knows no limit.
    std::optional<uint64_t> m_allowance;
    bool m_isChunked = false;
    bool m_streaming = false;
};
