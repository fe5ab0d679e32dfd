#include "Platform/Security/Pkcs12Identity.h"

#include "Support/TlsCertificates.h"
#include "Support/TestCase.h"

using sec::Pkcs12Identity;

namespace {

class Pkcs12IdentityTest : public test::TestCase { };

TEST_F(Pkcs12IdentityTest, LoadsKeyCertificateAndChain)
{
    const auto plain = test::makeTlsIdentity(makeFolder("plain"), "secret");
    const auto chained = test::makeTlsIdentity(makeFolder("chained"), "s3cret", true);
    const core::Data bytes(readFile(plain));

    core::Error error;
    auto identity = Pkcs12Identity::load(bytes, "secret", &error);
    ASSERT_TRUE(identity) << error.description();
    EXPECT_TRUE(identity->privateKey());
    EXPECT_TRUE(identity->certificate());
    EXPECT_TRUE(identity->chain().empty());
    EXPECT_EQ(identity->subject(), "CN=127.0.0.1");

    auto withChain = Pkcs12Identity::load(core::Data(readFile(chained)), "s3cret", &error);
    ASSERT_TRUE(withChain) << error.description();
    EXPECT_EQ(withChain->chain().size(), 1u);

    EXPECT_FALSE(Pkcs12Identity::load(bytes, "wrong", &error));
    EXPECT_EQ(error.code(), Pkcs12Identity::AuthFailed);
    EXPECT_EQ(error.domain(), Pkcs12Identity::OSStatusDomain);
    EXPECT_FALSE(Pkcs12Identity::load(core::Data(std::string_view("not a pkcs12 file")), "secret", &error));
    EXPECT_EQ(error.code(), Pkcs12Identity::DecodeFailed);
    EXPECT_FALSE(Pkcs12Identity::load(bytes.subdata(0, bytes.size() / 2), "secret", &error));
    EXPECT_EQ(error.code(), Pkcs12Identity::DecodeFailed);
    EXPECT_FALSE(Pkcs12Identity::load(core::Data(), "secret", &error));
}

} // namespace
