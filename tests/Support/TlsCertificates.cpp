#include "Support/TlsCertificates.h"

#include "Support/Command.h"

#include <gtest/gtest.h>

#include <fstream>

namespace test {

TlsCertificates makeTlsCertificates(const std::string& directory, const std::vector<std::string>& names)
{
    const std::string& d = directory;
    std::string alternatives;
    for (const auto& name : names) {
        const bool address = name.find_first_not_of("0123456789.:") == std::string::npos;
        alternatives += (alternatives.empty() ? "" : ",") + std::string(address ? "IP:" : "DNS:") + name;
    }
    std::ofstream(d + "/server.ext") << "subjectAltName=" << alternatives
                                     << "\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature\n"
                                        "extendedKeyUsage=serverAuth\n";
    const std::vector<std::vector<std::string>> steps = {
        { "openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", d + "/ca.key", "-out", d + "/ca.pem", "-days", "2", "-subj", "/CN=Tandry Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign" },
        { "openssl", "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", d + "/server.key", "-out", d + "/server.csr", "-subj", "/CN=" + names.front() },
        { "openssl", "x509", "-req", "-in", d + "/server.csr", "-CA", d + "/ca.pem", "-CAkey", d + "/ca.key",
            "-CAcreateserial", "-out", d + "/server.pem", "-days", "2", "-extfile", d + "/server.ext" },
    };
    TlsCertificates made { d + "/ca.pem", d + "/server.pem", d + "/server.key", false };
    for (const auto& step : steps) {
        if (runCommand(step).status != 0) {
            ADD_FAILURE() << "openssl failed making the test certificates";
            return made;
        }
    }
    made.made = true;
    return made;
}

std::string makeTlsIdentity(const std::string& directory, const std::string& passphrase, bool withChain)
{
    const auto certificates = makeTlsCertificates(directory, { "127.0.0.1" });
    const std::string identity = directory + "/server.p12";
    std::vector<std::string> exportCommand { "openssl", "pkcs12", "-export", "-in", certificates.certificateFile,
        "-inkey", certificates.keyFile, "-out", identity, "-passout", "pass:" + passphrase };
    if (withChain)
        exportCommand.insert(exportCommand.end(), { "-certfile", certificates.caFile });
    EXPECT_EQ(runCommand(exportCommand).status, 0) << "openssl pkcs12 -export failed";
    return identity;
}

} // namespace test
