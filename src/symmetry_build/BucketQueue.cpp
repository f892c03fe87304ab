#include <tavrel/symmetry_build/BucketQueue.h>

namespace Tavrel {

BucketQueue::BucketQueue(std::int32_t n, std::int32_t defaultValue)
    : m_n(n < 1 ? 1 : n), m_default(defaultValue), m_buckets(static_cast<std::size_t>(m_n) + 1)
{
}

void BucketQueue::Reserve(std::int32_t count)
{
    if (count > 0)
        m_places.reserve(static_cast<std::size_t>(count));
}

std::int32_t BucketQueue::FindBucket(std::int32_t value) const
{
    if (value < 0 || static_cast<std::size_t>(value) >= m_places.size())
        return -1;
    return m_places[static_cast<std::size_t>(value)].bucket;
}

void BucketQueue::Append(std::int32_t value, std::int32_t bucket)
{
    if (static_cast<std::size_t>(value) >= m_places.size())
        m_places.resize(static_cast<std::size_t>(value) + 1);
    Bucket& b = m_buckets[static_cast<std::size_t>(bucket)];
    m_places[static_cast<std::size_t>(value)] = {bucket, static_cast<std::int32_t>(b.slots.size())};
    b.slots.push_back(value);
    ++b.live;
    ++m_size;
}

void BucketQueue::Remove(std::int32_t value)
{
    Place& place = m_places[static_cast<std::size_t>(value)];
    Bucket& b = m_buckets[static_cast<std::size_t>(place.bucket)];
    b.slots[static_cast<std::size_t>(place.slot)] = -1;
    --b.live;
    --m_size;
    place = {};
}

void BucketQueue::Push(std::int32_t value, std::int32_t bucket)
{
    if (value < 0 || FindBucket(value) >= 0)
        return;
    Append(value, Clamp(bucket));
}

void BucketQueue::Move(std::int32_t value, std::int32_t from, std::int32_t to)
{
    if (value < 0 || from < 0 || from > m_n || (from != 0 && to == 0) || from == to)
        return;
    const std::int32_t current = FindBucket(value);
    if (current >= 0 && current != from)
        return;
    if (current >= 0)
        Remove(value);
    Append(value, Clamp(to));
}

std::int32_t BucketQueue::FrontBucket() const
{
    for (std::int32_t i = 1; i <= m_n; ++i) {
        if (m_buckets[static_cast<std::size_t>(i)].live > 0)
            return i;
    }
    return m_buckets[0].live > 0 ? 0 : -1;
}

std::int32_t BucketQueue::Front() const
{
    const std::int32_t bucket = FrontBucket();
    if (bucket < 0)
        return m_default;
    const Bucket& b = m_buckets[static_cast<std::size_t>(bucket)];
    for (std::size_t i = b.head;; ++i) {
        if (b.slots[i] >= 0)
            return b.slots[i];
    }
}

void BucketQueue::PopFront()
{
    const std::int32_t bucket = FrontBucket();
    if (bucket < 0)
        return;
    Bucket& b = m_buckets[static_cast<std::size_t>(bucket)];
    while (b.slots[b.head] < 0)
        ++b.head;
    Remove(b.slots[b.head]);
    ++b.head;
    if (b.live == 0) {
        b.slots.clear();
        b.head = 0;
    }
}

} // namespace Tavrel
