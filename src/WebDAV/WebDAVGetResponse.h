#pragma once

#include "WebDAV/WebDAVResponse.h"

#include "Platform/Core/FileSystem.h"

#include <cstdint>
#include <optional>

// GET of a stored file. A small file goes out with its head in one write; a
// larger one streams straight from the disk onto the connection's socket
// (sendfile), the head held back to leave in the same packet as the file's
// first bytes, so memory stays small whatever the size. The length is fixed
// when the file is opened: a file that grows meanwhile still sends what the
// head announced, and one that shrinks or fails to read closes the
// connection rather than put anything else into the body.
//
// The item is opened once, before the response starts: that look tells a
// folder (the browser page's) from a file, gives the headers and, where no
// link lies on the path, shows that the file is inside the server's roots.
class WebDAVGetResponse : public WebDAVResponse {
public:
    // Files up to this size are read and sent with the head in one write.
    static constexpr uint64_t SmallFileLength = 16384;
    // The time without progress a streamed body may take.
    static constexpr double PieceTimeout = 30;

    static std::shared_ptr<WebDAVGetResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);
    // The response a GET gets: the browser page for a folder, else a GET
    // response (its item opened already when it could be).
    static std::shared_ptr<WebDAVResponse> responseForRequest(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);
    ~WebDAVGetResponse() override;

    void start() override;
    // "Content-Length" and "Content-Disposition"; the entity headers from the
    // resource (or from the opened file).
    // From 400 the connection sends the answer and closes; below, everything
    // went out already.
    void endResponseWithStatusCode(int code, std::optional<std::string_view> description = std::nullopt) override;

    void onSocketDidWriteDataWithTag(long tag) override;
    void onSocketDidDisconnect() override;

    uint64_t contentLength() const { return m_contentLength; }
    uint64_t lengthWritten() const { return m_lengthWritten; }

private:
    using WebDAVResponse::WebDAVResponse;

    // Opens the mapped item when no link lies on its path; nothing is open
    // otherwise (and the resource path decides).
    void openWithoutLinks(const std::string& path);
    // The file was opened (and judged): headers, then the body.
    void sendOpenedFile(const std::string& path);
    void sendBody();
    // Head and body of a small file in one buffer and one write; false when
    // the message path is to answer instead.
    bool sendSmallFile(const std::string& path);
    // The file's bytes onto `body` from `offset`.
    bool readSmallFile(std::string& body, size_t offset = 0);
    void finish(End end);
    void closeFile();

    std::optional<std::string> m_path;
    int m_fd = -1;
    bool m_opened = false;
    std::optional<core::fs::Attributes> m_attributes;
    WebDAVResourceRef m_resource;
    uint64_t m_contentLength = 0;
    uint64_t m_lengthWritten = 0;
    bool m_streaming = false;
};
