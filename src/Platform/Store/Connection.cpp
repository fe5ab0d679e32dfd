#include "Platform/Store/Connection.h"

#include "Platform/Core/TextFolding.h"
#include "Platform/Store/Predicate.h"

#include <sqlite3.h>

namespace store {

namespace {

// Long enough for another thread's save of a large listing, short enough
// that a stuck writer shows up as a failure rather than a hang.
constexpr int BusyTimeoutMilliseconds = 10000;

[[noreturn]] void fail(sqlite3* database, int code)
{
    throw Failure { database ? sqlite3_extended_errcode(database) : code,
        database ? sqlite3_errmsg(database) : sqlite3_errstr(code) };
}

std::string_view columnText(sqlite3_stmt* statement, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    int length = sqlite3_column_bytes(statement, column);
    return bytes ? std::string_view(bytes, static_cast<size_t>(length)) : std::string_view();
}

void containsFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) != SQLITE_TEXT || sqlite3_value_type(arguments[1]) != SQLITE_TEXT) {
        sqlite3_result_int(context, 0);
        return;
    }
    auto text = [](sqlite3_value* value) {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
        return std::string_view(bytes ? bytes : "", static_cast<size_t>(sqlite3_value_bytes(value)));
    };
    sqlite3_result_int(context, core::containsIgnoringCaseDiacriticsWidth(text(arguments[0]), text(arguments[1])) ? 1 : 0);
}

} // namespace

core::Error errorFromFailure(const Failure& failure)
{
    return core::Error(ErrorDomain, failure.code, failure.message);
}

// ---- Statement ----

Statement::Statement(sqlite3* database, std::string_view sql)
    : m_database(database)
{
    int code = sqlite3_prepare_v3(database, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
        &m_statement, nullptr);
    if (code != SQLITE_OK)
        fail(database, code);
}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::bind(int index, const core::Value& value)
{
    int code = SQLITE_OK;
    switch (value.type()) {
    case core::Value::Type::Null:
        code = sqlite3_bind_null(m_statement, index);
        break;
    case core::Value::Type::Bool:
        code = sqlite3_bind_int64(m_statement, index, value.boolean() ? 1 : 0);
        break;
    case core::Value::Type::Integer:
        code = sqlite3_bind_int64(m_statement, index, value.integer());
        break;
    case core::Value::Type::Real:
        code = sqlite3_bind_double(m_statement, index, value.real());
        break;
    case core::Value::Type::Date:
        code = sqlite3_bind_double(m_statement, index, value.date().timeIntervalSince1970());
        break;
    case core::Value::Type::String:
        code = sqlite3_bind_text64(m_statement, index, value.string().data(), value.string().size(),
            SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    case core::Value::Type::Data:
        code = sqlite3_bind_blob64(m_statement, index, value.data().bytes(), value.data().size(), SQLITE_TRANSIENT);
        break;
    default:
        code = sqlite3_bind_text(m_statement, index, value.toString().c_str(), -1, SQLITE_TRANSIENT);
        break;
    }
    if (code != SQLITE_OK)
        fail(m_database, code);
}

void Statement::bind(int index, int64_t value)
{
    int code = sqlite3_bind_int64(m_statement, index, value);
    if (code != SQLITE_OK)
        fail(m_database, code);
}

bool Statement::step()
{
    int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    // The statement's own code; reset reports it again and stops the run.
    Failure failure { sqlite3_extended_errcode(m_database), sqlite3_errmsg(m_database) };
    sqlite3_reset(m_statement);
    throw failure;
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

std::string Statement::text(int column) const
{
    return std::string(columnText(m_statement, column));
}

core::Value Statement::value(int column, AttributeType type) const
{
    if (isNull(column))
        return {};
    switch (type) {
    case AttributeType::Text:
        return core::Value(text(column));
    case AttributeType::Integer:
        return core::Value(static_cast<int64_t>(integer(column)));
    case AttributeType::Boolean:
        return core::Value(integer(column) != 0);
    case AttributeType::Double:
        return core::Value(real(column));
    case AttributeType::Date:
        return core::Value(core::Date::fromUnixTime(real(column)));
    }
    return {};
}

// ---- Connection ----

std::unique_ptr<Connection> Connection::open(const std::string& path, bool create)
{
    sqlite3* database = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    int code = sqlite3_open_v2(path.c_str(), &database, flags, nullptr);
    if (code != SQLITE_OK) {
        Failure failure { code, database ? sqlite3_errmsg(database) : sqlite3_errstr(code) };
        sqlite3_close_v2(database);
        throw failure;
    }
    sqlite3_extended_result_codes(database, 1);
    return std::unique_ptr<Connection>(new Connection(database));
}

Connection::~Connection()
{
    m_statements.clear();
    sqlite3_close_v2(m_database);
}

void Connection::configure()
{
    sqlite3_busy_timeout(m_database, BusyTimeoutMilliseconds);
    execute("PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL");
    int code = sqlite3_create_function_v2(m_database, ContainsFunctionName, 2,
        SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, containsFunction, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        fail(m_database, code);
}

void Connection::execute(std::string_view sql)
{
    std::string text(sql);
    char* message = nullptr;
    int code = sqlite3_exec(m_database, text.c_str(), nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        Failure failure { sqlite3_extended_errcode(m_database), message ? message : sqlite3_errstr(code) };
        sqlite3_free(message);
        throw failure;
    }
}

int64_t Connection::queryInteger(std::string_view sql)
{
    Statement statement(m_database, sql);
    return statement.step() ? statement.integer(0) : 0;
}

std::vector<std::string> Connection::queryTexts(std::string_view sql)
{
    Statement statement(m_database, sql);
    std::vector<std::string> texts;
    while (statement.step())
        texts.push_back(statement.text(0));
    return texts;
}

Statement& Connection::statement(const std::string& sql)
{
    auto found = m_statements.find(sql);
    if (found != m_statements.end())
        return *found->second;
    auto made = std::make_unique<Statement>(m_database, sql);
    return *m_statements.emplace(sql, std::move(made)).first->second;
}

Connection::Transaction::Transaction(Connection& connection)
    : m_connection(connection)
{
    m_connection.execute("BEGIN IMMEDIATE");
}

Connection::Transaction::~Transaction()
{
    if (!m_open)
        return;
    // A failed COMMIT may have ended the transaction already.
    if (!sqlite3_get_autocommit(m_connection.m_database))
        sqlite3_exec(m_connection.m_database, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Connection::Transaction::commit()
{
    m_connection.execute("COMMIT");
    m_open = false;
}

} // namespace store
