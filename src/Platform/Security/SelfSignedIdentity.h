#pragma once

// A TLS identity made on the spot: an RSA 2048 key and a self-signed
// certificate for ten years, naming the host (its name, "localhost" and
// 127.0.0.1), written as a PKCS#12 file readable by its owner only. Made
// once per home, so that no two installations share a private key.

#include "Platform/Core/Error.h"

#include <string>
#include <string_view>

namespace sec {

class SelfSignedIdentity {
public:
    // Writes the identity, sealed with `passphrase`, to `path` (through a
    // temporary file; the folder is made 0700 when missing).
    static bool writeFile(const std::string& path, std::string_view passphrase, core::Error* error = nullptr);
};

} // namespace sec
