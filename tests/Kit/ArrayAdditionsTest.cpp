#include "Kit/ArrayAdditions.h"
#include "Kit/DictionaryAdditions.h"
#include "Kit/ErrorAdditions.h"
#include "Platform/Core/ManualClock.h"
#include "Support/TestCase.h"
#include "Support/TestEnvironment.h"

#include <cerrno>
#include <numeric>
#include <set>

using core::Value;

namespace {

class ArrayAdditionsTest : public test::TestCase { };

class Shape : public core::Object { };
class Square : public Shape { };
class Named : public core::Object {
public:
    explicit Named(std::string name) : m_name(std::move(name)) { }
    bool isEqual(const core::Object& other) const override
    {
        auto* named = dynamic_cast<const Named*>(&other);
        return named && named->m_name == m_name;
    }

private:
    std::string m_name;
};

} // namespace

TEST_F(ArrayAdditionsTest, NeighboursInSortedArrays)
{
    std::vector<int> odd { 1, 3, 5, 7 };
    EXPECT_EQ(vkObjectFollowingObject(odd, 5), 7);
    EXPECT_EQ(vkObjectFollowingObject(odd, 6), 7);
    EXPECT_EQ(vkObjectFollowingObject(odd, 7), std::nullopt);
    EXPECT_EQ(vkObjectFollowingObject(odd, 0), 1);
    EXPECT_EQ(vkObjectPrecedingObject(odd, 5), 3);
    EXPECT_EQ(vkObjectPrecedingObject(odd, 1), std::nullopt);
    EXPECT_EQ(vkObjectPrecedingObject(odd, 100), 7);
    EXPECT_EQ(vkIndexOfObjectEqualToObject(odd, 4), core::kNotFound);

    std::vector<int> pair { 2, 4 };
    EXPECT_EQ(vkIndexOfObjectEqualToObject(pair, 4), 1u);
    EXPECT_EQ(vkIndexOfObjectEqualToObject(pair, 2), 0u);
    std::vector<int> many(1000);
    std::iota(many.begin(), many.end(), 0);
    for (int probe : { 0, 1, 499, 500, 998, 999 })
        EXPECT_EQ(vkIndexOfObjectEqualToObject(many, probe), static_cast<size_t>(probe));
    EXPECT_EQ(vkIndexOfObjectFollowingObject(many, 500), 501u);
    EXPECT_EQ(vkIndexOfObjectPrecedingObject(many, 500), 499u);

    EXPECT_EQ(vkIndexOfObjectNeighbouringObject(odd, static_cast<const int*>(nullptr), VKNeighbour::Following), 0u);
    EXPECT_EQ(vkIndexOfObjectNeighbouringObject(odd, static_cast<const int*>(nullptr), VKNeighbour::Preceding), 3u);
    EXPECT_EQ(vkIndexOfObjectNeighbouringObject(std::vector<int>(), static_cast<const int*>(nullptr), VKNeighbour::Equal),
        core::kNotFound);

    // Values: numbers of both kinds compare; a string among them cannot.
    std::vector<Value> numbers { 1, 2.5, 4, 8 };
    EXPECT_EQ(vkObjectFollowingObject(numbers, Value(3)), Value(4));
    EXPECT_EQ(vkObjectEqualToObject(numbers, Value(2.5)), Value(2.5));
    std::vector<Value> mixed { 1, 2, "three", 4, 5 };
    EXPECT_EQ(vkIndexOfObjectFollowingObject(mixed, Value(3)), core::kNotFound);

    // A comparator of one's own: descending by length.
    std::vector<std::string> words { "a", "bb", "ccc" };
    auto byLength = [](const std::string& element, const std::string& object) -> std::partial_ordering {
        return element.size() <=> object.size();
    };
    EXPECT_EQ(vkObjectFollowingObject(words, std::string("xx"), byLength), "ccc");
}

TEST_F(ArrayAdditionsTest, StackQueueAndFilters)
{
    std::vector<int> items { 1, 2, 3 };
    EXPECT_EQ(popObjectAtIndex(items, 3), std::nullopt);
    EXPECT_EQ(items, (std::vector<int> { 1, 2, 3 }));
    EXPECT_EQ(popObjectAtIndex(items, 1), 2);
    EXPECT_EQ(popFront(items), 1);
    EXPECT_EQ(popBack(items), 3);
    EXPECT_EQ(popBack(items), std::nullopt);
    EXPECT_EQ(popFront(items), std::nullopt);
    EXPECT_EQ(vkFirstObject(items), std::nullopt);
    EXPECT_EQ(vkFirstObject(std::vector<int> { 9 }), 9);

    std::vector<std::shared_ptr<core::Object>> objects { std::make_shared<Shape>(), std::make_shared<Square>(),
        std::make_shared<Named>("x") };
    EXPECT_EQ(vkFilteredArrayUsingKindOfClass<Shape>(objects).size(), 2u);
    EXPECT_EQ(vkFilteredArrayUsingKindOfClass<Square>(objects).front(), objects[1]);
    std::vector<Value> values { Value(objects[1]), Value(3), Value(objects[2]) };
    EXPECT_EQ(vkFilteredArrayUsingKindOfClass<Shape>(values).size(), 1u);

    std::vector<std::shared_ptr<Named>> named { std::make_shared<Named>("a"), std::make_shared<Named>("b") };
    EXPECT_TRUE(containsObjectEqualTo(named, std::make_shared<Named>("b")));
    EXPECT_FALSE(containsObjectEqualTo(named, std::make_shared<Named>("c")));
    EXPECT_TRUE(containsObjectEqualTo(std::set<int> { 1, 2 }, 2));
}

TEST_F(ArrayAdditionsTest, ShufflesFollowTheClockSecond)
{
    core::ManualClock& clock = test::TestEnvironment::clock();
    clock.setNow(core::Date(700000000.25));

    std::vector<int> ordered(50);
    std::iota(ordered.begin(), ordered.end(), 0);
    std::vector<int> first = vkArrayBySortingInRandomOrder(ordered);
    clock.advance(0.5);
    std::vector<int> second = vkArrayBySortingInRandomOrder(ordered);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, ordered);
    EXPECT_TRUE(std::is_permutation(first.begin(), first.end(), ordered.begin()));
    clock.advance(1);
    EXPECT_NE(vkArrayBySortingInRandomOrder(ordered), first);

    std::vector<int> one { 4 };
    sortInRandomOrder(one);
    EXPECT_EQ(one, std::vector<int> { 4 });
    std::vector<int> pool { 1, 2, 3 };
    std::optional<int> drawn = popRandom(pool);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(pool.size(), 2u);
    EXPECT_EQ(std::count(pool.begin(), pool.end(), *drawn), 0);
}

TEST_F(ArrayAdditionsTest, DeepCopiesAndErrors)
{
    Value::Dictionary source { { "inner", Value::makeDictionary({ { "k", 1 } }) }, { "list", Value::makeArray({ 1, 2 }) } };
    Value::Dictionary copy = deepMutableCopy(source);
    copy["inner"].mutableDictionary()["k"] = 2;
    EXPECT_EQ(source["inner"]["k"], Value(1));
    EXPECT_EQ(copy["inner"]["k"], Value(2));

    core::Error described = errorWithDomain("VKTest", 7, "Went wrong");
    EXPECT_TRUE(described.is("VKTest", 7));
    EXPECT_EQ(described.localizedDescription(), "Went wrong");
    EXPECT_TRUE(errorWithDomain("VKTest", 7, std::nullopt).userInfo().empty());

    core::Error posix = errorWithPOSIXCode(ENOENT, "Missing", { { "NSFilePath", "/x" } });
    EXPECT_EQ(posix.domain(), core::Error::POSIXDomain);
    EXPECT_EQ(posix.code(), ENOENT);
    EXPECT_EQ(posix.localizedDescription(), "Missing");
    EXPECT_EQ(posix.userInfo().at("NSFilePath"), Value("/x"));
    EXPECT_EQ(errorWithPOSIXCode(EIO, std::nullopt).userInfo().size(), 0u);
}
