#include "DropboxSDK/MPOAuth/MPOAuthConnection.h"

#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLConnectionDelegate.h"
#include "Platform/Net/URLError.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using SteadyClock = std::chrono::steady_clock;

// What a synchronous load hands from its worker to the waiting caller.
struct SynchronousLoad : net::URLConnectionDelegate {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::optional<core::HTTPURLResponse> response;
    std::string body;
    core::Error error;

    void finish(core::Error failure = {})
    {
        std::lock_guard lock(mutex);
        if (done)
            return;
        error = std::move(failure);
        done = true;
        ended.notify_all();
    }
    bool isDone()
    {
        std::lock_guard lock(mutex);
        return done;
    }

    void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& head) override
    {
        std::lock_guard lock(mutex);
        response = head;
    }
    void didReceiveData(net::URLConnection& connection, const core::Data& data) override
    {
        {
            std::lock_guard lock(mutex);
            if (data.size() <= MPOAuthConnection::MaximumBodyLength - body.size()) {
                body.append(data.view());
                return;
            }
        }
        connection.cancel();
        finish(net::URLError::make(-1103, connection.originalRequest().url()));
    }
    void didFinishLoading(net::URLConnection&) override { finish(); }
    void didFailWithError(net::URLConnection&, const core::Error& failure) override { finish(failure); }
};

} // namespace

core::URLRequest MPOAuthConnection::signedRequest(MPOAuthURLRequest& request,
    const MPOAuthCredentialConcreteStore& credentials)
{
    request.addParameters(credentials.oauthParameters());
    return request.urlRequestSignedWithSecret(credentials.signingKey(),
        credentials.signatureMethod().value_or(MPOAuthSignatureParameter::HMACSHA1));
}

std::shared_ptr<MPOAuthConnection> MPOAuthConnection::connectionWithRequest(MPOAuthURLRequest& request,
    std::weak_ptr<net::URLConnectionDelegate> delegate, std::shared_ptr<MPOAuthCredentialConcreteStore> credentials)
{
    auto connection = std::shared_ptr<MPOAuthConnection>(new MPOAuthConnection);
    core::URLRequest signedURLRequest = signedRequest(request, *credentials);
    connection->m_credentials = std::move(credentials);
    connection->m_connection = net::URLConnection::create(signedURLRequest, std::move(delegate));
    return connection;
}

void MPOAuthConnection::cancel()
{
    if (m_connection)
        m_connection->cancel();
}

std::optional<std::string> MPOAuthConnection::sendSynchronousRequest(MPOAuthURLRequest& request,
    const std::shared_ptr<MPOAuthCredentialConcreteStore>& credentials,
    std::optional<core::HTTPURLResponse>* response, core::Error* error)
{
    core::URLRequest signedURLRequest = signedRequest(request, *credentials);
    auto load = std::make_shared<SynchronousLoad>();
    double timeout = signedURLRequest.timeoutInterval() > 0 ? signedURLRequest.timeoutInterval() : core::URLRequest::DefaultTimeoutInterval;
    auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(timeout));

    auto worker = core::Thread::detach("MPOAuthConnection", [load, signedURLRequest, deadline] {
        auto connection = net::URLConnection::create(signedURLRequest, load);
        auto& loop = core::RunLoop::current();
        auto thread = core::Thread::current();
        while (!load->isDone()) {
            auto left = std::chrono::duration<double>(deadline - SteadyClock::now()).count();
            if (left <= 0 || thread->isCancelled()) {
                connection->cancel();
                load->finish(net::URLError::make(net::URLError::TimedOut, signedURLRequest.url()));
                break;
            }
            loop.runOnce(core::RunLoop::DefaultMode, std::min(left, 0.25));
        }
    });

    std::unique_lock lock(load->mutex);
    // The worker gives up by the deadline; the margin covers its last pass.
    if (!load->ended.wait_until(lock, deadline + std::chrono::seconds(1), [&] { return load->done; })) {
        worker->cancel();
        core::setError(error, net::URLError::make(net::URLError::TimedOut, signedURLRequest.url()));
        return std::nullopt;
    }
    if (response)
        *response = load->response;
    if (load->error) {
        core::setError(error, load->error);
        return std::nullopt;
    }
    return std::move(load->body);
}
