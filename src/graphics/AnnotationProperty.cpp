#include <tavrel/graphics/AnnotationProperty.h>

#include <cstdint>
#include <utility>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(AnnotationProperty)

namespace {

// Switches the global event switch off for its lifetime and restores it.
class EventsOff {
public:
    EventsOff() : m_was(Base::GetEventNotify()) { Base::SetEventNotify(false); }
    ~EventsOff() { Base::SetEventNotify(m_was); }
    EventsOff(const EventsOff&) = delete;
    EventsOff& operator=(const EventsOff&) = delete;

private:
    bool m_was;
};

} // namespace

AnnotationProperty::AnnotationProperty(Object* parent, std::string_view propertyName)
    : Annotation(parent), m_propertyName(propertyName)
{
}

const PropertyTable& AnnotationProperty::Properties()
{
    static const PropertyTable table(
        PropertyList<AnnotationProperty>()
            .Field<Storage::StorageString, &AnnotationProperty::m_propertyName>("AnnotationProperty Name")
            .Field<Storage::StorageBool, &AnnotationProperty::m_updatePosition>("AnnotationProperty Update")
            .Text("Movable")
            .GetText([](const AnnotationProperty& label) { return label.m_updatePosition ? "false" : "true"; })
            .SetText([](AnnotationProperty& label, std::string_view text) {
                bool movable = false;
                if (!StringUtils::StringToBoolean(text, movable))
                    return false;
                label.m_updatePosition = !movable;
                return true;
            }));
    return table;
}

AnnotationProperty* AnnotationProperty::Create(Geometric* target, std::string_view propertyName, const Color& color,
                                               const Point3d& position, bool updatePosition)
{
    if (!target)
        return nullptr;
    for (int i = 0; i < target->GetNumChildren(); ++i) {
        if (auto* const existing = DynCast<AnnotationProperty>(target->GetChild(i)))
            return existing;
    }
    auto* const label = new AnnotationProperty(target, propertyName);
    const Watch alive(label);
    label->SetColor(color);
    label->SetUpdatePosition(updatePosition);
    label->SetXYZ(position);
    if (alive.alive)
        label->UpdateText();
    return alive.alive ? label : nullptr;
}

void AnnotationProperty::UpdateText()
{
    const Object* const parent = GetParent();
    if (!parent)
        return;
    std::string text = parent->GetPropertyAsString(m_propertyName);
    if (text == GetLabel())
        return;
    const EventsOff quiet;
    SetLabel(text);
}

void AnnotationProperty::NormalDisplay(DisplayList3D& list)
{
    if (const auto* const parent = DynCast<Geometric>(GetParent()); parent && m_updatePosition) {
        const Point3d position = parent->GetXYZ();
        if (position != GetXYZ())
            SetXYZ(position);
    }
    UpdateText();
    Annotation::NormalDisplay(list);
}

} // namespace Tavrel
