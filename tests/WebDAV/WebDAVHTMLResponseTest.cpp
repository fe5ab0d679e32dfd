#include "WebDAVServerTestCase.h"

#include "Kit/DateAdditions.h"
#include "Kit/HTTPDates.h"
#include "Kit/JSON/JSONAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Data.h"
#include "Platform/Core/FileSystem.h"
#include "WebDAV/WebDAVHTMLResponse.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

constexpr const char* FileIcon = "<img src=\"/85AEFEF7-ABF5-4199-84FF-C694D6E47DC2\"/>";
constexpr const char* FolderIcon = "<img src=\"/DA389A64-AF85-460A-81DE-379A17AC6314\"/>";

class WebDAVHTMLResponseTest : public test::WebDAVServerTestCase {
protected:
    // Full answer with head ("-i"), pumping the server meanwhile.
    std::string get(std::string_view path, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments { "-i" };
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(url(path));
        std::string answer = curl(arguments);
        return answer.substr(0, answer.rfind('\n'));
    }
    static std::string body(const std::string& answer)
    {
        auto at = answer.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : answer.substr(at + 4);
    }
    static std::string header(const std::string& answer, const std::string& name)
    {
        auto head = answer.substr(0, answer.find("\r\n\r\n"));
        auto at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos)
            return {};
        at += name.size() + 4;
        return head.substr(at, head.find("\r\n", at) - at);
    }
    void setModified(const std::string& path, int secondsAgo)
    {
        namespace fs = std::filesystem;
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
    }
    static std::string dateText(const std::string& path)
    {
        return descriptionWithNaturalLanguageUsingAbbreviation(core::fs::attributes(path)->modificationDate(),
            VKDateAbbreviation::Months);
    }
    // The file names of the rows, in page order.
    static std::vector<std::string> rowNames(const std::string& page)
    {
        std::vector<std::string> names;
        for (size_t at = page.find("<span class=\"filename\">"); at != std::string::npos;
             at = page.find("<span class=\"filename\">", at + 1)) {
            size_t begin = at + 23;
            names.push_back(page.substr(begin, page.find("</span>", begin) - begin));
        }
        return names;
    }
    static std::vector<std::string> jsonURIs(const std::string& json)
    {
        std::vector<std::string> uris;
        auto value = JSONValue(json);
        if (!value || !value->isArray())
            return uris;
        for (const auto& entry : value->array())
            uris.push_back(entry.dictionary().at("uri").string());
        return uris;
    }
    // Whether python's JSON reader accepts the text.
    bool pythonAcceptsJSON(const std::string& json)
    {
        std::string path = makeFile("listing.json", json);
        test::ChildProcess check({ "python3", "-m", "json.tool", path });
        core::RunLoop::main().runUntil([&] { return !check.isRunning(); }, 30);
        return check.wait(1) == 0;
    }
};

TEST_F(WebDAVHTMLResponseTest, FolderPageHasTheRowsTitleAndScript)
{
    std::string file = makeFile("site/Library/Documents/a b.txt", "hello");
    std::string folder = makeFolder("site/Library/Documents/sub");
    std::string package = makeFolder("site/Library/Documents/Essay.rtfd");
    makeFile("site/Library/Documents/Essay.rtfd/TXT.rtf", "{\\rtf1}");
    makeFile("site/Library/Documents/.hidden", "x");
    VKQuotaManager::defaultManager()->updateQuotaForPath(site);

    std::string answer = get("/Documents/");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer;
    EXPECT_EQ(header(answer, "Location"), url("/Documents/"));
    EXPECT_EQ(header(answer, "Content-Type"), "");
    EXPECT_EQ(header(answer, "Set-Cookie"), "");
    std::string page = body(answer);
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>")) << page;
    EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(page.find("<a href='/'>Tandry</a>/<a href='/Documents/'>Documents</a>"), std::string::npos);
    EXPECT_NE(page.find("var vkcollection={URI:\"/Documents/\", allCollections:[\"/\",\"/Documents/\",\"/Documents/sub/\","
                        "\"/Public/\"], productName:\"Tandry\"};"),
        std::string::npos)
        << page;
    EXPECT_NE(page.find("<tr><td><input type=\"checkbox\"/></td><td class=\"name\"><a collection=\"no\" "
                        "href=\"/Documents/a%20b.txt\">"
            + std::string(FileIcon) + "<span class=\"filename\">a b.txt</span></a></td><td class=\"size\">5 B</td>"
            + "<td class=\"download\"></td><td class=\"date\">" + dateText(file) + "</td></tr>\n"),
        std::string::npos)
        << page;
    EXPECT_NE(page.find("<tr><td><input type=\"checkbox\"/></td><td class=\"name\"><a collection=\"yes\" "
                        "href=\"/Documents/sub/\">"
            + std::string(FolderIcon) + "<span class=\"filename\">sub</span></a></td><td class=\"size\"></td>"
            + "<td></td><td class=\"date\">" + dateText(folder) + "</td></tr>\n"),
        std::string::npos)
        << page;
    // A package is a file: file icon, a size and a download cell.
    EXPECT_NE(page.find("<a collection=\"no\" href=\"/Documents/Essay.rtfd/\">" + std::string(FileIcon)), std::string::npos);
    EXPECT_EQ(rowNames(page), (std::vector<std::string> { "sub", "a b.txt", "Essay.rtfd" }));
    EXPECT_NE(page.find("</tbody>"), std::string::npos);
    EXPECT_NE(page.find("name=\"vk_upload_filename\""), std::string::npos);

    std::string old = body(get("/Documents/", { "-A", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)" }));
    EXPECT_NE(old.find("<a collection=\"no\" href=\"/Documents/a%20b.txt\" uri=\"/Documents/a%20b.txt\">"), std::string::npos);

    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(true));
    EXPECT_EQ(rowNames(body(get("/Documents/"))), (std::vector<std::string> { "sub", ".hidden", "a b.txt", "Essay.rtfd" }));

    EXPECT_TRUE(get("/Documents/missing/").starts_with("HTTP/1.1 404"));
    EXPECT_TRUE(get("/Documents/a%20b.txt").starts_with("HTTP/1.1 200"));
}

TEST_F(WebDAVHTMLResponseTest, JSONListingAndFolderList)
{
    makeFolder("site/Library/Documents/empty");
    EXPECT_EQ(body(get("/Documents/empty/?json=1")), "[]");

    std::string file = makeFile("site/Library/Documents/a b.txt", "hello");
    makeFolder("site/Library/Documents/Essay.rtfd");
    makeFolder("site/Library/Documents/sub/deeper");
    makeFolder("site/Library/Documents/Essay.rtfd/inner");
    makeFolder("site/Library/Documents/.secret/x");
    makeFolder("site/Documents/shared");
    makeFile("site/Library/Documents/.dot", "");
    VKQuotaManager::defaultManager()->updateQuotaForPath(site);

    std::string json = body(get("/Documents/?json=1&x"));
    auto listing = JSONValue(json);
    ASSERT_TRUE(listing && listing->isArray()) << json;
    ASSERT_EQ(listing->array().size(), 4u) << json;
    const auto& first = listing->array()[0].dictionary();
    EXPECT_EQ(first.at("uri").string(), "/Documents/empty/");
    EXPECT_TRUE(first.at("isCollection").boolean());
    const auto& text = listing->array()[2].dictionary();
    EXPECT_EQ(text.at("uri").string(), "/Documents/a%20b.txt");
    EXPECT_FALSE(text.at("isCollection").boolean());
    EXPECT_EQ(text.at("size").integer(), 5);
    EXPECT_EQ(text.at("date").string(), RFC1123String(core::fs::attributes(file)->modificationDate()));
    EXPECT_EQ(text.at("dateString").string(), dateText(file));
    EXPECT_EQ(listing->array()[3].dictionary().at("uri").string(), "/Documents/Essay.rtfd/");
    EXPECT_FALSE(listing->array()[3].dictionary().at("isCollection").boolean());

    std::string all = body(get("/?allCollections=1"));
    auto folders = JSONValue(all);
    ASSERT_TRUE(folders && folders->isArray()) << all;
    std::vector<std::string> paths;
    for (const auto& entry : folders->array())
        paths.push_back(entry.string());
    EXPECT_EQ(paths, (std::vector<std::string> { "/", "/Documents/", "/Documents/empty/", "/Documents/sub/",
                         "/Documents/sub/deeper/", "/Public/", "/Public/shared/" }));
    // "json=1" comes first, also at the root.
    EXPECT_TRUE(body(get("/?json=1&allCollections=1")).starts_with("[{"));
}

TEST_F(WebDAVHTMLResponseTest, SortOrderComesFromTheCookie)
{
    std::string old = makeFile("site/Library/Documents/file9.txt", std::string(300, 'x'));
    std::string big = makeFile("site/Library/Documents/File10.txt", std::string(900, 'x'));
    std::string folder = makeFolder("site/Library/Documents/middle");
    std::string fresh = makeFile("site/Library/Documents/a.txt", "x");
    setModified(old, 3000);
    setModified(big, 2000);
    setModified(folder, 1000);
    setModified(fresh, 10);

    auto names = [&](std::string cookie) {
        return jsonURIs(body(get("/Documents/?json=1", { "-H", "Cookie: other=1; " + cookie })));
    };
    using List = std::vector<std::string>;
    EXPECT_EQ(names("vksortorder=%7B%22key%22%3A%22date%22%2C%22ascending%22%3Afalse%7D"),
        (List { "/Documents/a.txt", "/Documents/middle/", "/Documents/File10.txt", "/Documents/file9.txt" }));
    EXPECT_EQ(names("vksortorder=%7B%22key%22%3A%22size%22%2C%20%22ascending%22%3Afalse%7D"),
        (List { "/Documents/File10.txt", "/Documents/file9.txt", "/Documents/a.txt", "/Documents/middle/" }));
    List byName { "/Documents/middle/", "/Documents/a.txt", "/Documents/file9.txt", "/Documents/File10.txt" };
    EXPECT_EQ(names("vksortorder=%7B%22key%22%3A%22name%22%2C%22ascending%22%3Atrue%7D"), byName);
    EXPECT_EQ(names("vksortorder=%7B%22key%22%3A%22name%22%2C%22ascending%22%3Afalse%7D"),
        (List { "/Documents/File10.txt", "/Documents/file9.txt", "/Documents/a.txt", "/Documents/middle/" }));
    EXPECT_EQ(names("vksortorder=%7Bkey%3Adate%7D"), byName);
    EXPECT_EQ(names("vksortorder=%FF%7B%22key%22%3A%22date%22%2C%22ascending%22%3Afalse%7D"), byName);
    EXPECT_EQ(names("vksortorder=%7B%22key%22%3A%22date%22%2C%22ascending%22%3Afalse%7D" + std::string(4100, ' ') + "x"),
        byName);
    EXPECT_EQ(names("vksortorder=%7B%22key%22%3A%22kind%22%2C%22ascending%22%3Afalse%7D"),
        (List { "/Documents/File10.txt", "/Documents/file9.txt", "/Documents/a.txt", "/Documents/middle/" }));
    EXPECT_TRUE(logContains("Warning, unhandled WebDAVResource sort key: kind"));
    // The page's rows follow the same order.
    EXPECT_EQ(rowNames(body(get("/Documents/",
                  { "-H", "Cookie: vksortorder=%7B%22key%22%3A%22date%22%2C%22ascending%22%3Afalse%7D" }))),
        (List { "a.txt", "middle", "File10.txt", "file9.txt" }));
}

TEST_F(WebDAVHTMLResponseTest, NamesAreEscapedForHTMLScriptAndJSON)
{
    std::string evil = "<img src=x onerror=alert(1)>\"'.txt";
    makeFile("site/Library/Documents/" + evil, "x");
    makeFile("site/Library/Documents/back\\slash\x01\ttab.txt", "x");
    makeFolder("site/Library/Documents/x & 'y'</script>");
    VKQuotaManager::defaultManager()->updateQuotaForPath(site);
    core::UserDefaults::standard()->set("DeviceName", core::Value("Bob's <b>&\"phone\""));

    // Folder "x & 'y'<" holds "script>": the path reads "…</script>/".
    std::string page = body(get("/Documents/x%20%26%20'y'%3C/script%3E/"));
    EXPECT_EQ(page.find("</script>/"), std::string::npos) << page;
    EXPECT_NE(page.find("/<a href='/Documents/x%20%26%20&apos;y&apos;%3C/'>x &amp; &apos;y&apos;&lt;</a>"
                        "/<a href='/Documents/x%20%26%20&apos;y&apos;%3C/script%3E/'>script&gt;</a>"),
        std::string::npos)
        << page;
    EXPECT_NE(page.find("URI:\"/Documents/x%20%26%20'y'%3C/script%3E/\""), std::string::npos) << page;

    std::string listing = body(get("/Documents/"));
    EXPECT_EQ(listing.find("<img src=x"), std::string::npos);
    EXPECT_NE(listing.find("<span class=\"filename\">&lt;img src=x onerror=alert(1)&gt;&quot;&apos;.txt</span>"),
        std::string::npos)
        << listing;
    EXPECT_NE(listing.find("href=\"/Documents/%3Cimg%20src%3Dx%20onerror%3Dalert(1)%3E%22&apos;.txt\""), std::string::npos)
        << listing;

    std::string json = body(get("/Documents/?json=1"));
    EXPECT_TRUE(pythonAcceptsJSON(json)) << json;
    EXPECT_TRUE(pythonAcceptsJSON(body(get("/?allCollections=1"))));

    std::string root = body(get("/"));
    EXPECT_NE(root.find("<title>Tandry - Bob&apos;s &lt;b&gt;&amp;&quot;phone&quot;</title>"), std::string::npos) << root;
    EXPECT_NE(root.find("href=\"/Documents/\""), std::string::npos);
    EXPECT_NE(root.find(">Documents</span>"), std::string::npos);
    EXPECT_NE(root.find(">Public</span>"), std::string::npos);
}

TEST_F(WebDAVHTMLResponseTest, BuiltInFilesAnswerWithoutCredentials)
{
    protect();
    std::string stylePath = core::Bundle::main()->pathForResource("WebDAVIndex.css", "", "WebDAV");
    core::Data style;
    ASSERT_TRUE(core::fs::readFile(stylePath, style));

    for (std::string path : { "/234C930E-2662-4104-B498-0AF172314DAF", "/Documents/no/such/234C930E-2662-4104-B498-0AF172314DAF" }) {
        std::string answer = get(path);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << answer;
        EXPECT_EQ(header(answer, "Content-Type"), "text/css");
        EXPECT_EQ(header(answer, "Content-Length"), std::to_string(style.size()));
        EXPECT_FALSE(header(answer, "Etag").empty());
        EXPECT_FALSE(header(answer, "Last-Modified").empty());
        EXPECT_EQ(body(answer), style.toString());
    }
    // Every shipped file, also below a folder that does not exist.
    for (std::string identifier : { "DA389A64-AF85-460A-81DE-379A17AC6314", "85AEFEF7-ABF5-4199-84FF-C694D6E47DC2",
             "D52A0C4C-AB72-4105-9AD1-77E0FD6B18CE", "2992B5F4-7E37-491B-A1E8-726FA23DCC00",
             "30F32C52-B5D8-4CF6-96B8-48B6C910F935", "4C0AA7E6-CDAD-42AF-A21E-F77A640922A7",
             "EE05F170-98D5-427B-93BE-9B4BE200F658", "E9936039-D58C-4D9B-94C6-0A0DF86DA628",
             "98301160-7F1E-401C-9FE9-022A78CA3990", "F59FEFFF-9F87-4906-8F48-5CF14F3E3422",
             "D1EF07C8-4676-401A-AE20-8C912A3F0182", "AADBC52C-FBDA-4E69-B9F5-ECC4ED114051",
             "A3383EAE-0AD9-4282-8A51-55A676EDF2A5" }) {
        std::string answer = get("/Public/gone/" + identifier);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 200")) << identifier;
        EXPECT_EQ(header(answer, "Content-Length"), std::to_string(body(answer).size())) << identifier;
        EXPECT_NE(header(answer, "Content-Type"), "") << identifier;
    }
    std::string head = get("/x/F9ACE9A8-8874-40FE-BF45-36818A0A6773", { "-I" });
    EXPECT_TRUE(head.starts_with("HTTP/1.1 200")) << head;
    EXPECT_EQ(header(head, "Content-Type"), "image/gif");
    EXPECT_NE(header(head, "Content-Length"), "0");
    EXPECT_EQ(body(head), "");

    // The uploader files of old are not shipped: an ordinary, protected path.
    EXPECT_TRUE(get("/117ACF2A-C3C2-4C5D-96C1-3B477B9CC1E6").starts_with("HTTP/1.1 401"));
    EXPECT_FALSE(WebDAVResourceInfoForName("YuiUploader.swf", "application/x-shockwave-flash"));
    EXPECT_TRUE(logContains("Warning: null data for resource: YuiUploader.swf"));
    EXPECT_FALSE(WebDAVHTMLResponse::isHTMLIndexResourceRequest(*core::URL::parse("/99CA4CEB-F300-416F-A40E-4FF10E46D750")));

    // A folder page of a protected folder carries the upload-token cookie.
    EXPECT_TRUE(get("/Documents/").starts_with("HTTP/1.1 401"));
    std::string page = get("/Documents/", { "--digest", "-u", "alice:secret" });
    EXPECT_NE(page.find("HTTP/1.1 200"), std::string::npos);
    std::string cookie = header(page.substr(page.find("HTTP/1.1 200")), "Set-Cookie");
    EXPECT_TRUE(cookie.starts_with("vksessionid=")) << page;
    EXPECT_NE(cookie.find("%26timeout%3D"), std::string::npos) << cookie;
}

TEST(WebDAVHTMLPlaceholders, ReplacedLiterallyOneKeyAfterAnother)
{
    std::string text = "<!--A--> <!--a--> <!--A--><!--B-->";
    vkReplaceOccurancesOfStringsInDictionary(text, { { "<!--A-->", "[<!--B-->]" }, { "<!--B-->", "b" }, { "", "x" } });
    EXPECT_EQ(text, "[b] <!--a--> [b]b");
}

} // namespace
