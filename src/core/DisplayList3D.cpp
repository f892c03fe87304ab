#include <tavrel/core/DisplayList3D.h>

#include <utility>

namespace Tavrel {

DisplayList3D::DisplayList3D(const DisplayList3D& other) : m_mode(other.m_mode), m_oid(other.m_oid)
{
    m_entries.reserve(other.m_entries.size());
    for (const Entry& entry : other.m_entries)
        m_entries.push_back({entry.primitive->Clone(), entry.group});
}

DisplayList3D& DisplayList3D::operator=(const DisplayList3D& other)
{
    if (this != &other) {
        DisplayList3D copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void DisplayList3D::Add(const Primitive& primitive) { m_entries.push_back({primitive.Clone(), 0}); }

void DisplayList3D::Add(std::unique_ptr<Primitive> primitive)
{
    if (primitive)
        m_entries.push_back({std::move(primitive), 0});
}

void DisplayList3D::Append(const DisplayList3D& other)
{
    std::vector<Entry> copies;
    copies.reserve(other.m_entries.size());
    for (const Entry& entry : other.m_entries)
        copies.push_back({entry.primitive->Clone(), entry.group != 0 ? entry.group : other.m_oid});
    for (Entry& entry : copies)
        m_entries.push_back(std::move(entry));
}

const Primitive* DisplayList3D::GetPrimitive(std::size_t index) const
{
    return index < m_entries.size() ? m_entries[index].primitive.get() : nullptr;
}

std::uint32_t DisplayList3D::GetGroupOID(std::size_t index) const
{
    if (index >= m_entries.size())
        return 0;
    return m_entries[index].group != 0 ? m_entries[index].group : m_oid;
}

std::vector<PickDot> DisplayList3D::GetPickDots() const
{
    std::vector<PickDot> dots;
    for (const Entry& entry : m_entries)
        entry.primitive->AppendPickDots(dots);
    return dots;
}

} // namespace Tavrel
