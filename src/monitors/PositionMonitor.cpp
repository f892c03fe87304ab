#include <tavrel/monitors/PositionMonitor.h>

#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/graphics/AnnotationProperty.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(PositionMonitor)

PositionMonitor::PositionMonitor(Geometric* object) : PositionMonitor(nullptr, object) {}

PositionMonitor::PositionMonitor(Object* parent, Geometric* object) : GeometryMonitor(parent), m_createLabel(true)
{
    GeometryMonitor::AddMonitoredItem(object);
}

const PropertyTable& PositionMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<PositionMonitor>().Field<&PositionMonitor::m_createLabel>("Create Label").StreamOnly());
    return table;
}

void PositionMonitor::Update(Event& event)
{
    if (event.GetEventType() == Geometric::EventMoved)
        UpdatePosition();
}

void PositionMonitor::UpdatePosition()
{
    const Point3d position = GetItemPosition(0);
    if (position == Geometric3d::GetXYZ())
        return;
    const Watch self(this);
    SetNeedsRecalc(true);
    Geometric3d::SetXYZ(position);
    if (self.alive)
        SetNeedsRecalc(false);
}

void PositionMonitor::Calculate()
{
    if (const auto* const object = DynCast<Geometric>(GetItem(0)))
        FinishCalculation(object->GetXYZ());
    else
        SetNeedsRecalc(false);
}

void PositionMonitor::MakeLabel()
{
    if (!m_createLabel)
        return;
    const Watch self(this);
    AnnotationProperty* const label = AnnotationProperty::Create(this, "XYZ", GetColor(), GetAnnotationXYZ(), true);
    if (!self.alive)
        return;
    m_createLabel = false;
    if (!label)
        return;
    label->SetUpdatePosition(false);
    if (IsSelected())
        label->Select(true);
}

void PositionMonitor::NormalDisplay(DisplayList3D&)
{
    const Watch self(this);
    MakeLabel();
    if (!self.alive)
        return;
    if (Annotation* const label = GetAnnotationObject()) {
        if (CheckAllObjects(static_cast<ItemPredicate>(&Object::CheckDisplayed)))
            label->SetInvisible(false);
        else
            label->SetVisible(true);
    }
}

} // namespace Tavrel
