#include "WebDAVTestCase.h"

#include "Kit/FileManagerEtag.h"
#include "Platform/Core/FileSystem.h"
#include "WebDAV/WebDAVIfParser.h"
#include "WebDAV/WebDAVLockManager.h"

#include <sys/time.h>

#include <thread>

namespace {

using test::makeRequest;
using test::WebDAVTestCase;

class WebDAVLockManagerTest : public WebDAVTestCase {
protected:
    WebDAVLockRef lock(std::string_view uri, std::string_view scope, std::string_view owner = "me",
        std::string_view depth = "0", std::vector<core::Error>* errors = nullptr)
    {
        return manager->acquireWriteLockForURI(URLWithPath(uri), local(uri), scope, owner, depth, "Second-60", errors);
    }
    int lockCode(std::string_view uri, std::string_view scope, std::string_view owner = "me", std::string_view depth = "0")
    {
        std::vector<core::Error> errors;
        EXPECT_FALSE(lock(uri, scope, owner, depth, &errors));
        return errors.empty() ? 0 : static_cast<int>(errors.front().code());
    }
    bool authorised(std::string_view uri, std::string_view ifHeader, bool mutation, core::Error* error = nullptr)
    {
        std::string headers = ifHeader.empty() ? std::string() : "If: " + std::string(ifHeader) + "\r\n";
        auto request = makeRequest("PUT", uri, headers);
        return manager->isURIAuthorised(*core::URL::parse(uri), *request, mutation, error);
    }

    std::shared_ptr<WebDAVLockManager> manager = WebDAVLockManager::sharedManager();
};

TEST_F(WebDAVLockManagerTest, ConflictRules)
{
    makeFile("root/d/f");
    makeFile("root/d/g");
    auto first = lock("/d/f", "exclusive");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->lockTimeout(), "Infinite");
    EXPECT_EQ(first->lockURIPath(), "/d/f");
    EXPECT_FALSE(first->lockIsNull());
    EXPECT_EQ(lockCode("/d/f", "exclusive", "other"), 423);
    EXPECT_EQ(lockCode("/d/f", "shared", "other"), 423);

    ASSERT_TRUE(lock("/d/g", "shared", "a"));
    ASSERT_TRUE(lock("/d/g", "shared", "b"));
    EXPECT_EQ(lockCode("/d/g", "shared", "a"), 412);
    EXPECT_EQ(lockCode("/d/g", "exclusive", "c"), 423);

    // A depth-0 lock on the folder leaves its members free; an infinity one does not.
    makeFile("root/e/h");
    ASSERT_TRUE(lock("/e/", "exclusive", "me", "0"));
    EXPECT_TRUE(lock("/e/h", "exclusive"));
    makeFile("root/i/h");
    ASSERT_TRUE(lock("/i", "exclusive", "me", "infinity"));
    EXPECT_EQ(lockCode("/i/h", "exclusive", "other"), 423);

    std::vector<core::Error> errors;
    EXPECT_FALSE(lock("/missing/x", "exclusive", "me", "0", &errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code(), 412);
    EXPECT_EQ(errors[0].userInfo().at("WebDAVStatus").string(), "Precondition Failed - invalid parent URI");
}

TEST_F(WebDAVLockManagerTest, InfinityRequestFailsOnLockedDescendants)
{
    makeFile("root/top/mid/deep.txt");
    makeFile("root/top/other.txt");
    ASSERT_TRUE(lock("/top/mid/deep.txt", "exclusive", "x"));
    ASSERT_TRUE(lock("/top/other.txt", "exclusive", "y"));
    std::vector<core::Error> errors;
    EXPECT_FALSE(lock("/top", "exclusive", "me", "infinity", &errors));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].userInfo().at("WebDAVLockErrorURI").string(), "/top/mid/deep.txt");
    EXPECT_EQ(errors[0].userInfo().at("WebDAVLocalPath").string(), local("/top/mid/deep.txt"));
    EXPECT_EQ(errors[1].userInfo().at("WebDAVLockErrorURI").string(), "/top/other.txt");
    EXPECT_TRUE(manager->locksForURI(URLWithPath("/top")).empty());
}

TEST_F(WebDAVLockManagerTest, LocksForURIListOwnThenAncestorsNearestFirst)
{
    makeFile("root/a/b/c");
    auto outer = lock("/a", "shared", "o", "infinity");
    auto shallow = lock("/a/b", "shared", "s", "0");
    auto inner = lock("/a/b", "shared", "i", "infinity");
    auto own = lock("/a/b/c", "shared", "c");
    ASSERT_TRUE(outer && shallow && inner && own);
    auto locks = manager->locksForURI(URLWithPath("/a/b/c"));
    ASSERT_EQ(locks.size(), 3u);
    EXPECT_EQ(locks[0], own);
    EXPECT_EQ(locks[1], inner);
    EXPECT_EQ(locks[2], outer);
    EXPECT_EQ(manager->locksForURI(URLWithPath("/a/b/")).size(), 3u);
    EXPECT_TRUE(manager->locksForURI(URLWithPath("/z")).empty());

    // Removal by token: on exactly the URI, with or without the scheme.
    EXPECT_FALSE(manager->removeWriteLockForURI(URLWithPath("/a/b/c"), inner->lockToken()));
    EXPECT_TRUE(manager->removeWriteLockForURI(URLWithPath("/a/b"), "opaquelocktoken:" + inner->lockToken()));
    EXPECT_TRUE(manager->removeWriteLockForURI(URLWithPath("/a/b/c"), own->lockToken()));
    EXPECT_FALSE(manager->removeWriteLockForURI(URLWithPath("/a/b/c"), ""));
    EXPECT_TRUE(logContains("Warning, Nil lock token"));

    manager->removeSucessfullyDeletedLocksForURI(URLWithPath("/a/b"));
    EXPECT_EQ(manager->locksForURI(URLWithPath("/a/b")), std::vector<WebDAVLockRef> { outer });
}

TEST_F(WebDAVLockManagerTest, NullLocksAreListedUntilTheirItemExists)
{
    makeFolder("root/d");
    ASSERT_TRUE(lock("/d/new", "exclusive"));
    auto nulls = manager->nullChildResourcesForURI(URLWithPath("/d/"), false);
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->front()->URI().relativeString(), "/d/new");
    makeFile("root/d/new");
    EXPECT_FALSE(manager->nullChildResourcesForURI(URLWithPath("/d/"), false));
}

TEST_F(WebDAVLockManagerTest, IfHeaderDecidesAccess)
{
    std::string path = makeFile("root/d/f", "one");
    makeFile("root/d/g");
    auto locked = lock("/d/f", "exclusive");
    ASSERT_TRUE(locked);
    std::string token = "<opaquelocktoken:" + locked->lockToken() + ">";
    core::Error error;

    EXPECT_FALSE(authorised("/d/f", "", true, &error));
    EXPECT_EQ(error.code(), 423);
    EXPECT_TRUE(authorised("/d/f", "(" + token + ")", true));
    EXPECT_FALSE(authorised("/d/f", "(Not " + token + ")", true, &error));
    EXPECT_EQ(error.code(), 412);
    EXPECT_FALSE(authorised("/d/f", "(<DAV:no-lock>)", true, &error));
    EXPECT_EQ(error.code(), 412);
    EXPECT_FALSE(authorised("/d/f", "(" + token, true, &error));
    EXPECT_EQ(error.code(), 400);
    EXPECT_EQ(error.localizedDescription(), "Bad Request - invalid If header syntax");
    EXPECT_TRUE(authorised("/d/f", "<http://my-host:8080/d/f> (" + token + ")", true));
    EXPECT_FALSE(authorised("/d/f", "<http://my-host:8080/d/g> (" + token + ")", true));
    EXPECT_TRUE(authorised("/d/g", "", true));

    // Token and entity tag: good until the file changes.
    std::string etag = "[\"" + *etagForItemAtPath(path) + "\"]";
    EXPECT_TRUE(authorised("/d/f", "(" + token + " " + etag + ")", true));
    struct timeval times[2] = { { 1000, 0 }, { 1000, 0 } };
    ASSERT_EQ(utimes(path.c_str(), times), 0);
    EXPECT_FALSE(authorised("/d/f", "(" + token + " " + etag + ")", true));
    // Entity tags of other servers may hold ":", and a weak marker; one that
    // does not match fails the precondition.
    EXPECT_FALSE(authorised("/d/f", "(" + token + " [W/\"a:b\"])", true, &error));
    EXPECT_EQ(error.code(), 412);
}

TEST_F(WebDAVLockManagerTest, OnlyAHoldingListThatNamesTheTokenUnlocks)
{
    std::string path = makeFile("root/d/f", "one");
    auto locked = lock("/d/f", "exclusive");
    ASSERT_TRUE(locked);
    std::string token = "<opaquelocktoken:" + locked->lockToken() + ">";
    std::string etag = "[\"" + *etagForItemAtPath(path) + "\"]";
    auto code = [&](const std::string& header) {
        core::Error error;
        return authorised("/d/f", header, true, &error) ? 0 : static_cast<int>(error.code());
    };

    // Lists that hold without naming the lock prove nothing about holding it.
    EXPECT_EQ(code("(<opaquelocktoken:" + locked->lockToken() + "x>) (Not <DAV:no-lock>)"), 423);
    EXPECT_EQ(code("(Not <opaquelocktoken:x>)"), 423);
    EXPECT_EQ(code("(Not " + token + ") (Not <DAV:no-lock>)"), 423);
    // No list holds: the precondition failed.
    EXPECT_EQ(code("(" + token + " [\"bad\"]) (Not <DAV:no-lock> [\"bad\"])"), 412);
    EXPECT_EQ(code("(<opaquelocktoken:x>)"), 412);
    EXPECT_EQ(code("(" + token + ") (Not <DAV:no-lock>)"), 0);
    EXPECT_EQ(code("(" + token + " " + etag + ") (Not <DAV:no-lock> " + etag + ")"), 0);
    EXPECT_EQ(code("(Not <DAV:no-lock>) (" + token + ")"), 0);
    // An entity-tag list no longer hides its group's lock list.
    EXPECT_EQ(code("<http://h/d/f> ([\"x\"]) (" + token + ")"), 0);
    // White space between the parts is optional, and every part counts.
    EXPECT_EQ(code("(" + token + "[\"bad\"])"), 412);
    EXPECT_EQ(code("(" + token + etag + ")"), 0);
    EXPECT_EQ(code("(Not<opaquelocktoken:x>)"), 423);
    EXPECT_EQ(code("(<opaquelocktoken:x>)(" + token + ")"), 0);
    EXPECT_EQ(code("<http://h/d/f>(" + token + ")"), 0);
    // Without any lock token the header says nothing about locks.
    EXPECT_EQ(code("(Not <DAV:no-lock>)"), 412);
    EXPECT_EQ(code("(<DAV:no-lock>)"), 412);

    // Unlocked items ignore the tokens (a restart forgets every lock), not a
    // header that cannot be about locks.
    makeFile("root/d/g");
    core::Error error;
    EXPECT_TRUE(authorised("/d/g", "(<opaquelocktoken:stale>)", true));
    EXPECT_FALSE(authorised("/d/g", "(<DAV:no-lock>)", true, &error));
    EXPECT_EQ(error.code(), 412);
}

TEST_F(WebDAVLockManagerTest, ChangesInsideShallowLockedFolderNeedItsToken)
{
    makeFile("root/d/f");
    auto folder = lock("/d/", "exclusive", "me", "0");
    ASSERT_TRUE(folder);
    std::string token = "(<opaquelocktoken:" + folder->lockToken() + ">)";
    // Reading and changing a member's content are free; its namespace is not.
    EXPECT_TRUE(authorised("/d/f", "", false));
    core::Error error;
    EXPECT_FALSE(authorised("/d/new", "", true, &error));
    EXPECT_EQ(error.code(), 423);
    EXPECT_TRUE(authorised("/d/new", token, true));

    // A folder changed as a whole needs the tokens of locked members.
    makeFile("root/e/m");
    auto member = lock("/e/m", "exclusive");
    EXPECT_FALSE(authorised("/e/", "", true));
    EXPECT_TRUE(authorised("/e/", "(<opaquelocktoken:" + member->lockToken() + ">)", true));
}

TEST_F(WebDAVLockManagerTest, ThreadsSeeOneConsistentTable)
{
    makeFolder("root/t");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 100; ++i) {
                std::string uri = "/t/" + std::to_string(t) + "-" + std::to_string(i);
                auto granted = lock(uri, "shared", "o" + std::to_string(t));
                ASSERT_TRUE(granted);
                ASSERT_EQ(manager->locksForURI(URLWithPath(uri)).size(), 1u);
                if (i % 2) {
                    ASSERT_TRUE(manager->removeWriteLockForURI(URLWithPath(uri), granted->lockToken()));
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    auto remaining = manager->nullChildResourcesForURI(URLWithPath("/t"), true);
    ASSERT_TRUE(remaining);
    EXPECT_EQ(remaining->size(), 200u);
}

TEST(WebDAVIfParserTest, ParsesGroupsAndLists)
{
    core::Error error;
    auto empty = WebDAVIfParser::parserWithIfHeader("  ", &error);
    EXPECT_FALSE(empty->predicate());
    EXPECT_FALSE(error);

    auto tagged = WebDAVIfParser::parserWithIfHeader(
        "<http://h/a> (<opaquelocktoken:1-2>) <https://h/b%20c/> (Not <opaquelocktoken:3> [\"e\"])", &error);
    EXPECT_FALSE(error) << error.description();
    ASSERT_TRUE(tagged->predicate());
    EXPECT_TRUE(tagged->includesEtag());
    auto lockWith = [](std::string token, std::string uri) {
        return WebDAVLock::create({ { WebDAVLock::TokenKey, token }, { WebDAVLock::URIKey, uri },
            { WebDAVLock::LocalPathKey, "/nonexistent" } });
    };
    EXPECT_TRUE(tagged->validateLocks({ lockWith("1-2", "/a") }));
    EXPECT_FALSE(tagged->validateLocks({ lockWith("1-2", "/b") }));
    // The etag condition fails where no item exists.
    EXPECT_FALSE(tagged->validateLocks({ lockWith("9", "/b c") }));

    // A tag without lists before the next tag is malformed.
    WebDAVIfParser::parserWithIfHeader("<http://h/a> <http://h/b> (<opaquelocktoken:1>)", &error);
    EXPECT_EQ(error.code(), 400);
    WebDAVIfParser::parserWithIfHeader("(<opaquelocktoken:1> (<opaquelocktoken:2>)", &error);
    EXPECT_EQ(error.code(), 400);
    // Unclosed parts, stray words, empty lists and a Not with nothing after
    // it are malformed.
    for (const char* header : { "(<opaquelocktoken:1)", "(<opaquelocktoken:1> [\"e\")", "(<opaquelocktoken:1>) junk",
             "()", "(Not)", "(<opaquelocktoken:1> Not)", "(Not Not <opaquelocktoken:1>)", "(<opaquelocktoken:1> x)",
             "[\"e\"] (<opaquelocktoken:1>)" }) {
        WebDAVIfParser::parserWithIfHeader(header, &error);
        EXPECT_EQ(error.code(), 400) << header;
    }
    // An entity tag may hold "]" inside its quotes.
    auto bracketed = WebDAVIfParser::parserWithIfHeader("(<opaquelocktoken:1> [\"a]b\"])", &error);
    EXPECT_FALSE(error) << error.description();
    EXPECT_TRUE(bracketed->includesEtag());
    // Entity tags alone name no lock.
    WebDAVIfParser::parserWithIfHeader("([\"abc\"])", &error);
    EXPECT_EQ(error.code(), 412);
    EXPECT_EQ(error.domain(), "WebDAVIfParserErrorDomain");
}

} // namespace
