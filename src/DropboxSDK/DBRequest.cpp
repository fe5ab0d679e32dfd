#include "DropboxSDK/DBRequest.h"

#include "DropboxSDK/DBDefines.h"
#include "Kit/JSON/JSONAdditions.h"
#include "Kit/JSON/KWJsonParser.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/FileWriter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"

#include <cerrno>
#include <mutex>

namespace {

constexpr const char* TemporaryFilePrefix = "DBRequest-";

std::mutex& delegateMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::weak_ptr<DBNetworkRequestDelegate>& networkDelegate()
{
    static std::weak_ptr<DBNetworkRequestDelegate> delegate;
    return delegate;
}

std::shared_ptr<DBNetworkRequestDelegate> currentNetworkDelegate()
{
    std::lock_guard lock(delegateMutex());
    return networkDelegate().lock();
}

float fraction(int64_t part, int64_t whole)
{
    return static_cast<float>(static_cast<double>(part) / static_cast<double>(whole));
}

} // namespace

void DBRequest::setNetworkRequestDelegate(std::weak_ptr<DBNetworkRequestDelegate> delegate)
{
    std::lock_guard lock(delegateMutex());
    networkDelegate() = std::move(delegate);
}

DBRequest::DBRequest(const core::URLRequest& request, std::weak_ptr<core::Object> target, Selector selector)
    : m_request(request)
    , m_target(std::move(target))
    , m_selector(std::move(selector))
{
}

std::shared_ptr<DBRequest> DBRequest::initWithURLRequest(const core::URLRequest& request,
    std::weak_ptr<core::Object> target, Selector selector)
{
    auto result = std::shared_ptr<DBRequest>(new DBRequest(request, std::move(target), std::move(selector)));
    result->m_connection = net::URLConnection::create(request, std::weak_ptr<net::URLConnectionDelegate>(result));
    if (auto delegate = currentNetworkDelegate())
        delegate->networkRequestStarted();
    return result;
}

std::shared_ptr<DBRequest> DBRequest::initWaitingForBody(const core::URLRequest& request,
    std::weak_ptr<core::Object> target, Selector selector)
{
    auto result = std::shared_ptr<DBRequest>(new DBRequest(request, std::move(target), std::move(selector)));
    if (auto delegate = currentNetworkDelegate())
        delegate->networkRequestStarted();
    return result;
}

void DBRequest::startLoading(const core::URLRequest& request)
{
    if (m_ended || m_connection)
        return;
    m_request = request;
    m_connection = net::URLConnection::create(request,
        std::weak_ptr<net::URLConnectionDelegate>(std::static_pointer_cast<DBRequest>(shared_from_this())));
}

std::optional<core::URLRequest> DBRequest::requestForResending(net::URLConnection&, const core::URLRequest& sent)
{
    if (!m_signer)
        return std::nullopt;
    core::URLRequest fresh = m_signer();
    for (const auto& [name, value] : sent.headers().fields())
        if (!fresh.header(name))
            fresh.addHeader(name, value);
    if (fresh.body().empty() && fresh.bodyFilePath().empty() && !sent.bodyFilePath().empty())
        fresh.setBodyFilePath(sent.bodyFilePath());
    m_request = fresh;
    return fresh;
}

DBRequest::~DBRequest()
{
    if (m_stopped)
        return;
    if (m_connection)
        m_connection->cancel();
    stopWriting();
    removeTemporaryFile("DBRequest#cancel Error removing temp file: {}");
    stopped();
}

int DBRequest::statusCode() const
{
    return m_response ? m_response->statusCode() : 0;
}

std::optional<std::string> DBRequest::resultString() const
{
    if (!core::utf8::isValid(m_resultData))
        return std::nullopt;
    return m_resultData;
}

std::optional<core::Value> DBRequest::resultJSON() const
{
    auto text = resultString();
    if (!text)
        return std::nullopt;
    return JSONValue(*text);
}

void DBRequest::cancel()
{
    m_ended = true;
    m_target.reset();
    if (m_connection)
        m_connection->cancel();
    stopWriting();
    removeTemporaryFile("DBRequest#cancel Error removing temp file: {}");
    stopped();
}

bool DBRequest::writesToFile() const
{
    return m_writer != nullptr;
}

void DBRequest::stopWriting()
{
    if (auto writer = std::move(m_writer))
        writer->cancel();
}

void DBRequest::didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response)
{
    auto self = weak_from_this().lock();
    m_response = response;
    if (m_ended || m_resultFilename.empty() || response.statusCode() != 200)
        return;
    // This run's staging folder: the launch after a killed run sweeps it.
    std::string folder = VKStagingFolder::path() + "/";
    core::Error error;
    auto path = core::fs::createUniqueFile(folder, TemporaryFilePrefix, &error);
    if (path) {
        m_tempFilename = *path;
        std::weak_ptr<DBRequest> weak = std::static_pointer_cast<DBRequest>(shared_from_this());
        core::FileWriter::Handlers handlers;
        handlers.failed = [weak](const core::Error& writeError) {
            auto request = weak.lock();
            if (!request || request->m_stopped)
                return;
            core::log("DBRequest#connection:didReceiveData: error writing to file: {}", writeError.localizedDescription());
            request->failWith(core::Error(DBErrorDomain, DBErrorFileWriteFailed, request->m_userInfo), false);
        };
        handlers.drained = [weak] {
            if (auto request = weak.lock(); request && request->m_connection)
                request->m_connection->resumeDelivery();
        };
        m_writer = core::FileWriter::create(m_tempFilename, std::move(handlers), &error);
    }
    if (!m_writer) {
        core::log("DBRequest#connection:didReceiveData: Error creating file at path: {}",
            path ? *path : folder + TemporaryFilePrefix);
        // Failing now keeps the body from going nowhere until the end.
        failWith(core::Error(error.domain(), error.code(), m_userInfo), false);
    }
}

void DBRequest::didReceiveData(net::URLConnection&, const core::Data& data)
{
    auto self = weak_from_this().lock();
    if (m_ended)
        return;
    if (writesToFile()) {
        if (m_writer->write(data) && m_connection)
            m_connection->suspendDelivery();
    } else {
        if (data.size() > MaximumResultDataLength - m_resultData.size()) {
            failWith(core::Error(net::URLErrorDomain, DataLengthExceedsMaximum, m_userInfo), false);
            return;
        }
        m_resultData.append(data.view());
    }
    m_bytesDownloaded += static_cast<int64_t>(data.size());
    int64_t expected = m_response ? m_response->expectedContentLength() : -1;
    if (expected > 0)
        m_downloadProgress = fraction(m_bytesDownloaded, expected);
    send(m_downloadProgressSelector);
}

void DBRequest::didSendBodyData(net::URLConnection&, int64_t, int64_t totalWritten, int64_t totalExpected)
{
    auto self = weak_from_this().lock();
    if (m_ended)
        return;
    if (totalExpected > 0)
        m_uploadProgress = fraction(totalWritten, totalExpected);
    send(m_uploadProgressSelector);
}

void DBRequest::didFinishLoading(net::URLConnection&)
{
    auto self = weak_from_this().lock();
    if (m_ended)
        return;
    m_ended = true;
    if (m_writer && statusCode() == 200) {
        // The answer is whole once the writer wrote it and moved it into place.
        std::weak_ptr<DBRequest> weak = std::static_pointer_cast<DBRequest>(shared_from_this());
        m_writer->finish(
            [from = m_tempFilename, to = m_resultFilename] {
                core::Error moveError;
                core::fs::CopyOptions options;
                options.stagingPath = [](const std::string& target) { return VKStagingFolder::pathForItem(target, "fetch"); };
                core::fs::replaceItem(from, to, options, &moveError);
                return moveError;
            },
            [weak](const core::Error& moveError) {
                if (auto request = weak.lock(); request && !request->m_stopped)
                    request->fileWritten(moveError);
            });
        return;
    }
    stopWriting();
    if (statusCode() != 200)
        m_error = errorForStatus();
    sendCompletion();
    stopped();
}

void DBRequest::fileWritten(const core::Error& moveError)
{
    auto self = weak_from_this().lock();
    m_writer.reset();
    if (moveError) {
        core::log("DBRequest#connectionDidFinishLoading: error moving temp file to desired location: {}",
            moveError.localizedDescription());
        m_error = core::Error(moveError.domain(), moveError.code(), m_userInfo);
        removeTemporaryFile("DBRequest#connectionDidFinishLoading: error removing temp file: {}");
    }
    m_tempFilename.clear();
    sendCompletion();
    stopped();
}

void DBRequest::didFailWithError(net::URLConnection&, const core::Error& error)
{
    auto self = weak_from_this().lock();
    if (m_ended)
        return;
    failWith(core::Error(error.domain(), error.code(), m_userInfo), true);
}

void DBRequest::failWith(core::Error error, bool resetProgress)
{
    m_ended = true;
    if (m_connection)
        m_connection->cancel();
    stopWriting();
    m_error = std::move(error);
    if (resetProgress) {
        m_bytesDownloaded = 0;
        m_downloadProgress = 0;
        m_uploadProgress = 0;
    }
    removeTemporaryFile("DBRequest#connection:didFailWithError: error removing temporary file: {}");
    sendCompletion();
    stopped();
}

void DBRequest::removeTemporaryFile(const char* logFormat)
{
    if (m_tempFilename.empty())
        return;
    core::Error error;
    if (!core::fs::removeItem(m_tempFilename, &error) && !error.is(core::Error::POSIXDomain, ENOENT))
        core::log(fmt::runtime(logFormat), error.localizedDescription());
    m_tempFilename.clear();
}

core::Error DBRequest::errorForStatus() const
{
    core::Value::Dictionary info = m_userInfo;
    if (!m_resultData.empty()) {
        if (!core::utf8::isValid(m_resultData)) {
            // Text that cannot be read as JSON at all: the service's words
            // reach the caller as they came, each bad byte as U+FFFD.
            info["errorMessage"] = core::utf8::sanitized(m_resultData);
        } else if (auto body = KWJsonParser().objectWithString(m_resultData); body && body->isDictionary()) {
            for (const auto& [key, value] : body->dictionary())
                info.insert_or_assign(key, value);
        }
    }
    return core::Error(DBErrorDomain, statusCode(), std::move(info));
}

void DBRequest::send(const Selector& selector)
{
    if (!selector)
        return;
    // A copy: the target may set new selectors while it runs.
    Selector message = selector;
    if (auto target = m_target.lock())
        message(*target, *this);
}

void DBRequest::sendCompletion()
{
    send(m_error && m_failureSelector ? m_failureSelector : m_selector);
}

void DBRequest::stopped()
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (!m_temporaryBodyFile.empty()) {
        core::Error error;
        if (!core::fs::removeItem(m_temporaryBodyFile, &error) && !error.is(core::Error::POSIXDomain, ENOENT))
            core::log("DBRequest: error removing the body file: {}", error.localizedDescription());
        m_temporaryBodyFile.clear();
    }
    if (auto delegate = currentNetworkDelegate())
        delegate->networkRequestStopped();
}
