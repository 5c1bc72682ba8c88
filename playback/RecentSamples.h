#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

// The latest values of a measurement taken for as long as the program plays, in the order
// they came: at most `capacity` of them. When full, the older half goes at once, so adding
// costs constant time on average and the memory held never grows past the capacity.
template <typename T>
class RecentSamples
{
public:
    explicit RecentSamples(size_t capacity)
        : m_capacity(std::max<size_t>(capacity, 2))
    {
    }

    void Add(T value)
    {
        if (m_values.size() >= m_capacity)
            m_values.erase(m_values.begin(), m_values.begin() + static_cast<std::ptrdiff_t>(m_capacity / 2));
        m_values.push_back(std::move(value));
    }

    const std::vector<T>& Values() const { return m_values; }
    size_t Capacity() const { return m_capacity; }
    // The values, leaving none.
    std::vector<T> Take() { return std::exchange(m_values, {}); }

private:
    size_t m_capacity;
    std::vector<T> m_values;
};
