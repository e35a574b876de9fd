#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tellvane {

// The newest capacity() values, each known by its sequence number: the count
// of values pushed before it. Storage is taken once, when the capacity is set,
// so that pushing never allocates; the oldest value is overwritten.
template <typename T>
class RingBuffer {
public:
    explicit RingBuffer(std::size_t capacity = 0) { setCapacity(capacity); }

    // Keeps the newest values that fit, each under its sequence number.
    void setCapacity(std::size_t capacity)
    {
        if (capacity == m_slots.size())
            return;
        std::vector<T> fresh(capacity);
        const std::uint64_t kept = std::min<std::uint64_t>(size(), capacity);
        for (std::uint64_t seq = m_end - kept; seq < m_end; ++seq)
            fresh[static_cast<std::size_t>(seq % capacity)] = bySequence(seq);
        m_slots.swap(fresh);
        m_first = m_end - kept;
    }
    std::size_t capacity() const { return m_slots.size(); }

    void push(const T& value)
    {
        if (m_slots.empty())
            return;
        m_slots[static_cast<std::size_t>(m_end % m_slots.size())] = value;
        ++m_end;
        if (m_end - m_first > m_slots.size())
            ++m_first;
    }
    // Forgets the oldest values up to (not including) sequence number seq.
    void dropBefore(std::uint64_t seq)
    {
        if (seq > m_first)
            m_first = seq < m_end ? seq : m_end;
    }
    void clear() { m_first = m_end; }

    std::size_t size() const { return static_cast<std::size_t>(m_end - m_first); }
    bool empty() const { return m_end == m_first; }
    // Sequence numbers held: firstSequence() to endSequence() - 1.
    std::uint64_t firstSequence() const { return m_first; }
    std::uint64_t endSequence() const { return m_end; }
    bool holds(std::uint64_t seq) const { return seq >= m_first && seq < m_end; }

    // By sequence number, which must be held.
    const T& bySequence(std::uint64_t seq) const { return m_slots[static_cast<std::size_t>(seq % m_slots.size())]; }
    // By position, 0 the oldest held.
    const T& operator[](std::size_t i) const { return bySequence(m_first + i); }
    const T& back() const { return bySequence(m_end - 1); }
    const T& front() const { return bySequence(m_first); }

    std::size_t bytesReserved() const { return m_slots.capacity() * sizeof(T); }

private:
    std::vector<T> m_slots;
    std::uint64_t m_first = 0;
    std::uint64_t m_end = 0;
};

}  // namespace tellvane
