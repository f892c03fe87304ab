// HierarchyData's handlers of edits made below the cell between two builds.
#include <tavrel/symmetry_build/HierarchyData.h>

#include <string>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>

namespace Tavrel {

namespace {

std::size_t At(std::int32_t i)
{
    return static_cast<std::size_t>(i);
}

// The list and member the item of the OID names, when that member holds the OID; -1 otherwise.
template <class Items, class Lists>
std::int32_t FindFamily(const Items& items, const Lists& lists, std::int32_t index, std::uint32_t oid,
                        std::int32_t& member)
{
    if (index < 0)
        return -1;
    const HierarchyItem& item = items[At(index)];
    if (item.list < 0 || At(item.list) >= lists.size() || item.member < 0 ||
        At(item.member) >= lists[At(item.list)].members.size() ||
        lists[At(item.list)].members[At(item.member)].oid != oid)
        return -1;
    member = item.member;
    return item.list;
}

} // namespace

Object* HierarchyData::FindBelowCell(std::uint32_t oid, bool atom) const
{
    Object* const object = oid && m_cell ? Object::GetObjectA(oid) : nullptr;
    if (!object || !object->HasAncestor(m_cell) || (atom && !IsA<Atom>(object)))
        return nullptr;
    return object;
}

std::int32_t HierarchyData::FindAtomFamily(std::uint32_t oid, std::int32_t& member) const
{
    return FindFamily(m_atomItems, m_atomLists, FindAtomItem(oid), oid, member);
}

std::int32_t HierarchyData::FindObjectFamily(std::uint32_t oid, std::int32_t& member) const
{
    return FindFamily(m_objectItems, m_objectLists, FindObjectItem(oid), oid, member);
}

template <class Lists, class Visit>
void HierarchyData::ForOtherMembers(const Lists& lists, std::int32_t list, std::uint32_t oid, bool atoms,
                                    Visit visit) const
{
    if (list < 0)
        return;
    for (std::size_t m = 0; m < lists[At(list)].members.size(); ++m) {
        const std::uint32_t other = lists[At(list)].members[m].oid;
        if (other == oid)
            continue;
        if (Object* const object = FindBelowCell(other, atoms))
            visit(*object);
    }
}

template <class Read, class Write>
void HierarchyData::CopyToAtomFamily(std::uint32_t oid, Read read, Write write)
{
    const auto* const source = static_cast<const Atom*>(FindBelowCell(oid, true));
    std::int32_t member = -1;
    const std::int32_t list = source ? FindAtomFamily(oid, member) : -1;
    if (list < 0)
        return;
    const auto value = read(*source);
    ForOtherMembers(m_atomLists, list, oid, true, [&](Object& atom) { write(static_cast<Atom&>(atom), value); });
}

void HierarchyData::OnAtomTypeChanged(std::uint32_t oid)
{
    CopyToAtomFamily(
        oid, [](const Atom& atom) { return atom.GetElementSymbol(); },
        [](Atom& atom, const std::string& symbol) { atom.ChangeElement(symbol); });
}

void HierarchyData::OnAtomFormalChargeChanged(std::uint32_t oid)
{
    CopyToAtomFamily(
        oid, [](const Atom& atom) { return atom.GetFormalCharge(); },
        [](Atom& atom, const Rational& charge) { atom.SetFormalCharge(charge); });
}

void HierarchyData::OnAtomHybridizationChanged(std::uint32_t oid)
{
    CopyToAtomFamily(
        oid, [](const Atom& atom) { return atom.GetHybridization(); },
        [](Atom& atom, Atom::HybridizationType type) { atom.SetHybridization(type); });
}

void HierarchyData::OnAtomPartialChargeChanged(std::uint32_t oid)
{
    CopyToAtomFamily(
        oid, [](const Atom& atom) { return atom.GetCharge(); },
        [](Atom& atom, double charge) { atom.SetCharge(charge); });
}

void HierarchyData::OnAtomCPKScaleChanged(std::uint32_t oid)
{
    CopyToAtomFamily(
        oid, [](const Atom& atom) { return atom.GetCPKScale(); },
        [](Atom& atom, float scale) { atom.SetCPKScale(scale); });
}

void HierarchyData::OnAtomBallSizeChanged(std::uint32_t oid)
{
    CopyToAtomFamily(
        oid, [](const Atom& atom) { return atom.GetBallSize(); },
        [](Atom& atom, float size) { atom.SetBallSize(size); });
}

void HierarchyData::OnAtomStickRadiusChanged(std::uint32_t oid)
{
    CopyToAtomFamily(
        oid, [](const Atom& atom) { return atom.GetStickRadius(); },
        [](Atom& atom, float radius) { atom.SetStickRadius(radius); });
}

void HierarchyData::OnLabelChanged(std::uint32_t oid)
{
    const Object* const source = FindBelowCell(oid, false);
    if (!source)
        return;
    const std::string label = source->GetLabel();
    const auto write = [&label](Object& object) { object.SetLabel(label); };
    std::int32_t member = -1;
    if (IsA<Atom>(source))
        ForOtherMembers(m_atomLists, FindAtomFamily(oid, member), oid, false, write);
    else
        ForOtherMembers(m_objectLists, FindObjectFamily(oid, member), oid, false, write);
}

template <class Items, class Lists>
void HierarchyData::DeleteFamily(std::uint32_t oid, std::int32_t index, Items& items, Lists& lists, bool atoms)
{
    if (index < 0 || items[At(index)].oid != oid)
        return;
    items[At(index)].oid = 0;
    const std::int32_t list = items[At(index)].list;
    if (list < 0 || At(list) >= lists.size())
        return;
    // By index, each member forgotten before the next is deleted: nothing a deletion raises finds
    // the family again.
    for (std::size_t m = 0; m < lists[At(list)].members.size(); ++m) {
        ReplicateMember& member = lists[At(list)].members[m];
        const std::uint32_t other = member.oid;
        const std::int32_t item = member.item;
        member.oid = 0;
        if (item >= 0 && At(item) < items.size())
            items[At(item)].oid = 0;
        if (other == oid)
            continue;
        Object* const object = FindBelowCell(other, false);
        if (object && (!atoms || IsA<Atom3d>(object)))
            delete object;
    }
    lists[At(list)].oid = 0;
    MarkDirty(false);
}

void HierarchyData::OnAtomDeleted(std::uint32_t oid)
{
    if (m_cell)
        DeleteFamily(oid, FindAtomItem(oid), m_atomItems, m_atomLists, true);
}

void HierarchyData::OnObjectDeleted(std::uint32_t oid)
{
    if (m_cell)
        DeleteFamily(oid, FindObjectItem(oid), m_objectItems, m_objectLists, false);
}

void HierarchyData::OnObjectMoved(std::uint32_t oid)
{
    const Object* const object = FindBelowCell(oid, false);
    if (object && (FindObjectItem(oid) >= 0 || IsA<Atom>(object) || IsA<Bond>(object) ||
                   object->HasDescendent(Atom::classType)))
        MarkDirty(false);
}

void HierarchyData::OnAtomAdded(std::uint32_t)
{
    if (m_cell)
        MarkDirty(false);
}

void HierarchyData::OnObjectAdded(std::uint32_t) {}

void HierarchyData::OnBondDeleted(std::uint32_t oid)
{
    if (m_cell)
        m_bonds.OnBondDeleted(oid);
}

void HierarchyData::OnBondTypeChanged(std::uint32_t oid)
{
    if (m_cell)
        m_bonds.OnBondTypeChanged(oid);
}

void HierarchyData::OnAtomXYZChanged(std::uint32_t oid)
{
    const Atom* const source = static_cast<const Atom*>(FindBelowCell(oid, true));
    std::int32_t member = -1;
    const std::int32_t index = source ? FindAtomFamily(oid, member) : -1;
    if (index < 0)
        return;
    ReplicateAtomList& list = m_atomLists[At(index)];
    const SymmetryImageKey key = list.members[At(member)].key;
    if (key.op < 0 || At(key.op) >= m_operations.size())
        return;
    // The site symmetry keeps an atom on a special position on it.
    Matrix3x3 site;
    if (m_operationTable)
        m_operationTable->GetMatrix(list.operationTableIndex, site);
    const Matrix4x4& operation = m_operations[At(key.op)];
    const Matrix3x3 rotation = operation.GetMatrix3x3();
    Matrix3x3 inverse = rotation;
    if (!inverse.Invert())
        return;
    const Point3d translation = operation.GetTranslation() + Point3d(key.a, key.b, key.c);
    const Point3d before = list.fractionalPosition * rotation + translation;
    const Point3d after = source->GetXYZ() * m_cartesianToFractional;
    list.fractionalPosition += (after - before) * inverse * site;
    const Point3d unit = list.fractionalPosition;
    for (std::size_t m = 0; m < m_atomLists[At(index)].members.size(); ++m) {
        const ReplicateMember image = m_atomLists[At(index)].members[m];
        if (image.key.op < 0 || At(image.key.op) >= m_operations.size())
            continue;
        auto* const atom = static_cast<Atom*>(FindBelowCell(image.oid, true));
        if (!atom)
            continue;
        Point3d position = unit;
        m_operations[At(image.key.op)].Transform(position);
        position += Point3d(image.key.a, image.key.b, image.key.c);
        atom->SetXYZ(position * m_fractionalToCartesian);
    }
}

} // namespace Tavrel
