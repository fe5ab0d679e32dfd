#include "HTTP/HTTPDigestCheck.h"

#include "HTTP/HTTPAuthenticationRequest.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UUID.h"
#include "HTTP/HTTPMessageRequest.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The nonces handed out and not yet expired, main thread only.
struct Nonces {
    std::vector<std::string> recent;
    std::shared_ptr<const int> timerToken = std::make_shared<const int>(0);
};

Nonces& nonces()
{
    static Nonces shared;
    return shared;
}

constexpr const char* NonceTag = "HTTPDigestCheck.removeRecentNonce";

bool isRecent(std::string_view nonce)
{
    const auto& recent = nonces().recent;
    return std::find(recent.begin(), recent.end(), nonce) != recent.end();
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

bool HTTPDigestCheck::accepts(const HTTPMessageRequest& request, const PasswordForUser& passwordForUser)
{
    m_staleNonce = false;
    auto auth = HTTPAuthenticationRequest::create(request);
    if (auth->username().empty())
        return false;
    const auto agent = request.headerForKey("User-Agent");
    const bool windowsClient = agent && agent->starts_with("Microsoft")
        && auth->username().find('\\') != std::string::npos;
    const auto user = windowsClient ? auth->username().substr(auth->username().rfind('\\') + 1) : auth->username();
    const auto password = passwordForUser(user);
    if (!password || password->empty())
        return false;
    if (request.requestURL()->relativeString() != auth->uri())
        return false;

    bool nonceKnown = true;
    bool adopted = false;
    if (auth->nonce() != m_nonce) {
        if (isRecent(auth->nonce()))
            adopted = true;
        else
            nonceKnown = false;
    }
    const int64_t lastNC = adopted ? 0 : m_lastNC;
    const int64_t nc = auth->nc();
    if (nonceKnown && nc <= lastNC)
        return false;

    const auto hashUser = windowsClient ? replaceAll(auth->username(), "\\\\", "\\") : auth->username();
    const auto ha1 = vkMD5String(fmt::format("{}:{}:{}", hashUser, auth->realm(), *password));
    const auto ha2 = vkMD5String(fmt::format("{}:{}", request.requestMethod(), auth->uri()));
    const auto expected = vkMD5String(fmt::format("{}:{}:{}:{}:{}:{}", ha1, auth->nonce(), auth->ncAsString(),
        auth->cnonce(), auth->qop(), ha2));
    if (expected != auth->response())
        return false;
    // Only a nonce this server issued (and has not expired) is taken: the
    // client is told its nonce went stale, so it retries without asking.
    if (!nonceKnown) {
        m_staleNonce = true;
        return false;
    }
    // The count moves only for a request that proved itself, so a forged
    // header cannot push it past the real client's.
    if (adopted)
        m_nonce = auth->nonce();
    m_lastNC = nc;
    return true;
}

std::string HTTPDigestCheck::challenge(std::string_view realm)
{
    auto challenge = fmt::format(R"(Digest realm="{}", nonce="{}", algorithm=MD5, qop="auth")", realm, issueNonce());
    if (m_staleNonce)
        challenge += ", stale=true";
    return challenge;
}

void HTTPDigestCheck::forget()
{
    m_nonce.clear();
    m_lastNC = 0;
}

std::string HTTPDigestCheck::issueNonce()
{
    auto nonce = core::uuidString();
    auto& shared = nonces();
    shared.recent.push_back(nonce);
    core::RunLoop::main().performAfter(NonceLifetime, [nonce] { std::erase(nonces().recent, nonce); },
        core::PerformKey { shared.timerToken, NonceTag, core::Value(nonce) });
    return nonce;
}

size_t HTTPDigestCheck::recentNonceCountForTesting()
{
    return nonces().recent.size();
}

void HTTPDigestCheck::resetForTesting()
{
    auto& shared = nonces();
    core::RunLoop::main().cancelPerforms(shared.timerToken.get());
    shared.recent.clear();
}
