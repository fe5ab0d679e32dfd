#pragma once

#include "HTTP/HTTPChunkedDecoder.h"
#include "WebDAV/WebDAVResponse.h"

#include <cstdint>
#include <string>

class AsyncSocket;
class WebDAVUploadFile;

// PUT: stores the request body as the file at the request URI. The body
// streams from the socket into a staging file for the target, which takes
// the old file's dead properties and is renamed over the target only once
// every announced byte is in; until then the old file stays whole, and a
// refused or broken upload leaves nothing behind.
class WebDAVPutResponse : public WebDAVResponse {
public:
    static constexpr uint64_t ReadLength = 524288;
    static constexpr double ReadTimeout = 60;

    static std::shared_ptr<WebDAVPutResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);
    ~WebDAVPutResponse() override;

    void start() override;
    // False after it ended the response with 507.
    bool writeData(std::string_view bytes);
    void putDidEndSuccessfully();

    bool readsRequestBody() const override { return m_streaming; }
    void onSocketDidReadData(const core::Data& data, long tag) override;
    void onSocketWillDisconnectWithError(const core::Error* error) override;
    void onSocketDidDisconnect() override;

    // A chunked body's bytes as they arrive, any split: the data goes to
    // the file, a broken framing or more data than "X-Expected-Entity-Length"
    // announced ends with 400, more than there is room for with 507 (the old
    // file intact either way).
    void handleChunkedDataRead(std::string_view data);
    // Ends with the status and closes the connection.
    void handleChunkedTransferError(int code);

    // The hidden file the body goes into; empty when there is none.
    std::string temporaryPath() const;

private:
    using WebDAVResponse::WebDAVResponse;

    AsyncSocket* bodySocket();
    void readNextPiece();
    void readNextChunkedPiece();
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
    HTTPChunkedDecoder m_chunks;
    bool m_isChunked = false;
    bool m_streaming = false;
};
