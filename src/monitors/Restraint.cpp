#include <tavrel/monitors/Restraint.h>

#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/Monitor.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Restraint)

Restraint::Restraint()
{
    Object::SetColor(GetRestraintDefaultColor());
}

Restraint::Restraint(Object* parent) : Constraint(parent)
{
    Object::SetColor(GetRestraintDefaultColor());
}

Color Restraint::GetDefaultColor() const
{
    return GetRestraintDefaultColor();
}

Color Restraint::GetColor() const
{
    return AdjustColor(Object::GetColor());
}

Color Restraint::AdjustColor(const Color& color) const
{
    return color;
}

bool Restraint::IsOwnable(const Monitor* monitor, std::uint32_t type)
{
    return monitor && monitor->GetClassType() == type && !monitor->GetParent() && !monitor->HasOwner();
}

void Restraint::Own(Monitor& monitor, Event::Callback onDeleted)
{
    monitor.SetOwner(this);
    monitor.RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, onDeleted, false, this, nullptr);
}

void Restraint::Disown(std::uint32_t monitorOID, Event::Callback onDeleted)
{
    Monitor* const monitor = Find<Monitor>(monitorOID);
    if (!monitor)
        return;
    monitor->UnregisterEvent(TreeNode::classType, TreeNode::EventDeleted, onDeleted, false, this, nullptr);
    monitor->SetOwner(nullptr);
    if (!monitor->GetParent())
        Discard(monitor);
}

void Restraint::DisplayOwned(std::initializer_list<std::uint32_t> monitorOIDs, DisplayList3D& list)
{
    const Color color = GetDrawingColor();
    for (const std::uint32_t oid : monitorOIDs) {
        if (Monitor* const monitor = Find<Monitor>(oid))
            monitor->SetColor(color);
    }
    const Watch self(this);
    DisplayList3D owned(list.GetMode());
    for (const std::uint32_t oid : monitorOIDs) {
        if (Monitor* const monitor = Find<Monitor>(oid))
            monitor->Display(owned);
        if (!self.alive)
            return;
    }
    owned.SetOID(GetOID());
    list.Append(owned);
}

} // namespace Tavrel
