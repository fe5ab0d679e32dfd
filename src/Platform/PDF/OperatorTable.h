#pragma once

// The operators a content-stream scan reports, each with its callback. Built
// once and then shared, read-only, by scans on any thread.

#include <string>
#include <string_view>
#include <unordered_map>

namespace pdf {

class Scanner;

class OperatorTable {
public:
    // Called with the scanner (to pop the operands) and the info pointer the
    // scanner was made with.
    using Callback = void (*)(Scanner& scanner, void* info);

    void setCallback(std::string name, Callback callback);
    // Nothing for an unregistered operator.
    Callback callback(const std::string& name) const;

private:
    std::unordered_map<std::string, Callback> m_callbacks;
};

} // namespace pdf
