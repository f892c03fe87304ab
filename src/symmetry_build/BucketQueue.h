// BucketQueue: values queued in numbered buckets, served from the lowest bucket above 0 first and from bucket 0 last.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Arrays.h>

namespace Tavrel {

// Buckets 0..n, each served in the order its values arrived. Values are non-negative (negative ones
// are refused) and each sits in at most one bucket, so that moving one between buckets costs O(1);
// the slot a moved value leaves is skipped when its bucket is served.
class BucketQueue {
public:
    // n below 1 becomes 1.
    BucketQueue(std::int32_t n, std::int32_t defaultValue);

    std::int32_t GetBucketCount() const { return m_n; }
    // Room for the values 0..count - 1 without regrowth.
    void Reserve(std::int32_t count);
    // Queues a value that sits in no bucket in the bucket clamped into 0..n.
    void Push(std::int32_t value, std::int32_t bucket);
    // Moves a value out of bucket from into bucket to (clamped into 0..n); a value in no bucket is
    // queued there. Nothing when from lies outside 0..n, from is not 0 and to is 0, from equals to,
    // or the value sits in another bucket than from.
    void Move(std::int32_t value, std::int32_t from, std::int32_t to);
    // The value that has waited longest in the lowest non-empty bucket among 1..n, else in bucket 0,
    // else the default value.
    std::int32_t Front() const;
    // Removes the value Front gives; nothing when all buckets are empty.
    void PopFront();
    bool IsEmpty() const { return m_size == 0; }
    // The bucket that holds the value, -1 when none.
    std::int32_t FindBucket(std::int32_t value) const;

private:
    struct Bucket {
        IntArray slots;        // values in arrival order; -1 where a value left
        std::size_t head = 0;  // slots before it are served
        std::int32_t live = 0;
    };
    struct Place {
        std::int32_t bucket = -1;
        std::int32_t slot = -1;
    };

    std::int32_t Clamp(std::int32_t bucket) const { return bucket < 0 ? 0 : (bucket > m_n ? m_n : bucket); }
    void Append(std::int32_t value, std::int32_t bucket);
    void Remove(std::int32_t value);
    // The lowest non-empty bucket among 1..n, else 0, else -1.
    std::int32_t FrontBucket() const;

    std::int32_t m_n;
    std::int32_t m_default;
    std::int32_t m_size = 0;
    std::vector<Bucket> m_buckets;
    std::vector<Place> m_places;
};

} // namespace Tavrel
