// SymmetryMapPropertyListener: hands property, label, element, charge and bond-type changes below a cell to its symmetry map.
#pragma once

#include <cstdint>

#include <tavrel/symmetry_build/RootEventListener.h>

namespace Tavrel {

// Hears (Object: property added, removed, changed for "Hybridization", "Partial Charge", "CPK Scale",
// "Ball Size" and "Stick Radius", label changed), (Atom3d: element, formal charge) and (Bond: type)
// below the cell. Attribute texts are compared without regard to letter case.
class SymmetryMapPropertyListener final : public RootEventListener {
public:
    explicit SymmetryMapPropertyListener(Cell3d* cell);
    ~SymmetryMapPropertyListener() override;

    void OnPropertyAdded(std::uint32_t oid, const char* attribute);
    void OnPropertyRemoved(std::uint32_t oid, const char* attribute);
    // Nothing for a null or empty attribute or one of none of the five names.
    void OnPropertyChanged(std::uint32_t oid, const char* attribute);
    void OnLabelChanged(std::uint32_t oid);
    void OnAtomTypeChanged(std::uint32_t oid);
    void OnAtomFormalChargeChanged(std::uint32_t oid);
    void OnBondTypeChanged(std::uint32_t oid);

private:
    std::span<const Registration> Registrations() const override;
};

} // namespace Tavrel
