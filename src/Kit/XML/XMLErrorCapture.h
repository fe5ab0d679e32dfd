#pragma once

#include <memory>
#include <string>

// While it exists, libxml2's errors on this thread go to it instead of
// stderr; it keeps the last one (as the library's "last error" would).
class XMLErrorCapture {
public:
    XMLErrorCapture();
    ~XMLErrorCapture();
    XMLErrorCapture(const XMLErrorCapture&) = delete;
    XMLErrorCapture& operator=(const XMLErrorCapture&) = delete;

    bool hasError() const { return m_level > 0; }
    // 1 warning, 2 error, 3 fatal error.
    int level() const { return m_level; }
    int code() const { return m_code; }
    // Without the trailing newline libxml2 puts on its messages.
    const std::string& message() const { return m_message; }

    void record(int level, int code, const char* message);

    // Readies libxml2 for use from several threads; every capture does it.
    static void prepareLibrary();

private:
    struct SavedHandlers;
    std::unique_ptr<SavedHandlers> m_saved;
    int m_level = 0;
    int m_code = 0;
    std::string m_message;
};
