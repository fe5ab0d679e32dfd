#include "WebDAVServerTestCase.h"

#include "Shell/VKKeychain.h"
#include "Platform/Security/Pkcs12Identity.h"
#include "WebDAV/WebDAVKeychainCredentials.h"

namespace {

class WebDAVKeychainCredentialsTest : public test::WebDAVServerTestCase {
protected:
    void SetUp() override
    {
        WebDAVServerTestCase::SetUp();
        keychain = VKKeychain::sharedKeychain();
        WebDAVCredentials::setCurrent(std::make_shared<WebDAVKeychainCredentials>(keychain));
        makeFile("site/Library/Documents/private.txt", "p");
        protect();
    }
    std::string propfind(const std::string& password)
    {
        return code(curl({ "--digest", "-u", "alice:" + password, "-X", "PROPFIND", "-H", "Depth: 0", url("/Documents/private.txt") }));
    }

    std::shared_ptr<VKKeychain> keychain;
};

TEST_F(WebDAVKeychainCredentialsTest, TheKeychainsPasswordGuardsTheNextConnection)
{
    // Nothing stored: the server stays open.
    EXPECT_EQ(code(curl({ "-X", "PROPFIND", "-H", "Depth: 0", url("/Documents/private.txt") })), "207");

    ASSERT_TRUE(keychain->setPassword("first", VKLoginPasswordService, VKLoginPasswordService));
    EXPECT_EQ(propfind("first"), "207");
    EXPECT_EQ(propfind("wrong"), "401");

    // A change drops the uploader's tokens and takes effect at once.
    const std::string token = WebDAVConnection::generatePOSTTokenForURI(*core::URL::parse("/Documents/"));
    ASSERT_TRUE(keychain->setPassword("second", VKLoginPasswordService, VKLoginPasswordService));
    core::RunLoop::main().runUntilIdle();
    EXPECT_FALSE(WebDAVConnection::pathForPOSTToken(token));
    EXPECT_EQ(propfind("second"), "207");
    EXPECT_EQ(propfind("first"), "401");

    // The identity comes from the keychain too.
    auto identity = WebDAVCredentials::current()->sslIdentityAndCertificates();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity, keychain->sslIdentityAndCertificates());
}

TEST_F(WebDAVKeychainCredentialsTest, APasswordGivenAtLaunchWinsAndIsNeverStored)
{
    ASSERT_TRUE(keychain->setPassword("stored", VKLoginPasswordService, VKLoginPasswordService));
    const std::string file = pathInHome("Library/Keychain/Tandry.keychain");
    const std::string before = readFile(file);
    WebDAVCredentials::setCurrent(std::make_shared<WebDAVKeychainCredentials>(keychain, "given"));

    EXPECT_EQ(propfind("given"), "207");
    EXPECT_EQ(propfind("stored"), "401");
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(keychain->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), "stored");
}

} // namespace
