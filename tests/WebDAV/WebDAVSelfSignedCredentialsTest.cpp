#include "Platform/Core/FileSystem.h"
#include "Platform/Net/TlsServerContext.h"
#include "Platform/Security/Pkcs12Identity.h"
#include "Support/Command.h"
#include "Support/TestCase.h"
#include "WebDAV/WebDAVSelfSignedCredentials.h"

#include <sys/stat.h>

namespace {

class WebDAVSelfSignedCredentialsTest : public test::TestCase { };

TEST_F(WebDAVSelfSignedCredentialsTest, IdentityIsMadeOncePerHomeAndServesTLS)
{
    std::string library = pathInHome("Library");
    WebDAVSelfSignedCredentials credentials(library);
    EXPECT_FALSE(credentials.passwordForUser("anyone"));
    EXPECT_FALSE(core::fs::exists(credentials.identityPath()));

    auto identity = credentials.sslIdentityAndCertificates();
    ASSERT_TRUE(identity);
    EXPECT_EQ(credentials.sslIdentityAndCertificates(), identity);
    struct stat info;
    ASSERT_EQ(stat(credentials.identityPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(net::TlsServerContext::create(identity));

    // A second start of the same home reads the same key; another home makes its own.
    auto again = WebDAVSelfSignedCredentials(library).sslIdentityAndCertificates();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->subject(), identity->subject());
    auto other = WebDAVSelfSignedCredentials(pathInHome("other")).sslIdentityAndCertificates();
    ASSERT_TRUE(other);
    auto fingerprint = [](const std::string& path) {
        return test::runCommand({ "openssl", "pkcs12", "-in", path, "-passin", "pass:quillbrock", "-nokeys", "-clcerts" }).output;
    };
    EXPECT_NE(fingerprint(credentials.identityPath()), fingerprint(pathInHome("other/webdav.p12")));
    EXPECT_NE(fingerprint(credentials.identityPath()).find("BEGIN CERTIFICATE"), std::string::npos);
}

} // namespace
