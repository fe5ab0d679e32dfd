#pragma once

#include <cstddef>
#include <deque>

namespace rtf {

// A stack that can also be read below its top: element 0 is the top, element
// n the one n places below it. Kept in a deque, so references to elements
// stay valid while others are pushed and popped.
template <typename T, typename Container = std::deque<T>>
class StackWithPeek {
public:
    void push(const T& value) { m_items.push_back(value); }
    void push(T&& value) { m_items.push_back(std::move(value)); }
    void pop() { m_items.pop_back(); }
    T& top() { return m_items.back(); }
    const T& top() const { return m_items.back(); }
    size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    void clear() { m_items.clear(); }
    // Removes the element `index` places below the top; the others keep
    // their order.
    void erase(size_t index) { m_items.erase(m_items.end() - 1 - static_cast<std::ptrdiff_t>(index)); }

    T& operator[](size_t index) { return m_items[m_items.size() - 1 - index]; }
    const T& operator[](size_t index) const { return m_items[m_items.size() - 1 - index]; }

private:
    Container m_items;
};

} // namespace rtf
