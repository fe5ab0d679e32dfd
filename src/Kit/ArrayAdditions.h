#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/Range.h"
#include "Platform/Core/Value.h"

#include <compare>
#include <concepts>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Additions to arrays: safe first access, stack and queue operations, random
// order, the neighbours of an object in a sorted array and filtering by
// class. Work on std::vector of any element type; comparisons answer a
// std::partial_ordering of an element against the object, where `unordered`
// means the element cannot be compared with it.

// Values compare when they are of one kind: numbers by value, strings by code
// points, dates by time, booleans false before true. Any other pair is
// unordered.
std::partial_ordering vkCompareValues(const core::Value& element, const core::Value& object);

// The order the neighbour searches use when none is given: vkCompareValues
// for values, the element type's own ordering otherwise.
struct VKDefaultCompare {
    std::partial_ordering operator()(const core::Value& element, const core::Value& object) const
    {
        return vkCompareValues(element, object);
    }
    template<typename T>
        requires std::three_way_comparable<T>
    std::partial_ordering operator()(const T& element, const T& object) const
    {
        return element <=> object;
    }
};

template<typename T>
std::optional<T> vkFirstObject(const std::vector<T>& array)
{
    if (array.empty())
        return std::nullopt;
    return array.front();
}

// The direction of a neighbour search: the next larger object, an equal
// one, or the next smaller one.
enum class VKNeighbour { Following = -1, Equal = 0, Preceding = 1 };

// The index of the object's neighbour in an array sorted ascending by
// `compare`, found by halving; kNotFound when there is none or an element
// cannot be compared. Without an object: 0 for Following, else the last
// index.
template<typename T, typename Compare = VKDefaultCompare>
size_t vkIndexOfObjectNeighbouringObject(const std::vector<T>& array, const T* object, VKNeighbour direction,
    Compare compare = {})
{
    if (array.empty())
        return core::kNotFound;
    if (!object)
        return direction == VKNeighbour::Following ? 0 : array.size() - 1;
    size_t lo = 0;
    size_t hi = array.size() - 1;
    while (hi - lo >= 2) {
        size_t mid = lo + (hi - lo) / 2;
        std::partial_ordering order = compare(array[mid], *object);
        if (order == std::partial_ordering::unordered)
            return core::kNotFound;
        if (order < 0) {
            lo = mid;
        } else if (order > 0) {
            hi = mid;
        } else if (direction == VKNeighbour::Equal) {
            return mid;
        } else if (direction == VKNeighbour::Preceding) {
            hi = mid;
        } else {
            lo = mid;
        }
    }
    std::partial_ordering low = compare(array[lo], *object);
    std::partial_ordering high = compare(array[hi], *object);
    switch (direction) {
    case VKNeighbour::Preceding:
        return high < 0 ? hi : low < 0 ? lo : core::kNotFound;
    case VKNeighbour::Equal:
        return high == 0 ? hi : low == 0 ? lo : core::kNotFound;
    case VKNeighbour::Following:
        break;
    }
    return low > 0 ? lo : high > 0 ? hi : core::kNotFound;
}

template<typename T, typename Compare = VKDefaultCompare>
size_t vkIndexOfObjectFollowingObject(const std::vector<T>& array, const T& object, Compare compare = {})
{
    return vkIndexOfObjectNeighbouringObject(array, &object, VKNeighbour::Following, compare);
}
template<typename T, typename Compare = VKDefaultCompare>
size_t vkIndexOfObjectPrecedingObject(const std::vector<T>& array, const T& object, Compare compare = {})
{
    return vkIndexOfObjectNeighbouringObject(array, &object, VKNeighbour::Preceding, compare);
}
template<typename T, typename Compare = VKDefaultCompare>
size_t vkIndexOfObjectEqualToObject(const std::vector<T>& array, const T& object, Compare compare = {})
{
    return vkIndexOfObjectNeighbouringObject(array, &object, VKNeighbour::Equal, compare);
}

// The objects at those indexes; nothing for kNotFound.
template<typename T, typename Compare = VKDefaultCompare>
std::optional<T> vkObjectNeighbouringObject(const std::vector<T>& array, const T* object, VKNeighbour direction,
    Compare compare = {})
{
    size_t index = vkIndexOfObjectNeighbouringObject(array, object, direction, compare);
    if (index == core::kNotFound)
        return std::nullopt;
    return array[index];
}
template<typename T, typename Compare = VKDefaultCompare>
std::optional<T> vkObjectFollowingObject(const std::vector<T>& array, const T& object, Compare compare = {})
{
    return vkObjectNeighbouringObject(array, &object, VKNeighbour::Following, compare);
}
template<typename T, typename Compare = VKDefaultCompare>
std::optional<T> vkObjectPrecedingObject(const std::vector<T>& array, const T& object, Compare compare = {})
{
    return vkObjectNeighbouringObject(array, &object, VKNeighbour::Preceding, compare);
}
template<typename T, typename Compare = VKDefaultCompare>
std::optional<T> vkObjectEqualToObject(const std::vector<T>& array, const T& object, Compare compare = {})
{
    return vkObjectNeighbouringObject(array, &object, VKNeighbour::Equal, compare);
}

// The objects that are of class U or a subclass, in order.
template<typename U, typename T>
std::vector<std::shared_ptr<U>> vkFilteredArrayUsingKindOfClass(const std::vector<std::shared_ptr<T>>& array)
{
    std::vector<std::shared_ptr<U>> result;
    for (const auto& element : array) {
        if (auto kind = std::dynamic_pointer_cast<U>(element))
            result.push_back(std::move(kind));
    }
    return result;
}
// The same for values holding objects; other values are left out.
template<typename U>
std::vector<std::shared_ptr<U>> vkFilteredArrayUsingKindOfClass(const std::vector<core::Value>& array)
{
    std::vector<std::shared_ptr<U>> result;
    for (const auto& element : array) {
        if (auto kind = element.objectAs<U>())
            result.push_back(std::move(kind));
    }
    return result;
}

// Removes and answers the object at the index; nothing, and the array
// unchanged, when the index is not below the count.
template<typename T>
std::optional<T> popObjectAtIndex(std::vector<T>& array, size_t index)
{
    if (index >= array.size())
        return std::nullopt;
    T object = std::move(array[index]);
    array.erase(array.begin() + static_cast<std::ptrdiff_t>(index));
    return object;
}
template<typename T>
std::optional<T> popFront(std::vector<T>& array)
{
    return popObjectAtIndex(array, 0);
}
template<typename T>
std::optional<T> popBack(std::vector<T>& array)
{
    if (array.empty())
        return std::nullopt;
    T object = std::move(array.back());
    array.pop_back();
    return object;
}

// Random order comes from the kit's own generator, seeded afresh on every
// call with the whole second of the clock (Date::now()): calls within one
// second give the same order, and the C library's generator is left alone.
namespace vk_random {
// A random index below `count` (at least 1).
size_t index(size_t count);
// For each position i of `count`, the position from i on to swap it with.
std::vector<size_t> swapTargets(size_t count);
} // namespace vk_random

template<typename T>
std::optional<T> popRandom(std::vector<T>& array)
{
    if (array.empty())
        return std::nullopt;
    return popObjectAtIndex(array, vk_random::index(array.size()));
}

template<typename T>
void sortInRandomOrder(std::vector<T>& array)
{
    if (array.size() < 2)
        return;
    std::vector<size_t> targets = vk_random::swapTargets(array.size());
    for (size_t i = 0; i < array.size(); ++i)
        std::swap(array[i], array[targets[i]]);
}

template<typename T>
std::vector<T> vkArrayBySortingInRandomOrder(const std::vector<T>& array)
{
    std::vector<T> result = array;
    sortInRandomOrder(result);
    return result;
}

// Whether some member equals the object: isEqual() for objects, == for
// anything else. A linear scan, for members whose hash does not follow their
// equality.
template<typename Range, typename T>
bool containsObjectEqualTo(const Range& members, const T& object)
{
    for (const auto& member : members) {
        if constexpr (requires { member->isEqual(*object); }) {
            if (member && object && member->isEqual(*object))
                return true;
        } else if (member == object) {
            return true;
        }
    }
    return false;
}
