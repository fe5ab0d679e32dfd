#include "Downloads/VKDownloadConnection.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/Base64.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/URLAdditions.h"
#include "Kit/URLRequestAdditions.h"
#include "Kit/URLResponseAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Kit/VKStagingFolder.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/FileWriter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/Thread.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"
#include "Downloads/VKDownloadFileResource.h"

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Names that say the server made the answer up: the answer's own name is
// the better one.
constexpr std::array<std::string_view, 6> ScriptingExtensions = { "asp", "aspx", "cfm", "jsp", "php", "ssjs" };

bool isScriptingExtension(const std::string& extension)
{
    std::string lower = core::ascii::lowercased(extension);
    for (auto script : ScriptingExtensions)
        if (lower == script)
            return true;
    return false;
}

core::Error cocoaError(std::string_view description)
{
    return core::Error(core::Error::CocoaDomain, 512, core::localized(description));
}

// Partial files that a writer still holds open, with the starts waiting for
// them to be closed: a resume measures the partial file for its range, so it
// must not race the last writes of the request before it. Main thread only.
struct OpenPartial {
    int writers = 0;
    // Writers of paused downloads, kept until they wrote what they hold.
    std::vector<std::shared_ptr<core::FileWriter>> flushing;
    std::vector<std::function<void()>> waiting;
};

std::unordered_map<std::string, OpenPartial>& openPartials()
{
    static std::unordered_map<std::string, OpenPartial> partials;
    return partials;
}

void partialClosed(const std::string& path)
{
    auto found = openPartials().find(path);
    if (found == openPartials().end() || --found->second.writers > 0)
        return;
    auto waiting = std::move(found->second.waiting);
    openPartials().erase(found);
    for (auto& start : waiting)
        start();
}

} // namespace

bool VKMoveDownloadIntoPlace(const std::string& from, const std::string& to, core::Error* error)
{
    if (core::fs::exists(to)) {
        core::setError(error, core::Error::posix(EEXIST));
        return false;
    }
    bool isFolder = false;
    core::fs::exists(from, &isFolder);
    // A rename, or across file systems a copy made in the run's staging
    // folder (a noted sibling where that cannot reach `to`), so a run cut
    // off mid-copy leaves nothing the next launch does not sweep.
    core::fs::CopyOptions options;
    options.stagingPath = [](const std::string& target) { return VKStagingFolder::pathForItem(target, "download"); };
    if (isFolder)
        return core::fs::moveItem(from, to, options, error);
    return core::fs::replaceItem(from, to, options, error);
}

bool VKCopyDownloadIntoPlace(const std::string& from, const std::string& to, core::Error* error)
{
    for (;;) {
        const std::string staged = VKStagingFolder::pathForItem(to, "download");
        core::Error copyError;
        if (!core::fs::copyItem(from, staged, &copyError)) {
            // Another got to the staging name first: nothing of ours is there.
            if (copyError.is(core::Error::POSIXDomain, EEXIST) && core::fs::failedPath(copyError) == staged)
                continue;
            core::fs::removeItem(staged);
            core::setError(error, std::move(copyError));
            return false;
        }
        if (core::fs::moveItem(staged, to, error))
            return true;
        core::fs::removeItem(staged);
        return false;
    }
}

VKDownloadConnection::VKDownloadConnection(const Private&, std::shared_ptr<VKDownloadFileResource> resource)
    : m_resource(std::move(resource))
{
}

VKDownloadConnection::~VKDownloadConnection()
{
    if (m_urlConnection)
        m_urlConnection->cancel();
    endBackgroundTask();
}

std::shared_ptr<VKDownloadConnection> VKDownloadConnection::create(std::shared_ptr<VKDownloadFileResource> resource)
{
    if (!resource || (!resource->isWebDownload() && !resource->isCloudDownload())) {
        core::log("Warning, invalid download info for: {}", resource ? resource->description() : std::string("(null)"));
        return nullptr;
    }
    return std::make_shared<VKDownloadConnection>(Private(), std::move(resource));
}

std::string VKDownloadConnection::description() const
{
    return fmt::format("<VKDownloadConnection {}>", m_resource->description());
}

std::shared_ptr<VKCloudService> VKDownloadConnection::cloudService() const
{
    return VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey(m_resource->cloudServiceName());
}

void VKDownloadConnection::start()
{
    m_resource->setDownloadError(std::nullopt);
    m_resource->setDownloadState(VKNetworkStateConnecting);
    auto self = std::static_pointer_cast<VKDownloadConnection>(shared_from_this());
    bool web = m_resource->isWebDownload();
    core::RunLoop::current().performAfter(0, [self, web] { web ? self->startURLConnection() : self->startCloudFetch(); },
        core::PerformKey { self, "start", {} });
}

void VKDownloadConnection::setWaiting()
{
    m_resource->setDownloadState(VKNetworkStateWaiting);
}

void VKDownloadConnection::cancel(bool discard)
{
    // A finished download has nothing to stop; pausing it would bring back
    // the state file the manager just removed.
    if (m_resource->downloadState() == VKNetworkStateDone)
        return;
    if (m_resource->isCloudDownload()) {
        auto service = cloudService();
        if (service && service->isFetchingItemAtPath(m_resource->cloudPath())) {
            closeConnection(discard);
            service->cancelFetchOfItemAtPath(m_resource->cloudPath());
            return;
        }
    }
    closeConnection(discard);
    m_resource->setDownloadState(VKNetworkStatePaused);
    if (!discard)
        m_resource->saveState();
    if (m_delegate)
        m_delegate->downloadConnectionDidCancel(*this);
    endBackgroundTask();
}

std::string VKDownloadConnection::targetPath()
{
    bool isFolder = false;
    if (!core::fs::exists(m_resource->targetFolder(), &isFolder) || !isFolder)
        m_resource->updatePath(core::path::appendingPathComponent(
            VKHomeLayout::current()->documentsDirectory(), m_resource->name()));
    return m_resource->path();
}

std::optional<core::Error> VKDownloadConnection::resetDownload()
{
    core::Error error;
    if (!core::fs::removeItem(m_resource->downloadPath(), &error) && !error.is(core::Error::POSIXDomain, ENOENT)) {
        core::log("Warning, resetDownload failed: {}", error.description());
        return error;
    }
    if (auto writer = std::exchange(m_writer, nullptr))
        writer->cancel();
    m_writeOffset = 0;
    m_resource->setURLResponse(std::nullopt);
    m_resource->setDownloadError(std::nullopt);
    // A reset inside a running start keeps its place among the running
    // downloads: dropping to 0 there would let a waiting one start beside it.
    VKNetworkState state = m_resource->downloadState();
    if (state != VKNetworkStateConnecting && state != VKNetworkStateDownloading)
        m_resource->setDownloadState(VKNetworkStateNone);
    m_resource->setDownloadProgress(0);
    m_resource->saveState();
    return std::nullopt;
}

void VKDownloadConnection::closeConnection(bool discard)
{
    auto& loop = core::RunLoop::current();
    loop.cancelPerforms(core::PerformKey { shared_from_this(), "start", {} });
    loop.cancelPerforms(core::PerformKey { shared_from_this(), "restart", {} });
    loop.cancelPerforms(core::PerformKey { shared_from_this(), "data", {} });
    if (m_urlConnection) {
        m_urlConnection->cancel();
        m_urlConnection.reset();
    }
    // What arrived is still written, on the writer's thread, and a resume
    // asks for the rest once the file is closed; a writer already finishing
    // the download, or one of a download being removed, stops instead.
    if (auto writer = std::exchange(m_writer, nullptr)) {
        if (std::exchange(m_completing, false) || discard)
            writer->cancel();
        else
            writer->finish(nullptr, nullptr);
        // Kept until it closed the file (unless it did already).
        if (auto open = openPartials().find(m_resource->downloadPath()); open != openPartials().end())
            open->second.flushing.push_back(std::move(writer));
    }
    m_waitingForPartial = false;
}

void VKDownloadConnection::beginBackgroundTask()
{
    if (m_backgroundTask != core::InvalidBackgroundTask)
        return;
    std::weak_ptr<core::Object> weak = weak_from_this();
    m_backgroundTask = core::beginBackgroundTask([weak] {
        if (auto self = std::static_pointer_cast<VKDownloadConnection>(weak.lock()))
            self->cancel();
    });
}

void VKDownloadConnection::endBackgroundTask()
{
    if (m_backgroundTask == core::InvalidBackgroundTask)
        return;
    core::endBackgroundTask(m_backgroundTask);
    m_backgroundTask = core::InvalidBackgroundTask;
}

void VKDownloadConnection::updateTargetFilename(const std::string& name)
{
    if (name.empty()) {
        core::log("VKDownloadConnection: invalid zero length suggestedFilename");
        return;
    }
    m_resource->updatePath(core::path::appendingPathComponent(core::path::deletingLastPathComponent(targetPath()), name));
}

void VKDownloadConnection::sendDownloadDelegateDidFailMessage(const core::Error& error)
{
    m_resource->setDownloadState(VKNetworkStateFailed);
    m_resource->setDownloadError(error);
    if (m_delegate)
        m_delegate->downloadConnectionDidFailWithError(*this, error);
}

// --- web items ---------------------------------------------------------------

void VKDownloadConnection::startURLConnection()
{
    const core::URLRequest& request = *m_resource->urlRequest();
    if (core::ascii::equalIgnoringCase(request.url().scheme(), "data")) {
        auto self = std::static_pointer_cast<VKDownloadConnection>(shared_from_this());
        core::RunLoop::current().performAfter(0, [self] { self->extractURIDataComponents(); },
            core::PerformKey { self, "data", {} });
        return;
    }
    std::string partial = m_resource->downloadPath();
    if (auto open = openPartials().find(partial); open != openPartials().end()) {
        m_waitingForPartial = true;
        std::weak_ptr<core::Object> weak = weak_from_this();
        open->second.waiting.push_back([weak] {
            auto self = std::static_pointer_cast<VKDownloadConnection>(weak.lock());
            if (self && std::exchange(self->m_waitingForPartial, false))
                self->startURLConnection();
        });
        return;
    }
    core::URLRequest sent = request;
    uint64_t onDisk = sizeOfItemAtPath(partial);
    m_writeOffset = 0;
    if (onDisk != 0) {
        const auto& stored = m_resource->urlResponse();
        auto ranges = stored ? valueForHTTPHeaderField(&*stored, "Accept-Ranges") : std::nullopt;
        if (core::ascii::equalIgnoringCase(request.url().scheme(), "http") && ranges && *ranges == "bytes") {
            sent.setHeader("Range", fmt::format("bytes={}-", onDisk));
            m_writeOffset = onDisk;
        } else if (auto error = resetDownload()) {
            sendDownloadDelegateDidFailMessage(*error);
            return;
        }
    }
    if (!core::fs::exists(partial))
        core::fs::writeFileAtomically(partial, {});
    beginBackgroundTask();
    m_urlConnection = net::URLConnection::create(sent,
        std::static_pointer_cast<VKDownloadConnection>(shared_from_this()));
}

void VKDownloadConnection::didReceiveResponse(net::URLConnection& connection, const core::HTTPURLResponse& response)
{
    if (&connection != m_urlConnection.get())
        return;
    // An error page is not the file: nothing of it is written, and the data
    // already on disk stays for a later resume. A refused range (416) is
    // left to the resume check, which starts again from the beginning.
    if (response.statusCode() >= 400 && response.statusCode() != 416) {
        failConnection(net::URLError::make(net::URLError::BadServerResponse, response.url(),
            fmt::format("The server answered with status {}.", response.statusCode())));
        return;
    }
    uint64_t onDisk = sizeOfItemAtPath(m_resource->downloadPath());
    if (onDisk != 0) {
        int64_t expected = m_resource->expectedSize();
        const auto& stored = m_resource->urlResponse();
        auto etag = valueForHTTPHeaderField(&response, "Etag");
        auto storedETag = stored ? valueForHTTPHeaderField(&*stored, "Etag") : std::nullopt;
        bool valid = core::ascii::equalIgnoringCase(response.url().scheme(), "http") && m_writeOffset == onDisk
            && expectedTotalLength(response) == expected
            && response.expectedContentLength() == expected - static_cast<int64_t>(onDisk)
            && (!etag || etag == storedETag);
        if (!valid) {
            closeConnection();
            if (auto error = resetDownload()) {
                failConnection(*error);
                return;
            }
            auto self = std::static_pointer_cast<VKDownloadConnection>(shared_from_this());
            core::RunLoop::current().performAfter(0, [self] { self->startURLConnection(); },
                core::PerformKey { self, "restart", {} });
            return;
        }
    }
    if (response.statusCode() >= 400) {
        failConnection(net::URLError::make(net::URLError::BadServerResponse, response.url(),
            fmt::format("The server answered with status {}.", response.statusCode())));
        return;
    }
    m_resource->setURLResponse(response);
    int64_t total = expectedTotalLength(response);
    m_resource->setExpectedSize(total < 0 ? -1 : total);
    m_resource->saveState();

    std::string offered = response.suggestedFilename();
    std::string current = suggestedFilename(*m_resource->urlRequest());
    if (!offered.empty() && offered != current) {
        std::string extension = core::path::pathExtension(current);
        std::string scheme = core::ascii::lowercased(response.url().scheme());
        if (extension.empty() || (scheme.starts_with("http") && isScriptingExtension(extension)))
            updateTargetFilename(offered);
    }
    if (m_delegate && !m_delegate->downloadConnectionDidReceiveResponse(*this, m_resource->expectedSize())) {
        cancel();
        return;
    }
    m_resource->setDownloadState(VKNetworkStateDownloading);
}

void VKDownloadConnection::didReceiveData(net::URLConnection& connection, const core::Data& data)
{
    if (&connection != m_urlConnection.get())
        return;
    if (!m_writer && !openWriter())
        return;
    m_receivedOffset += data.size();
    // Past the writer's backlog the connection holds the body back until
    // the disk caught up.
    if (m_writer->write(data))
        m_urlConnection->suspendDelivery();
    if (m_resource->expectedSize() != 0)
        m_resource->setDownloadProgress(static_cast<float>(static_cast<double>(m_receivedOffset)
            / static_cast<double>(m_resource->expectedSize())));
}

bool VKDownloadConnection::openWriter()
{
    std::string partial = m_resource->downloadPath();
    std::weak_ptr<core::Object> weak = weak_from_this();
    auto owner = [weak] { return std::static_pointer_cast<VKDownloadConnection>(weak.lock()); };
    core::FileWriter::Handlers handlers;
    handlers.failed = [owner](const core::Error& error) {
        // A paused download's writer fails alone.
        if (auto self = owner(); self && self->m_writer) {
            core::log("NSFileHandle writeData error: {}", error.description());
            self->failConnection(cocoaError("Failed to write to file."));
        }
    };
    handlers.drained = [owner] {
        if (auto self = owner(); self && self->m_urlConnection)
            self->m_urlConnection->resumeDelivery();
    };
    handlers.closed = [partial] { partialClosed(partial); };
    // The body continues what is on disk: a file that changed since the
    // request went out would be corrupted by it.
    m_writer = core::FileWriter::createAppending(partial, m_writeOffset, std::move(handlers));
    if (!m_writer) {
        core::log("Warning, VKDownloadConnection failed to open file for writing: {}",
            core::path::abbreviatingWithTildeInPath(partial));
        failConnection(cocoaError("Failed to open file."));
        return false;
    }
    ++openPartials()[partial].writers;
    m_receivedOffset = m_writeOffset;
    return true;
}

void VKDownloadConnection::didFinishLoading(net::URLConnection& connection)
{
    if (&connection != m_urlConnection.get())
        return;
    // An empty body opens its writer here, so that the file is moved into
    // place on the writer's thread as well.
    if (!m_writer && !openWriter())
        return;
    m_urlConnection->cancel();
    m_urlConnection.reset();
    std::string target = uniquePathForItemAtPath(targetPath());
    m_resource->updatePath(target);
    std::weak_ptr<core::Object> weak = weak_from_this();
    // Done once the last piece is written and the file renamed into place;
    // the download keeps its place among the running ones until then.
    m_completing = true;
    m_writer->finish(
        [partial = m_resource->downloadPath(), target] {
            core::Error error;
            VKMoveDownloadIntoPlace(partial, target, &error);
            return error;
        },
        [weak, writer = m_writer.get()](const core::Error& error) {
            auto self = std::static_pointer_cast<VKDownloadConnection>(weak.lock());
            if (self && self->m_writer.get() == writer)
                self->writerDidFinish(error);
        });
}

void VKDownloadConnection::writerDidFinish(const core::Error& error)
{
    m_writer.reset();
    m_completing = false;
    if (error) {
        sendDownloadDelegateDidFailMessage(error);
    } else {
        m_resource->setDownloadState(VKNetworkStateDone);
        if (m_delegate)
            m_delegate->downloadConnectionDidFinishLoading(*this);
    }
    endBackgroundTask();
}

void VKDownloadConnection::failWhenWritten(const core::Error& error)
{
    if (!m_writer) {
        failConnection(error);
        return;
    }
    // What arrived before the failure is kept for the resume: the failure
    // is told once it is on disk.
    m_urlConnection->cancel();
    m_urlConnection.reset();
    std::weak_ptr<core::Object> weak = weak_from_this();
    m_writer->finish(nullptr, [weak, error, writer = m_writer.get()](const core::Error&) {
        auto self = std::static_pointer_cast<VKDownloadConnection>(weak.lock());
        if (self && self->m_writer.get() == writer)
            self->failConnection(error);
    });
}

void VKDownloadConnection::finishLoading()
{
    closeConnection();
    m_resource->setDownloadState(VKNetworkStateDone);
    std::string target = uniquePathForItemAtPath(targetPath());
    m_resource->updatePath(target);
    core::Error error;
    std::string partial = m_resource->downloadPath();
    // An empty body leaves no data file behind.
    if (m_resource->isWebDownload() && !core::fs::exists(partial))
        core::fs::writeFileAtomically(partial, {});
    if (VKMoveDownloadIntoPlace(partial, m_resource->path(), &error)) {
        if (m_delegate)
            m_delegate->downloadConnectionDidFinishLoading(*this);
    } else {
        sendDownloadDelegateDidFailMessage(error);
    }
    endBackgroundTask();
}

void VKDownloadConnection::didFailWithError(net::URLConnection& connection, const core::Error& error)
{
    if (&connection != m_urlConnection.get())
        return;
    failWhenWritten(error);
}

void VKDownloadConnection::failConnection(const core::Error& error)
{
    closeConnection();
    m_resource->setDownloadState(VKNetworkStatePaused);
    sendDownloadDelegateDidFailMessage(error);
    endBackgroundTask();
}

void VKDownloadConnection::extractURIDataComponents()
{
    m_resource->setDownloadState(VKNetworkStateDownloading);
    const core::URLRequest& request = *m_resource->urlRequest();
    auto components = dataComponents(request.url());
    std::string partial = m_resource->downloadPath();
    bool written = false;
    if (components) {
        auto part = [&](const char* key) {
            auto found = components->find(key);
            return found != components->end() && found->second.isString() ? found->second.string() : std::string();
        };
        std::string mime = part("mime");
        if (!mime.empty()) {
            std::string suggested = suggestedFilename(request);
            std::string name = suggested;
            if (name == "data")
                name = core::path::deletingLastPathComponent(mime);
            if (core::path::pathExtension(name).empty())
                name = core::path::appendingPathExtension(name, core::path::lastPathComponent(mime));
            if (!name.empty() && name != suggested)
                updateTargetFilename(name);
        }
        if (core::ascii::equalIgnoringCase(part("encoding"), "base64")) {
            std::string bytes = NewBase64Decode(part("rawdata"));
            written = !bytes.empty() && core::fs::writeFileAtomically(partial, bytes);
            if (!written)
                core::log("Warning, failed to write URI data to: {}", partial);
        } else {
            std::string charset = part("charset");
            std::string encoding = core::TextConverter::isKnown(charset) ? charset : std::string("UTF-8");
            auto bytes = core::percentUnescapeBytes(part("rawdata"));
            written = bytes && !bytes->empty() && core::TextConverter::convertText(*bytes, encoding)
                && core::fs::writeFileAtomically(partial, *bytes);
            if (!written)
                core::log("Warning, failed to write URI string data to: {}", partial);
        }
    } else {
        core::log("Warning, failed to write URI data to: {}", partial);
    }
    if (written) {
        finishLoading();
        return;
    }
    sendDownloadDelegateDidFailMessage(net::URLError::make(-1015, request.url(), core::localized("Failed to save URL data.")));
}

// --- cloud items -------------------------------------------------------------

void VKDownloadConnection::startCloudFetch()
{
    auto service = cloudService();
    if (!service || !service->isLinked()) {
        sendDownloadDelegateDidFailMessage(core::Error(net::URLErrorDomain, -1, core::localized("Service is unavailable")));
        return;
    }
    beginBackgroundTask();
    if (service->isFetchingItemAtPath(m_resource->cloudPath()))
        m_resource->setDownloadState(VKNetworkStateDownloading);
    service->fetchResource(service->resourceForCloudPath(m_resource->cloudPath()),
        std::static_pointer_cast<VKDownloadConnection>(shared_from_this()));
}

void VKDownloadConnection::cloudServiceFetchWillStartForPath(VKCloudService& service, const std::string&)
{
    m_resource->setDownloadState(VKNetworkStateDownloading);
    auto resource = service.resourceForCloudPath(m_resource->cloudPath());
    if (resource) {
        if (resource->isDirectory())
            m_resource->setExpectedSize(
                VKCloudFileStore::sharedStore()->sizeOfChildrenForManagedObject(*resource->managedObject(), true));
        else
            m_resource->setExpectedSize(static_cast<int64_t>(resource->size()));
    }
    // The current size, so that the data already fetched counts as used.
    if (m_delegate && !m_delegate->downloadConnectionDidReceiveResponse(*this, static_cast<int64_t>(m_resource->size())))
        service.cancelFetchOfItemAtPath(m_resource->cloudPath());
}

void VKDownloadConnection::cloudServiceFetchForPathDidUpdateProgress(VKCloudService&, const std::string&, float progress)
{
    m_resource->setDownloadProgress(progress);
    if (m_delegate)
        m_delegate->downloadConnectionDidUpdateProgress(*this, progress);
}

void VKDownloadConnection::cloudServiceFetchCompletedForPath(VKCloudService&, const std::string&)
{
    std::string target = uniquePathForItemAtPath(targetPath());
    m_resource->updatePath(target);
    std::string fetched = m_resource->downloadPath();
    bool isFolder = false;
    core::fs::exists(fetched, &isFolder);
    if (isFolder) {
        finishLoading();
        return;
    }
    m_resource->setDownloadState(VKNetworkStateFinalizing);
    auto self = std::static_pointer_cast<VKDownloadConnection>(shared_from_this());
    std::string destination = m_resource->path();
    core::Thread::detach("Download copy", [self, fetched, destination] {
        core::Error error;
        std::optional<core::Error> result;
        if (!VKCopyDownloadIntoPlace(fetched, destination, &error)) {
            core::log("Warning, VKDownloadConnection file copy failed: {}", error.description());
            result = error;
        }
        core::performOnMainThread([self, result] { self->cloudFileCopyDidEnd(result); });
    });
}

void VKDownloadConnection::cloudFileCopyDidEnd(std::optional<core::Error> error)
{
    if (error) {
        m_resource->setDownloadState(VKNetworkStatePaused);
        sendDownloadDelegateDidFailMessage(*error);
    } else {
        m_resource->setDownloadState(VKNetworkStateDone);
        if (m_delegate)
            m_delegate->downloadConnectionDidFinishLoading(*this);
    }
    closeConnection();
    endBackgroundTask();
}

void VKDownloadConnection::cloudServiceDidCancelFetchForPath(VKCloudService&, const std::string&)
{
    closeConnection();
    m_resource->setDownloadState(VKNetworkStatePaused);
    m_resource->saveState();
    if (m_delegate)
        m_delegate->downloadConnectionDidCancel(*this);
    endBackgroundTask();
}

void VKDownloadConnection::cloudServiceFetchFailedForPath(VKCloudService&, const std::string& path)
{
    core::log("VKDownloadConnection fetchFailedForPath: {}", path);
    closeConnection();
    m_resource->setDownloadState(VKNetworkStatePaused);
    sendDownloadDelegateDidFailMessage(cocoaError("Failed to fetch cloud file."));
    endBackgroundTask();
}
