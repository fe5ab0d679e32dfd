#pragma once

#include "Platform/Core/Object.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3_stmt;

// One prepared statement: binding (parameters count from 1), stepping and
// column access (columns count from 0). Result codes are SQLite's own.
// A statement does not keep its connection alive: the caller keeps the
// connection while it uses the statement.
class VKSqlite3Statement : public core::Object {
public:
    // Takes ownership of a prepared statement.
    explicit VKSqlite3Statement(sqlite3_stmt* statement);
    ~VKSqlite3Statement() override;

    sqlite3_stmt* statement() const { return m_stmt; }
    std::string description() const override;

    double doubleValueAtColumn(uint32_t column) const;
    // Nothing for SQL NULL (or text that is not UTF-8).
    std::optional<std::string> textValueAtColumn(uint32_t column) const;
    int32_t intValueAtColumn(uint32_t column) const;

    void bindDouble(double value, uint32_t index);
    // The text up to its first NUL, copied by SQLite; nothing binds NULL.
    void bindText(std::optional<std::string_view> text, uint32_t index);

    std::string errorMessage() const;
    std::optional<std::string> columnDeclType(uint32_t column) const;
    std::optional<std::string> columnName(uint32_t column) const;
    int32_t columnCount() const;

    int step();
    // Ready to run again; the bindings stay.
    int resetStatement();
    // The handle is gone afterwards, whatever the result; again is harmless.
    int finalizeStatement();

private:
    sqlite3_stmt* m_stmt = nullptr;
};
