#include <tavrel/symmetry_build/CosetDecomposition.h>

#include <algorithm>
#include <ostream>
#include <string>

namespace Tavrel {

namespace {

// Every entry names an element.
bool InRange(const IntArray& representatives)
{
    const auto n = static_cast<std::int64_t>(representatives.size());
    return std::all_of(representatives.begin(), representatives.end(),
                       [n](std::int32_t r) { return r >= 0 && r < n; });
}

} // namespace

CosetDecomposition::CosetDecomposition(std::int32_t n)
{
    if (n < 1)
        return;
    m_representatives.resize(static_cast<std::size_t>(n));
    m_classes.resize(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
        m_representatives[static_cast<std::size_t>(i)] = i;
        m_classes[static_cast<std::size_t>(i)].push_back(i);
    }
}

CosetDecomposition::CosetDecomposition(const IntArray& representatives) : m_representatives(representatives)
{
    m_classes.resize(representatives.size());
    if (!IsValidCosetArray(representatives))
        return;
    for (std::size_t i = 0; i < representatives.size(); ++i)
        m_classes[static_cast<std::size_t>(representatives[i])].push_back(static_cast<std::int32_t>(i));
}

std::int32_t CosetDecomposition::CountClasses() const
{
    std::int32_t count = 0;
    for (std::size_t i = 0; i < m_representatives.size(); ++i)
        count += m_representatives[i] == static_cast<std::int32_t>(i);
    return count;
}

const IntArray& CosetDecomposition::GetClass(std::int32_t r) const
{
    static const IntArray none;
    return r >= 0 && r < GetSize() ? m_classes[static_cast<std::size_t>(r)] : none;
}

CosetDecomposition CosetDecomposition::Join(const CosetDecomposition& other) const
{
    const std::int32_t n = GetSize();
    if (n != other.GetSize() || !InRange(m_representatives) || !InRange(other.m_representatives))
        return {};
    if (CountClasses() == n)
        return other;
    if (other.CountClasses() == n)
        return *this;

    IntArray rep = m_representatives;
    std::vector<IntArray> classes(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i)
        classes[static_cast<std::size_t>(rep[static_cast<std::size_t>(i)])].push_back(i);
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t r = other.m_representatives[static_cast<std::size_t>(i)];
        if (r == i)
            continue;
        const std::int32_t a = rep[static_cast<std::size_t>(r)];
        const std::int32_t b = rep[static_cast<std::size_t>(i)];
        if (a == b)
            continue;
        const std::int32_t lo = std::min(a, b);
        IntArray& high = classes[static_cast<std::size_t>(std::max(a, b))];
        IntArray& low = classes[static_cast<std::size_t>(lo)];
        for (const std::int32_t member : high)
            rep[static_cast<std::size_t>(member)] = lo;
        low.insert(low.end(), high.begin(), high.end());
        IntArray().swap(high);
    }
    return CosetDecomposition(rep);
}

CosetDecomposition CosetDecomposition::Permute(const IntArray& p) const
{
    const std::int32_t n = GetSize();
    if (static_cast<std::int32_t>(p.size()) != n || !InRange(p) || !InRange(m_representatives))
        return {};
    std::vector<bool> hit(static_cast<std::size_t>(n), false);
    for (const std::int32_t target : p) {
        if (hit[static_cast<std::size_t>(target)])
            return {};
        hit[static_cast<std::size_t>(target)] = true;
    }

    IntArray moved(static_cast<std::size_t>(n));
    bool ordered = true;
    bool renormalise = false;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t r = m_representatives[static_cast<std::size_t>(i)];
        ordered = ordered && r <= i;
        const std::int32_t value = p[static_cast<std::size_t>(r)];
        moved[static_cast<std::size_t>(p[static_cast<std::size_t>(i)])] = value;
    }
    for (std::int32_t i = 0; i < n; ++i)
        renormalise = renormalise || moved[static_cast<std::size_t>(i)] > i;
    if (ordered && renormalise) {
        // Each class is named by its smallest member, met first in increasing order.
        IntArray smallest(static_cast<std::size_t>(n), -1);
        for (std::int32_t i = 0; i < n; ++i) {
            std::int32_t& m = smallest[static_cast<std::size_t>(moved[static_cast<std::size_t>(i)])];
            if (m < 0)
                m = i;
            moved[static_cast<std::size_t>(i)] = m;
        }
    }
    return CosetDecomposition(moved);
}

std::ostream& operator<<(std::ostream& os, const CosetDecomposition& decomposition)
{
    const IntArray& representatives = decomposition.GetRepresentatives();
    if (representatives.empty())
        return os << "<EMPTY>";
    std::string text;
    for (std::size_t i = 0; i < representatives.size(); ++i)
        text.append(i ? "," : "").append(std::to_string(representatives[i]));
    return os << text;
}

bool IsValidCosetArray(const IntArray& representatives)
{
    if (representatives.empty())
        return false;
    IntArray sizes(representatives.size(), 0);
    for (std::size_t i = 0; i < representatives.size(); ++i) {
        const std::int32_t r = representatives[i];
        if (r < 0 || r > static_cast<std::int64_t>(i) || representatives[static_cast<std::size_t>(r)] != r)
            return false;
        ++sizes[static_cast<std::size_t>(r)];
    }
    const std::int32_t size = sizes[0];
    return std::all_of(sizes.begin(), sizes.end(), [size](std::int32_t s) { return s == 0 || s == size; });
}

bool EqualIntLists(const IntArray& a, const IntArray& b)
{
    return a == b;
}

void GetClassNumbers(std::int32_t n, const IntArray& representatives, IntArray& numbers)
{
    numbers.clear();
    if (n < 0 || representatives.size() != static_cast<std::size_t>(n))
        return;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t r = representatives[static_cast<std::size_t>(i)];
        if (r < 0 || r > i)
            return;
    }
    numbers.resize(static_cast<std::size_t>(n));
    std::int32_t next = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t r = representatives[static_cast<std::size_t>(i)];
        numbers[static_cast<std::size_t>(i)] = r == i ? next++ : numbers[static_cast<std::size_t>(r)];
    }
}

void GetClassRepresentatives(std::int32_t n, const IntArray& representatives, IntArray& result)
{
    result.clear();
    if (n < 0 || representatives.size() != static_cast<std::size_t>(n))
        return;
    for (std::int32_t i = 0; i < n; ++i)
        if (representatives[static_cast<std::size_t>(i)] == i)
            result.push_back(i);
}

} // namespace Tavrel
