#include "WebDAVServerTestCase.h"

#include "Kit/VKHomeLayout.h"
#include "Platform/Core/NotificationCenter.h"
#include "Support/Command.h"
#include "WebDAV/WebDAVDeleteResponse.h"
#include "WebDAV/WebDAVLockManager.h"

#include <unistd.h>

#include <filesystem>

namespace {

using test::RawClient;

class WebDAVDeleteResponseTest : public test::WebDAVServerTestCase {
protected:
    std::string remove(std::string_view path, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments { "-X", "DELETE", "-D", "-" };
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(url(path));
        return curl(arguments);
    }
    // Every item in the trash by name, wherever its holder put it.
    static std::vector<std::string> trashedNames()
    {
        std::vector<std::string> names;
        std::string trash = VKHomeLayout::current()->trashDirectory();
        for (const auto& entry : std::filesystem::recursive_directory_iterator(trash))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static bool present(const std::string& path) { return core::fs::attributes(path).has_value(); }
    static std::string tokenHeader(const WebDAVLockRef& lock) { return "If: (<opaquelocktoken:" + lock->lockToken() + ">)"; }
};

// Lifts an immutable flag when the test ends, however it ends, so that the
// home can be removed.
struct Immutable {
    explicit Immutable(std::string path) : path(std::move(path)) { set = test::runCommand({ "chattr", "+i", this->path }).status == 0; }
    ~Immutable()
    {
        if (set)
            test::runCommand({ "chattr", "-i", path });
    }
    std::string path;
    bool set = false;
};

TEST_F(WebDAVDeleteResponseTest, FilesGoToTheTrashAfterObserversLetGo)
{
    std::string path = makeFile("site/Library/Documents/doomed.txt", "bye");
    bool sawItem = false;
    WebDAVItemNews info;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVWillDeleteResourceNotification, nullptr,
        [&](const WebDAVItemNews& item, const core::Notification& note) {
            info = item;
            sawItem = present(path) && std::dynamic_pointer_cast<WebDAVDeleteResponse>(note.object()) != nullptr;
        });
    std::string answer = remove("/Documents/doomed.txt", { "-H", "Depth: 1" });
    EXPECT_EQ(code(answer), "204") << answer;
    EXPECT_TRUE(sawItem);
    EXPECT_EQ(info.path, path);
    EXPECT_EQ(info.uri, "/Documents/doomed.txt");
    EXPECT_FALSE(present(path));
    auto trashed = trashedNames();
    EXPECT_NE(std::find(trashed.begin(), trashed.end(), "doomed.txt"), trashed.end());

    EXPECT_EQ(code(remove("/Documents/doomed.txt")), "404");
    EXPECT_EQ(code(remove("/Documents/")), "403");
    EXPECT_EQ(code(remove("/Documents/", { "-A", "WebDAVFS/3.0" })), "401");
    EXPECT_EQ(code(remove("/")), "403");
    EXPECT_TRUE(core::fs::isDirectory(documents));
}

TEST_F(WebDAVDeleteResponseTest, FoldersNeedInfiniteDepthAndTakeTheirLocksAlong)
{
    makeFile("site/Library/Documents/folder/sub/a.txt", "a");
    {
        RawClient client(server->port());
        client.send("DELETE /Documents/folder HTTP/1.1\r\nHost: h\r\nDepth: 1\r\n\r\n");
        EXPECT_TRUE(client.readUntil("\r\n\r\n").starts_with("HTTP/1.1 400 Bad Request - Invalid depth header\r\n"))
            << client.received();
        EXPECT_TRUE(client.waitForClose());
    }
    EXPECT_TRUE(present(documents + "/folder/sub/a.txt"));

    auto manager = WebDAVLockManager::sharedManager();
    auto member = manager->acquireWriteLockForURI(*core::URL::parse("/Documents/folder/sub/a.txt"),
        documents + "/folder/sub/a.txt", "exclusive", "someone", "0", "Infinite");
    ASSERT_TRUE(member);
    // However the folder is spelled, its members' locks count.
    EXPECT_EQ(code(remove("/Documents/folder")), "423");
    EXPECT_EQ(code(remove("/Documents/folder/")), "423");
    EXPECT_TRUE(present(documents + "/folder/sub/a.txt"));

    auto own = manager->acquireWriteLockForURI(*core::URL::parse("/Documents/folder/sub/"), documents + "/folder/sub",
        "shared", "me", "0", "Infinite");
    ASSERT_TRUE(own);
    std::string answer = remove("/Documents/folder", { "-H",
        "If: (<opaquelocktoken:" + member->lockToken() + ">) (<opaquelocktoken:" + own->lockToken() + ">)" });
    EXPECT_EQ(code(answer), "204") << answer;
    EXPECT_FALSE(present(documents + "/folder"));
    EXPECT_TRUE(manager->locksForURIPath("/Documents/folder/sub/a.txt").empty());
    EXPECT_TRUE(manager->locksForURIPath("/Documents/folder/sub").empty());
}

TEST_F(WebDAVDeleteResponseTest, ALockedFileStaysWithItsLock)
{
    std::string path = makeFile("site/Library/Documents/kept.txt", "mine");
    auto manager = WebDAVLockManager::sharedManager();
    auto lock = manager->acquireWriteLockForURI(*core::URL::parse("/Documents/kept.txt"), path, "exclusive", "me", "0",
        "Infinite");
    ASSERT_TRUE(lock);
    EXPECT_EQ(code(remove("/Documents/kept.txt")), "423");
    EXPECT_TRUE(present(path));
    EXPECT_EQ(manager->locksForURIPath("/Documents/kept.txt").size(), 1u);
    EXPECT_EQ(code(remove("/Documents/kept.txt", { "-H", tokenHeader(lock) })), "204");
    EXPECT_TRUE(manager->locksForURIPath("/Documents/kept.txt").empty());
}

TEST_F(WebDAVDeleteResponseTest, LinksAreDeletedNeverTheirTargets)
{
    std::string outsideFile = makeFile("outside/file.txt", "keep me");
    std::string outsideFolder = makeFolder("outside/folder");
    makeFile("outside/folder/inner.txt", "keep me too");
    ASSERT_EQ(symlink(outsideFile.c_str(), (documents + "/file-link").c_str()), 0);
    ASSERT_EQ(symlink(outsideFolder.c_str(), (documents + "/folder-link").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/target", (documents + "/dangling").c_str()), 0);

    EXPECT_EQ(code(remove("/Documents/file-link")), "204");
    EXPECT_EQ(code(remove("/Documents/folder-link/", { "-H", "Depth: 1" })), "204");
    EXPECT_EQ(code(remove("/Documents/dangling")), "204");
    for (const char* name : { "file-link", "folder-link", "dangling" })
        EXPECT_FALSE(present(documents + "/" + name)) << name;
    EXPECT_EQ(readFile(outsideFile), "keep me");
    EXPECT_EQ(readFile(outsideFolder + "/inner.txt"), "keep me too");

    // Nor are the items a link on the way leads to.
    ASSERT_EQ(symlink(outsideFolder.c_str(), (documents + "/through").c_str()), 0);
    EXPECT_EQ(code(remove("/Documents/through/inner.txt")), "404");
    EXPECT_EQ(readFile(outsideFolder + "/inner.txt"), "keep me too");
}

TEST_F(WebDAVDeleteResponseTest, WhatAnImmutableFolderKeepsIsListed)
{
    makeFile("site/Library/Documents/stuck/a.txt", "a");
    makeFile("site/Library/Documents/stuck/sub/b.txt", "b");
    makeFolder("site/Library/Documents/stuck/sub/empty");
    makeFolder("site/Library/Documents/stuck/void");
    makeFolder("site/Library/Documents/bare");
    Immutable stuck(documents + "/stuck");
    Immutable bare(documents + "/bare");
    if (!stuck.set || !bare.set)
        GTEST_SKIP() << "chattr +i is not available here";

    std::vector<std::string> updated;
    auto observation = core::NotificationCenter::defaultCenter().observe(WebDAVCollectionDidUpdateNotification, nullptr,
        [&](const WebDAVItemNews& item) { updated.push_back(item.path); });
    std::string answer = remove("/Documents/stuck");
    EXPECT_EQ(code(answer), "207") << answer;
    EXPECT_NE(answer.find(fmt::format("Location: http://127.0.0.1:{}/Documents/stuck/", server->port())), std::string::npos);
    for (const char* href : { "/Documents/stuck/a.txt", "/Documents/stuck/sub/b.txt", "/Documents/stuck/sub/empty/",
             "/Documents/stuck/void/" })
        EXPECT_NE(answer.find(fmt::format("<D:href>{}</D:href><D:status>HTTP/1.1 403 Forbidden</D:status>", href)),
            std::string::npos) << href << "\n" << answer;
    EXPECT_EQ(answer.find("<D:href>/Documents/stuck/sub/</D:href>"), std::string::npos);
    EXPECT_TRUE(logContains("Warning, moveItemAtPathToTrash error: "));
    core::RunLoop::main().runUntil([&] { return updated.size() >= 2; }, 5);
    EXPECT_EQ(updated, (std::vector<std::string> { documents, documents + "/stuck" }));

    // Nothing inside to list: a plain refusal.
    EXPECT_EQ(code(remove("/Documents/bare/")), "403");
    EXPECT_TRUE(present(documents + "/bare"));
}

} // namespace
