#include <tavrel/monitors/Constraint.h>

#include <algorithm>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Constraint)

Constraint::Constraint()
{
    Object::SetDisplayStyle(1);
    Object::SetColor(GetConstraintDefaultColor());
}

Constraint::Constraint(Object* parent) : Geometric(parent)
{
    Object::SetDisplayStyle(1);
    Object::SetColor(GetConstraintDefaultColor());
}

const PropertyTable& Constraint::Properties()
{
    static const PropertyTable table(PropertyList<Constraint>()
                                         .Field<&Constraint::m_enabled>("Enabled")
                                         .StreamOnly()
                                         .Shows("Enabled")
                                         .Accessors<&Constraint::CheckEnabled, &Constraint::SetEnabled>()
                                         .Shown(ObjectProperty::CategorySwitch));
    return table;
}

bool Constraint::CheckEnabled() const
{
    return m_enabled;
}

void Constraint::Disable()
{
    m_enabled = false;
}

void Constraint::Enable()
{
    m_enabled = true;
}

void Constraint::SetEnabled(bool enabled)
{
    if (enabled)
        Enable();
    else
        Disable();
}

Color Constraint::GetDefaultColor() const
{
    return GetConstraintDefaultColor();
}

std::string Constraint::GetLabel() const
{
    return FormatLabel(Object::GetLabel());
}

std::string Constraint::FormatLabel(const std::string& label) const
{
    return label;
}

std::string Constraint::ApplyLabelFormat(std::string_view format, std::string_view label)
{
    std::string text;
    bool placed = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char next = i + 1 < format.size() ? format[i + 1] : '\0';
        if (format[i] == '%' && next == '%') {
            text += '%';
            ++i;
        } else if (format[i] == '%' && next == 's' && !placed) {
            text += label;
            placed = true;
            ++i;
        } else {
            text += format[i];
        }
    }
    return placed ? text : std::string(label);
}

Color Constraint::GetDrawingColor() const
{
    return IsSelected() ? Color::Selected() : GetColor();
}

void Constraint::DisplayMarkers(const BaseCollection& atoms, DisplayList3D& list) const
{
    DisplayAtomMarkers(atoms, GetOID(), GetDrawingColor(), list);
}

void Constraint::DisplayAtomMarkers(const BaseCollection& atoms, std::uint32_t pickId, const Color& color,
                                    DisplayList3D& list)
{
    for (POSITION position = atoms.GetStartPosition(); position;) {
        const auto* const atom = DynCast<Atom>(atoms.GetNext(position));
        if (!atom || !atom->IsVisible() || atom->GetDisplayStyle() == 0 || !atom->IsActive())
            continue;
        const Point3d centre = atom->GetXYZ();
        const double radius = std::max(Distance(centre, atom->GetAnnotationXYZ()) + 0.05, 0.3);
        for (const ArcPrimitive& ring : ArcPrimitive::Cage(centre, radius, 6, color, 1.0, pickId))
            list.Add(ring);
    }
}

Point3d Constraint::CalculateAtomCentroid(const BaseCollection& atoms)
{
    // Summed in double precision, so that a centre of many atoms keeps its digits.
    double sum[3] = {0.0, 0.0, 0.0};
    int count = 0;
    for (POSITION position = atoms.GetStartPosition(); position;) {
        if (const auto* const atom = DynCast<Atom>(atoms.GetNext(position))) {
            const Point3d p = atom->GetXYZ();
            sum[0] += p.x;
            sum[1] += p.y;
            sum[2] += p.z;
            ++count;
        }
    }
    if (count == 0)
        return Point3d::origin;
    return Point3d(sum[0] / count, sum[1] / count, sum[2] / count);
}

} // namespace Tavrel
