// MonitorSupport: small structures and an event counter shared by the monitor tests.
#pragma once

#include <cstdint>
#include <map>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
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
