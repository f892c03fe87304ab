// DistinctEnumerator: the base of the enumerators that collect each distinct value once.
#pragma once

#include <cstddef>
#include <unordered_set>
#include <utility>
#include <vector>

#include <tavrel/foundation/Enumerator.h>

namespace Tavrel {

// Writes each value once, in the order first met, into an array the caller owns. Without an array
// the walk does not happen.
template <class T>
class DistinctEnumerator : public Enumerator {
public:
    // False without an output; otherwise empties the output and forgets the values seen.
    bool Initialize() override
    {
        if (!m_output)
            return false;
        m_seen.clear();
        m_output->clear();
        m_count = 0;
        return true;
    }

    // Leaves the output with exactly the values added.
    void Finalize() override
    {
        if (m_output)
            m_output->resize(static_cast<std::size_t>(m_count));
    }

protected:
    DistinctEnumerator(std::vector<T>* output, const Filter* filter) : Enumerator(filter), m_output(output) {}

    // Appends a value not seen before (compared exactly).
    void Append(T value)
    {
        if (m_output && m_seen.insert(value).second) {
            m_output->push_back(std::move(value));
            ++m_count;
        }
    }

private:
    std::unordered_set<T> m_seen;
    std::vector<T>* m_output;
    int m_count = 0;
};

} // namespace Tavrel
