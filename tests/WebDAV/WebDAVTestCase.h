#pragma once

#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPMessageRequest.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/Path.h"
#include "Support/TestCase.h"
#include "WebDAV/WebDAVResource.h"
#include "WebDAV/WebDAVResponse.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <optional>
#include <string>

namespace test {

// A served folder ("root" in the test's home, at "/") and a quota manager
// over it whose free space the test sets.
class WebDAVTestCase : public TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        root = makeFolder("root");
        VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(root, home() + "/Servers"));
        setAvailableBytes(uint64_t(1) << 30);
    }

    void setAvailableBytes(std::optional<uint64_t> bytes)
    {
        VKQuotaManager::setFreeSpaceFunctionForTesting([bytes](const std::string&) { return bytes; });
    }

    std::string local(std::string_view uriPath) const { return core::path::appendingPathComponent(root, uriPath); }
    WebDAVResourceRef resource(std::string_view uriPath) const
    {
        return WebDAVResource::resourceWithURI(URLWithPath(uriPath), local(uriPath));
    }

    std::string root;
};

// A connection stand-in: the served folder at "/", and the end of each
// response recorded.
class FakeResponseDelegate : public WebDAVResponseDelegate {
public:
    explicit FakeResponseDelegate(std::string root) : m_root(std::move(root)) { }

    std::optional<core::URL> localHost() override { return core::URL::parse("http://dav.test:8080"); }
    std::optional<std::string> localPathForURI(const core::URL& uri) override
    {
        return core::path::appendingPathComponent(m_root, uri.standardized().path());
    }
    std::optional<core::URL> URIForLocalPath(const std::string& path) override
    {
        auto relative = stringByAbbreviatingRelativeToPath(path, m_root);
        return relative ? std::optional(URLWithPath("/" + *relative)) : std::nullopt;
    }
    void webDAVResponse(WebDAVResponse&, const core::URL&) override { }
    std::optional<WebDAVResourceList> webDAVResponse(WebDAVResponse&, const WebDAVResource& resource,
        std::string_view depth) override
    {
        if (depth == "0")
            return std::nullopt;
        return resource.subresourcesToDepth(depth);
    }
    bool isMutableURI(const core::URL& uri) override { return uri.path() != "/"; }
    void webDAVResponseDidEnd(WebDAVResponse&, WebDAVResponseEnd end) override
    {
        ++ends;
        lastEnd = end;
    }

    int ends = 0;
    std::optional<WebDAVResponseEnd> lastEnd;

private:
    std::string m_root;
};

// Responses driven directly through the connection stand-in.
class FakeDelegateTestCase : public WebDAVTestCase {
protected:
    void SetUp() override
    {
        WebDAVTestCase::SetUp();
        delegate = std::make_unique<FakeResponseDelegate>(root);
    }

    // Starts the response and checks that it ended exactly once.
    template <typename Response>
    std::shared_ptr<Response> startOnce(std::shared_ptr<Response> response)
    {
        int before = delegate->ends;
        response->start();
        EXPECT_EQ(delegate->ends, before + 1);
        return response;
    }

    std::unique_ptr<FakeResponseDelegate> delegate;
};

inline std::shared_ptr<HTTPMessageRequest> makeRequest(std::string_view method, std::string_view target,
    std::string_view headers = {}, std::string_view body = {})
{
    auto request = HTTPMessageRequest::create();
    std::string text = std::string(method) + " " + std::string(target) + " HTTP/1.1\r\nHost: dav.test\r\n";
    text += headers;
    if (!body.empty())
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n";
    text += body;
    request->appendBytes(std::string_view(text));
    return request;
}

} // namespace test
