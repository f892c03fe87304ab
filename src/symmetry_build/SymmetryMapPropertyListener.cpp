#include <tavrel/symmetry_build/SymmetryMapPropertyListener.h>

#include <string_view>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

namespace Tavrel {

namespace {

// The atom properties copied to a whole family, in the order they are compared.
struct CopiedProperty {
    const char* name;
    void (SymmetryMap::*handler)(std::uint32_t);
};

const CopiedProperty copiedProperties[] = {
    {"Hybridization", &SymmetryMap::OnAtomHybridizationChanged},
    {"Partial Charge", &SymmetryMap::OnAtomPartialChargeChanged},
    {"CPK Scale", &SymmetryMap::OnAtomCPKScaleChanged},
    {"Ball Size", &SymmetryMap::OnAtomBallSizeChanged},
    {"Stick Radius", &SymmetryMap::OnAtomStickRadiusChanged},
};

} // namespace

SymmetryMapPropertyListener::SymmetryMapPropertyListener(Cell3d* cell) : RootEventListener(cell)
{
    AttachRoot();
    Subscribe();
}

SymmetryMapPropertyListener::~SymmetryMapPropertyListener()
{
    DetachRoot();
    UnregisterAll();
}

std::span<const RootEventListener::Registration> SymmetryMapPropertyListener::Registrations() const
{
    using L = SymmetryMapPropertyListener;
    const auto changed = &Deliver<L, &L::OnPropertyChanged, true>;
    static const Registration registrations[] = {
        {Object::classType, Object::EventPropertyCreated, &Deliver<L, &L::OnPropertyAdded, true>},
        {Object::classType, Object::EventPropertyRemoved, &Deliver<L, &L::OnPropertyRemoved, true>},
        {Object::classType, Object::EventPropertySet, changed, copiedProperties[0].name},
        {Object::classType, Object::EventPropertySet, changed, copiedProperties[1].name},
        {Object::classType, Object::EventPropertySet, changed, copiedProperties[2].name},
        {Object::classType, Object::EventPropertySet, changed, copiedProperties[3].name},
        {Object::classType, Object::EventPropertySet, changed, copiedProperties[4].name},
        {Object::classType, Object::EventLabelSet, &Deliver<L, &L::OnLabelChanged>},
        {Atom3d::classType, Atom3d::EventElementSet, &Deliver<L, &L::OnAtomTypeChanged>},
        {Atom3d::classType, Atom3d::EventFormalChargeSet, &Deliver<L, &L::OnAtomFormalChargeChanged>},
        {Bond::classType, Bond::EventTypeSet, &Deliver<L, &L::OnBondTypeChanged>},
    };
    return registrations;
}

void SymmetryMapPropertyListener::OnPropertyAdded(std::uint32_t, const char*) {}

void SymmetryMapPropertyListener::OnPropertyRemoved(std::uint32_t, const char*) {}

void SymmetryMapPropertyListener::OnPropertyChanged(std::uint32_t oid, const char* attribute)
{
    if (!attribute || !*attribute)
        return;
    for (const CopiedProperty& property : copiedProperties) {
        if (StringUtils::EqualsNoCase(attribute, property.name)) {
            Forward([oid, handler = property.handler](SymmetryMap& map) { (map.*handler)(oid); });
            return;
        }
    }
}

void SymmetryMapPropertyListener::OnLabelChanged(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnLabelChanged(oid); });
}

void SymmetryMapPropertyListener::OnAtomTypeChanged(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnAtomTypeChanged(oid); });
}

void SymmetryMapPropertyListener::OnAtomFormalChargeChanged(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnAtomFormalChargeChanged(oid); });
}

void SymmetryMapPropertyListener::OnBondTypeChanged(std::uint32_t oid)
{
    Forward([oid](SymmetryMap& map) { map.OnBondTypeChanged(oid); });
}

} // namespace Tavrel
