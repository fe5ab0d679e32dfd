#include "Platform/Net/CurlTransfer.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/RegularFile.h"
#include "Platform/Net/CookieStorage.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/CurlMulti.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"
#include "Platform/Net/URLLoadingOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace net {

struct CurlTransfer::Private { };

namespace {

// Large reads keep the number of steps (and events) per megabyte low.
constexpr long ReceiveBufferSize = 64 * 1024;
constexpr long SendBufferSize = 256 * 1024;
constexpr long MaximumRedirects = 16;
// A transfer whose delegate has this much body waiting pauses until it was
// handed on: memory stays bounded whatever curl reads in one step.
constexpr size_t MaximumQueuedBytes = 4 << 20;
constexpr std::string_view DefaultMIMEType = "application/octet-stream";

using core::ascii::equalIgnoringCase;

int urlErrorCode(CURLcode result)
{
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return URLError::CannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return URLError::CannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT:
        return URLError::TimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
        return URLError::ServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
        return URLError::SecureConnectionFailed;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return URLError::NetworkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS:
        return URLError::HTTPTooManyRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return URLError::UnsupportedURL;
    case CURLE_URL_MALFORMAT:
        return URLError::BadURL;
    case CURLE_WEIRD_SERVER_REPLY:
        return URLError::BadServerResponse;
    default:
        return URLError::Unknown;
    }
}

// Hosts that are this machine: never reached through a proxy.
bool isLoopback(const std::string& host)
{
    return equalIgnoringCase(host, "localhost") || host == "::1" || host.starts_with("127.")
        || (host.size() > 10 && equalIgnoringCase(std::string_view(host).substr(host.size() - 10), ".localhost"));
}

curl_slist* append(curl_slist* list, const std::string& line)
{
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (!grown)
        throw std::bad_alloc();
    return grown;
}

} // namespace

// curl's callbacks: they only record and queue.
struct CurlTransfer::Callbacks {
    static size_t header(char* buffer, size_t size, size_t count, void* user)
    {
        auto& transfer = *static_cast<CurlTransfer*>(user);
        const size_t length = size * count;
        transfer.m_answered = true;
        transfer.m_lastActivity = std::chrono::steady_clock::now();
        const auto before = transfer.m_head.state();
        if (transfer.m_head.addLine(std::string_view(buffer, length)) == ResponseHead::State::Complete
            && before != ResponseHead::State::Complete) {
            char* url = nullptr;
            curl_easy_getinfo(transfer.m_easy, CURLINFO_EFFECTIVE_URL, &url);
            transfer.m_headURL = url ? url : "";
        }
        return length;
    }

    static size_t write(char* buffer, size_t size, size_t count, void* user)
    {
        auto& transfer = *static_cast<CurlTransfer*>(user);
        const size_t length = size * count;
        if (transfer.m_head.state() == ResponseHead::State::Complete)
            transfer.reportHead();
        if (transfer.m_head.state() != ResponseHead::State::Reported || !length)
            return length;
        if (transfer.m_connection.queuedDataBytes() >= MaximumQueuedBytes && transfer.m_multi) {
            // curl keeps this piece and hands it in again after resume().
            transfer.m_multi->paused(transfer);
            return CURL_WRITEFUNC_PAUSE;
        }
        transfer.m_connection.appendData(buffer, length);
        return length;
    }

    static size_t read(char* buffer, size_t size, size_t count, void* user)
    {
        auto& transfer = *static_cast<CurlTransfer*>(user);
        const size_t wanted = size * count;
        if (transfer.m_bodyFd >= 0) {
            ssize_t got;
            do
                got = ::read(transfer.m_bodyFd, buffer, wanted);
            while (got < 0 && errno == EINTR);
            if (got < 0)
                return CURL_READFUNC_ABORT;
            transfer.m_bodyOffset += got;
            return static_cast<size_t>(got);
        }
        const size_t offset = static_cast<size_t>(transfer.m_bodyOffset);
        const size_t available = transfer.m_body.size() > offset ? transfer.m_body.size() - offset : 0;
        const size_t length = std::min(wanted, available);
        if (length)
            memcpy(buffer, transfer.m_body.bytes() + offset, length);
        transfer.m_bodyOffset += static_cast<int64_t>(length);
        return length;
    }

    // Called before each request goes out. A second one with no answer to
    // the first is curl sending the request again because a kept-alive
    // connection closed; the connection does that instead, so that a
    // request that may go out only once can be made anew.
    static int prereq(void* user, char*, char*, int, int)
    {
        auto& transfer = *static_cast<CurlTransfer*>(user);
        if (transfer.m_requestsSent++ > 0 && !transfer.m_answered) {
            transfer.m_resendWanted = true;
            return CURL_PREREQFUNC_ABORT;
        }
        transfer.m_answered = false;
        return CURL_PREREQFUNC_OK;
    }

    // A body sent again (a 307 or 308 redirect, an authentication retry)
    // starts over from here.
    static int seek(void* user, curl_off_t offset, int origin)
    {
        auto& transfer = *static_cast<CurlTransfer*>(user);
        if (origin != SEEK_SET || offset < 0 || offset > transfer.m_bodySize)
            return CURL_SEEKFUNC_CANTSEEK;
        if (transfer.m_bodyFd >= 0 && lseek(transfer.m_bodyFd, static_cast<off_t>(offset), SEEK_SET) < 0)
            return CURL_SEEKFUNC_FAIL;
        transfer.m_bodyOffset = offset;
        return CURL_SEEKFUNC_OK;
    }

    static int progress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
    {
        auto& transfer = *static_cast<CurlTransfer*>(user);
        if (downloaded + uploaded != transfer.m_transferred) {
            transfer.m_transferred = downloaded + uploaded;
            transfer.m_lastActivity = std::chrono::steady_clock::now();
        }
        transfer.reportUpload(uploaded);
        return 0;
    }
};

std::shared_ptr<CurlTransfer> CurlTransfer::create(URLConnection& connection, const core::URLRequest& request,
    int& errorCode)
{
    auto transfer = std::make_shared<CurlTransfer>(Private {}, connection);
    if (!transfer->configure(request, errorCode))
        return nullptr;
    return transfer;
}

CurlTransfer::CurlTransfer(const Private&, URLConnection& connection)
    : m_connection(connection)
{
}

CurlTransfer::~CurlTransfer()
{
    if (m_multi)
        m_multi->remove(*this);
    if (m_easy)
        curl_easy_cleanup(m_easy);
    curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
    curl_slist_free_all(static_cast<curl_slist*>(m_connectTo));
    if (m_bodyFd >= 0)
        close(m_bodyFd);
}

bool CurlTransfer::configure(const core::URLRequest& request, int& errorCode)
{
    const core::URL url = request.url().absoluteURL();
    CURL* easy = curl_easy_init();
    if (!easy) {
        errorCode = URLError::Unknown;
        return false;
    }
    m_easy = easy;

    // The header fields in the caller's order. curl computes the length
    // itself and must not wait for "100 Continue".
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers().fields()) {
        if (!core::HeaderFields::isValidName(name) || !core::HeaderFields::isValidValue(value)) {
            curl_slist_free_all(headers);
            errorCode = URLError::BadURL;
            return false;
        }
        if (equalIgnoringCase(name, "Content-Length") || equalIgnoringCase(name, "Expect"))
            continue;
        // "Name:" would remove curl's own field of that name; "Name;" sends it empty.
        headers = append(headers, value.empty() ? name + ";" : name + ": " + value);
    }
    headers = append(headers, "Expect:");
    m_headerList = headers;

    // The body.
    const std::string& method = request.method();
    if (!request.bodyFilePath().empty()) {
        const std::string& path = request.bodyFilePath();
        // A FIFO or device put there is never waited on nor sent.
        auto file = core::fs::openRegularFile(path);
        if (!file) {
            errorCode = URLError::FileDoesNotExist;
            return false;
        }
        m_bodySize = static_cast<int64_t>(file->size);
        m_bodyFd = file->fd.release();
        m_hasBody = true;
    } else if (!request.body().empty()) {
        m_body = request.body();
        m_bodySize = static_cast<int64_t>(m_body.size());
        m_hasBody = true;
    }

    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, MaximumRedirects);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Signed URLs must reach the server exactly as written.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, ReceiveBufferSize);
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, SendBufferSize);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Callbacks::header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Callbacks::write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Callbacks::progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Callbacks::prereq);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);

    m_share = CookieStorage::shared().shareHandle();
    curl_easy_setopt(easy, CURLOPT_SHARE, m_share.get());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");

    // A transfer that goes the request's time-out without a byte fails; a
    // slow but steady one never does. curl's own low-speed check averages
    // over five seconds, so the multi checks for idleness itself.
    const double timeout = request.timeoutInterval();
    m_lastActivity = std::chrono::steady_clock::now();
    if (timeout > 0 && std::isfinite(timeout)) {
        const double seconds = std::min(timeout, 1e6);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::ceil(seconds * 1000)));
        m_idleTimeout = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
    }

    const URLLoadingOptions options = URLLoadingOptions::current();
    if (!options.caFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str());
    curl_slist* connectTo = nullptr;
    for (const auto& [from, to] : options.routes)
        connectTo = append(connectTo, from + ":" + to);
    m_connectTo = connectTo;
    if (connectTo)
        curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    const std::string host = url.host();
    const std::string hostAndPort = host + ":" + std::to_string(url.port().value_or(CredentialStorage::defaultPort(url.scheme())));
    if (isLoopback(host) || options.routes.count(hostAndPort))
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");

    if (auto credential = CredentialStorage::shared().credentialForURL(url)) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, credential->user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, credential->password.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
        m_offersCredential = true;
    }

    if (method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (method == "POST") {
        // POST mode: curl turns it into GET after a 301, 302 or 303.
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_bodySize));
    } else if (m_hasBody || method == "PUT") {
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_bodySize));
        if (method != "PUT")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Callbacks::read);
    curl_easy_setopt(easy, CURLOPT_READDATA, this);
    curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &Callbacks::seek);
    curl_easy_setopt(easy, CURLOPT_SEEKDATA, this);
    return true;
}

void CurlTransfer::start(const std::shared_ptr<URLConnection>& connection)
{
    CurlMulti::current().add(*this, connection);
}

void CurlTransfer::resume()
{
    curl_easy_pause(m_easy, CURLPAUSE_CONT);
}

void CurlTransfer::stop()
{
    if (m_multi)
        m_multi->remove(*this);
}

void CurlTransfer::reportUpload(int64_t uploaded)
{
    if (!m_hasBody || m_head.state() == ResponseHead::State::Reported)
        return;
    if (uploaded < m_uploaded)
        m_uploaded = 0; // sent again from the start
    if (uploaded == m_uploaded)
        return;
    URLLoadEvent event(URLLoadEvent::Kind::SentBody);
    event.written = uploaded - m_uploaded;
    event.totalWritten = uploaded;
    event.totalExpected = m_bodySize;
    m_uploaded = uploaded;
    m_connection.enqueue(std::move(event));
}

void CurlTransfer::reportHead()
{
    if (m_hasBody) {
        curl_off_t uploaded = 0;
        if (curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &uploaded) == CURLE_OK)
            reportUpload(uploaded);
    }
    auto url = core::URL::parse(m_headURL);
    m_headURL.clear();
    URLLoadEvent event(URLLoadEvent::Kind::Response);
    const int status = m_head.statusCode();
    event.response.emplace(url ? *url : m_connection.originalRequest().url().absoluteURL(), status, m_head.takeFields(),
        DefaultMIMEType);
    m_connection.enqueue(std::move(event));
}

void CurlTransfer::didEnd(int curlCode)
{
    const auto result = static_cast<CURLcode>(curlCode);
    if (result == CURLE_ABORTED_BY_CALLBACK && m_resendWanted) {
        m_connection.enqueue(URLLoadEvent(URLLoadEvent::Kind::Resend));
        return;
    }
    if (result == CURLE_OK) {
        if (m_head.state() == ResponseHead::State::Complete)
            reportHead();
        if (m_head.state() != ResponseHead::State::Reported) {
            m_connection.fail(URLError::BadServerResponse);
            return;
        }
        m_connection.enqueue(URLLoadEvent(URLLoadEvent::Kind::Finish));
        return;
    }
    // A head still waiting is reported when it is the answer itself, not
    // one curl was about to follow or answer with credentials.
    const int status = m_head.statusCode();
    const bool followed = (status >= 300 && status < 400) || (status == 401 && m_offersCredential);
    if (m_head.state() == ResponseHead::State::Complete && !followed)
        reportHead();
    int code = urlErrorCode(result);
    // curl says "unsupported protocol" both for a redirect to another scheme
    // and for an answer without a status line (taken for HTTP/0.9).
    if (code == URLError::UnsupportedURL && !m_head.redirectsToOtherScheme())
        code = URLError::BadServerResponse;
    char* effective = nullptr;
    curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &effective);
    auto url = effective ? core::URL::parse(effective) : std::nullopt;
    URLLoadEvent event(URLLoadEvent::Kind::Failure);
    event.error = URLError::make(code, url ? *url : m_connection.originalRequest().url().absoluteURL());
    m_connection.enqueue(std::move(event));
}

} // namespace net
