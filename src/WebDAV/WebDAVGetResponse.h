#pragma once

#include "WebDAV/WebDAVResponse.h"

#include <cstdint>

class AsyncSocket;

namespace core {
class FileHandle;
}

// GET of a stored file: the head, then the file straight from disk onto the
// connection's socket one piece at a time, each written only after the last
// one went out, so memory stays at one piece whatever the size. The length
// is fixed when the file is opened: a file that grows meanwhile still sends
// what the head announced, and one that shrinks or fails to read closes the
// connection rather than put anything else into the body.
class WebDAVGetResponse : public WebDAVResponse {
public:
    static constexpr uint64_t PieceLength = 131072;
    static constexpr double HeadTimeout = 15;
    static constexpr double PieceTimeout = 30;

    static std::shared_ptr<WebDAVGetResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);
    ~WebDAVGetResponse() override;

    void start() override;
    void setGetResponseHeaders(const WebDAVResource& resource);
    // 31 from 400 (the connection sends the answer and closes), 33 below
    // (everything went out already).
    void endResponseWithStatusCode(int code, std::optional<std::string_view> description = std::nullopt) override;

    void onSocketDidWriteDataWithTag(long tag) override;
    void onSocketDidDisconnect() override;

    uint64_t contentLength() const { return m_contentLength; }
    uint64_t lengthWritten() const { return m_lengthWritten; }

private:
    using WebDAVResponse::WebDAVResponse;

    void writeDataToSocket(AsyncSocket& socket);
    void closeFile();

    WebDAVResourceRef m_resource;
    std::shared_ptr<core::FileHandle> m_fileHandle;
    uint64_t m_contentLength = 0;
    uint64_t m_lengthWritten = 0;
    // The tag of the last piece: 31 when the request's body was never read,
    // so that it is not taken for the next request.
    long m_lastPieceTag = KeepOpenTag;
    // Writes queued and not yet reported: the next piece is queued while the
    // one before it goes out, so the socket never waits for this response
    // (and a short file leaves in one packet with the head).
    int m_writesInFlight = 0;
    bool m_streaming = false;
};
