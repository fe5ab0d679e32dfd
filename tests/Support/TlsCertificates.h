#pragma once

#include <string>
#include <vector>

namespace test {

// Test certificates made with the openssl program: a CA of their own
// ("ca.pem", "ca.key") and a server certificate it signs ("server.pem",
// "server.key") naming the given hosts and addresses, in `directory`. A
// failed step fails the test; `made` says whether all went through.
struct TlsCertificates {
    std::string caFile;
    std::string certificateFile;
    std::string keyFile;
    bool made = false;
};
TlsCertificates makeTlsCertificates(const std::string& directory, const std::vector<std::string>& names);

// The server certificate and key of makeTlsCertificates (for "127.0.0.1")
// exported as a PKCS#12 file ("server.p12") protected by `passphrase`, with
// the CA as its chain when `withChain`; returns the file's path.
std::string makeTlsIdentity(const std::string& directory, const std::string& passphrase, bool withChain = false);

} // namespace test
