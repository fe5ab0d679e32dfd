#include "Kit/VKSqlite3.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

namespace {

class VKSqlite3Test : public test::TestCase { };

constexpr int Row = 100;
constexpr int Done = 101;

TEST_F(VKSqlite3Test, OpeningAnImpossiblePathFails)
{
    std::string path = pathInHome("missing/folder/db.sql");
    EXPECT_EQ(VKSqlite3::databaseWithPath(path), nullptr);
    EXPECT_TRUE(logContains("Warning, Failed to open database at: " + path));
    EXPECT_TRUE(logContains("Error: 'unable to open database file'."));
}

TEST_F(VKSqlite3Test, ExecutesSingleStatementsAndTransactions)
{
    auto db = VKSqlite3::databaseWithPath(pathInHome("t.sql"));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->executeSql("CREATE TABLE Settings (name TEXT, size INTEGER)"), Done);
    // Only the first statement of a text runs.
    EXPECT_EQ(db->executeSql("INSERT INTO Settings VALUES ('a', 1); INSERT INTO Settings VALUES ('b', 2)"), Done);
    EXPECT_EQ(db->executeSql("SELECT * FROM Settings"), Row);
    EXPECT_EQ(db->executeSql("SELEC * FROM Settings"), 1);
    EXPECT_EQ(db->errorMessage(), "near \"SELEC\": syntax error");

    EXPECT_TRUE(db->beginTransaction());
    EXPECT_FALSE(db->beginTransaction());
    EXPECT_EQ(db->executeSql("DELETE FROM Settings"), Done);
    EXPECT_TRUE(db->rollbackTransaction());
    EXPECT_FALSE(db->commitTransaction());

    auto count = db->prepareStatement("SELECT count(*), max(name) FROM Settings");
    ASSERT_TRUE(count);
    ASSERT_EQ(count->step(), Row);
    EXPECT_EQ(count->intValueAtColumn(0), 1);
    EXPECT_EQ(count->textValueAtColumn(1), "a");
}

TEST_F(VKSqlite3Test, StatementsBindStepAndReadColumns)
{
    auto db = VKSqlite3::databaseWithPath(pathInHome("s.sql"));
    ASSERT_TRUE(db);
    EXPECT_EQ(db->prepareStatement("SELEC 1"), nullptr);
    EXPECT_TRUE(logContains("Warning: failed to prepare statement 'near \"SELEC\": syntax error'."));

    ASSERT_EQ(db->executeSql("CREATE TABLE Bookmarks (name TEXT, page INTEGER, offset REAL)"), Done);
    auto insert = db->prepareStatement("INSERT INTO Bookmarks VALUES (?, ?, ?)");
    ASSERT_TRUE(insert);
    EXPECT_NE(insert->description().find("VKSqlite3Statement: 0x"), std::string::npos);
    insert->bindText("it's", 1);
    insert->bindDouble(7, 2);
    insert->bindDouble(0.5, 3);
    EXPECT_EQ(insert->step(), Done);
    // Bindings survive a reset.
    EXPECT_EQ(insert->resetStatement(), 0);
    EXPECT_EQ(insert->step(), Done);
    insert->resetStatement();
    insert->bindText(std::nullopt, 1);
    EXPECT_EQ(insert->step(), Done);
    insert->resetStatement();
    insert->bindText(std::string_view("", 0), 1);
    EXPECT_EQ(insert->step(), Done);
    insert->resetStatement();
    insert->bindText(std::string_view("cut\0here", 8), 1);
    EXPECT_EQ(insert->step(), Done);

    auto select = db->prepareStatement("SELECT name, page, offset FROM Bookmarks ORDER BY rowid");
    ASSERT_TRUE(select);
    EXPECT_EQ(select->columnCount(), 3);
    EXPECT_EQ(select->columnName(1), "page");
    EXPECT_EQ(select->columnDeclType(2), "REAL");
    std::vector<std::optional<std::string>> names;
    while (select->step() == Row) {
        names.push_back(select->textValueAtColumn(0));
        EXPECT_EQ(select->intValueAtColumn(1), 7);
        EXPECT_EQ(select->doubleValueAtColumn(2), 0.5);
    }
    EXPECT_EQ(names, (std::vector<std::optional<std::string>> { "it's", "it's", std::nullopt, "", "cut" }));
    auto expression = db->prepareStatement("SELECT 1 + 1");
    EXPECT_EQ(expression->columnDeclType(0), std::nullopt);
}

TEST_F(VKSqlite3Test, CloseWaitsForStatementsAndThePeerReadsTheFile)
{
    std::string path = pathInHome("c.sql");
    auto db = VKSqlite3::databaseWithPath(path);
    ASSERT_TRUE(db);
    ASSERT_EQ(db->executeSql("CREATE TABLE t (v TEXT)"), Done);
    ASSERT_EQ(db->executeSql("INSERT INTO t VALUES ('caf\xc3\xa9')"), Done);
    auto statement = db->prepareStatement("SELECT v FROM t");
    ASSERT_TRUE(statement);
    EXPECT_FALSE(db->close());
    EXPECT_TRUE(logContains("Error: failed to close database 'unable to close due to unfinalized statements"));
    EXPECT_EQ(db->executeSql("SELECT v FROM t"), Row);
    EXPECT_EQ(statement->finalizeStatement(), 0);
    EXPECT_EQ(statement->finalizeStatement(), 0);
    EXPECT_TRUE(db->close());
    statement.reset();

    if (!test::hasProgram("sqlite3"))
        GTEST_SKIP() << "sqlite3 is not installed";
    auto result = test::runCommand({ "sqlite3", path, "SELECT v FROM t;" });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "caf\xc3\xa9\n");
}

TEST_F(VKSqlite3Test, ConnectionDroppedBeforeItsStatementsDoesNotLeak)
{
    auto db = VKSqlite3::databaseWithPath(pathInHome("d.sql"));
    ASSERT_TRUE(db);
    auto statement = db->prepareStatement("SELECT 1");
    ASSERT_TRUE(statement);
    db.reset();
    // The connection closes once its last statement is gone (LeakSanitizer
    // would report it otherwise).
    EXPECT_EQ(statement->step(), Row);
    EXPECT_EQ(statement->intValueAtColumn(0), 1);
}

} // namespace
