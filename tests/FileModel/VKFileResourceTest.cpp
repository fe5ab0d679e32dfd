#include "FileModel/VKFileResource.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/ExtendedAttributes.h"
#include "Platform/Core/FileSystem.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/FileModel/RecordingServerLockHooks.h"
#include "Support/Python.h"
#include "Support/TestCase.h"

#include <fmt/format.h>

#include <map>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

// A download item that follows its download to a new place.
class MovingResource : public VKFileResource {
public:
    explicit MovingResource(std::string path) : VKFileResource(std::move(path)) { }
    using VKFileResource::updatePath;
};

class VKFileResourceTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        layout = VKHomeLayout::current();
    }

    std::string documents(std::string_view relative) const
    {
        return layout->documentsDirectory() + "/" + std::string(relative);
    }
    std::string makeDocument(std::string_view relative, std::string_view contents = "x")
    {
        return makeFile("Library/Documents/" + std::string(relative), contents);
    }
    static std::shared_ptr<VKFileResource> resource(std::string_view path)
    {
        return VKFileResource::resourceWithPath(path);
    }
    static std::string storedUUID(const std::string& path)
    {
        return test::runPython("import os, sys\n"
                               "print(os.getxattr(sys.argv[1], 'user.com.kestrova.tandry.UUID').decode(), end='')\n",
            { path });
    }

    std::shared_ptr<const VKHomeLayout> layout;
};

TEST_F(VKFileResourceTest, FactoriesFindExistingItemsOnly)
{
    makeDocument("Docs/Read.txt", "hello");
    EXPECT_EQ(resource(documents("missing.txt")), nullptr);
    EXPECT_EQ(resource(""), nullptr);
    EXPECT_EQ(resource("Library/Documents/Docs/Read.txt"), nullptr);
    EXPECT_EQ(resource(documents("docs/READ.txt")), nullptr);

    auto found = VKFileResource::resourceWithPath(documents("docs/READ.txt"), true);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->path(), documents("Docs/Read.txt"));
    EXPECT_EQ(VKFileResource::resourceWithPath(documents("docs/NOPE.txt"), true), nullptr);
    EXPECT_EQ(VKFileResource::resourceWithPath(documents("Docs/Read.txt/x"), true), nullptr);

    // Of two spellings the folder lists, the first is taken.
    makeDocument("Twin/a.TXT", "1");
    makeDocument("Twin/A.txt", "2");
    auto names = core::fs::contentsOfDirectory(documents("Twin"));
    auto twin = VKFileResource::resourceWithPath(documents("Twin/a.txt"), true);
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->name(), names->front());
}

TEST_F(VKFileResourceTest, NamesPlacesAndDescription)
{
    auto file = resource(makeFile("Documents/Reports/Q1.final.txt", "text"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->name(), "Q1.final.txt");
    EXPECT_EQ(file->baseName(), "Q1.final");
    EXPECT_EQ(file->pathExtension(), "txt");
    EXPECT_EQ(file->localizedName(), "Q1.final.txt");
    EXPECT_EQ(file->fileURL().path(), file->path());
    EXPECT_EQ(file->parent()->path(), pathInHome("Documents/Reports"));
    EXPECT_EQ(file->size(), 4u);
    EXPECT_EQ(file->localSize(), 4u);
    EXPECT_TRUE(file->modificationDate().has_value());
    EXPECT_EQ(file->supportedFileOperations(), 0x7fffffff);
    EXPECT_EQ(file->localizedDescriptionForUnsupportedFileOperation(VKFileResourceOperationMove), std::nullopt);
    EXPECT_FALSE(file->isCloudResource());

    std::string description = file->description();
    EXPECT_TRUE(description.starts_with("<VKFileResource 0x")) << description;
    EXPECT_TRUE(description.ends_with("> ~/Documents/Reports/Q1.final.txt")) << description;

    EXPECT_EQ(resource(layout->documentsDirectory())->localizedName(), "Documents");
    EXPECT_EQ(resource(layout->publicDirectory())->localizedName(), "Public");
    EXPECT_EQ(resource(layout->serversDirectory())->localizedName(), "Servers");
}

TEST_F(VKFileResourceTest, KindsTypesAndPackages)
{
    makeDocument("Essay.pages/index.xml", std::string(1000, 'p'));
    makeFolder("Library/Documents/photos.jpg");
    auto package = resource(documents("Essay.pages"));
    VKQuotaManager::defaultManager()->updateQuotaForPath(package->path());
    EXPECT_TRUE(package->isDirectory());
    EXPECT_TRUE(package->isPackage());
    EXPECT_FALSE(package->isCollection());
    EXPECT_EQ(package->size(), VKQuotaManager::defaultManager()->sizeForPath(package->path()));
    EXPECT_GT(package->size(), 1000u);

    auto folder = resource(documents("photos.jpg"));
    EXPECT_TRUE(folder->isCollection());
    EXPECT_FALSE(folder->isPackage());

    auto image = resource(makeDocument("a.JPG"));
    EXPECT_TRUE(image->isImageType());
    EXPECT_FALSE(image->isTextType());
    EXPECT_TRUE(resource(makeDocument("b.pdf"))->isPDFType());
    EXPECT_TRUE(resource(makeDocument("c.html"))->isTextType());
    EXPECT_TRUE(resource(makeDocument("d.mp3"))->isAudioType());
    EXPECT_TRUE(resource(makeDocument("e.mov"))->isMovieType());

    // Office documents are zip containers, yet never archives; the
    // exception compares the extension exactly.
    for (const char* name : { "w.docx", "s.xlsx", "p.pptx" }) {
        auto office = resource(makeDocument(name));
        EXPECT_FALSE(office->conformsToUTIdentifier("public.archive")) << name;
        EXPECT_TRUE(office->conformsToUTIdentifier("public.zip-archive")) << name;
    }
    EXPECT_TRUE(resource(makeDocument("upper.DOCX"))->conformsToUTIdentifier("public.archive"));
    auto zip = resource(makeDocument("z.zip"));
    EXPECT_TRUE(zip->conformsToUTIdentifier("public.archive"));
    EXPECT_TRUE(zip->conformsToUTIdentifier("public.data"));
    EXPECT_FALSE(zip->conformsToUTIdentifier("public.image"));
    EXPECT_TRUE(image->conformsToUTIdentifier("public.image"));
    auto odd = resource(makeDocument("x.zzq"));
    EXPECT_TRUE(odd->conformsToUTIdentifier("public.data"));
    EXPECT_FALSE(odd->conformsToUTIdentifier("public.archive"));
}

TEST_F(VKFileResourceTest, ChildrenAreAlwaysPlainResources)
{
    auto cloud = test::RecordingCloudHooks::install();
    std::string mirror = layout->serversSubdirectory("Svc");
    makeFile("Library/Servers/Svc/a.txt", "a");
    makeFile("Library/Servers/Svc/b.txt", "b");
    auto cloudItem = cloud->addResource("Svc", mirror + "/a.txt", "/a.txt");

    auto fromFactory = resource(mirror + "/a.txt");
    EXPECT_EQ(fromFactory, cloudItem);
    EXPECT_TRUE(fromFactory->isCloudResource());
    EXPECT_EQ(resource(mirror + "/b.txt"), nullptr);
    EXPECT_EQ(cloud->calls(), (std::vector<std::string> { "resourceWithPath " + mirror + "/a.txt", "resourceWithPath " + mirror + "/b.txt" }));

    // The mirror folder is a cloud resource, yet its children are plain ones.
    auto cloudFolder = cloud->addResource("Svc", mirror, "/");
    auto listed = resource(mirror)->children();
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->size(), 2u);
    for (const auto& child : *listed)
        EXPECT_EQ(typeid(*child), typeid(VKFileResource));

    // Without the hooks the mirror holds plain resources.
    VKCloudHooks::setCurrent(nullptr);
    auto plain = resource(mirror + "/a.txt");
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->isCloudResource());

    EXPECT_EQ(resource(makeDocument("file"))->children(), std::nullopt);
    // What each child is comes from the listing; a link leads where it points.
    makeFolder("Library/Documents/Kinds/folder");
    makeDocument("Kinds/file");
    ASSERT_EQ(symlink(documents("Kinds/folder").c_str(), documents("Kinds/link").c_str()), 0);
    std::map<std::string, bool> folders;
    auto kinds = resource(documents("Kinds"))->children();
    ASSERT_TRUE(kinds);
    for (auto& child : *kinds)
        folders[child->name()] = child->isDirectory();
    EXPECT_EQ(folders, (std::map<std::string, bool> { { "file", false }, { "folder", true }, { "link", true } }));
    makeFolder("Library/Documents/Empty");
    EXPECT_EQ(resource(documents("Empty"))->children()->size(), 0u);
}

TEST_F(VKFileResourceTest, ChildrenFromTheQuotaTree)
{
    makeDocument("F/Sub/x.txt", "12345");
    makeDocument("F/Pkg.key/y", "1");
    makeDocument("F/report.txt", "123");
    makeDocument("F/.report", "1");
    makeDocument("F/Gone/z", "1");
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents("F"));
    auto folder = resource(documents("F"));

    // A folder removed since the scan is left out.
    ASSERT_TRUE(core::fs::removeItem(documents("F/Gone")));
    auto collections = folder->childrenMatchingIsCollection();
    ASSERT_TRUE(collections);
    ASSERT_EQ(collections->size(), 1u);
    EXPECT_EQ(collections->front()->name(), "Sub");
    EXPECT_TRUE(collections->front()->isCollection());
    auto matches = folder->childrenMatchingName("REP");
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches.front()->path(), documents("F/report.txt"));
    EXPECT_EQ(folder->sizeOfChildrenMatchingName("rep"), 4u);
    EXPECT_GT(folder->sizeOfChildren(), 4u);

    auto file = resource(documents("F/report.txt"));
    EXPECT_EQ(file->childrenMatchingIsCollection(), std::nullopt);
    EXPECT_TRUE(file->childrenMatchingName("rep").empty());
    EXPECT_EQ(file->sizeOfChildren(), 0u);
    EXPECT_TRUE(resource(documents(""))->childrenMatchingName("x").empty());
}

TEST_F(VKFileResourceTest, UUIDIsStoredOnceAndTravelsWithTheItem)
{
    std::string path = makeDocument("a.txt");
    auto first = resource(path);
    std::string uuid = first->UUID();
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_EQ(first->UUID(), uuid);
    EXPECT_EQ(storedUUID(path), uuid);
    EXPECT_EQ(resource(path)->UUID(), uuid);
    EXPECT_TRUE(first->isUUIDStored());

    ASSERT_TRUE(core::fs::moveItem(path, documents("renamed.txt")));
    EXPECT_EQ(resource(documents("renamed.txt"))->UUID(), uuid);
    EXPECT_NE(resource(makeDocument("other.txt"))->UUID(), uuid);

    // An attribute that could lead a cache path elsewhere is replaced.
    std::string hostile = makeDocument("hostile.txt");
    ASSERT_TRUE(core::ExtendedAttributes::setValue(hostile, VKFileResourceUUIDAttribute, "../../escape"));
    std::string replaced = resource(hostile)->UUID();
    EXPECT_EQ(replaced.find('/'), std::string::npos);
    EXPECT_EQ(storedUUID(hostile), replaced);

    // A link cannot carry the attribute: the UUID lives on in memory.
    ASSERT_EQ(symlink(documents("renamed.txt").c_str(), documents("link.txt").c_str()), 0);
    auto link = resource(documents("link.txt"));
    std::string linkUUID = link->UUID();
    EXPECT_EQ(link->UUID(), linkUUID);
    EXPECT_NE(linkUUID, uuid);
    EXPECT_FALSE(link->isUUIDStored());
    EXPECT_TRUE(logContains("Warning, failed to set thumbnail cache key for: " + documents("link.txt")));
}

TEST_F(VKFileResourceTest, ThreadsFillingAMissingUUIDAgreeOnOne)
{
    std::string path = makeDocument("shared.txt");
    std::vector<std::shared_ptr<VKFileResource>> resources;
    for (int i = 0; i < 8; ++i)
        resources.push_back(resource(path));
    std::mutex mutex;
    std::set<std::string> seen;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (const auto& item : resources) {
                std::string uuid = item->UUID();
                std::lock_guard lock(mutex);
                seen.insert(uuid);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(storedUUID(path), *seen.begin());
}

TEST_F(VKFileResourceTest, MarkedDeletedFlag)
{
    std::string path = makeDocument("m.txt");
    auto item = resource(path);
    EXPECT_FALSE(item->isMarkedDeleted());
    item->setMarkedDeleted(true);
    EXPECT_TRUE(item->isMarkedDeleted());
    EXPECT_EQ(core::ExtendedAttributes::value(path, VKFileResourceMarkedDeletedAttribute)->toString(), "YES");
    item->setMarkedDeleted(false);
    EXPECT_FALSE(item->isMarkedDeleted());
    EXPECT_FALSE(core::ExtendedAttributes::value(path, VKFileResourceMarkedDeletedAttribute));
    ASSERT_TRUE(core::ExtendedAttributes::setValue(path, VKFileResourceMarkedDeletedAttribute, "NO"));
    EXPECT_FALSE(item->isMarkedDeleted());
}

TEST_F(VKFileResourceTest, AppleDoubleCompanionAndLocks)
{
    auto item = resource(makeDocument("x.txt"));
    EXPECT_EQ(item->associatedAppleDoubleResource(), nullptr);
    makeDocument("._x.txt");
    auto companion = item->associatedAppleDoubleResource();
    ASSERT_NE(companion, nullptr);
    EXPECT_EQ(companion->path(), documents("._x.txt"));
    EXPECT_EQ(companion->associatedAppleDoubleResource(), nullptr);

    // Without the server's hooks nothing is locked.
    EXPECT_FALSE(item->isLocked());
    auto locks = test::RecordingServerLockHooks::install();
    EXPECT_FALSE(item->isLocked());
    locks->serve(item->path(), "/x.txt");
    EXPECT_FALSE(item->isLocked());
    locks->lock("/x.txt");
    EXPECT_TRUE(item->isLocked());
    EXPECT_EQ(locks->calls().back(), "locksForURI /x.txt");
}

TEST_F(VKFileResourceTest, EqualityAndHash)
{
    std::string path = makeDocument("file9.txt");
    auto a = resource(path);
    auto b = resource(path);
    EXPECT_NE(a, b);
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_EQ(std::hash<VKFileResource>()(*a), std::hash<std::string>()(path));
    EXPECT_FALSE(a->isEqual(core::Object()));

    auto file10 = resource(makeDocument("file10.txt"));
    EXPECT_FALSE(a->isEqual(*file10));

    // A plain resource equals a subclass's of the same path, not the reverse.
    auto cloud = test::FakeCloudFileResource::create(path, "/file9.txt");
    EXPECT_TRUE(a->isEqual(*cloud));
    EXPECT_FALSE(cloud->isEqual(*a));
}

// Read together through the folder, the sizes and dates are what each item
// answers itself: files, folders, a package, a link, a vanished item, an
// item of another folder and a kind of its own, past the count that splits
// the reads between threads.
TEST_F(VKFileResourceTest, ListingAttributesAnswerAsEachItem)
{
    std::string folder = makeFolder("Library/Documents/Many");
    std::vector<std::shared_ptr<VKFileResource>> kept;
    for (int i = 0; i < 5000; ++i) {
        std::string path = makeDocument(fmt::format("Many/f{}", i), std::string(size_t(i % 97), 'x'));
        ASSERT_TRUE(core::fs::setModificationTime(path, int64_t(1'500'000'000 + i * 7) * 1'000'000'000 + i));
        kept.push_back(resource(path));
    }
    makeDocument("Many/sub/inner.txt", "12345");
    makeDocument("Many/Essay.pages/index.xml", "123");
    ASSERT_EQ(symlink("f1", documents("Many/link").c_str()), 0);
    for (auto name : { "sub", "Essay.pages", "link" })
        kept.push_back(resource(documents(fmt::format("Many/{}", name))));
    auto gone = resource(makeDocument("Many/gone.txt"));
    ASSERT_TRUE(core::fs::removeItem(documents("Many/gone.txt")));
    kept.push_back(gone);
    kept.push_back(resource(makeDocument("Elsewhere/other.txt", "abc")));
    kept.push_back(std::make_shared<MovingResource>(documents("Many/f2")));
    VKQuotaManager::defaultManager()->updateQuotaForPath(folder);

    std::vector<const VKFileResource*> items;
    for (auto& item : kept)
        items.push_back(item.get());
    auto answers = VKFileResource::listingAttributes(items, true, true);
    ASSERT_EQ(answers.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(answers[i].contentSize, items[i]->contentSize()) << items[i]->path();
        EXPECT_EQ(answers[i].modificationDate, items[i]->modificationDate()) << items[i]->path();
    }
    EXPECT_EQ(answers[5000].contentSize, 5u);
    EXPECT_EQ(answers[5003].modificationDate, std::nullopt);
    auto datesOnly = VKFileResource::listingAttributes(items, false, true);
    EXPECT_EQ(datesOnly[1].contentSize, 0u);
    EXPECT_EQ(datesOnly[1].modificationDate, items[1]->modificationDate());
}


TEST_F(VKFileResourceTest, UpdatedPathDropsTheCachedDirectoryTestAndUUID)
{
    std::string folder = makeFolder("Library/Documents/Folder");
    std::string file = makeDocument("file.txt");
    auto moving = std::make_shared<MovingResource>(folder);
    std::string folderUUID = moving->UUID();
    EXPECT_TRUE(moving->isDirectory());
    moving->updatePath(file);
    EXPECT_FALSE(moving->isDirectory());
    EXPECT_NE(moving->UUID(), folderUUID);
    moving->updatePath("");
    EXPECT_FALSE(moving->exists());
    EXPECT_FALSE(moving->isDirectory());
    EXPECT_EQ(moving->localSize(), 0u);
}

} // namespace
