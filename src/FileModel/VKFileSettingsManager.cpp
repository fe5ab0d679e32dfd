#include "FileModel/VKFileSettingsManager.h"

#include "Kit/FileManagerAdditions.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Kit/VKSqlite3.h"
#include "Platform/Core/DamagedFile.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Formatters.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/Application.h"

#include <sqlite3.h>

#include <array>
#include <ctime>
#include <mutex>
#include <utility>

namespace fs = core::fs;

namespace {

constexpr const char* DatabaseFileName = "TandryBookmarks.sql";
constexpr const char* ExportPrefix = "VKTandryBookmarks_";
constexpr const char* BookmarkPrimaryKey = "pk";
constexpr const char* ImportException = "ImportBookmarksException";
constexpr const char* InsertBookmarkSQL = "INSERT INTO Bookmarks(id, name, offset, inset, zoom) VALUES(?, ?, ?, ?, ?)";

// Upgrades of older layouts first, then the tables of a new file; a
// statement that fails (no such table, column already there) is expected.
constexpr std::array<const char*, 10> SchemaStatements {
    "ALTER TABLE ContentOffsets RENAME TO Settings",
    "ALTER TABLE Settings ADD COLUMN encoding VARCHAR(6)",
    "ALTER TABLE Settings ADD COLUMN fontsize REAL",
    "ALTER TABLE Settings ADD COLUMN inset REAL",
    "ALTER TABLE Settings ADD COLUMN zoom REAL",
    "ALTER TABLE Settings ADD COLUMN documentLayout VARCHAR(4)",
    "ALTER TABLE Bookmarks ADD COLUMN inset REAL",
    "ALTER TABLE Bookmarks ADD COLUMN zoom REAL",
    "CREATE TABLE Bookmarks ('pk' INTEGER PRIMARY KEY, 'id' VARCHAR(30), 'name' VARCHAR(12), 'offset' REAL, "
    "'inset' REAL, 'zoom' REAL)",
    "CREATE TABLE Settings ('pk' INTEGER PRIMARY KEY, 'id' VARCHAR(30), 'offset' REAL, 'encoding' VARCHAR(6), "
    "'fontsize' REAL, 'inset' REAL, 'zoom' REAL, 'documentLayout' VARCHAR(4))",
};

// The Settings columns by position; only these names ever reach SQL.
struct SettingColumn {
    const char* name;
    uint32_t column;
    bool isReal;
};
constexpr std::array<SettingColumn, 7> SettingColumns { {
    { "id", 1, false },
    { "offset", 2, true },
    { "encoding", 3, false },
    { "fontsize", 4, true },
    { "inset", 5, true },
    { "zoom", 6, true },
    { "documentLayout", 7, false },
} };

const SettingColumn* settingColumn(std::string_view name)
{
    for (const auto& column : SettingColumns) {
        if (name == column.name)
            return &column;
    }
    return nullptr;
}

// Reals are kept as the double of a float and read back as floats.
core::Value floatValue(double stored)
{
    return core::Value(static_cast<double>(static_cast<float>(stored)));
}

std::mutex& fileSettingsMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<VKFileSettingsManager>& sharedManager()
{
    static std::shared_ptr<VKFileSettingsManager> manager;
    return manager;
}

// Finalizes the statements it holds however the scope ends.
class StatementGuard {
public:
    void add(std::shared_ptr<VKSqlite3Statement> statement) { m_statements.push_back(std::move(statement)); }
    ~StatementGuard()
    {
        for (auto& statement : m_statements) {
            if (statement)
                statement->finalizeStatement();
        }
    }

private:
    std::vector<std::shared_ptr<VKSqlite3Statement>> m_statements;
};

// The time part of an identifier: an optional minus and digits.
bool isTimeStamp(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

// ---- The shared manager ----

std::shared_ptr<VKFileSettingsManager> VKFileSettingsManager::defaultManager()
{
    std::lock_guard lock(fileSettingsMutex());
    auto& manager = sharedManager();
    if (!manager) {
        manager.reset(new VKFileSettingsManager(databasePath()));
        manager->observeNotifications();
    }
    return manager;
}

void VKFileSettingsManager::setDefaultManagerForTesting(std::shared_ptr<VKFileSettingsManager> manager)
{
    std::shared_ptr<VKFileSettingsManager> old;
    std::lock_guard lock(fileSettingsMutex());
    old = std::exchange(sharedManager(), std::move(manager));
}

void VKFileSettingsManager::installTrashItemRemovalHook()
{
    setTrashItemRemovalHook(
        [](const std::string& path) { defaultManager()->removeBookmarksAndSettingsForItemAtPath(path); });
}

std::string VKFileSettingsManager::databasePath()
{
    return core::path::appendingPathComponent(VKHomeLayout::current()->metadataDirectory(),
        DatabaseFileName);
}

VKFileSettingsManager::VKFileSettingsManager(std::string databasePath)
{
    m_database = openDatabase(databasePath);
    if (!m_database || isSound(*m_database))
        return;
    // Kept for a person to look at; a fresh database takes its place.
    m_database->close();
    m_database.reset();
    const auto aside = core::fs::moveAsideAsDamaged(databasePath, { "-journal", "-wal", "-shm" });
    if (!aside) {
        core::log("Warning, the damaged bookmarks database {} cannot be moved aside: nothing is kept this run",
            databasePath);
        return;
    }
    core::log("Warning, the bookmarks database {} is damaged; moved aside as {}, starting empty", databasePath,
        core::path::lastPathComponent(*aside));
    m_wasReset = true;
    m_database = openDatabase(databasePath);
}

std::shared_ptr<VKSqlite3> VKFileSettingsManager::openDatabase(const std::string& path)
{
    auto database = VKSqlite3::databaseWithPath(path);
    if (!database)
        return nullptr;
    for (const char* sql : SchemaStatements)
        database->executeSql(sql);
    return database;
}

bool VKFileSettingsManager::isSound(VKSqlite3& database)
{
    // Damage shows as these codes; a file busy or unreadable for now is
    // left alone.
    auto soundUnlessDamaged = [&database] {
        const int code = sqlite3_errcode(database.handle());
        return !(code == SQLITE_NOTADB || code == SQLITE_CORRUPT || code == SQLITE_ERROR);
    };
    auto check = database.prepareStatement("PRAGMA quick_check");
    if (!check)
        return soundUnlessDamaged();
    StatementGuard guard;
    guard.add(check);
    if (check->step() != SQLITE_ROW)
        return soundUnlessDamaged();
    if (check->textValueAtColumn(0) != "ok")
        return false;
    // The tables, with every column this version reads, after the schema's
    // statements ran: anything else is no database of ours.
    for (const char* sql : { "SELECT pk, id, name, offset, inset, zoom FROM Bookmarks LIMIT 0",
             "SELECT pk, id, offset, encoding, fontsize, inset, zoom, documentLayout FROM Settings LIMIT 0" }) {
        auto statement = database.prepareStatement(sql);
        if (!statement)
            return soundUnlessDamaged();
        guard.add(statement);
    }
    return true;
}

bool VKFileSettingsManager::takeResetNotice()
{
    std::lock_guard lock(m_lock);
    return std::exchange(m_wasReset, false);
}

VKFileSettingsManager::~VKFileSettingsManager()
{
    m_observations.clear();
    closeDatabase();
}

void VKFileSettingsManager::observeNotifications()
{
    std::weak_ptr<VKFileSettingsManager> weakSelf = std::static_pointer_cast<VKFileSettingsManager>(shared_from_this());
    auto& center = core::NotificationCenter::defaultCenter();
    m_observations.push_back(center.observe(ui::Application::willTerminateNotification, nullptr,
        [weakSelf](const core::Notification& notification) {
            if (auto self = weakSelf.lock())
                self->applicationWillTerminate(notification);
        }));
    for (auto name : { VKFolderControllerDidMoveResourceNotification, WebDAVDidMoveResourceNotification }) {
        m_observations.push_back(center.observe(name, nullptr, [weakSelf](const VKResourceMove& move) {
            if (auto self = weakSelf.lock())
                self->resourceDidMove(move);
        }));
    }
}

std::shared_ptr<VKSqlite3> VKFileSettingsManager::database() const
{
    std::lock_guard lock(m_lock);
    return m_database;
}

void VKFileSettingsManager::closeDatabase()
{
    std::lock_guard lock(m_lock);
    if (m_database)
        m_database->close();
    m_database.reset();
}

void VKFileSettingsManager::applicationWillTerminate(const core::Notification&)
{
    closeDatabase();
}

std::optional<std::string> VKFileSettingsManager::identifierForPath(const std::string& path)
{
    auto attributes = standardAttributesForItemAtPath(path);
    if (!attributes)
        return std::nullopt;
    const core::Value& size = (*attributes)[NSFileSize];
    const core::Value& date = (*attributes)[NSFileModificationDate];
    if (!size.isNumber() || !date.isDate())
        return std::nullopt;
    return fmt::format("{}-{}-{:.0f}", core::path::lastPathComponent(path), static_cast<uint64_t>(size.toInteger()),
        date.date().timeIntervalSinceReferenceDate());
}

// ---- Settings ----

core::Value VKFileSettingsManager::selectSetting(const std::string& setting, const std::string& path)
{
    auto identifier = identifierForPath(path);
    if (!identifier)
        return {};
    std::lock_guard lock(m_lock);
    if (!m_database)
        return {};
    auto statement = m_database->prepareStatement("SELECT * from Settings where id=?");
    if (!statement)
        return {};
    StatementGuard guard;
    guard.add(statement);
    statement->bindText(*identifier, 1);
    if (statement->step() != SQLITE_ROW)
        return {};
    const SettingColumn* column = settingColumn(setting);
    if (!column)
        return {};
    if (sqlite3_column_type(statement->statement(), static_cast<int>(column->column)) == SQLITE_NULL)
        return {};
    if (column->isReal)
        return floatValue(statement->doubleValueAtColumn(column->column));
    auto text = statement->textValueAtColumn(column->column);
    return text ? core::Value(*text) : core::Value();
}

float VKFileSettingsManager::contentOffsetForFile(const std::string& path)
{
    return static_cast<float>(selectSetting("offset", path).toReal());
}

float VKFileSettingsManager::contentInsetForFile(const std::string& path)
{
    return static_cast<float>(selectSetting("inset", path).toReal());
}

float VKFileSettingsManager::contentZoomForFile(const std::string& path)
{
    return static_cast<float>(selectSetting("zoom", path).toReal());
}

float VKFileSettingsManager::fontSizeForFile(const std::string& path)
{
    return static_cast<float>(selectSetting("fontsize", path).toReal());
}

std::optional<std::string> VKFileSettingsManager::textEncodingForFile(const std::string& path)
{
    auto value = selectSetting("encoding", path);
    return value.isString() ? std::optional(value.string()) : std::nullopt;
}

std::optional<std::string> VKFileSettingsManager::documentLayoutForFile(const std::string& path)
{
    auto value = selectSetting("documentLayout", path);
    return value.isString() ? std::optional(value.string()) : std::nullopt;
}

bool VKFileSettingsManager::hasSettingsForFile(const std::string& path)
{
    return !selectSetting("id", path).isNull();
}

bool VKFileSettingsManager::insertOrUpdateSetting(const std::string& setting, const core::Value& value,
    const std::string& path)
{
    const SettingColumn* column = settingColumn(setting);
    if (!column || column->column == 1)
        return false;
    auto identifier = identifierForPath(path);
    if (!identifier)
        return false;
    std::lock_guard lock(m_lock);
    if (!m_database)
        return false;
    const bool update = hasSettingsForFile(path);
    auto statement = m_database->prepareStatement(update
            ? fmt::format("UPDATE Settings SET {}=? WHERE id=?", column->name)
            : fmt::format("INSERT INTO Settings(id, {}) VALUES(?, ?)", column->name));
    if (!statement)
        return false;
    StatementGuard guard;
    guard.add(statement);
    const uint32_t valueIndex = update ? 1 : 2;
    statement->bindText(*identifier, update ? 2 : 1);
    if (column->isReal)
        statement->bindDouble(static_cast<double>(static_cast<float>(value.toReal())), valueIndex);
    else
        statement->bindText(value.toString(), valueIndex);
    if (statement->step() != SQLITE_DONE) {
        core::log("Error: failed to dehydrate '{}'.", m_database->errorMessage());
        return false;
    }
    return true;
}

bool VKFileSettingsManager::setContentOffset(float offset, const std::string& path)
{
    return insertOrUpdateSetting("offset", static_cast<double>(offset), path);
}

bool VKFileSettingsManager::setContentInset(float inset, const std::string& path)
{
    return insertOrUpdateSetting("inset", static_cast<double>(inset), path);
}

bool VKFileSettingsManager::setContentZoom(float zoom, const std::string& path)
{
    return insertOrUpdateSetting("zoom", static_cast<double>(zoom), path);
}

bool VKFileSettingsManager::setFontSize(float size, const std::string& path)
{
    return insertOrUpdateSetting("fontsize", static_cast<double>(size), path);
}

bool VKFileSettingsManager::setTextEncoding(const std::string& encoding, const std::string& path)
{
    return insertOrUpdateSetting("encoding", encoding, path);
}

bool VKFileSettingsManager::setDocumentLayout(const std::string& layout, const std::string& path)
{
    return insertOrUpdateSetting("documentLayout", layout, path);
}

// ---- Bookmarks ----

std::optional<core::Value::Array> VKFileSettingsManager::bookmarksForFile(const std::string& path)
{
    auto identifier = identifierForPath(path);
    if (!identifier)
        return std::nullopt;
    std::lock_guard lock(m_lock);
    if (!m_database)
        return std::nullopt;
    // In key order: the bookmarks screen shows them as stored.
    auto statement = m_database->prepareStatement("SELECT * from Bookmarks where id=? ORDER BY pk");
    if (!statement)
        return std::nullopt;
    StatementGuard guard;
    guard.add(statement);
    statement->bindText(*identifier, 1);
    std::optional<core::Value::Array> bookmarks;
    while (statement->step() == SQLITE_ROW) {
        auto name = statement->textValueAtColumn(2);
        if (!name)
            continue;
        if (!bookmarks)
            bookmarks.emplace();
        bookmarks->push_back(core::Value::makeDictionary({
            { BookmarkPrimaryKey, static_cast<int64_t>(sqlite3_column_int64(statement->statement(), 0)) },
            { VKBookmarkNameKey, stringByUnescapingSingleQuotes(*name) },
            { VKBookmarkOffsetKey, floatValue(statement->doubleValueAtColumn(3)) },
            { VKBookmarkInsetKey, floatValue(statement->doubleValueAtColumn(4)) },
            { VKBookmarkZoomKey, floatValue(statement->doubleValueAtColumn(5)) },
        }));
    }
    return bookmarks;
}

bool VKFileSettingsManager::insertBookmark(const core::Value& bookmark, const std::string& path)
{
    const core::Value& name = bookmark[VKBookmarkNameKey];
    const core::Value& offset = bookmark[VKBookmarkOffsetKey];
    if (!name.isString() || offset.isNull()) {
        core::log("Warning, cannot insert invalid bookmark: {}", bookmark.description());
        return false;
    }
    auto identifier = identifierForPath(path);
    if (!identifier)
        return false;
    std::lock_guard lock(m_lock);
    if (!m_database)
        return false;
    auto statement = m_database->prepareStatement(InsertBookmarkSQL);
    if (!statement)
        return false;
    StatementGuard guard;
    guard.add(statement);
    statement->bindText(*identifier, 1);
    statement->bindText(stringByEscapingSingleQuotes(name.string()), 2);
    statement->bindDouble(static_cast<float>(offset.toReal()), 3);
    statement->bindDouble(static_cast<float>(bookmark[VKBookmarkInsetKey].toReal()), 4);
    statement->bindDouble(static_cast<float>(bookmark[VKBookmarkZoomKey].toReal()), 5);
    if (statement->step() != SQLITE_DONE) {
        core::log("Error: failed to dehydrate '{}'.", m_database->errorMessage());
        return false;
    }
    return true;
}

bool VKFileSettingsManager::removeBookmark(const core::Value& bookmark, const std::string&)
{
    const core::Value& key = bookmark[BookmarkPrimaryKey];
    if (!key.isNumber()) {
        core::log("Warning, bookmark missing primary key: {}", bookmark.description());
        return false;
    }
    std::lock_guard lock(m_lock);
    if (!m_database)
        return false;
    auto statement = m_database->prepareStatement("DELETE FROM Bookmarks WHERE pk=?");
    if (!statement)
        return false;
    StatementGuard guard;
    guard.add(statement);
    sqlite3_bind_int64(statement->statement(), 1, key.toInteger());
    if (statement->step() != SQLITE_DONE) {
        core::log("Error: failed to delete from database '{}'.", m_database->errorMessage());
        return false;
    }
    return true;
}

bool VKFileSettingsManager::moveBookmarkAtRow(size_t fromRow, size_t toRow, const std::string& path)
{
    std::lock_guard lock(m_lock);
    auto bookmarks = bookmarksForFile(path).value_or(core::Value::Array());
    if (fromRow >= bookmarks.size() || toRow >= bookmarks.size()) {
        core::log("Warning, moveBookmarkAtRow called with invalid fromRow or toRow index");
        return false;
    }
    core::Value moved = bookmarks[fromRow];
    bookmarks.erase(bookmarks.begin() + static_cast<ptrdiff_t>(fromRow));
    bookmarks.insert(bookmarks.begin() + static_cast<ptrdiff_t>(toRow), moved);
    if (!m_database || !m_database->beginTransaction())
        return false;
    bool done = removeBookmarksForItemAtPath(path);
    for (const auto& bookmark : bookmarks) {
        if (!done)
            break;
        done = insertBookmark(bookmark, path);
    }
    if (!done) {
        m_database->rollbackTransaction();
        return false;
    }
    return m_database->commitTransaction();
}

// ---- Removing rows ----

bool VKFileSettingsManager::executeDeleteStatement(VKSqlite3Statement& statement, const std::string& path)
{
    auto identifier = identifierForPath(path);
    if (!identifier)
        return false;
    statement.bindText(*identifier, 1);
    if (statement.step() != SQLITE_DONE) {
        core::log("Error: failed to delete from database '{}'.", statement.errorMessage());
        statement.resetStatement();
        return false;
    }
    statement.resetStatement();
    return true;
}

bool VKFileSettingsManager::removeRowsForItemAtPath(const std::vector<std::string>& sqls, const std::string& path)
{
    std::lock_guard lock(m_lock);
    if (!m_database)
        return false;
    StatementGuard guard;
    std::vector<std::shared_ptr<VKSqlite3Statement>> statements;
    for (const auto& sql : sqls) {
        auto statement = m_database->prepareStatement(sql);
        if (!statement)
            return false;
        guard.add(statement);
        statements.push_back(std::move(statement));
    }
    if (!isDirectoryAtPath(path)) {
        if (statements.size() == 1)
            return executeDeleteStatement(*statements.front(), path);
        for (auto& statement : statements)
            executeDeleteStatement(*statement, path);
        return true;
    }
    // A folder has no row of its own; its files at every depth go together.
    bool result = true;
    m_database->beginTransaction();
    for (const auto& relative : fs::subpaths(path).value_or(std::vector<std::string>())) {
        auto identifier = identifierForPath(core::path::appendingPathComponent(path, relative));
        if (!identifier)
            continue;
        for (auto& statement : statements) {
            statement->bindText(*identifier, 1);
            if (statement->step() != SQLITE_DONE) {
                core::log("Warning: failed to delete from database '{}'.", statement->errorMessage());
                result = false;
            }
            statement->resetStatement();
        }
    }
    m_database->commitTransaction();
    return result;
}

bool VKFileSettingsManager::removeBookmarksForItemAtPath(const std::string& path)
{
    return removeRowsForItemAtPath({ "DELETE FROM Bookmarks WHERE id=?" }, path);
}

bool VKFileSettingsManager::removeSettingsForItemAtPath(const std::string& path)
{
    return removeRowsForItemAtPath({ "DELETE FROM Settings WHERE id=?" }, path);
}

bool VKFileSettingsManager::removeBookmarksAndSettingsForItemAtPath(const std::string& path)
{
    return removeRowsForItemAtPath({ "DELETE FROM Bookmarks WHERE id=?", "DELETE FROM Settings WHERE id=?" }, path);
}

// ---- Following moves ----

void VKFileSettingsManager::resourceDidMove(const VKResourceMove& move)
{
    if (move.oldPath.empty() || move.newPath.empty())
        return;
    const std::string& newPath = move.newPath;
    if (isDirectoryAtPath(newPath))
        return;
    auto newIdentifier = identifierForPath(newPath);
    if (!newIdentifier)
        return;
    // The size and time follow the new name; a name may hold dashes and a
    // time before 2001 a minus, so the tail is taken after the name itself.
    const std::string newName = core::path::lastPathComponent(newPath);
    if (newIdentifier->compare(0, newName.size(), newName) != 0)
        return;
    const std::string oldIdentifier = core::path::lastPathComponent(move.oldPath)
        + newIdentifier->substr(newName.size());
    if (oldIdentifier == *newIdentifier)
        return;

    std::lock_guard lock(m_lock);
    if (!m_database)
        return;
    const std::pair<const char*, const char*> updates[] = {
        { "UPDATE Bookmarks SET id=? WHERE id=?", "Warning, updateBookmarksIdStmt failed: '{}'" },
        { "UPDATE Settings SET id=? WHERE id=?", "Warning, updateSettingIdStmt failed: '{}'" },
    };
    for (const auto& [sql, warning] : updates) {
        auto statement = m_database->prepareStatement(sql);
        if (!statement)
            continue;
        StatementGuard guard;
        guard.add(statement);
        statement->bindText(*newIdentifier, 1);
        statement->bindText(oldIdentifier, 2);
        if (statement->step() != SQLITE_DONE)
            core::log(fmt::runtime(warning), m_database->errorMessage());
    }
}

// ---- Export and import ----

bool VKFileSettingsManager::isTandryBookmarksSQLAtPath(const std::string& path)
{
    if (isDirectoryAtPath(path))
        return false;
    const std::string name = core::path::lastPathComponent(path);
    return name.starts_with(ExportPrefix) && name.ends_with(".sql");
}

std::optional<std::string> VKFileSettingsManager::exportBookmarksToDirectory(const std::string& directory)
{
    if (!isDirectoryAtPath(directory)) {
        core::log("Warning exportBookmarksToDirectory passed non-directory path: {}", directory);
        return std::nullopt;
    }
    const std::time_t now = static_cast<std::time_t>(core::Date::now().timeIntervalSince1970());
    std::tm local {};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
    const std::string source = databasePath();
    const std::string target = core::path::appendingPathComponent(directory,
        fmt::format("VK{}_{}.sql", core::path::deletingPathExtension(core::path::lastPathComponent(source)), stamp));
    std::lock_guard lock(m_lock);
    if (fs::attributes(target))
        fs::removeItem(target);
    core::Error error;
    if (!fs::copyItem(source, target, &error)) {
        core::log("Warning, exportBookmarksToDirectory failed with error: {}", error);
        return std::nullopt;
    }
    return target;
}

bool VKFileSettingsManager::importBookmarksAtPath(const std::string& path, const std::string& documentRoot)
{
    auto source = fs::attributes(path) ? VKSqlite3::databaseWithPath(path) : nullptr;
    if (!source) {
        core::log("Warning, Failed to open import database");
        return false;
    }
    std::lock_guard lock(m_lock);
    if (!m_database)
        return false;
    m_database->beginTransaction();
    try {
        const bool imported = importBookmarksLocked(*source, documentRoot);
        if (imported)
            m_database->commitTransaction();
        else
            m_database->rollbackTransaction();
        source->close();
        return imported;
    } catch (const core::Exception& exception) {
        if (exception.name() != ImportException)
            throw;
        m_database->rollbackTransaction();
        core::log("ImportBookmarksException: {}", exception.reason());
        source->close();
        return false;
    }
}

bool VKFileSettingsManager::importBookmarksLocked(VKSqlite3& source, const std::string& documentRoot)
{
    auto fail = [](const char* reason) { throw core::Exception(ImportException, reason); };
    StatementGuard guard;
    auto own = m_database->prepareStatement("SELECT * from Bookmarks");
    guard.add(own);
    auto imported = source.prepareStatement("SELECT * from Bookmarks");
    guard.add(imported);
    if (!own || !imported)
        fail("VKPrepareStatement failed");
    if (own->columnCount() != imported->columnCount())
        fail("Mismatched column count");
    for (int32_t column = 0; column < own->columnCount(); ++column) {
        const auto index = static_cast<uint32_t>(column);
        if (own->columnName(index) != imported->columnName(index))
            fail("Mismatched column name");
        if (own->columnDeclType(index) != imported->columnDeclType(index))
            fail("Mismatched column datatype");
    }

    struct Bookmark {
        std::string identifier;
        std::optional<std::string> name;
        double offset, inset, zoom;
    };
    std::vector<Bookmark> pending;
    while (imported->step() == SQLITE_ROW) {
        pending.push_back({ imported->textValueAtColumn(1).value_or(std::string()), imported->textValueAtColumn(2),
            imported->doubleValueAtColumn(3), imported->doubleValueAtColumn(4), imported->doubleValueAtColumn(5) });
    }
    if (pending.empty()) {
        core::log("Warning, no bookmarks found to import");
        return false;
    }
    if (m_database->executeSql("DELETE FROM Bookmarks") != SQLITE_DONE)
        fail("Delete stmt failed");

    auto insert = m_database->prepareStatement(InsertBookmarkSQL);
    guard.add(insert);
    if (!insert)
        fail("VKPrepareStatement failed");
    for (const auto& relative : fs::subpaths(documentRoot).value_or(std::vector<std::string>())) {
        const std::string file = core::path::appendingPathComponent(documentRoot, relative);
        if (isDirectoryAtPath(file))
            continue;
        auto identifier = identifierForPath(file);
        auto size = sizeOfItemAtPath(file);
        if (!identifier)
            continue;
        // Name and size, then a time: "a-1" must not take "a-12-…" or "a-1-5-…".
        const std::string prefix = fmt::format("{}-{}-", core::path::lastPathComponent(file), size);
        for (auto it = pending.begin(); it != pending.end();) {
            if (!it->identifier.starts_with(prefix) || !isTimeStamp(std::string_view(it->identifier).substr(prefix.size()))) {
                ++it;
                continue;
            }
            insert->bindText(*identifier, 1);
            insert->bindText(it->name, 2);
            insert->bindDouble(it->offset, 3);
            insert->bindDouble(it->inset, 4);
            insert->bindDouble(it->zoom, 5);
            if (insert->step() != SQLITE_DONE)
                core::log("Warning, insert failed for: {}", it->identifier);
            insert->resetStatement();
            it = pending.erase(it);
        }
    }
    if (!pending.empty())
        core::log("Warning, failed to insert {} bookmarks", pending.size());
    return true;
}
