#pragma once

#include "WebDAV/WebDAVResponse.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class WebDAVUploadFile;

// POST of a folder: the browser page's upload, a multipart/form-data body
// whose "vk_upload_filename" part is stored as a file in that folder. The
// body is parsed as it streams from the connection, split anywhere; the file
// part goes into a hidden sibling of the target that is renamed over it
// once the closing delimiter arrived, so a refused or broken upload leaves
// the old file whole and nothing else behind. Every answer carries its
// status as a line of text ("200 Success\r\n").
class WebDAVPostResponse : public WebDAVResponse {
public:
    // The most a part header (with what precedes it) may take.
    static constexpr size_t MaxMIMEHeaderLength = 16384;

    static std::shared_ptr<WebDAVPostResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);
    ~WebDAVPostResponse() override;

    void start() override;
    // Body bytes as they arrive (counted by the caller in the bytes read).
    void processPostData(std::string_view bytes);
    // The fields of a part header (the text after its boundary line): each
    // header line's value under its name ("Content-Disposition" →
    // "form-data") and the parameters under theirs, the first one of a name
    // kept. Quoted values run to their closing quote (\" inside); unquoted
    // ones to ";" or the line end. Nothing when the first line has no name
    // or no value.
    static std::optional<core::Value::Dictionary> fieldsForMIMEHeader(std::string_view header);
    // The name a part's "filename" is stored under: after the last "\" for
    // a Windows agent, then after the last "/"; nothing for "", ".", ".."
    // or a NUL, which name no file in the folder.
    static std::optional<std::string> storedFileName(std::string_view filename, bool windowsAgent);

    // False after it ended the response with 507.
    bool writeFileData(std::string_view bytes);
    void postDidEndSuccessfully();
    // The answer with the body "<status> <reason>\r\n" ("(null)" without a
    // reason); the connection closes after it from 400 on.
    void endResponseWithStatusCode(int code, std::optional<std::string_view> description = std::nullopt) override;

    // The body's pieces from the connection (or whoever drives the
    // response), split anywhere.
    void requestBodyDidRead(std::string_view bytes) override;
    void requestBodyDidEnd() override;
    void requestBodyDidFail() override;
    void onSocketDidDisconnect() override;

    // Bytes held over for the next read, and the hidden file the part goes
    // into (empty when there is none).
    size_t partialDataLength() const { return m_partialData.size(); }
    std::string temporaryPathForTesting() const;

private:
    using WebDAVResponse::WebDAVResponse;

    bool readBoundary();
    void processMIMEHeaders(std::string_view bytes);
    // The next part header's fields and the bytes after it; nothing when it
    // ended the response or keeps the bytes and asks for more.
    std::optional<core::Value::Dictionary> getNextMIMEPartHeader(std::string_view bytes, std::string_view& remainingData);
    bool beginFilePart(const core::Value::Dictionary& fields);
    void processFileData(std::string_view bytes);
    void readMoreData();
    void finish(End end);

    std::string m_boundary;
    std::string m_boundaryData;
    std::string m_partialData;
    std::unique_ptr<WebDAVUploadFile> m_upload;
    WebDAVResourceRef m_folder;
    core::URL m_itemURI;
    uint64_t m_contentLength = 0;
    uint64_t m_lengthRead = 0;
    bool m_reading = false;
    bool m_ended = false;
};
