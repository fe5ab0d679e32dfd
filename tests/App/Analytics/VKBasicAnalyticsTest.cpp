#include "App/Analytics/VKBasicAnalytics.h"

#include "App/Analytics/POSTURLRequest.h"
#include "Kit/DataAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/FakeURLServer.h"
#include "Platform/Security/Digest.h"
#include "Support/TestCase.h"
#include "Support/TestWebServer.h"

#include <map>

namespace {

class VKBasicAnalyticsTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        VKBasicAnalytics::setSystemInfoHookForTesting([this](std::string_view name) -> std::optional<std::string> {
            ++asked[std::string(name)];
            if (name == "hw.machine")
                return "x86_64";
            if (name == "hw.model")
                return model;
            return std::nullopt;
        });
    }
    void TearDown() override
    {
        VKBasicAnalytics::setSystemInfoHookForTesting(nullptr);
        TestCase::TearDown();
    }
    static void setHost(const std::string& host)
    {
        core::UserDefaults::setArguments({ "-VKBasicAnalyticsHost", host });
        core::UserDefaults::resetStandardForTesting();
    }

    std::map<std::string, int> asked;
    std::optional<std::string> model = "Board";
};

TEST_F(VKBasicAnalyticsTest, TheRecordIsBuiltOnceFromTheSystemAndTheBundle)
{
    auto device = core::Device::current();
    const core::Value info = VKBasicAnalytics::basicAnalyticsInfo();
    EXPECT_EQ(info.count(), 4u);
    EXPECT_EQ(info["uniqueIdentifier"].string(), device->uniqueIdentifier());
    EXPECT_EQ(info["systemVersion"].string(), "Linux v" + device->systemVersion());
    EXPECT_EQ(info["hardwareVersion"].string(), "x86_64 (Board)");
    EXPECT_EQ(info["appVersion"].string(), "Tandry v1.0.0 (1)");
    EXPECT_EQ(VKBasicAnalytics::basicAnalyticsInfo(), info);
    EXPECT_EQ(asked, (std::map<std::string, int> { { "hw.machine", 1 }, { "hw.model", 1 } }));

    // What the system or the bundle does not say reads as the device printed nothing.
    model.reset();
    makeFile("bundle/Info.plist", *core::PropertyList::write(core::Value::makeDictionary({
        { "CFBundleDisplayName", core::Value("Tandry") }, { "CFBundleVersion", core::Value("2.0") } }),
        core::PropertyList::Format::XML));
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("bundle")));
    EXPECT_EQ(VKBasicAnalytics::basicAnalyticsInfo(), info);
    VKBasicAnalytics::setSystemInfoHookForTesting([this](std::string_view name) -> std::optional<std::string> {
        return name == "hw.machine" ? std::optional<std::string>("aarch64") : model;
    });
    const core::Value rebuilt = VKBasicAnalytics::basicAnalyticsInfo();
    EXPECT_EQ(rebuilt["hardwareVersion"].string(), "aarch64 ((null))");
    EXPECT_EQ(rebuilt["appVersion"].string(), "Tandry v2.0 ((null))");
}

TEST_F(VKBasicAnalyticsTest, TheFormIsOnePartPerKeyBetweenFreshBoundaries)
{
    auto url = *core::URL::parse("http://report.test/analytics/basic_analytics.php");
    POSTURLRequest request(url, core::Value::makeDictionary({ { "k", core::Value("v") } }));
    const std::string& boundary = request.boundary();
    EXPECT_EQ(boundary.size(), 36u);
    EXPECT_EQ(boundary.find_first_of("abcdef"), std::string::npos);
    EXPECT_EQ(request.method(), "POST");
    EXPECT_EQ(request.header("Content-Type"), "multipart/form-data; boundary=" + boundary);
    EXPECT_EQ(request.body().view(),
        "--" + boundary + "\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--" + boundary + "--\r\n");
    EXPECT_NE(POSTURLRequest(url, core::Value::makeDictionary()).boundary(), boundary);

    // Key order; values as their text.
    POSTURLRequest two(url, core::Value::makeDictionary({ { "b", core::Value("2") }, { "a", core::Value(int64_t(1)) } }));
    const std::string b = two.boundary();
    EXPECT_EQ(two.body().view(), "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + b
            + "\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--" + b + "--\r\n");
    EXPECT_EQ(POSTURLRequest(url, core::Value::makeDictionary()).body().size(), 2 + 36 + 4u);

    // A key that would break out of its part's header sends no form at all.
    for (const char* key : { "a\"b", "a\rb", "a\nb" }) {
        POSTURLRequest unsafe(url, core::Value::makeDictionary({ { key, core::Value("v") }, { "ok", core::Value("v") } }));
        EXPECT_TRUE(unsafe.body().empty()) << key;
    }
    EXPECT_TRUE(logContains("Warning, POSTURLRequest: a form key holds a quote or a line break"));
}

TEST_F(VKBasicAnalyticsTest, OnlyAConfiguredPlainHostGetsTheReport)
{
    // The shipped bundle names no host: nothing goes out, over either scheme.
    EXPECT_EQ(core::Bundle::main()->objectForInfoDictionaryKey(VKBasicAnalytics::HostKey), core::Value(""));
    auto plain = net::FakeURLServer::install("http://");
    auto secure = net::FakeURLServer::install("https://");
    VKBasicAnalytics::sendBasicAnalytics();
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(plain->loads().empty());
    EXPECT_TRUE(secure->loads().empty());
    EXPECT_TRUE(logContains("VKBasicAnalytics: no report host is configured"));

    setHost("127.0.0.1:8099");
    EXPECT_EQ(VKBasicAnalytics::reportURL()->absoluteString(), "http://127.0.0.1:8099/analytics/basic_analytics.php");
    setHost("report.example.test");
    EXPECT_EQ(VKBasicAnalytics::reportURL()->absoluteString(), "http://report.example.test/analytics/basic_analytics.php");
    setHost("[::1]:80");
    EXPECT_EQ(VKBasicAnalytics::reportURL()->absoluteString(), "http://[::1]:80/analytics/basic_analytics.php");

    const size_t lines = logLines().size();
    for (const char* host : { "", "evil.test/steal?x=", "user@host.test", "host.test:0", "host.test:65536", "host.test:",
             "-dash.test", "a b", "host.test#", "[::1", "[nonsense]:80", "http://host.test" }) {
        setHost(host);
        EXPECT_FALSE(VKBasicAnalytics::reportURL()) << host;
        VKBasicAnalytics::sendBasicAnalytics();
    }
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(plain->loads().empty());
    EXPECT_EQ(logLines().size(), lines + 24);
}

TEST_F(VKBasicAnalyticsTest, AWebServerReceivesTheRecordAsAForm)
{
    test::TestWebServer server(pathInHome("server"));
    ASSERT_TRUE(server.isRunning());
    setHost("127.0.0.1:" + std::to_string(server.port()));
    VKBasicAnalytics::sendBasicAnalytics();
    std::vector<test::TestWebServer::Request> requests;
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !(requests = server.requests()).empty(); }, 30));

    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests.front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/analytics/basic_analytics.php");
    const std::string type = request.header("Content-Type").value_or("");
    ASSERT_TRUE(type.starts_with("multipart/form-data; boundary=")) << type;
    const std::string boundary = type.substr(type.find('=') + 1);
    const core::Value info = VKBasicAnalytics::basicAnalyticsInfo();
    const std::string expected = *POSTURLRequest::multipartBody(boundary, info);
    EXPECT_EQ(request.bodyLength, int64_t(expected.size()));
    EXPECT_EQ(request.bodySHA256, vkHexRepresentation(sec::Digest::sha256(expected)));

    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& [key, value] : info.dictionary())
        fields.emplace_back(key, value.string());
    EXPECT_EQ(request.formFields, fields);
    EXPECT_TRUE(logContains("Sending the usage report to http://127.0.0.1:"));
}

} // namespace
