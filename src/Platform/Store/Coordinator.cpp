#include "Platform/Store/Coordinator.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Store/Connection.h"
#include "Platform/Store/Migration.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>
#include <set>
#include <sqlite3.h>

namespace store {

struct Coordinator::Private { };

namespace {

enum class Outcome { Ready, Damaged, Newer, Unmigratable };

struct Prepared {
    Outcome outcome = Outcome::Ready;
    int version = 0;
    int64_t nextID = 1;
    std::string reason;
};

const char* const SideFileSuffixes[] = { "-wal", "-shm" };

std::set<std::string> tableColumns(Connection& connection, const std::string& table)
{
    auto names = connection.queryTexts(fmt::format("SELECT name FROM pragma_table_info({})",
        "'" + table + "'"));
    return { names.begin(), names.end() };
}

// Deletes rows whose parent is gone; their subtrees go with them.
void removeOrphans(Connection& connection, const Schema& schema, const std::string& path)
{
    const std::string table = quotedIdentifier(schema.entityName());
    const std::string countSQL = "SELECT count(*) FROM " + table;
    int64_t before = -1;
    for (;;) {
        std::vector<int64_t> orphans;
        {
            Statement check(connection.handle(), fmt::format("PRAGMA foreign_key_check({})", table));
            while (check.step()) {
                if (!check.isNull(1))
                    orphans.push_back(check.integer(1));
            }
        }
        if (orphans.empty())
            break;
        if (before < 0)
            before = connection.queryInteger(countSQL);
        Connection::Transaction transaction(connection);
        Statement remove(connection.handle(), fmt::format("DELETE FROM {} WHERE id = ?", table));
        for (int64_t id : orphans) {
            remove.bind(1, id);
            remove.step();
            remove.reset();
        }
        transaction.commit();
    }
    // Counted by rows, since the subtrees go by cascade.
    int64_t removed = before < 0 ? 0 : before - connection.queryInteger(countSQL);
    if (removed > 0)
        core::log("Warning, removed {} orphaned objects from {}", removed, core::path::abbreviatingWithTildeInPath(path));
}

void migrate(Connection& connection, const Schema& schema, const std::vector<const Schema::Step*>& steps)
{
    for (const auto* step : steps) {
        Connection::Transaction transaction(connection);
        Migration migration(connection, step->fromVersion);
        step->apply(migration);
        connection.execute(fmt::format("PRAGMA user_version = {}", step->fromVersion + 1));
        transaction.commit();
        core::log("Migrated {} to version {}", schema.entityName(), step->fromVersion + 1);
    }
}

// A file that does not begin as a database is damaged before SQLite looks
// at it and its side files (which it may reset while trying).
bool hasDatabaseHeader(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return true;
    char header[16] = {};
    size_t read = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    return read == 0 || (read == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0);
}

Prepared prepare(const std::string& path, const Schema& schema)
{
    Prepared result;
    if (!hasDatabaseHeader(path)) {
        result.outcome = Outcome::Damaged;
        result.reason = "not a database";
        return result;
    }
    auto connection = Connection::open(path, true);
    const std::string table = schema.entityName();
    try {
        result.version = static_cast<int>(connection->queryInteger("PRAGMA user_version"));
        auto tables = connection->queryTexts(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'");
        auto quick = connection->queryTexts("PRAGMA quick_check");
        if (quick.size() != 1 || quick[0] != "ok") {
            result.outcome = Outcome::Damaged;
            result.reason = quick.empty() ? "quick_check failed" : quick[0];
            return result;
        }
        bool hasTable = std::find(tables.begin(), tables.end(), table) != tables.end();
        if (result.version > schema.version()) {
            result.outcome = Outcome::Newer;
            return result;
        }
        connection->configure();
        if (result.version == 0) {
            if (!tables.empty()) {
                result.outcome = Outcome::Damaged;
                result.reason = "tables of another program";
                return result;
            }
            Connection::Transaction transaction(*connection);
            for (const auto& statement : schema.createStatements())
                connection->execute(statement);
            connection->execute(fmt::format("PRAGMA user_version = {}", schema.version()));
            transaction.commit();
        } else {
            if (!hasTable) {
                result.outcome = Outcome::Damaged;
                result.reason = "no table " + table;
                return result;
            }
            if (result.version < schema.version()) {
                auto steps = schema.migrationPath(result.version);
                if (!steps) {
                    result.outcome = Outcome::Unmigratable;
                    return result;
                }
                try {
                    migrate(*connection, schema, *steps);
                } catch (const Failure& failure) {
                    core::log("Warning, migration of {} failed: {}", core::path::abbreviatingWithTildeInPath(path),
                        failure.message);
                    result.outcome = Outcome::Unmigratable;
                    return result;
                }
            }
            auto columns = tableColumns(*connection, table);
            for (const auto& column : schema.columnNames()) {
                if (!columns.contains(column)) {
                    result.outcome = Outcome::Damaged;
                    result.reason = "no column " + column;
                    return result;
                }
            }
            Connection::Transaction transaction(*connection);
            for (const auto& statement : schema.createIndexStatements())
                connection->execute(statement);
            transaction.commit();
        }
        removeOrphans(*connection, schema, path);
        auto mode = connection->queryTexts("PRAGMA journal_mode = WAL");
        if (mode.empty() || mode[0] != "wal")
            core::log("Warning, store {} is not in WAL mode", core::path::abbreviatingWithTildeInPath(path));
        result.nextID = connection->queryInteger(fmt::format("SELECT max(id) FROM {}", quotedIdentifier(table))) + 1;
    } catch (const Failure& failure) {
        int code = failure.primaryCode();
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) {
            result.outcome = Outcome::Damaged;
            result.reason = failure.message;
            return result;
        }
        throw;
    }
    return result;
}

void removeWithSideFiles(const std::string& path)
{
    core::fs::removeItem(path);
    for (const char* suffix : SideFileSuffixes)
        core::fs::removeItem(path + suffix);
}

// The damaged file and its side files keep their pairing under the new name,
// so that sqlite3 can still open what was moved aside.
void moveAside(const std::string& path)
{
    const std::string aside = path + ".corrupt";
    removeWithSideFiles(aside);
    std::rename(path.c_str(), aside.c_str());
    for (const char* suffix : SideFileSuffixes)
        std::rename((path + suffix).c_str(), (aside + suffix).c_str());
}

} // namespace

Coordinator::Coordinator(const Private&, std::string path, bool isScratch, std::shared_ptr<const Schema> schema,
    int64_t nextID)
    : m_path(std::move(path))
    , m_isScratch(isScratch)
    , m_schema(std::move(schema))
    , m_nextID(nextID)
{
}

Coordinator::~Coordinator() = default;

std::shared_ptr<Coordinator> Coordinator::open(const std::string& path, Schema schema, core::Error* error)
{
    auto shared = std::make_shared<const Schema>(std::move(schema));
    std::string target = path;
    bool isScratch = false;
    bool movedAside = false;
    try {
        for (;;) {
            Prepared prepared = prepare(target, *shared);
            switch (prepared.outcome) {
            case Outcome::Ready:
                return std::make_shared<Coordinator>(Private {}, target, isScratch, shared, prepared.nextID);
            case Outcome::Damaged:
                core::log("Warning, moving damaged store aside ({}): {}", prepared.reason,
                    core::path::abbreviatingWithTildeInPath(target));
                if (movedAside)
                    throw Failure { SQLITE_CORRUPT, "a fresh store is damaged too" };
                moveAside(target);
                movedAside = true;
                continue;
            case Outcome::Newer:
            case Outcome::Unmigratable: {
                if (isScratch)
                    throw Failure { SQLITE_CANTOPEN, "the scratch store cannot be used" };
                std::string scratch = core::path::appendingPathComponent(core::paths::temporaryDirectory(),
                    core::path::lastPathComponent(target));
                core::log("Warning, store {} has version {} that this version ({}) {}: using a scratch store at {}",
                    core::path::abbreviatingWithTildeInPath(target), prepared.version, shared->version(),
                    prepared.outcome == Outcome::Newer ? "does not know" : "cannot migrate",
                    core::path::abbreviatingWithTildeInPath(scratch));
                removeWithSideFiles(scratch);
                target = std::move(scratch);
                isScratch = true;
                continue;
            }
            }
        }
    } catch (const Failure& failure) {
        core::log("Warning, failed to open store {}: {}", core::path::abbreviatingWithTildeInPath(target), failure.message);
        core::setError(error, errorFromFailure(failure));
        return nullptr;
    }
}

std::unique_ptr<Connection> Coordinator::openConnection() const
{
    auto connection = Connection::open(m_path, false);
    connection->configure();
    return connection;
}

std::string Coordinator::description() const
{
    return fmt::format("<store::Coordinator {}> {}", fmt::ptr(this), core::path::abbreviatingWithTildeInPath(m_path));
}

} // namespace store
