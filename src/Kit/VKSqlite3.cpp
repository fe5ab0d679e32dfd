#include "Kit/VKSqlite3.h"

#include "Platform/Core/Log.h"

#include <climits>
#include <cstring>
#include <sqlite3.h>

namespace {

// SQL text up to its first NUL, as a C string would end.
std::string_view untilNul(std::string_view sql)
{
    if (const void* nul = std::memchr(sql.data(), '\0', sql.size()))
        return sql.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - sql.data()));
    return sql;
}

int prepare(sqlite3* db, std::string_view sql, sqlite3_stmt** statement)
{
    *statement = nullptr;
    if (!db)
        return SQLITE_MISUSE; // closed
    sql = untilNul(sql);
    if (sql.size() > static_cast<size_t>(INT_MAX))
        return SQLITE_TOOBIG;
    return sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), statement, nullptr);
}

} // namespace

std::shared_ptr<VKSqlite3> VKSqlite3::databaseWithPath(const std::string& path)
{
    std::shared_ptr<VKSqlite3> database(new VKSqlite3(path));
    if (!database->m_db)
        return nullptr;
    return database;
}

VKSqlite3::VKSqlite3(const std::string& path)
{
    if (sqlite3_open(path.c_str(), &m_db) == SQLITE_OK)
        return;
    core::log("Warning, Failed to open database at: {}", path);
    if (m_db) {
        core::log("Error: '{}'.", sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

VKSqlite3::~VKSqlite3()
{
    // Statements may outlive the connection: the connection then closes
    // when the last of them is finalized, instead of failing and leaking.
    if (m_db)
        sqlite3_close_v2(m_db);
}

std::string VKSqlite3::errorMessage() const
{
    return m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(SQLITE_MISUSE);
}

bool VKSqlite3::rollbackTransaction()
{
    return executeSql("ROLLBACK TRANSACTION") == SQLITE_DONE;
}

bool VKSqlite3::commitTransaction()
{
    return executeSql("COMMIT TRANSACTION") == SQLITE_DONE;
}

bool VKSqlite3::beginTransaction()
{
    return executeSql("BEGIN TRANSACTION") == SQLITE_DONE;
}

int VKSqlite3::executeSql(std::string_view sql)
{
    sqlite3_stmt* statement;
    int result = prepare(m_db, sql, &statement);
    if (result != SQLITE_OK)
        return result;
    // Text of blanks or comments compiles to no statement; stepping that
    // answers SQLite's misuse code.
    result = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return result;
}

std::shared_ptr<VKSqlite3Statement> VKSqlite3::prepareStatement(std::string_view sql)
{
    sqlite3_stmt* statement;
    if (prepare(m_db, sql, &statement) != SQLITE_OK) {
        core::log("Warning: failed to prepare statement '{}'.", errorMessage());
        return nullptr;
    }
    return std::make_shared<VKSqlite3Statement>(statement);
}

bool VKSqlite3::close()
{
    if (!m_db)
        return true;
    if (sqlite3_close(m_db) != SQLITE_OK) {
        core::log("Error: failed to close database '{}'.", errorMessage());
        return false;
    }
    m_db = nullptr;
    return true;
}
