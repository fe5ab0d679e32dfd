#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Value.h"
#include "Platform/Store/Schema.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The store's own thin layer over the SQLite C API, shared by the
// coordinator, contexts and migrations; nothing outside Platform/Store uses
// it. Failures are thrown as store::Failure and turned into core::Errors (or
// log lines) where the public interface answers.
namespace store {

inline constexpr const char* ErrorDomain = "NSSQLiteErrorDomain";

struct Failure {
    int code;
    std::string message;
    // The result code without its extended bits.
    int primaryCode() const { return code & 0xff; }
};

core::Error errorFromFailure(const Failure& failure);

class Statement {
public:
    Statement(sqlite3* database, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds by 1-based index; a value is bound as what it holds (a boolean
    // as 0 or 1, a date as Unix seconds).
    void bind(int index, const core::Value& value);
    void bind(int index, int64_t value);
    // Steps once: true when a row is there.
    bool step();
    // Ready for the next run, bindings cleared.
    void reset();

    bool isNull(int column) const;
    int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    // The column read as an attribute of that type (NULL: a null value).
    core::Value value(int column, AttributeType type) const;

private:
    sqlite3* m_database;
    sqlite3_stmt* m_statement = nullptr;
};

// Resets a (cached) statement when the scope ends, however it ends, so that
// no read transaction stays open behind a half-stepped statement.
class StatementScope {
public:
    explicit StatementScope(Statement& statement) : m_statement(statement) { }
    ~StatementScope() { m_statement.reset(); }
    StatementScope(const StatementScope&) = delete;
    StatementScope& operator=(const StatementScope&) = delete;
    Statement* operator->() { return &m_statement; }
    Statement& operator*() { return m_statement; }

private:
    Statement& m_statement;
};

class Connection {
public:
    // Opens (and with `create`, makes) the file. Nothing is written yet.
    static std::unique_ptr<Connection> open(const std::string& path, bool create);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // A context's settings: foreign keys on, synchronous NORMAL, a busy
    // timeout, and the containment function.
    void configure();
    // Runs one or more statements without results.
    void execute(std::string_view sql);
    // The first column of the first row (0 when there is none).
    int64_t queryInteger(std::string_view sql);
    // The first column of every row, as text.
    std::vector<std::string> queryTexts(std::string_view sql);
    // A statement kept for the connection's life, prepared on first use.
    Statement& statement(const std::string& sql);

    // BEGIN IMMEDIATE … COMMIT; rolled back when the scope ends without
    // commit().
    class Transaction {
    public:
        explicit Transaction(Connection& connection);
        ~Transaction();
        void commit();

    private:
        Connection& m_connection;
        bool m_open = true;
    };

    sqlite3* handle() const { return m_database; }

private:
    explicit Connection(sqlite3* database) : m_database(database) { }

    sqlite3* m_database;
    std::map<std::string, std::unique_ptr<Statement>, std::less<>> m_statements;
};

} // namespace store
