// The objects a model object refers to without owning them, for fuzz targets that free what a read left.
#pragma once

#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Bondable.h>
#include <tavrel/conformers/Animation.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ObjectFrame.h>
#include <tavrel/conformers/Trajectory.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/monitors/Monitor.h>

namespace Tavrel {

// An object's user-property table, private ones included, which the public interface lists only in part.
struct UserPropertiesOf : Object {
    static const Property& Table(const Object& object)
    {
        constexpr auto table = &UserPropertiesOf::GetUserPropertyTable;
        return (object.*table)();
    }
};

// visit(Base*) for each member of a collection, item of a monitor, end of a bond, bond of an end,
// atom and bond of a conformer, conformer of a conformer model, frame of an animation or trajectory,
// object and frame of a trajectory frame, and object a user property holds; a record may name ones
// that no tree adopted.
template <class Visit>
void VisitUnownedReferences(const Base& object, Visit&& visit)
{
    if (const auto* const holder = DynCast<Object>(&object); holder && holder->HasUserProperties()) {
        const Property& properties = UserPropertiesOf::Table(*holder);
        for (std::int32_t i = 0; i < properties.GetNumProperties(); ++i) {
            Base* held = nullptr;
            if (properties.GetProperty(properties.GetPropertyName(i), held) && held)
                visit(held);
        }
    }
    if (const auto* const collection = DynCast<BaseCollection>(&object)) {
        for (POSITION position = collection->GetStartPosition(); position;) {
            if (Object* const member = collection->GetNext(position))
                visit(member);
        }
    }
    if (const auto* const monitor = DynCast<Monitor>(&object)) {
        for (int i = 0; i < monitor->GetNumItemsMonitoring(); ++i) {
            if (Object* const item = monitor->GetItem(i))
                visit(item);
        }
    }
    if (const auto* const bond = DynCast<Bond>(&object)) {
        for (Bondable* const end : {bond->GetAtom1(), bond->GetAtom2()}) {
            if (end)
                visit(end);
        }
    }
    if (const auto* const end = DynCast<Bondable>(&object)) {
        for (Bond* const bond : end->GetBonds())
            visit(bond);
    }
    if (DynCast<Conformer>(&object) || DynCast<ConformerModel>(&object)) {
        OrdCollection members;
        if (const auto* const conformer = DynCast<Conformer>(&object)) {
            conformer->GetConformerAtomSet(members);
            conformer->GetConformerBondSet(members);
        } else {
            static_cast<const ConformerModel&>(object).GetConformerSet(members);
        }
        for (int i = 0; i < members.GetSize(); ++i)
            visit(members.GetAt(i));
    }
    if (const auto* const animation = DynCast<Animation>(&object)) {
        for (Object* const frame : animation->GetFrames())
            visit(frame);
    }
    if (const auto* const trajectory = DynCast<Trajectory>(&object)) {
        for (TrajectoryFrame* const frame : trajectory->GetFrames())
            visit(frame);
    }
    if (const auto* const moment = DynCast<TrajectoryFrame>(&object)) {
        for (const auto& [member, frame] : moment->GetPairs()) {
            visit(member);
            visit(frame);
        }
    }
}

} // namespace Tavrel
