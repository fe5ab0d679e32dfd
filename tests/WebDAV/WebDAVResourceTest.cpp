#include "WebDAVTestCase.h"

#include "Kit/FileManagerExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"
#include "Support/Command.h"
#include "Support/Python.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVNullResource.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

using test::WebDAVTestCase;

const std::string Color = "com.kestrova.DAV.{http://ex/ns}color";

std::vector<std::string> names(const WebDAVPropertyNameList& list)
{
    std::vector<std::string> out;
    for (const auto& name : list)
        out.push_back(name->name());
    return out;
}

std::vector<std::string> names(const WebDAVPropertyTable& table)
{
    std::vector<std::string> out;
    for (const auto& entry : table)
        out.push_back(entry.name->name());
    return out;
}

const core::Value* valueFor(const WebDAVPropertyTable& table, std::string_view name)
{
    for (const auto& entry : table) {
        if (*entry.name == name)
            return &entry.value;
    }
    return nullptr;
}

int errorCode(const std::function<bool(core::Error*)>& call)
{
    core::Error error;
    EXPECT_FALSE(call(&error));
    return static_cast<int>(error.code());
}

class WebDAVResourceTest : public WebDAVTestCase { };

TEST_F(WebDAVResourceTest, URIsFollowWhatIsOnDisk)
{
    makeFolder("root/Documents/a");
    makeFile("root/Documents/b.txt", "hello\n");
    auto folder = resource("/Documents/a");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->URI().relativeString(), "/Documents/a/");
    EXPECT_TRUE(folder->isCollection());
    EXPECT_EQ(folder->name(), "a");
    auto file = resource("/Documents/b.txt");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->URI().relativeString(), "/Documents/b.txt");
    EXPECT_FALSE(resource("/Documents/none"));
    EXPECT_TRUE(folder->isEqual(*resource("/Documents/a/")));

    // A URI locked before its item exists gives the lock's null resource.
    EXPECT_FALSE(WebDAVResource::resourceWithURIMaybeNull(URLWithPath("/Documents/new"), local("/Documents/new")));
    ASSERT_TRUE(WebDAVLockManager::sharedManager()->acquireWriteLockForURI(URLWithPath("/Documents/new"),
        local("/Documents/new"), "exclusive", "me", "0", "Infinite"));
    auto null = WebDAVResource::resourceWithURIMaybeNull(URLWithPath("/Documents/new"), local("/Documents/new"));
    ASSERT_TRUE(std::dynamic_pointer_cast<WebDAVNullResource>(null));
    EXPECT_EQ(null->path(), local("/Documents/new"));
}

TEST_F(WebDAVResourceTest, PropertyNamesAndValues)
{
    std::string path = makeFile("root/f.txt", "some text\n");
    makeFolder("root/d");
    ASSERT_TRUE(xattrSetString("<A:color xmlns:A=\"http://ex/ns\">red</A:color>", path, Color));
    ASSERT_TRUE(xattrSetString("x", path, "com.kestrova.DAV.bad"));
    ASSERT_TRUE(xattrSetData(core::Data(std::string("\xff\xfe")), path, "com.kestrova.DAV.{u:}bin"));

    auto file = resource("/f.txt");
    auto fileNames = names(file->propertyNames());
    ASSERT_EQ(fileNames.size(), 15u); // 13 live, the valid dead one with text and the one without
    EXPECT_EQ(fileNames[0], "creationdate");
    EXPECT_EQ(fileNames[12], "getcontenttype");
    EXPECT_EQ(names(resource("/d")->propertyNames()).size(), 12u);

    // Dead properties: valid names only, and values only when they are text.
    auto dead = file->deadProperties();
    ASSERT_TRUE(dead);
    EXPECT_EQ(names(*dead), std::vector<std::string> { Color });
    EXPECT_EQ(file->propertyForName(*WebDAVPropertyName::propertyNameWithName(Color)).string(),
        "<A:color xmlns:A=\"http://ex/ns\">red</A:color>");

    // One live name gives only that one; one dead name gives every dead one.
    WebDAVPropertyNameList etagOnly { WebDAVPropertyName::propertyNameWithName("getetag") };
    auto table = file->propertiesForNames(&etagOnly);
    ASSERT_EQ(names(table), std::vector<std::string> { "getetag" });
    EXPECT_TRUE(table[0].value.string().starts_with("\"") && table[0].value.string().ends_with("\""));
    WebDAVPropertyNameList oneDead { WebDAVPropertyName::propertyNameWithName("com.kestrova.DAV.{x:}other") };
    EXPECT_EQ(names(file->propertiesForNames(&oneDead)), std::vector<std::string> { Color });

    auto all = file->properties();
    EXPECT_EQ(valueFor(all, "getcontentlength")->string(), "10");
    EXPECT_EQ(valueFor(all, "resourcetype")->string(), "");
    EXPECT_EQ(valueFor(all, "displayname")->string(), "f.txt");
    EXPECT_EQ(valueFor(all, "supportedlock")->string(), "exclusive,shared");
    EXPECT_EQ(valueFor(all, "lockdiscovery")->count(), 0u);
    EXPECT_EQ(valueFor(all, "quota-available-bytes")->string(), std::to_string(uint64_t(1) << 30));
    ASSERT_TRUE(valueFor(all, "quota"));
    auto folder = resource("/d")->properties();
    EXPECT_EQ(valueFor(folder, "resourcetype")->string(), "collection");
    EXPECT_EQ(valueFor(folder, "getcontentlength")->string(), "0");
    EXPECT_FALSE(valueFor(folder, "getcontenttype"));
    makeFile("root/blob", std::string("\x01\x02", 2));
    EXPECT_EQ(valueFor(resource("/blob")->properties(), "getcontenttype")->string(), "application/octet-stream");

    // Unknown free space: no available bytes and no quota figure, logged.
    setAvailableBytes(std::nullopt);
    auto unknown = file->properties();
    EXPECT_FALSE(valueFor(unknown, "quota-available-bytes"));
    EXPECT_FALSE(valueFor(unknown, "quota"));
    EXPECT_TRUE(logContains("Warning, nil property for: quota-available-bytes"));

    // A link reports its own type; links carry no dead properties.
    ASSERT_EQ(symlink(path.c_str(), local("/link").c_str()), 0);
    auto link = resource("/link");
    EXPECT_EQ(valueFor(link->properties(), "getcontenttype")->string(), "inode/symlink");
}

TEST_F(WebDAVResourceTest, QuotaFigureIsAvailablePlusUsedInKilobytes)
{
    makeFile("root/f", std::string(2048, 'x'));
    VKQuotaManager::defaultManager()->updateQuotaForPath(root);
    setAvailableBytes(1024 * 100);
    uint64_t used = VKQuotaManager::defaultManager()->quotaUsedBytes();
    ASSERT_GE(used, 2048u);
    auto all = resource("/f")->properties();
    EXPECT_EQ(valueFor(all, "quota")->string(), fmt::format("{:.2f}", (102400.0 + used) / 1024));
    EXPECT_EQ(valueFor(all, "quotaused")->string(), fmt::format("{:.2f}", used / 1024.0));
}

TEST_F(WebDAVResourceTest, DeadPropertiesAreExtendedAttributesOthersCanRead)
{
    std::string path = makeFile("root/f.txt", "x");
    auto file = resource("/f.txt");
    auto name = WebDAVPropertyName::propertyNameWithName(Color);
    ASSERT_TRUE(file->setProperty(core::Value("<A:color xmlns:A=\"http://ex/ns\">blue</A:color>"), *name));
    EXPECT_EQ(test::runPython("import os,sys\nprint(os.getxattr(sys.argv[1], 'user.' + sys.argv[2]).decode())", { path, Color }),
        "<A:color xmlns:A=\"http://ex/ns\">blue</A:color>\n");
    EXPECT_TRUE(file->canRemovePropertyWithName(*name));
    ASSERT_TRUE(file->removePropertyWithName(*name));
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canRemovePropertyWithName(*name, e); }), 404);
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canRemovePropertyWithName(*WebDAVPropertyName::propertyNameWithName("getetag"), e); }), 403);
}

TEST_F(WebDAVResourceTest, SettingChecksEachRule)
{
    std::string path = makeFile("root/f.txt", "x");
    auto file = resource("/f.txt");
    auto dead = WebDAVPropertyName::propertyNameWithName(Color);
    auto modified = WebDAVPropertyName::propertyNameWithName("getlastmodified");
    auto created = WebDAVPropertyName::propertyNameWithName("creationdate");

    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canSetProperty(core::Value(3), *dead, e); }), 409);
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canSetProperty(core::Value("x"), *WebDAVPropertyName::propertyNameWithName("getetag"), e); }), 403);
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canSetProperty(core::Value("yesterday"), *modified, e); }), 409);
    // No creation date can be stored here: refused, never reported done.
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canSetProperty(core::Value("1994-11-06T08:49:37Z"), *created, e); }), 403);

    core::Error error;
    ASSERT_TRUE(file->setProperty(core::Value("Sun, 06 Nov 1994 08:49:37 GMT"), *modified, &error)) << error.description();
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 784111777);

    setAvailableBytes(102399);
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canSetProperty(core::Value("v"), *dead, e); }), 507);
    setAvailableBytes(102400);
    EXPECT_TRUE(file->canSetProperty(core::Value("v"), *dead));

    // The store's own refusals come back with their cause.
    EXPECT_FALSE(file->setProperty(core::Value(std::string(5000, 'v')), *dead, &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOSPC) || error.is(core::Error::POSIXDomain, E2BIG)) << error.description();
    EXPECT_FALSE(file->setProperty(core::Value("v"),
        *WebDAVPropertyName::propertyNameWithName(WebDAVPropertyName::deadPropertyNameFor(std::string(300, 'n'), "x")), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ERANGE)) << error.description();
}

TEST_F(WebDAVResourceTest, UnwritableItemsRefuseChanges)
{
    std::string path = makeFile("root/f.txt", "x");
    ASSERT_TRUE(xattrSetString("<a/>", path, Color));
    ASSERT_EQ(test::runCommand({ "chattr", "+i", path }).status, 0);
    auto file = resource("/f.txt");
    auto dead = WebDAVPropertyName::propertyNameWithName(Color);
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canSetProperty(core::Value("v"), *dead, e); }), 403);
    EXPECT_EQ(errorCode([&](core::Error* e) { return file->canRemovePropertyWithName(*dead, e); }), 403);
    test::runCommand({ "chattr", "-i", path });
}

TEST_F(WebDAVResourceTest, SubresourcesToDepth)
{
    makeFile("root/d/a.txt");
    makeFile("root/d/sub/b.txt");
    makeFile("root/outside/c.txt");
    ASSERT_EQ(symlink(local("/outside").c_str(), local("/d/linked").c_str()), 0);
    ASSERT_TRUE(WebDAVLockManager::sharedManager()->acquireWriteLockForURI(URLWithPath("/d/sub/pending"),
        local("/d/sub/pending"), "exclusive", "me", "0", "Infinite"));
    auto folder = resource("/d");

    auto uris = [](const std::optional<WebDAVResourceList>& list) {
        std::vector<std::string> out;
        for (const auto& item : list.value_or(WebDAVResourceList {}))
            out.push_back(item->URI().relativeString());
        return out;
    };
    EXPECT_EQ(uris(folder->subresourcesToDepth("1")), (std::vector<std::string> { "/d/a.txt", "/d/linked", "/d/sub/" }));
    EXPECT_EQ(uris(folder->subresourcesToDepth("InFiNiTy")),
        (std::vector<std::string> { "/d/a.txt", "/d/linked", "/d/sub/", "/d/sub/b.txt", "/d/sub/pending" }));
    EXPECT_FALSE(folder->subresourcesToDepth("2"));
    EXPECT_FALSE(resource("/d/a.txt")->subresourcesToDepth("1"));
}

TEST_F(WebDAVResourceTest, CompanionFilesAndOrdering)
{
    makeFile("root/a");
    makeFile("root/._a");
    makeFile("root/._b");
    makeFolder("root/f");
    makeFolder("root/p.rtfd");
    EXPECT_TRUE(resource("/._a")->isAppleDouble());
    EXPECT_FALSE(resource("/._b")->isAppleDouble());
    EXPECT_EQ(resource("/f")->isCollectionComparison(*resource("/a")), -1);
    EXPECT_EQ(resource("/a")->isCollectionComparison(*resource("/f")), 1);
    EXPECT_EQ(resource("/p.rtfd")->isCollectionComparison(*resource("/a")), 0);
}

TEST_F(WebDAVResourceTest, NullResourceAnswersEmptyValuesButItsLocks)
{
    auto lock = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(URLWithPath("/n"), local("/n"), "shared",
        "me", "0", "Infinite");
    ASSERT_TRUE(lock && lock->lockIsNull());
    auto null = WebDAVLockManager::sharedManager()->nullResourceForURI(URLWithPath("/n"));
    ASSERT_TRUE(null);
    EXPECT_EQ(names(null->propertyNames()).size(), 13u);
    auto table = null->properties();
    EXPECT_EQ(table.size(), 13u);
    EXPECT_EQ(valueFor(table, "getetag")->string(), "");
    EXPECT_EQ(valueFor(table, "supportedlock")->string(), "exclusive,shared");
    EXPECT_EQ(valueFor(table, "lockdiscovery")->count(), 1u);
    EXPECT_EQ(errorCode([&](core::Error* e) { return null->canSetProperty(core::Value("v"), *WebDAVPropertyName::propertyNameWithName(Color), e); }), 403);
    EXPECT_FALSE(null->deadProperties());
}

} // namespace
