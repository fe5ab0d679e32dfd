#pragma once

#include <cstdint>
#include <string_view>

namespace store {

class Connection;

// What one migration step sees of the file it brings up a version: it runs
// statements inside the step's transaction (ALTER TABLE, UPDATE …). A
// statement that fails throws, and the step with its version bump is rolled
// back, leaving the file as it was.
class Migration {
public:
    Migration(Connection& connection, int fromVersion) : m_connection(connection), m_fromVersion(fromVersion) { }

    int fromVersion() const { return m_fromVersion; }
    void execute(std::string_view sql);
    int64_t queryInteger(std::string_view sql);

private:
    Connection& m_connection;
    int m_fromVersion;
};

} // namespace store
