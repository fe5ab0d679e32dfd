#include "WebDAVServerTestCase.h"

#include "Platform/Core/FileSystem.h"
#include "WebDAV/WebDAVLockManager.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace {

// Links in the store, every method run through each: links that lead out
// of the served roots (to a file and a folder beside the store, and to the
// settings beside the roots in the home itself) are absent to every client,
// links that stay inside keep working, and removing a link removes the link.
class WebDAVServedLinksTest : public test::WebDAVServerTestCase {
protected:
    void SetUp() override
    {
        WebDAVServerTestCase::SetUp();
        outsideFile = makeFile("outside/secret.txt", "outside secret");
        outsideFolder = makeFolder("outside/folder");
        makeFile("outside/folder/x.txt", "outside folder");
        settings = makeFile("site/Library/Preferences/settings.plist", "the settings");
        makeFile("site/Library/Documents/in.txt", "inside");
        makeFile("site/Documents/shared.txt", "public");
        link(outsideFile, "outfile");
        link(outsideFolder, "outdir");
        link(settings, "settings");
        link("in.txt", "inlink");
        link(publicFolder, "indir");
    }
    void TearDown() override
    {
        WebDAVLockManager::sharedManager()->removeAllLocks();
        WebDAVServerTestCase::TearDown();
    }

    void link(const std::string& target, const std::string& name)
    {
        ASSERT_EQ(symlink(target.c_str(), (documents + "/" + name).c_str()), 0);
    }
    static std::string contentsOf(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::string status(const std::string& method, const std::string& path, std::vector<std::string> extra = {},
        const std::string& body = {})
    {
        std::vector<std::string> arguments { "-X", method };
        for (const auto& header : extra)
            arguments.insert(arguments.end(), { "-H", header });
        if (!body.empty())
            arguments.insert(arguments.end(), { "--data-binary", body });
        arguments.push_back(url(path));
        return code(curl(arguments));
    }
    std::string body(const std::string& method, const std::string& path, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments { "-X", method };
        for (const auto& header : extra)
            arguments.insert(arguments.end(), { "-H", header });
        arguments.push_back(url(path));
        std::string answer = curl(arguments);
        return answer.substr(0, answer.rfind('\n'));
    }
    void expectUntouched()
    {
        EXPECT_EQ(contentsOf(outsideFile), "outside secret");
        EXPECT_EQ(contentsOf(outsideFolder + "/x.txt"), "outside folder");
        EXPECT_EQ(contentsOf(settings), "the settings");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outsideFolder), std::filesystem::directory_iterator()), 1);
    }

    std::string outsideFile;
    std::string outsideFolder;
    std::string settings;
};

const std::string LockBody = "<?xml version=\"1.0\"?><D:lockinfo xmlns:D=\"DAV:\"><D:lockscope><D:exclusive/></D:lockscope>"
                             "<D:locktype><D:write/></D:locktype></D:lockinfo>";
const std::string PropPatchBody = "<?xml version=\"1.0\"?><D:propertyupdate xmlns:D=\"DAV:\"><D:set><D:prop>"
                                  "<Z:color xmlns:Z=\"http://ex/ns\">red</Z:color></D:prop></D:set></D:propertyupdate>";

TEST_F(WebDAVServedLinksTest, LinksOutOfTheRootsAreAbsentToReaders)
{
    for (const std::string path : { "/Documents/outfile", "/Documents/settings", "/Documents/outdir",
             "/Documents/outdir/", "/Documents/outdir/x.txt" }) {
        EXPECT_EQ(status("GET", path), "404") << path;
        EXPECT_EQ(code(curl({ "-I", url(path) })), "404") << path;
        EXPECT_EQ(status("PROPFIND", path, { "Depth: 0" }), "404") << path;
        EXPECT_EQ(status("PROPPATCH", path, { "Content-Type: text/xml" }, PropPatchBody), "404") << path;
        EXPECT_EQ(status("GET", path + "?download=1"), "404") << path;
    }
    EXPECT_EQ(status("GET", "/Documents/outdir/?json=1"), "404");

    // Listings leave them out; the links that stay inside are listed.
    std::string listing = body("PROPFIND", "/Documents/", { "Depth: 1" });
    for (const char* name : { "outfile", "outdir", "settings" })
        EXPECT_EQ(listing.find(std::string("/Documents/") + name + "<"), std::string::npos) << name;
    for (const char* name : { "in.txt", "inlink", "indir" })
        EXPECT_NE(listing.find(std::string("/Documents/") + name + "<"), std::string::npos) << name << listing;
    EXPECT_EQ(listing.find("outside secret"), std::string::npos);
    std::string deep = body("PROPFIND", "/Documents/", {});
    EXPECT_EQ(deep.find("outdir"), std::string::npos);
    EXPECT_EQ(deep.find("x.txt"), std::string::npos);

    std::string page = body("GET", "/Documents/");
    std::string json = body("GET", "/Documents/?json=1");
    for (const char* name : { "outfile", "outdir", "settings" }) {
        EXPECT_EQ(page.find(name), std::string::npos) << name;
        EXPECT_EQ(json.find(name), std::string::npos) << name;
    }
    EXPECT_NE(page.find("inlink"), std::string::npos);
    EXPECT_NE(json.find("inlink"), std::string::npos);

    // Inside, links work as before.
    EXPECT_EQ(body("GET", "/Documents/inlink"), "inside");
    EXPECT_EQ(body("GET", "/Documents/indir/shared.txt"), "public");
    EXPECT_EQ(status("PROPFIND", "/Documents/inlink", { "Depth: 0" }), "207");
    EXPECT_EQ(status("PROPFIND", "/Documents/indir/", { "Depth: 1" }), "207");
    expectUntouched();
}

TEST_F(WebDAVServedLinksTest, LinksOutOfTheRootsAreAbsentToWriters)
{
    const std::vector<std::string> lockHeaders { "Content-Type: text/xml", "Timeout: Infinite" };
    EXPECT_EQ(status("LOCK", "/Documents/outfile", lockHeaders, LockBody), "404");
    EXPECT_EQ(status("LOCK", "/Documents/outdir/x.txt", lockHeaders, LockBody), "409");
    EXPECT_EQ(status("LOCK", "/Documents/outdir/new.txt", lockHeaders, LockBody), "409");
    EXPECT_TRUE(WebDAVLockManager::sharedManager()->locksForURI(URLWithPath("/Documents/outfile")).empty());
    EXPECT_EQ(status("LOCK", "/Documents/inlink", lockHeaders, LockBody), "200");

    // Sources are absent; destinations in such a folder have no parent.
    auto destination = [this](const std::string& path) { return "Destination: " + url(path); };
    EXPECT_EQ(status("COPY", "/Documents/outfile", { destination("/Documents/copy.txt") }), "404");
    EXPECT_EQ(status("COPY", "/Documents/outdir/x.txt", { destination("/Documents/copy.txt") }), "404");
    EXPECT_EQ(status("MOVE", "/Documents/settings", { destination("/Documents/moved.txt") }), "404");
    EXPECT_EQ(status("COPY", "/Documents/in.txt", { destination("/Documents/outdir/planted.txt") }), "409");
    EXPECT_EQ(status("MOVE", "/Documents/in.txt", { destination("/Documents/outdir/planted.txt") }), "409");
    EXPECT_EQ(status("COPY", "/Documents/in.txt", { destination("/Documents/outdir/x.txt") }), "409");
    EXPECT_EQ(status("PUT", "/Documents/outdir/planted.txt", {}, "planted"), "409");
    EXPECT_EQ(status("PUT", "/Documents/outdir/x.txt", {}, "overwritten"), "409");
    EXPECT_EQ(status("MKCOL", "/Documents/outdir/made"), "409");
    EXPECT_EQ(status("DELETE", "/Documents/outdir/x.txt"), "404");
    EXPECT_EQ(code(curl({ "-H", "Expect:", "-F", "vk_upload_filename=@" + makeFile("upload.txt", "uploaded") + ";filename=up.txt",
                  url("/Documents/outdir/") })),
        "409");
    expectUntouched();
    EXPECT_FALSE(core::fs::exists(documents + "/copy.txt"));

    // Writing onto the link itself replaces the link, never its target.
    EXPECT_EQ(status("PUT", "/Documents/outfile", {}, "replaced"), "201");
    EXPECT_EQ(contentsOf(documents + "/outfile"), "replaced");
    EXPECT_EQ(code(curl({ "-H", "Expect:", "-F", "vk_upload_filename=@" + makeFile("upload.txt", "uploaded") + ";filename=settings",
                  url("/Documents/") })),
        "200");
    EXPECT_EQ(contentsOf(documents + "/settings"), "uploaded");
    // Removing a link removes the link.
    EXPECT_EQ(status("DELETE", "/Documents/outdir"), "204");
    EXPECT_FALSE(core::fs::attributes(documents + "/outdir"));
    expectUntouched();
}

} // namespace
