#include "Kit/VKStringChain.h"
#include "Kit/VKTuple.h"

#include "Platform/Core/Exception.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

namespace {

TEST(VKTupleTest, ObjectsUpToTheFirstNull)
{
    auto single = VKTuple::tupleWithObjects({ "a", nullptr, "b" });
    EXPECT_EQ(single->count(), 1u);
    EXPECT_EQ(single->firstObject(), core::Value("a"));
    try {
        single->secondObject();
        FAIL();
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "NSRangeException");
    }
    EXPECT_EQ(VKTuple::tupleWithObjects({ nullptr, "a" })->count(), 0u);

    auto twelve = VKTuple::tupleWithObjects({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 });
    ASSERT_EQ(twelve->count(), 12u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(twelve->objectAtIndex(i), core::Value(int(i + 1)));
    EXPECT_THROW(twelve->objectAtIndex(12), core::Exception);
}

TEST(VKTupleTest, EqualityHashCopyAndDescription)
{
    auto object = std::make_shared<core::Object>();
    auto a = VKTuple::tupleWithObjects({ "x", 2, object });
    auto b = VKTuple::tupleWithObjects({ std::string("x"), 2.0, object });
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*VKTuple::tupleWithObjects({ "x", 3, object })));
    EXPECT_FALSE(a->isEqual(*VKTuple::tupleWithObjects({ "x", 2, std::make_shared<core::Object>() })));

    auto copy = a->copy();
    EXPECT_NE(copy.get(), a.get());
    EXPECT_TRUE(copy->isEqual(*a));

    auto pair = VKTuple::tupleWithObjects({ "x", 2 });
    EXPECT_EQ(pair->description(), fmt::format("<VKTuple {}> data: (\n    x,\n    2\n)", static_cast<const void*>(pair.get())));
}

TEST(VKStringChainTest, LinksLengthsAndSharedTails)
{
    auto tail = VKStringChain::stringWithString("c");
    auto middle = VKStringChain::stringWithString("b", tail);
    auto head = VKStringChain::stringWithString("a", middle);
    EXPECT_EQ(head->chainLength(), 3u);
    EXPECT_EQ(tail->chainLength(), 1u);
    EXPECT_EQ(head->concreteString(), "a");

    auto copy = std::dynamic_pointer_cast<VKStringChain>(head->copy());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.get(), head.get());
    EXPECT_EQ(copy->stringChain(), middle);

    auto plain = VKConcreteString::stringWithString("t");
    EXPECT_EQ(plain->copy()->concreteString(), "t");
    EXPECT_TRUE(plain->copy()->isEqual(*plain));

    // A long chain goes without exhausting the stack.
    std::shared_ptr<VKStringChain> long_;
    for (int i = 0; i < 500000; ++i)
        long_ = VKStringChain::stringWithString("x", std::move(long_));
    EXPECT_EQ(long_->chainLength(), 500000u);
    long_.reset();
}

} // namespace
