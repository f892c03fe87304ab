// Restraint: a constraint held by a force term rather than fixed, drawn in its own colour.
#pragma once

#include <cstdint>
#include <initializer_list>

#include <tavrel/foundation/Event.h>
#include <tavrel/monitors/Constraint.h>

namespace Tavrel {

class Monitor;

// A new restraint is light blue (0, 200, 255). Persists nothing of its own.
class Restraint : public Constraint {
    TAVREL_CLASS_CONSTRUCTED(Restraint, Constraint, Creatable)
public:
    static Color GetRestraintDefaultColor() { return Color(0, 200, 255, 0); }

    Color GetDefaultColor() const override;
    // AdjustColor of the stored colour.
    Color GetColor() const override;

protected:
    explicit Restraint(Object* parent);

    // The colour shown for the stored one; unchanged at this level.
    virtual Color AdjustColor(const Color& color) const;

    // The monitors a restraint owns have no parent (Monitor::SetOwner) and carry one plain watch of
    // their deletion with the restraint as data. They are kept by OID, so that one going away (or
    // already in its destruction) is never touched.
    // The monitor can become this restraint's: of the class (exactly), without parent or owner.
    static bool IsOwnable(const Monitor* monitor, std::uint32_t type);
    // Owns the monitor and watches its deletion with the callback.
    void Own(Monitor& monitor, Event::Callback onDeleted);
    // Gives the monitor up: the watch and the ownership go, then the monitor is deleted unless a
    // parent holds it. Nothing for a monitor that no longer exists.
    void Disown(std::uint32_t monitorOID, Event::Callback onDeleted);
    // The monitors that still exist, in order, take the drawing colour (no event), then draw into one
    // list tagged with the restraint's OID (their group), which is appended to the given one. When a
    // listener deletes the restraint meanwhile, nothing more is drawn or appended.
    void DisplayOwned(std::initializer_list<std::uint32_t> monitorOIDs, DisplayList3D& list);
    // The live object of the OID as a T, or null.
    template <class T>
    static T* Find(std::uint32_t oid)
    {
        return oid != 0 ? DynCast<T>(Object::GetObjectA(oid)) : nullptr;
    }
};

} // namespace Tavrel
