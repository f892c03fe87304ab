// MonitorSupport: small structures and an event counter shared by the monitor tests.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/monitors/GeometryMonitor.h>

namespace MonitorSupport {

inline Tavrel::Atom3d* AddAtom(Tavrel::Object* parent, const char* symbol, double x, double y, double z)
{
    auto* const atom = new Tavrel::Atom3d(parent, symbol);
    atom->SetXYZ(Tavrel::Point3d(x, y, z));
    return atom;
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
