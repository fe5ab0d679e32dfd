#include "Kit/VKSqlite3Statement.h"

#include "Platform/Core/PercentEscape.h"

#include <climits>
#include <cstring>
#include <fmt/format.h>
#include <sqlite3.h>

namespace {

std::optional<std::string> columnTextOf(const unsigned char* text)
{
    if (!text)
        return std::nullopt;
    std::string_view bytes(reinterpret_cast<const char*>(text));
    if (!core::isValidUTF8(bytes))
        return std::nullopt;
    return std::string(bytes);
}

std::optional<std::string> columnTextOf(const char* text)
{
    return columnTextOf(reinterpret_cast<const unsigned char*>(text));
}

int columnIndex(uint32_t column)
{
    return column > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(column);
}

} // namespace

VKSqlite3Statement::VKSqlite3Statement(sqlite3_stmt* statement)
    : m_stmt(statement)
{
}

VKSqlite3Statement::~VKSqlite3Statement()
{
    if (m_stmt)
        finalizeStatement();
}

std::string VKSqlite3Statement::description() const
{
    return fmt::format("{}: {}", className(), static_cast<const void*>(m_stmt));
}

double VKSqlite3Statement::doubleValueAtColumn(uint32_t column) const
{
    return sqlite3_column_double(m_stmt, columnIndex(column));
}

std::optional<std::string> VKSqlite3Statement::textValueAtColumn(uint32_t column) const
{
    return columnTextOf(sqlite3_column_text(m_stmt, columnIndex(column)));
}

int32_t VKSqlite3Statement::intValueAtColumn(uint32_t column) const
{
    return sqlite3_column_int(m_stmt, columnIndex(column));
}

void VKSqlite3Statement::bindDouble(double value, uint32_t index)
{
    sqlite3_bind_double(m_stmt, columnIndex(index), value);
}

void VKSqlite3Statement::bindText(std::optional<std::string_view> text, uint32_t index)
{
    if (!text) {
        sqlite3_bind_null(m_stmt, columnIndex(index));
        return;
    }
    std::string_view bytes = *text;
    if (const void* nul = std::memchr(bytes.data(), '\0', bytes.size()))
        bytes = bytes.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - bytes.data()));
    sqlite3_bind_text64(m_stmt, columnIndex(index), bytes.data(), bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

std::string VKSqlite3Statement::errorMessage() const
{
    sqlite3* db = sqlite3_db_handle(m_stmt);
    return db ? sqlite3_errmsg(db) : sqlite3_errstr(SQLITE_MISUSE);
}

std::optional<std::string> VKSqlite3Statement::columnDeclType(uint32_t column) const
{
    return columnTextOf(sqlite3_column_decltype(m_stmt, columnIndex(column)));
}

std::optional<std::string> VKSqlite3Statement::columnName(uint32_t column) const
{
    return columnTextOf(sqlite3_column_name(m_stmt, columnIndex(column)));
}

int32_t VKSqlite3Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

int VKSqlite3Statement::step()
{
    return sqlite3_step(m_stmt);
}

int VKSqlite3Statement::resetStatement()
{
    return sqlite3_reset(m_stmt);
}

int VKSqlite3Statement::finalizeStatement()
{
    int result = sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    return result;
}
