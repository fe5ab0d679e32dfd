#include "Kit/VKSelector2Operation.h"
#include "Kit/VKSelectorOperation.h"

#include <gtest/gtest.h>

namespace {

class Worker : public core::Object {
public:
    void load(const std::shared_ptr<core::Object>& object) { loaded.push_back(object); }
    std::vector<std::shared_ptr<core::Object>> loaded;
};

class NamedWorker : public Worker {
public:
    core::Value valueForKey(std::string_view key) const override
    {
        return key == "name" ? core::Value("thumbnails") : core::Object::valueForKey(key);
    }
};

class SelectorItem : public core::Object {
public:
    explicit SelectorItem(int id) : id(id) { }
    bool isEqual(const core::Object& other) const override
    {
        auto* item = dynamic_cast<const SelectorItem*>(&other);
        return item && item->id == id;
    }
    size_t hash() const override { return 1000u + static_cast<size_t>(id); }
    int id;
};

std::shared_ptr<VKSelectorOperation> loadOperation(const std::shared_ptr<Worker>& worker, std::shared_ptr<core::Object> item)
{
    return VKSelectorOperation::create(worker, "load:", std::move(item),
        [](Worker& target, const std::shared_ptr<core::Object>& object) { target.load(object); });
}

TEST(VKSelectorOperationTest, IdentityIsTheSameObjectsNotEqualOnes)
{
    auto worker = std::make_shared<Worker>();
    auto item = std::make_shared<SelectorItem>(1);
    auto a = loadOperation(worker, item);
    auto same = loadOperation(worker, item);
    auto equalArgument = loadOperation(worker, std::make_shared<SelectorItem>(1));
    EXPECT_TRUE(a->isEqual(*same));
    EXPECT_EQ(a->hash(), same->hash());
    EXPECT_FALSE(a->isEqual(*equalArgument));
    EXPECT_FALSE(a->isEqual(*loadOperation(std::make_shared<Worker>(), item)));
    auto other = VKSelectorOperation::create(worker, "unload:", item, [](Worker&, const auto&) { });
    EXPECT_FALSE(a->isEqual(*other));

    uint32_t expected = (static_cast<uint32_t>(worker->hash()) * 38u + 1001u) * 38u + VKSelectorOperation::selectorValue("load:");
    EXPECT_EQ(a->hash(), expected);
    auto noArgument = loadOperation(worker, nullptr);
    EXPECT_EQ(noArgument->hash(), static_cast<uint32_t>(worker->hash()) * 38u * 38u + VKSelectorOperation::selectorValue("load:"));

    a->run();
    ASSERT_EQ(worker->loaded.size(), 1u);
    EXPECT_EQ(worker->loaded[0], item);
}

TEST(VKSelectorOperationTest, TwoArgumentsJoinTheIdentity)
{
    auto worker = std::make_shared<Worker>();
    auto first = std::make_shared<SelectorItem>(1);
    auto second = std::make_shared<SelectorItem>(2);
    int runs = 0;
    auto make = [&](std::shared_ptr<core::Object> object2) {
        return VKSelector2Operation::create(worker, "load:size:", first, std::move(object2),
            [&runs](Worker&, const auto& a, const auto& b) { runs += a && b ? 1 : 100; });
    };
    auto a = make(second);
    EXPECT_TRUE(a->isEqual(*make(second)));
    EXPECT_FALSE(a->isEqual(*make(std::make_shared<SelectorItem>(2))));
    auto one = VKSelectorOperation::create(worker, "load:size:", first, [](Worker&, const auto&) { });
    EXPECT_FALSE(a->isEqual(*one));
    EXPECT_EQ(a->hash(), static_cast<uint32_t>(static_cast<uint32_t>(one->hash()) * 38u + 1002u));
    a->run();
    EXPECT_EQ(runs, 1);
}

TEST(VKSelectorOperationTest, DescriptionAndCancellation)
{
    auto named = std::make_shared<NamedWorker>();
    EXPECT_EQ(loadOperation(named, nullptr)->description(), "VKSelectorOperation: thumbnails -> load:");
    auto plain = std::make_shared<Worker>();
    EXPECT_EQ(loadOperation(plain, nullptr)->description(), "VKSelectorOperation: " + plain->description() + " -> load:");

    auto operation = loadOperation(plain, nullptr);
    EXPECT_FALSE(operation->isCancelled());
    operation->cancel();
    EXPECT_TRUE(operation->isCancelled());
}

} // namespace
