#include <tavrel/monitors/TupleMonitor.h>

#include <unordered_set>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/features/PointFeature.h>
#include <tavrel/foundation/AncestorIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/monitors/CentroidMonitor.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(TupleMonitor)

namespace {

Color& DefaultColor()
{
    static Color color(50, 255, 50, 0);
    return color;
}

} // namespace

TupleMonitor::TupleMonitor()
{
    // The first instance built is the prototype.
    static const bool named = (SetCommonName("Tether"), true);
    static_cast<void>(named);
    SetColor(DefaultColor());
}

TupleMonitor::TupleMonitor(Object* parent, const OrdCollection& selection) : GeometryMonitor(parent)
{
    SetColor(DefaultColor());
    const OrdCollection members = ExtractMembers(selection);
    for (int i = 0; i < members.GetSize(); ++i)
        RegisterTreeEvent(members.GetAt(i), Geometric::classType, Geometric::EventMoved, false, nullptr);
}

const PropertyTable& TupleMonitor::Properties()
{
    static const PropertyTable table(
        PropertyList<TupleMonitor>()
            .Field<&TupleMonitor::m_displayLines>("TupleMonitor Display Lines")
            .Text("Show lines")
            .GetText([](const TupleMonitor& monitor) { return monitor.GetDisplayLines() ? "True" : "False"; })
            .SetText(SwitchText<&TupleMonitor::SetDisplayLines>{})
            .Shown(ObjectProperty::CategorySwitch)
            .AfterRecord([](TupleMonitor& monitor, Archive& archive, PropertyArchive*) {
                if (archive.IsLoading())
                    monitor.Calculate();
            }));
    return table;
}

std::int32_t TupleMonitor::GetProperties(ObjectProperty::Array& properties) const
{
    return ListObjectPropertiesThen(Properties(), properties);
}

Color TupleMonitor::GetDefaultTupleColor()
{
    return DefaultColor();
}

void TupleMonitor::SetDefaultTupleColor(const Color& color)
{
    DefaultColor() = color;
}

OrdCollection TupleMonitor::ExtractMembers(const OrdCollection& selection)
{
    OrdCollection members;
    ExtractObjects(selection, members, 0);
    const std::uint32_t kinds[] = {Atom::classType, CentroidMonitor::classType, PointFeature::classType};
    members.ApplyFilter(kinds, 3, OrdCollection::KeepMatching);
    return members;
}

bool TupleMonitor::CanCreate(const OrdCollection& selection)
{
    const OrdCollection members = ExtractMembers(selection);
    if (members.GetSize() < 2)
        return false;
    std::unordered_set<const Object*> molecules;
    for (int i = 0; i < members.GetSize(); ++i) {
        AncestorIterator up(members.GetAt(i), Molecule::classType, false);
        const Object* const molecule = up.GetNext();
        if (molecule && !molecules.insert(molecule).second)
            return false;
    }
    return true;
}

bool TupleMonitor::GetDisplayLines() const
{
    return m_displayLines;
}

void TupleMonitor::SetDisplayLines(bool display)
{
    m_displayLines = display;
}

std::string TupleMonitor::GetCommonName() const
{
    return "Tether";
}

bool TupleMonitor::ShouldDeleteMonitor() const
{
    return GetNumItemsMonitoring() < 2;
}

void TupleMonitor::Calculate()
{
    SetNeedsRecalc(false);
}

void TupleMonitor::SetXYZ(const Point3d&) {}

void TupleMonitor::NormalDisplay(DisplayList3D& list)
{
    const auto* const first = DynCast<Geometric>(GetItem(0));
    if (!first)
        return;
    const Color color = GetDrawingColor();
    const std::string text = StringUtils::Format("%d", GetID());
    const Point3d from = first->GetXYZ();
    const double offset = Distance(first->GetAnnotationXYZ(), from);
    for (int i = 0; i < GetNumItemsMonitoring(); ++i) {
        const auto* const member = DynCast<Geometric>(GetItem(i));
        if (!member || !member->IsVisible())
            continue;
        const Point3d position = member->GetXYZ();
        list.Add(Text3DPrimitive(text, position, offset, color, Font::DefaultBigFont(), GetOID()));
        if (m_displayLines && first->IsVisible())
            list.Add(LinePrimitive(from, position, color, 1.0, GetOID()));
    }
}

} // namespace Tavrel
