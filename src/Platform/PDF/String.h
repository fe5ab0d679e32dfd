#pragma once

// A PDF string: its bytes (already decrypted) and its text.

#include <string>

namespace pdf {

class String {
public:
    String() = default;
    explicit String(std::string bytes) : m_bytes(std::move(bytes)) { }

    const std::string& bytes() const { return m_bytes; }
    size_t size() const { return m_bytes.size(); }

    // The string as a text string, in UTF-8: UTF-16BE after its byte order
    // mark, UTF-8 after its mark, PDFDocEncoding otherwise.
    std::string text() const;

    bool operator==(const String&) const = default;

private:
    std::string m_bytes;
};

} // namespace pdf
