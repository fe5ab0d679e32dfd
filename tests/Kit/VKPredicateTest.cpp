#include "Kit/VKComparisonPredicate.h"
#include "Kit/VKCompoundPredicate.h"

#include "Platform/Core/Exception.h"

#include "Support/TestCase.h"

namespace {

using core::Value;

// Answers a fixed value and counts how often it was asked.
class Counting : public VKPredicate {
public:
    explicit Counting(bool answer) : m_answer(answer) { }
    bool evaluateWithObject(const Value&) const override
    {
        ++calls;
        return m_answer;
    }
    std::string description() const override { return m_answer ? "TRUEPREDICATE" : "FALSEPREDICATE"; }
    mutable int calls = 0;

private:
    bool m_answer;
};

// Knows "name"; any other key is unknown, "boom" fails differently.
class Resource : public core::Object {
public:
    Value valueForKey(std::string_view key) const override
    {
        if (key == "name")
            return "/a";
        if (key == "boom")
            throw core::Exception(core::Exception::InternalInconsistency, "boom");
        return Object::valueForKey(key);
    }
};

class VKPredicateTest : public test::TestCase { };

TEST_F(VKPredicateTest, CompoundsStopAtTheDecidingAnswer)
{
    auto yes = std::make_shared<Counting>(true);
    auto no = std::make_shared<Counting>(false);
    auto never = std::make_shared<Counting>(true);
    Value facts = Value::makeDictionary();

    EXPECT_FALSE(VKCompoundPredicate::andPredicateWithSubpredicates({})->evaluateWithObject(facts));
    EXPECT_FALSE(VKCompoundPredicate::orPredicateWithSubpredicates({})->evaluateWithObject(facts));

    EXPECT_FALSE(VKCompoundPredicate::andPredicateWithSubpredicates({ yes, no, never })->evaluateWithObject(facts));
    EXPECT_EQ(never->calls, 0);
    EXPECT_TRUE(VKCompoundPredicate::orPredicateWithSubpredicates({ no, yes, never })->evaluateWithObject(facts));
    EXPECT_EQ(never->calls, 0);
    EXPECT_EQ(yes->calls, 2);

    EXPECT_TRUE(VKCompoundPredicate::andPredicateWithSubpredicates({ yes, yes })->evaluateWithObject(facts));
    EXPECT_FALSE(VKCompoundPredicate::orPredicateWithSubpredicates({ no, no })->evaluateWithObject(facts));
    // A nested tree, as an If header with two lists builds.
    auto list = VKCompoundPredicate::andPredicateWithSubpredicates({ yes, no });
    EXPECT_TRUE(VKCompoundPredicate::orPredicateWithSubpredicates({ list, yes })->evaluateWithObject(facts));
    EXPECT_FALSE(VKPredicate().evaluateWithObject(facts));
}

TEST_F(VKPredicateTest, ComparisonsOnTheFactDictionary)
{
    Value facts = Value::makeDictionary({ { "locktoken", "t1" }, { "URI", "/a" } });
    using P = VKComparisonPredicate;
    EXPECT_TRUE(P::predicateWithKeyPath("URI", "/a", 0)->evaluateWithObject(facts));
    EXPECT_FALSE(P::predicateWithKeyPath("URI", "/a", 1)->evaluateWithObject(facts));
    EXPECT_FALSE(P::predicateWithKeyPath("URI", "/b", 0)->evaluateWithObject(facts));
    // Every type but 0 means "not equal".
    EXPECT_TRUE(P::predicateWithKeyPath("URI", "/b", 7)->evaluateWithObject(facts));
    // A dictionary answers nothing for a missing key: unequal to anything.
    EXPECT_FALSE(P::predicateWithKeyPath("etag", "x", 0)->evaluateWithObject(facts));
    EXPECT_TRUE(P::predicateWithKeyPath("etag", "x", 1)->evaluateWithObject(facts));
    EXPECT_FALSE(P::predicateWithKeyPath("etag", Value(), 0)->evaluateWithObject(facts));
    // Key paths reach into nested dictionaries.
    Value nested = Value::makeDictionary({ { "lock", Value::makeDictionary({ { "token", "t1" } }) } });
    EXPECT_TRUE(P::predicateWithKeyPath("lock.token", "t1", 0)->evaluateWithObject(nested));

    auto both = VKCompoundPredicate::andPredicateWithSubpredicates(
        { P::predicateWithKeyPath("URI", "/a", 0), P::predicateWithKeyPath("locktoken", "t1", 1) });
    EXPECT_EQ(both->description(), "(URI == /a) AND (locktoken != t1)");
    EXPECT_FALSE(both->evaluateWithObject(facts));
    auto either = VKCompoundPredicate::orPredicateWithSubpredicates({ both, P::predicateWithKeyPath("URI", "/a", 0) });
    EXPECT_EQ(either->description(), "((URI == /a) AND (locktoken != t1)) OR (URI == /a)");
    EXPECT_EQ(VKCompoundPredicate::orPredicateWithSubpredicates({})->description(), "");
}

TEST_F(VKPredicateTest, UnknownKeyOfAnObjectAnswersNoWhateverTheType)
{
    Value resource(std::make_shared<Resource>());
    using P = VKComparisonPredicate;
    EXPECT_TRUE(P::predicateWithKeyPath("name", "/a", 0)->evaluateWithObject(resource));
    EXPECT_FALSE(P::predicateWithKeyPath("name", "/a", 1)->evaluateWithObject(resource));
    EXPECT_FALSE(P::predicateWithKeyPath("locktoken", "t1", 0)->evaluateWithObject(resource));
    EXPECT_FALSE(P::predicateWithKeyPath("locktoken", "t1", 1)->evaluateWithObject(resource));
    try {
        P::predicateWithKeyPath("boom", "x", 1)->evaluateWithObject(resource);
        FAIL() << "the exception was swallowed";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), core::Exception::InternalInconsistency);
    }
}

} // namespace
