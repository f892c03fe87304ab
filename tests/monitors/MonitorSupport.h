// MonitorSupport: small structures and an event counter shared by the monitor tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/monitors/GeometryMonitor.h>
#include <tavrel/platform/Archive.h>

namespace MonitorSupport {

inline Tavrel::Atom3d* AddAtom(Tavrel::Object* parent, const char* symbol, double x, double y, double z)
{
    auto* const atom = new Tavrel::Atom3d(parent, symbol);
    atom->SetXYZ(Tavrel::Point3d(x, y, z));
    return atom;
}

// The objects in order, as a selection or an atom set is handed over.
inline Tavrel::OrdCollection Selection(std::initializer_list<Tavrel::Object*> objects)
{
    Tavrel::OrdCollection selection;
    for (Tavrel::Object* object : objects)
        selection.Add(object);
    return selection;
}

// The first child of the class, or null.
template <class T>
T* FirstChild(const Tavrel::Object& parent)
{
    for (int i = 0; i < parent.GetNumChildren(); ++i) {
        if (auto* const child = Tavrel::DynCast<T>(parent.GetChild(i)))
            return child;
    }
    return nullptr;
}

// The entries of an ordered collection, in order.
inline std::vector<Tavrel::Object*> Entries(const Tavrel::OrdCollection& collection)
{
    std::vector<Tavrel::Object*> entries;
    for (int i = 0; i < collection.GetSize(); ++i)
        entries.push_back(collection.GetAt(i));
    return entries;
}

// The names of the last `count` properties the object lists, in order.
inline std::vector<std::string> LastListed(const Tavrel::Object& object, std::size_t count)
{
    Tavrel::ObjectProperty::Array listed;
    object.GetProperties(listed);
    std::vector<std::string> names;
    for (std::size_t i = listed.size() > count ? listed.size() - count : 0; i < listed.size(); ++i)
        names.push_back(listed[i].GetName());
    return names;
}

// A molecule of two bonded atoms.
struct BondedPair {
    BondedPair(Tavrel::Object* parent, const char* firstSymbol, const Tavrel::Point3d& firstAt,
               const char* secondSymbol, const Tavrel::Point3d& secondAt)
        : molecule(new Tavrel::Molecule(parent)),
          first(AddAtom(molecule, firstSymbol, firstAt.x, firstAt.y, firstAt.z)),
          second(AddAtom(molecule, secondSymbol, secondAt.x, secondAt.y, secondAt.z))
    {
        first->MakeBond(second, Tavrel::Bond::Single);
    }
    Tavrel::Molecule* molecule;
    Tavrel::Atom3d* first;
    Tavrel::Atom3d* second;
};

// A crowded random structure below parent: molecules of short bonded chains of C, N and O with
// some hydrogens, some atoms hidden, some without a style, so that close contacts of every kind occur.
inline std::vector<Tavrel::Atom3d*> RandomStructure(Tavrel::Object* parent, int atoms, double side, std::uint64_t seed)
{
    Tavrel::UniformRandomSequence random(0.0, 1.0, seed);
    std::vector<Tavrel::Atom3d*> made;
    Tavrel::Molecule* molecule = nullptr;
    static const char* const symbols[] = {"C", "C", "N", "O"};
    for (int i = 0; i < atoms; ++i) {
        if (i % 12 == 0)
            molecule = new Tavrel::Molecule(parent);
        const bool hydrogen = i % 12 > 0 && random() < 0.3;
        auto* const atom = AddAtom(molecule, hydrogen ? "H" : symbols[static_cast<int>(random() * 4) % 4],
                                   random() * side, random() * side, random() * side);
        if (i % 12 > 0)
            (hydrogen ? made[made.size() - 1 - static_cast<std::size_t>(random() * 2) % (i % 12)] : made.back())
                ->MakeBond(atom, Tavrel::Bond::Single);
        if (random() < 0.05)
            atom->SetInvisible(false);
        if (random() < 0.05)
            atom->SetDisplayStyle(0);
        made.push_back(atom);
    }
    return made;
}

// The dashed lines of a display list, as (from, to).
inline std::vector<std::pair<Tavrel::Point3d, Tavrel::Point3d>> DashedLines(const Tavrel::DisplayList3D& list)
{
    std::vector<std::pair<Tavrel::Point3d, Tavrel::Point3d>> lines;
    for (const Tavrel::LinePrimitive* line : list.GetAll<Tavrel::LinePrimitive>()) {
        if (line->IsDashed())
            lines.emplace_back(line->GetFrom(), line->GetTo());
    }
    return lines;
}

// The document saved to its file and loaded into a new one.
inline std::unique_ptr<Tavrel::ChemDoc> Reloaded(Tavrel::ChemDoc& document)
{
    Tavrel::Archive out;
    document.Serialize(out);
    auto loaded = std::make_unique<Tavrel::ChemDoc>();
    Tavrel::Archive in(out.GetBuffer());
    loaded->Serialize(in);
    return loaded;
}

inline bool Alive(std::uint32_t oid)
{
    return Tavrel::Base::GetObjectA(oid) != nullptr;
}

// Counts the recalculated events of every geometry monitor below a node, by the monitor's OID, through
// a tree-wide registration.
class RecalculationCounter {
public:
    explicit RecalculationCounter(Tavrel::TreeNode& top) : m_top(top)
    {
        m_top.RegisterEvent(Tavrel::TreeNode::classType, Tavrel::TreeNode::EventTreeWide, &Heard, true, this, nullptr);
    }
    ~RecalculationCounter() { m_top.UnregisterAllEvents(this); }
    RecalculationCounter(const RecalculationCounter&) = delete;
    RecalculationCounter& operator=(const RecalculationCounter&) = delete;

    int Of(const Tavrel::Base& monitor) const
    {
        const auto found = m_counts.find(monitor.GetOID());
        return found == m_counts.end() ? 0 : found->second;
    }
    int Total() const
    {
        int total = 0;
        for (const auto& [oid, count] : m_counts)
            total += count;
        return total;
    }

private:
    static void Heard(Tavrel::Event& event)
    {
        if (event.CheckType(Tavrel::GeometryMonitor::classType, Tavrel::GeometryMonitor::EventRecalculated))
            ++static_cast<RecalculationCounter*>(event.GetData())->m_counts[event.GetTreeNodeOID()];
    }

    Tavrel::TreeNode& m_top;
    std::map<std::uint32_t, int> m_counts;
};

} // namespace MonitorSupport
