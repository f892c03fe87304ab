#include <tavrel/monitors/BondNeighbourhood.h>

#include <algorithm>
#include <iterator>

#include <tavrel/chemistry/Bondable.h>

namespace Tavrel {

void BondNeighbourhood::Step()
{
    m_next.clear();
    for (const Bondable* end : m_layer) {
        for (int i = 0; i < end->GetNumBonds(); ++i) {
            if (const Bondable* const neighbour = end->GetAttached(i))
                m_next.push_back(neighbour);
        }
    }
    std::sort(m_next.begin(), m_next.end());
    m_next.erase(std::unique(m_next.begin(), m_next.end()), m_next.end());
}

void BondNeighbourhood::Gather(const Bondable& centre, int bonds)
{
    m_members.assign(1, &centre);
    m_layer.assign(1, &centre);
    for (int step = 0; step < bonds && !m_layer.empty(); ++step) {
        Step();
        m_layer.clear();
        std::set_difference(m_next.begin(), m_next.end(), m_members.begin(), m_members.end(),
                            std::back_inserter(m_layer));
        m_merged.clear();
        std::merge(m_members.begin(), m_members.end(), m_layer.begin(), m_layer.end(), std::back_inserter(m_merged));
        m_members.swap(m_merged);
    }
}

bool BondNeighbourhood::Contains(const Bondable* object) const
{
    return std::binary_search(m_members.begin(), m_members.end(), object);
}

bool BondNeighbourhood::Reaches(const Bondable& other, int bonds)
{
    // Layers may meet again (rings) without harm: each is a set, and the walk is short.
    m_layer.assign(1, &other);
    for (int step = 0;; ++step) {
        if (std::any_of(m_layer.begin(), m_layer.end(), [this](const Bondable* object) { return Contains(object); }))
            return true;
        if (step == bonds || m_layer.empty())
            return false;
        Step();
        m_layer.swap(m_next);
    }
}

} // namespace Tavrel
