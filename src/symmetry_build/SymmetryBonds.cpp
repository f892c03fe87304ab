#include <tavrel/symmetry_build/SymmetryBonds.h>

#include <limits>
#include <stdexcept>
#include <utility>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/symmetry_build/FlatIntMap.h>

namespace Tavrel {

namespace {

// The live Bond of an OID, or null.
Bond* FindBond(std::uint32_t oid)
{
    return oid ? DynCast<Bond>(Object::GetObjectA(oid)) : nullptr;
}

template <class Visit>
void ForEachTakingPart(const std::vector<ReplicateBondList>& groups, Visit&& visit)
{
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (const ReplicateBond& item : groups[g])
            if (item.GetBondAtomList() >= static_cast<std::int64_t>(g))
                visit(item);
}

} // namespace

SymmetryBonds::SymmetryBonds(const SymmetryBonds& other)
    : m_units(other.m_units), m_lists(other.m_lists), m_oids(other.m_oids), m_lookup(other.m_lookup)
{
}

SymmetryBonds& SymmetryBonds::operator=(const SymmetryBonds& other)
{
    if (this != &other) {
        SymmetryBonds copy(other);
        Swap(copy);
    }
    return *this;
}

void SymmetryBonds::SetUnitCount(std::int32_t n)
{
    const auto count = static_cast<std::size_t>(n > 0 ? n : 0);
    for (std::size_t unit = count; unit < m_units.size(); ++unit)
        for (const std::int32_t s : GetSymmetryBonds(static_cast<std::int32_t>(unit)))
            m_lookup.Erase(m_oids[static_cast<std::size_t>(s)]);
    m_units.resize(count, Unit{static_cast<std::int32_t>(m_lists.size()), 0, {}});
}

void SymmetryBonds::Clear()
{
    m_units.clear();
    m_lists.clear();
    m_oids.clear();
    m_lookup.Clear();
}

std::int32_t SymmetryBonds::AppendBond(std::uint32_t oid, std::int32_t unit)
{
    if (m_oids.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("SymmetryBonds: too many bonds");
    const auto symmetryBond = static_cast<std::int32_t>(m_oids.size());
    m_oids.push_back(oid);
    if (oid != 0)
        m_lookup[oid] = unit;
    return symmetryBond;
}

void SymmetryBonds::LayOut(std::span<const std::int32_t> units)
{
    for (Unit& unit : m_units)
        unit.count = 0;
    for (const std::int32_t u : units)
        ++m_units[static_cast<std::size_t>(u)].count;
    std::int32_t begin = 0;
    for (Unit& unit : m_units) {
        unit.begin = begin;
        begin += unit.count;
        unit.count = 0;
    }
    m_lists.assign(units.size(), 0);
    for (std::size_t s = 0; s < units.size(); ++s) {
        Unit& unit = m_units[static_cast<std::size_t>(units[s])];
        m_lists[static_cast<std::size_t>(unit.begin + unit.count++)] = static_cast<std::int32_t>(s);
    }
    for (std::int32_t u = 0; u < GetUnitCount(); ++u) {
        std::uint32_t first = 0;
        for (const std::int32_t s : GetSymmetryBonds(u))
            if ((first = m_oids[static_cast<std::size_t>(s)]) != 0)
                break;
        m_units[static_cast<std::size_t>(u)].summary = ReadSummary(first);
    }
}

bool SymmetryBonds::SetBonds(const std::vector<ReplicateBondList>& groups)
{
    for (const ReplicateBondList& group : groups)
        for (const ReplicateBond& item : group)
            if (!IsUnit(item.GetBondListIndex()) || item.GetOID() == 0)
                return false;
    std::vector<UnitBond> bonds;
    ForEachTakingPart(groups,
                      [&bonds](const ReplicateBond& item) { bonds.push_back({item.GetBondListIndex(), item.GetOID()}); });
    return SetBonds(bonds);
}

bool SymmetryBonds::SetBonds(std::span<const UnitBond> bonds)
{
    for (const UnitBond& bond : bonds)
        if (!IsUnit(bond.unit) || bond.oid == 0)
            return false;
    IntArray units;
    OIDArray oids;
    units.reserve(bonds.size());
    oids.reserve(bonds.size());
    for (const UnitBond& bond : bonds) {
        units.push_back(bond.unit);
        oids.push_back(bond.oid);
    }
    return SetBonds(units, std::move(oids));
}

bool SymmetryBonds::SetBonds(std::span<const std::int32_t> units, OIDArray&& oids)
{
    if (units.size() != oids.size())
        return false;
    std::uint32_t first = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t last = 0;
    for (std::size_t b = 0; b < units.size(); ++b) {
        if (!IsUnit(units[b]) || oids[b] == 0)
            return false;
        first = oids[b] < first ? oids[b] : first;
        last = oids[b] > last ? oids[b] : last;
    }
    if (oids.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("SymmetryBonds: too many bonds");
    m_oids = std::move(oids);
    // The bonds the build found in place lie apart from those it made.
    m_lookup.PrepareDensest(m_oids, first, last);
    constexpr std::size_t lookAhead = 8;  // the slot of a bond a few ahead starts loading early
    for (std::size_t b = 0; b < m_oids.size(); ++b) {
        if (b + lookAhead < m_oids.size())
            m_lookup.Prefetch(m_oids[b + lookAhead]);
        m_lookup[m_oids[b]] = units[b];
    }
    LayOut(units);
    return true;
}

void SymmetryBonds::AddBonds(std::vector<ReplicateBondList>& groups)
{
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (ReplicateBond& item : groups[g]) {
            if (item.GetBondAtomList() < static_cast<std::int64_t>(g)) {
                item.SetBondListIndex(-1);
                continue;
            }
            const std::int32_t unit = GetUnitCount();
            item.SetBondListIndex(unit);
            m_units.push_back({static_cast<std::int32_t>(m_lists.size()), 1, ReadSummary(item.GetOID())});
            m_lists.push_back(AppendBond(item.GetOID(), unit));
        }
}

void SymmetryBonds::RebuildBonds(std::vector<ReplicateBondList>& groups)
{
    Clear();
    FlatIntMap<std::int32_t, std::int32_t, -1> numbers;
    std::int32_t next = 0;
    IntArray units;
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (ReplicateBond& item : groups[g]) {
            if (item.GetBondAtomList() < static_cast<std::int64_t>(g)) {
                item.SetBondListIndex(-1);
                continue;
            }
            if (item.GetBondListIndex() < 0)
                continue;
            std::int32_t& number = numbers[item.GetBondListIndex()];
            if (number == 0)
                number = ++next;
            item.SetBondListIndex(number - 1);
            AppendBond(item.GetOID(), number - 1);
            units.push_back(number - 1);
        }
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (ReplicateBond& item : groups[g])
            if (item.GetBondAtomList() >= static_cast<std::int64_t>(g) && item.GetBondListIndex() < 0) {
                item.SetBondListIndex(next);
                AppendBond(item.GetOID(), next);
                units.push_back(next);
                ++next;
            }
    m_units.resize(static_cast<std::size_t>(next));
    LayOut(units);
}

OIDArray SymmetryBonds::TakeSiblings(std::uint32_t oid, bool forget)
{
    OIDArray siblings;
    const std::int32_t unit = FindUnit(oid);
    const std::span<const std::int32_t> bonds = GetSymmetryBonds(unit);
    bool found = false;
    for (const std::int32_t s : bonds)
        found = found || m_oids[static_cast<std::size_t>(s)] == oid;
    if (!found)
        return siblings;
    for (const std::int32_t s : bonds) {
        std::uint32_t& entry = m_oids[static_cast<std::size_t>(s)];
        if (entry == 0 || (entry == oid && !forget))
            continue;
        if (entry != oid)
            siblings.push_back(entry);
        if (forget) {
            m_lookup.Erase(entry);
            entry = 0;
        }
    }
    return siblings;
}

void SymmetryBonds::OnBondDeleted(std::uint32_t oid)
{
    // Everything is forgotten before any bond goes, so that deletions the listeners hear find
    // nothing left to do here.
    for (const std::uint32_t sibling : TakeSiblings(oid, true))
        delete FindBond(sibling);
}

void SymmetryBonds::OnBondTypeChanged(std::uint32_t oid)
{
    const Bond* const bond = FindBond(oid);
    if (m_retyping || !bond)
        return;
    const Bond::BondType type = bond->GetType();
    const OIDArray siblings = TakeSiblings(oid, false);
    m_retyping = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_retyping};
    for (const std::uint32_t sibling : siblings)
        if (Bond* const equivalent = FindBond(sibling))
            equivalent->SetType(type);
}

bool SymmetryBonds::ReplaceOIDs(const OIDArray& oldOIDs, const OIDArray& newOIDs)
{
    if (oldOIDs != m_oids || newOIDs.size() != m_oids.size())
        return false;
    m_oids = newOIDs;
    m_lookup.Prepare(m_oids);
    for (std::int32_t u = 0; u < GetUnitCount(); ++u)
        for (const std::int32_t s : GetSymmetryBonds(u))
            if (const std::uint32_t oid = m_oids[static_cast<std::size_t>(s)])
                m_lookup[oid] = u;
    return true;
}

void SymmetryBonds::GetFirstOIDs(OIDArray& oids) const
{
    oids.clear();
    oids.reserve(m_units.size());
    for (const Unit& unit : m_units)
        oids.push_back(unit.count > 0 ? m_oids[static_cast<std::size_t>(m_lists[static_cast<std::size_t>(unit.begin)])] : 0);
}

std::span<const std::int32_t> SymmetryBonds::GetSymmetryBonds(std::int32_t unit) const
{
    if (!IsUnit(unit))
        return {};
    const Unit& u = m_units[static_cast<std::size_t>(unit)];
    return std::span<const std::int32_t>(m_lists).subspan(static_cast<std::size_t>(u.begin),
                                                          static_cast<std::size_t>(u.count));
}

std::int32_t SymmetryBonds::FindUnit(std::uint32_t oid) const
{
    const std::int32_t* const unit = m_lookup.Find(oid);
    return unit ? *unit : -1;
}

SymmetryBonds::Summary SymmetryBonds::GetSummary(std::int32_t unit) const
{
    return IsUnit(unit) ? m_units[static_cast<std::size_t>(unit)].summary : Summary();
}

SymmetryBonds::Summary SymmetryBonds::ReadSummary(std::uint32_t oid)
{
    const Bond* const bond = FindBond(oid);
    if (!bond)
        return {};
    return {bond->GetOrder(), bond->GetType(), bond->GetDisplayStyle(), bond->IsInRing()};
}

void SymmetryBonds::ApplyBondSummary(std::int32_t unit, Bond* bond) const
{
    if (!IsUnit(unit) || !bond)
        return;
    const Summary& summary = m_units[static_cast<std::size_t>(unit)].summary;
    // The type first: setting a named type also sets its order, which the unit's order then replaces.
    bond->SetType(static_cast<Bond::BondType>(summary.type));
    bond->SetOrder(summary.order);
    bond->SetDisplayStyle(summary.displayStyle);
    bond->SetIsInRing(summary.inRing);
}

void SymmetryBonds::Swap(SymmetryBonds& other) noexcept
{
    m_units.swap(other.m_units);
    m_lists.swap(other.m_lists);
    m_oids.swap(other.m_oids);
    m_lookup.Swap(other.m_lookup);
}

} // namespace Tavrel
