#pragma once

#include "Kit/VKSqlite3Statement.h"
#include "Platform/Core/Object.h"

#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

// One SQLite connection: single statements, transactions and prepared
// statements. Result codes are handed back unchanged; failures the caller
// cannot see in a code are logged.
class VKSqlite3 : public core::Object {
public:
    // The connection, or nothing (logged) when the file cannot be opened.
    static std::shared_ptr<VKSqlite3> databaseWithPath(const std::string& path);
    ~VKSqlite3() override;

    sqlite3* handle() const { return m_db; }
    std::string errorMessage() const;

    // True exactly when the statement finished (SQLITE_DONE).
    bool rollbackTransaction();
    bool commitTransaction();
    bool beginTransaction();

    // Compiles the first statement of the text and steps it once: 101 when it
    // finished, 100 when it gave a row (discarded), else the error code.
    int executeSql(std::string_view sql);
    // Nothing (logged) when the text does not compile.
    std::shared_ptr<VKSqlite3Statement> prepareStatement(std::string_view sql);
    // Fails (logged, false) while statements are still open; the connection
    // then stays usable.
    bool close();

protected:
    explicit VKSqlite3(const std::string& path);

private:
    sqlite3* m_db = nullptr;
};
