#include <tavrel/chemistry/AtomReading.h>

#include <typeinfo>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>

namespace Tavrel {

AtomReading AtomReading::Of(const Atom3d& atom)
{
    if (typeid(atom) != typeid(Atom3d))
        return {atom.GetAtomicNumber(), atom.GetFormalCharge(), atom.PerceiveHybridization(),
                atom.GetNumHydrogensToAdd()};
    AtomReading reading;
    const Element& element = atom.ElementRecord();
    reading.atomicNumber = element.GetAtomicNumber();
    reading.formalCharge = atom.Atom3d::GetFormalCharge();
    double valenceSum = 0.0;
    int doubles = 0;
    Atom::HybridizationType decided = Atom::PerceiveRequest;
    for (const Bond* bond : atom.GetBonds()) {
        valenceSum += bond->GetValenceContribution(&atom);
        if (decided == Atom::PerceiveRequest)
            decided = Atom3d::ScanBond(bond->GetType(), doubles);
    }
    const ElementType type = element.GetType();
    reading.hybridization =
        decided != Atom::PerceiveRequest
            ? decided
            : atom.HybridizationByCount(doubles, type, type == 7 && reading.formalCharge == Rational(1, 1));
    reading.hydrogensToAdd = atom.HydrogensToAdd(Atom3d::Clamped(reading.formalCharge), Atom3d::ValenceUsed(valenceSum));
    return reading;
}

} // namespace Tavrel
