#include "Platform/Security/Pkcs12Identity.h"

#include "Support/Command.h"
#include "Support/TlsCertificates.h"
#include "Support/TestCase.h"

#include <utility>
#include <vector>

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
    EXPECT_FALSE(Pkcs12Identity::load(core::Data(bytes.view().substr(0, bytes.size() / 2)), "secret", &error));
    EXPECT_EQ(error.code(), Pkcs12Identity::DecodeFailed);
    EXPECT_FALSE(Pkcs12Identity::load(core::Data(), "secret", &error));
}

TEST_F(Pkcs12IdentityTest, FilesAskingForEndlessRoundsAreRefusedAtOnce)
{
    // Ten million rounds held the reading thread for half a minute. The
    // largest count a file may name is a million; more is refused before
    // any round runs, with the right passphrase too.
    const auto certificates = test::makeTlsCertificates(makeFolder("certs"), { "127.0.0.1" });
    ASSERT_TRUE(certificates.made);
    const auto exported = [&](const std::string& name, std::vector<std::string> options) {
        std::vector<std::string> command { "openssl", "pkcs12", "-export", "-in", certificates.certificateFile, "-inkey",
            certificates.keyFile, "-passout", "pass:secret", "-out", pathInHome(name) };
        command.insert(command.end(), options.begin(), options.end());
        EXPECT_EQ(test::runCommand(command).status, 0) << name;
        return core::Data(readFile(pathInHome(name)));
    };
    core::Error error;
    for (const auto& [name, options] : std::vector<std::pair<std::string, std::vector<std::string>>> {
             { "mac-and-keys.p12", { "-iter", "1000001" } },
             { "keys-only.p12", { "-iter", "1000001", "-nomaciter" } },
             { "no-mac.p12", { "-iter", "1000001", "-nomac" } } }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Pkcs12Identity::load(exported(name, options), "secret", &error));
        EXPECT_EQ(error.code(), Pkcs12Identity::DecodeFailed);
    }
    EXPECT_TRUE(Pkcs12Identity::load(exported("some-rounds.p12", { "-iter", "20000" }), "secret", &error))
        << error.description();
}

} // namespace
