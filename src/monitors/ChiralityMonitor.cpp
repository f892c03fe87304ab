#include <tavrel/monitors/ChiralityMonitor.h>

#include <unordered_set>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(ChiralityMonitor)

namespace {

// The OIDs of the Atom3d descendants of the parent, in pre-order: the candidates are found again by
// OID, as the atoms' answers raise events that listeners may act on.
std::vector<std::uint32_t> AtomsBelow(Object* parent)
{
    std::vector<std::uint32_t> atoms;
    if (!parent)
        return atoms;
    DescendentIterator walk(parent, Atom3d::classType, false);
    while (const Object* const atom = walk.GetNext())
        atoms.push_back(atom->GetOID());
    return atoms;
}

} // namespace

ChiralityMonitor::ChiralityMonitor(Object* parent) : GeometryMonitor(parent), m_tree(true)
{
    SetColor(Color::Green());
    const Watch self(this);
    WatchChemistry(parent);
    if (self.alive)
        CollectChiralAtoms(AtomsBelow(parent));
}

const PropertyTable& ChiralityMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<ChiralityMonitor>()
            .Field<&ChiralityMonitor::m_tree>("ChiralityMonitor Tree Monitor")
            .Text("Chiral atoms")
            .Getter<&ChiralityMonitor::GetNumberOfChiralAtoms>()
            .ReadOnly()
            .Shown()
            .AfterRecord([](ChiralityMonitor& monitor, Archive&, PropertyArchive*) { monitor.SetNeedsRecalc(true); }));
    return table;
}

int ChiralityMonitor::GetNumberOfChiralAtoms() const
{
    return m_numberOfChiralAtoms.Get();
}

void ChiralityMonitor::CollectChiralAtoms(std::span<const std::uint32_t> objects)
{
    const Watch self(this);
    // Each parent is watched once per collection: a tree registration walks the parent's subtree.
    std::unordered_set<const Object*> watched{GetParent()};
    for (const std::uint32_t oid : objects) {
        auto* const atom = DynCast<Atom3d>(Object::GetObjectA(oid));
        if (!atom || atom->GetElementType() != 6 || (atom->GetNumAttached() < 4 && atom->GetNumHydrogens() > 1))
            continue;
        const Atom::Chirality chirality = atom->GetChirality(true);
        if (!self.alive)
            return;
        if (chirality == Atom::ChiralityUndetermined || chirality == Atom::NotStereocentre)
            continue;
        m_chiralAtoms.Get().push_back(oid);
        Object* const parent = atom->GetParent();
        if (parent && watched.insert(parent).second)
            WatchChemistry(parent);
        if (!self.alive)
            return;
    }
}

void ChiralityMonitor::Calculate()
{
    const Watch self(this);
    m_chiralAtoms.Get().clear();
    WatchChemistry(GetParent());
    if (self.alive)
        CollectChiralAtoms(AtomsBelow(GetParent()));
    if (self.alive)
        SetNeedsRecalc(false);
}

void ChiralityMonitor::NormalDisplay(DisplayList3D& list)
{
    if (!Refresh())
        return;
    const Watch self(this);
    const Color color = GetDrawingColor();
    m_numberOfChiralAtoms = 0;
    // By index: a listener of the atoms' answers may bring the monitor up to date meanwhile.
    const std::vector<std::uint32_t>& atoms = m_chiralAtoms.Get();
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        auto* const atom = DynCast<Atom>(Object::GetObjectA(atoms[i]));
        if (!atom || !atom->IsVisible() || atom->GetDisplayStyle() == 0)
            continue;
        const std::string text = atom->GetChiralityAsString();
        if (!self.alive)
            return;
        ++m_numberOfChiralAtoms.Get();
        const Point3d position = atom->GetXYZ();
        list.Add(Text3DPrimitive(text, position, Distance(position, atom->GetAnnotationXYZ()), color,
                                 Font::DefaultBigFont(), GetOID()));
    }
}

} // namespace Tavrel
