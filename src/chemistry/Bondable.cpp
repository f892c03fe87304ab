#include <tavrel/chemistry/Bondable.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Bondable)

namespace {

constexpr const char* ConformerIndexKey = "_~aci~_";

} // namespace

// As in Geometric: tree registrations above reach this level's mask byte.
Bondable::Bondable(Object* parent) : Geometric3d(parent)
{
    SetMaskFromParents();
}

Bondable::~Bondable()
{
    PinForDestruction();
    // Each bond linked here goes with this end, and its destructor takes it off both ends' lists. An
    // entry that is no link (null, or a bond that does not name this end) is only dropped.
    while (m_numBonds.Get() > 0) {
        const std::uint32_t count = m_numBonds.Get();
        if (Bond* const bond = BondData()[count - 1]; bond && bond->HasEnd(*this)) {
            const Watch watch(bond);
            Discard(bond);
            // A bond being built or deleted outlives its end and lets go of it.
            if (watch.alive)
                bond->ForgetEnd(this);
        }
        // Not taken off by the bond: dropped without touching it.
        if (m_numBonds.Get() == count)
            ResizeBonds(count - 1);
    }
    ResizeBonds(0);
}

// ---- The bond list

void Bondable::PushBondGrowing(Bond* bond)
{
    ResizeBonds(m_numBonds.Get() + 1);
    BondData()[m_numBonds.Get() - 1] = bond;
}

void Bondable::EraseBond(std::size_t index)
{
    Bond** const data = BondData();
    if (Bond* const leaving = data[index])
        leaving->m_keptBy = 0;
    std::copy(data + index + 1, data + m_numBonds.Get(), data + index);
    ResizeBonds(m_numBonds.Get() - 1);
}

void Bondable::ResizeBonds(std::size_t count)
{
    const bool wasHeap = m_numBonds.Get() > InlineBonds;
    const bool toHeap = count > InlineBonds;
    if (!wasHeap && !toHeap) {
        // Inline entries past the count are null already: only a shrink has entries to clear.
        if (count < m_numBonds.Get())
            std::fill(m_bondStore.Get().inlined + count, m_bondStore.Get().inlined + m_numBonds.Get(), nullptr);
    } else if (wasHeap && toHeap) {
        if (count > m_bondStore.Get().heap.capacity) {
            const std::size_t capacity = std::max<std::size_t>(count, 2 * std::size_t{m_bondStore.Get().heap.capacity});
            auto* const grown = new Bond*[capacity]();
            std::copy(m_bondStore.Get().heap.data, m_bondStore.Get().heap.data + m_numBonds.Get(), grown);
            delete[] m_bondStore.Get().heap.data;
            m_bondStore.Get().heap = {grown, static_cast<std::uint32_t>(capacity)};
        } else if (count > m_numBonds.Get()) {
            std::fill(m_bondStore.Get().heap.data + m_numBonds.Get(), m_bondStore.Get().heap.data + count, nullptr);
        }
    } else if (toHeap) {
        const std::size_t capacity = std::max<std::size_t>(count, 2 * std::size_t{InlineBonds});
        auto* const heap = new Bond*[capacity]();
        std::copy(m_bondStore.Get().inlined, m_bondStore.Get().inlined + m_numBonds.Get(), heap);
        m_bondStore.Get().heap = {heap, static_cast<std::uint32_t>(capacity)};
    } else {
        Bond** const heap = m_bondStore.Get().heap.data;
        BondStore inlined{};
        std::copy(heap, heap + count, inlined.inlined);
        delete[] heap;
        m_bondStore.Get() = inlined;
    }
    m_numBonds = static_cast<std::uint32_t>(count);
}

void Bondable::AddBond(Bond* bond)
{
    PushBond(bond);
    AnnounceBond(bond);
}

// Copies are made in tree order, not in the order of each end's list: a copy goes before the first
// listed copy of a bond the source end lists after its source.
void Bondable::ListCopiedBond(Bond* bond, const Bondable& sourceEnd, const Bond& source)
{
    const auto sources = sourceEnd.GetBonds();
    const auto found = std::find(sources.begin(), sources.end(), &source);
    for (auto later = found == sources.end() ? found : found + 1; later != sources.end(); ++later) {
        const Base* const copy = *later ? GetCopyMade(**later) : nullptr;
        const auto listed = copy ? std::find(GetBonds().begin(), GetBonds().end(), copy) : GetBonds().end();
        if (listed != GetBonds().end()) {
            const auto at = listed - GetBonds().begin();
            PushBond(bond);
            Bond** const data = BondData();
            std::rotate(data + at, data + m_numBonds.Get() - 1, data + m_numBonds.Get());
            AnnounceBond(bond);
            return;
        }
    }
    AddBond(bond);
}

Bond* Bondable::KeepLinked(Bond* bond)
{
    if (bond->HasEnds())
        return bond;
    delete bond;
    return nullptr;
}

void Bondable::RemoveBond(int i)
{
    Bond* const bond = GetBond(i);
    EraseBond(static_cast<std::size_t>(i));
    NotifyIfHeard(classType, EventBondRemoved, nullptr, bond);
}

void Bondable::RemoveBond(Bond* bond)
{
    const auto bonds = GetBonds();
    const auto found = std::find(bonds.begin(), bonds.end(), bond);
    if (found != bonds.end())
        RemoveBond(static_cast<int>(found - bonds.begin()));
}

void Bondable::RemoveAllBonds()
{
    for (int i = GetNumBonds() - 1; i >= 0; --i)
        RemoveBond(i);
}

// ---- Neighbours

Bondable* Bondable::GetAttached(int i) const
{
    const Bond* const bond = GetBond(i);
    return bond->GetAtom1() == this ? bond->GetAtom2() : bond->GetAtom1();
}

void Bondable::GetAttached(BaseCollection& out) const
{
    for (int i = 0; i < GetNumBonds(); ++i)
        out.Add(GetAttached(i));
}

void Bondable::GetAttached(BaseCollection& out, const Filter& filter) const
{
    for (int i = 0; i < GetNumBonds(); ++i) {
        Bondable* const attached = GetAttached(i);
        if (filter(attached))
            out.Add(attached);
    }
}

int Bondable::GetAttached(Bondable** out, int max) const
{
    int written = 0;
    for (int i = 0; i < GetNumBonds() && (max <= 0 || written < max); ++i)
        out[written++] = GetAttached(i);
    return written;
}

int Bondable::GetAttachedPosition(const Bondable* other) const
{
    for (int i = 0; i < GetNumBonds(); ++i) {
        if (GetAttached(i) == other)
            return i;
    }
    return -1;
}

Bond* Bondable::FindBond(const Bondable* other) const
{
    // Bond::FindBond's test, read through the inline end accessors.
    for (Bond* bond : GetBonds()) {
        const Bondable* const first = bond->GetAtom1();
        const Bondable* const second = bond->GetAtom2();
        if ((first == this && second == other) || (first == other && second == this))
            return bond;
    }
    return nullptr;
}

bool Bondable::IsInRing() const
{
    if (GetNumBonds() < 2)
        return false;
    return std::any_of(GetBonds().begin(), GetBonds().end(), [](const Bond* bond) { return bond->IsInRing(); });
}

bool Bondable::HasNoVisibleBonds() const
{
    return std::none_of(GetBonds().begin(), GetBonds().end(),
                        [](const Bond* bond) { return bond->IsVisible() && bond->IsActive(); });
}

// ---- Making and merging bonds

Bond* Bondable::MakeBond(Bondable* other, Bond::BondType type)
{
    if (!other || other == this)
        return nullptr;
    if (Bond* const existing = FindBond(other)) {
        existing->SetType(type);
        return existing;
    }
    return KeepLinked(new Bond(this, other, type));
}

Bond* Bondable::MakeBond(Object* parent, Bondable* other, Bond::BondType type)
{
    if (!other || other == this)
        return nullptr;
    if (Bond* const existing = FindBond(other)) {
        existing->SetType(type);
        return existing;
    }
    return KeepLinked(new Bond(parent, this, other, type));
}

void Bondable::Fuse(Bondable* other)
{
    if (!other || other == this)
        return;
    struct Former {
        std::unique_ptr<Watch> neighbour;
        Bond::BondType type;
        bool inRing;
    };
    std::vector<Former> former;
    former.reserve(static_cast<std::size_t>(other->GetNumBonds()));
    for (int i = 0; i < other->GetNumBonds(); ++i) {
        const Bond* const bond = other->GetBond(i);
        former.push_back({std::make_unique<Watch>(other->GetAttached(i)), bond->GetType(), bond->IsInRing()});
    }
    const Watch self(this);
    Discard(other);
    for (const Former& link : former) {
        if (!self.alive)
            return;
        if (!link.neighbour->alive)
            continue;
        Bond* const bond = MakeBond(static_cast<Bondable*>(link.neighbour->node), Bond::Single);
        if (!bond)
            continue;
        if (link.type != Bond::Single)
            bond->SetType(link.type);
        bond->SetIsInRing(link.inRing);
    }
}

// ---- Fragments and paths

void Bondable::GetFragment(SetCollection* atoms, SetCollection* bonds, const SetCollection* stopAtoms,
                           const SetCollection* stopBonds, bool includeStops) const
{
    if (!atoms || !bonds)
        return;
    // The bond set marks what was crossed: every bond is crossed once, so rings end.
    std::vector<const Bondable*> pending{this};
    while (!pending.empty()) {
        const Bondable* const end = pending.back();
        pending.pop_back();
        auto* const node = const_cast<Bondable*>(end);
        if (stopAtoms && stopAtoms->IsMember(node)) {
            if (includeStops)
                atoms->Add(node);
            continue;
        }
        atoms->Add(node);
        for (int i = 0; i < end->GetNumBonds(); ++i) {
            Bond* const bond = end->GetBond(i);
            if (stopBonds && stopBonds->IsMember(bond)) {
                if (includeStops)
                    bonds->Add(bond);
                continue;
            }
            if (bonds->Add(bond))
                pending.push_back(end->GetAttached(i));
        }
    }
}

bool Bondable::IsInSameFragment(const Bondable* other) const
{
    if (other == this)
        return true;
    std::unordered_set<const Bondable*> reached{this};
    std::vector<const Bondable*> pending{this};
    while (!pending.empty()) {
        const Bondable* const end = pending.back();
        pending.pop_back();
        for (int i = 0; i < end->GetNumBonds(); ++i) {
            const Bondable* const next = end->GetAttached(i);
            if (next == other)
                return true;
            if (reached.insert(next).second)
                pending.push_back(next);
        }
    }
    return false;
}

// Layer by layer: layer k holds the ends k steps away along walks that may step back. An end equal to
// target before the last step ends its walk (found when shorter paths count), so with allowShorter the
// answer is whether target lies within length - 1 bonds, and without it whether a walk of exactly
// length - 1 steps reaches target without meeting it earlier.
bool Bondable::HasPathOfLength(const Bondable* target, int length, bool allowShorter) const
{
    if (length <= 1)
        return this == target;
    if (this == target)
        return allowShorter;
    std::vector<const Bondable*> layer{this};
    std::vector<const Bondable*> next;
    std::unordered_set<const Bondable*> inNext;
    std::unordered_set<const Bondable*> seen{this};
    for (int remaining = length - 1; remaining >= 1 && !layer.empty(); --remaining) {
        next.clear();
        inNext.clear();
        for (const Bondable* end : layer) {
            for (int i = 0; i < end->GetNumBonds(); ++i) {
                const Bondable* const step = end->GetAttached(i);
                if (step == target) {
                    if (remaining == 1 || allowShorter)
                        return true;
                    continue;
                }
                // Shorter walks reach everything later layers would; exact walks may come back.
                if (allowShorter ? seen.insert(step).second : inNext.insert(step).second)
                    next.push_back(step);
            }
        }
        layer.swap(next);
    }
    return false;
}

// ---- Tree-node overrides

void Bondable::Activate()
{
    for (int i = 0; i < GetNumBonds(); ++i)
        GetBond(i)->Activate();
    Geometric3d::Activate();
}

void Bondable::Deactivate()
{
    for (int i = 0; i < GetNumBonds(); ++i)
        GetBond(i)->Deactivate();
    Geometric3d::Deactivate();
}

void Bondable::SetClipped(bool clipped)
{
    Geometric3d::SetClipped(clipped);
    UpdateBondsClipped();
}

bool Bondable::SetClippedUnheard(bool clipped)
{
    return GetNumBonds() == 0 && Geometric3d::SetClippedUnheard(clipped);
}

void Bondable::Select(bool recursive)
{
    const bool wasSelected = IsObjectSelected();
    const Watch self(this);
    Geometric3d::Select(recursive);
    if (!self.alive || wasSelected || !IsObjectSelected() || !Base::GetEventNotify())
        return;
    for (int i = 0; self.alive && i < GetNumBonds(); ++i) {
        Bond* const bond = GetBond(i);
        if (!bond->IsObjectSelected() && bond->GetAtom1()->IsSelected() && bond->GetAtom2()->IsSelected())
            bond->Select(false);
    }
}

void Bondable::UpdateBondsClipped()
{
    for (int i = 0; i < GetNumBonds(); ++i)
        GetBond(i)->UpdateClipped();
}

// ---- Conformer index

void Bondable::SetConformerIndex(std::int32_t index)
{
    SetProperty(ConformerIndexKey, index, 0);
}

std::int32_t Bondable::GetConformerIndex() const
{
    std::int32_t index = -1;
    return GetProperty(ConformerIndexKey, index) ? index : -1;
}

bool Bondable::HasConformers() const
{
    std::int32_t index = -1;
    return GetProperty(ConformerIndexKey, index) && index > -1;
}

void Bondable::ClearConformerIndex()
{
    RemoveProperty(ConformerIndexKey);
}

// ---- Persistence

void Bondable::KeepOwnBonds(bool ended, bool finishing)
{
    Bond** const data = BondData();
    const std::size_t count = m_numBonds.Get();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Bond* const bond = data[i];
        if (!bond)
            continue;
        // A bond whose record is still being read keeps its place until the finishing pass.
        const bool judged = ended || !bond->m_reading;
        // A half link is dropped; a bond that names this end stays linked, also one without another
        // end, which its own finishing deletes.
        if (judged && !bond->HasEnd(*this))
            continue;
        // A list holds a few bonds: a plain look back finds the second listing of one.
        bool listed = false;
        for (std::size_t k = 0; k < kept && !listed; ++k)
            listed = data[k] == bond;
        if (listed)
            continue;
        data[kept++] = bond;
        // Kept by the finishing pass: the bond's own finishing need not look for it here.
        if (finishing)
            bond->m_keptBy = static_cast<std::uint8_t>(bond->m_keptBy.Get() |
                                                       (bond->m_atom1 == this ? Bond::KeptByAtom1 : Bond::KeptByAtom2));
    }
    if (kept != count)
        ResizeBonds(kept);
}

const PropertyTable& Bondable::Properties()
{
    static const PropertyTable table(
        PropertyList<Bondable>()
            .References(
                "Bond Array", [](const Bondable& end) { return std::size_t{end.m_numBonds.Get()}; },
                [](const Bondable& end, std::size_t i) { return i < end.m_numBonds.Get() ? end.BondData()[i] : nullptr; },
                [](Bondable& end, std::size_t count) { end.ResizeBonds(count); },
                // A bond whose record has ended without naming this end is not kept (the end's record
                // would drop it at its close), so the read drops it with what its record made when
                // nothing else took them.
                [](Bondable& end, std::size_t i, Bond* bond) {
                    if (i >= end.m_numBonds.Get())
                        return false;
                    const bool kept = !bond || bond->m_reading || bond->HasEnd(end);
                    end.BondData()[i] = kept ? bond : nullptr;
                    return kept;
                })
            .BeforeLoad([](Bondable& end, Archive&, PropertyArchive* stream) {
                if (stream)
                    stream->FinishObject(&end);
            })
            .AfterRecord([](Bondable& end, Archive& archive, PropertyArchive*) {
                if (archive.IsLoading())
                    end.KeepOwnBonds(false, false);
                end.UpdateBondsClipped();
            }));
    return table;
}

void Bondable::FinishLoading(std::uint32_t schema)
{
    Geometric3d::FinishLoading(schema);
    KeepOwnBonds(true, true);
}

void Bondable::SettleLinks()
{
    KeepOwnBonds(true, false);
}

} // namespace Tavrel
