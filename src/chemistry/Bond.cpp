#include <tavrel/chemistry/Bond.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Bondable.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyPass.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Bond)

namespace {

constexpr const char* ConformerIndexKey = "_~bci~_";

struct NamedType {
    const char* name;
    Bond::BondType type;
};

// The words SetType takes, in the order they are tried.
constexpr NamedType SettableTypes[] = {
    {"Ionic", Bond::Ionic},       {"Single", Bond::Single},
    {"Partial double", Bond::PartialDouble}, {"Aromatic", Bond::Aromatic},
    {"Double", Bond::Double},     {"Partial Triple", Bond::PartialTriple},
    {"Triple", Bond::Triple},     {"Quadruple", Bond::Quadruple},
    {"Pi", Bond::Pi},             {"Dative", Bond::Dative},
    {"Dative double", Bond::DativeDouble}, {"Dative triple", Bond::DativeTriple},
    {"Dative quadruple", Bond::DativeQuadruple},
};

bool IsDative(Bond::BondType type)
{
    return type >= Bond::Dative && type <= Bond::DativeQuadruple;
}

Object* CommonParent(Bondable* atom1, Bondable* atom2)
{
    return atom1 && atom2 ? DynCast<Object>(atom1->TreeNode::FindCommonAncestor(atom2)) : nullptr;
}

// The nearest ancestor that is not an atom.
const Object* Container(const Bondable* end)
{
    const Object* above = end->GetParent();
    while (above && IsA<Atom>(above))
        above = above->GetParent();
    return above;
}

std::string Label(const Object* object)
{
    return object ? object->GetLabel() : std::string();
}

} // namespace

Bond::Bond() = default;

Bond::Bond(Object* parent) : Geometric(parent) {}

Bond::Bond(Bondable* atom1, Bondable* atom2, BondType type) : Bond(CommonParent(atom1, atom2), atom1, atom2, type) {}

Bond::Bond(Object* parent, Bondable* atom1, Bondable* atom2, BondType type)
    : Geometric(parent), m_atom1(atom1), m_atom2(atom2)
{
    const ConstructionScope construction(*this);
    // As in Geometric: tree registrations above reach this level's mask byte.
    SetMaskFromParents();
    Object::SetDisplayStyle(1);
    Link(type);
}

void Bond::Link(BondType type)
{
    m_atom1->AddBond(this);
    m_atom2->AddBond(this);
    SetType(type);
}

Bond::~Bond()
{
    DoNotify(classType, EventDeleted, nullptr, nullptr);
    for (Bondable* end : {m_atom1, m_atom2}) {
        if (!end)
            continue;
        for (int i = end->GetNumBonds() - 1; i >= 0; --i) {
            if (i < end->GetNumBonds() && end->GetBond(i) == this)
                end->RemoveBond(i);
        }
    }
}

bool Bond::CanShallowCopy() const
{
    const TreeNode* const root = GetCopyRoot();
    const auto inside = [root](const TreeNode* node) { return node && (node == root || node->HasAncestor(root)); };
    return inside(this) && inside(m_atom1) && inside(m_atom2);
}

void Bond::DeepenShallowCopy()
{
    Geometric::DeepenShallowCopy();
    m_atom1 = DynCast<Bondable>(m_atom1 ? m_atom1->Copy() : nullptr);
    m_atom2 = DynCast<Bondable>(m_atom2 ? m_atom2->Copy() : nullptr);
    if (m_atom1)
        m_atom1->AddBond(this);
    if (m_atom2 && m_atom2 != m_atom1)
        m_atom2->AddBond(this);
}

// ---- Queries

void Bond::GetAtoms(Bondable*& atom1, Bondable*& atom2) const
{
    atom1 = m_atom1;
    atom2 = m_atom2;
}

Point3d Bond::GetMidPoint() const
{
    return MidPoint(m_atom1->GetXYZ(), m_atom2->GetXYZ());
}

double Bond::GetValenceContribution(const Bondable* end) const
{
    if (!IsDative(m_type))
        return m_order;
    return end == m_atom1 ? m_order + 1.0 : m_order - 1.0;
}

double Bond::GetLength() const
{
    return Distance(m_atom1->GetXYZ(), m_atom2->GetXYZ());
}

bool Bond::FindBond(const Bondable* a, const Bondable* b) const
{
    return (a == m_atom1 && b == m_atom2) || (a == m_atom2 && b == m_atom1);
}

bool Bond::IsTerminal() const
{
    return m_atom1->IsTerminal() || m_atom2->IsTerminal();
}

bool Bond::IsVisible() const
{
    return m_atom1 && m_atom2 && m_atom1->IsVisible() && m_atom2->IsVisible();
}

std::int32_t Bond::GetDisplayStyle() const
{
    if (!m_atom1 || !m_atom2)
        return Object::GetDisplayStyle();
    const std::int32_t style1 = m_atom1->GetDisplayStyle();
    const std::int32_t style2 = m_atom2->GetDisplayStyle();
    if (style1 == 6 || style2 == 6)
        return 6;
    return std::min(style1, style2);
}

float Bond::GetDisplaySize() const
{
    const Atom* const atom = DynCast<Atom>(m_atom1);
    if (!atom)
        return 0.0f;
    switch (GetDisplayStyle()) {
    case 2:
    case 3:
    case 7:
    case 8:
    case 9:
    case 10: return atom->GetStickRadius();
    case 4: return atom->GetCPKScale() * atom->GetVDWRadius();
    default: return 0.0f;
    }
}

Point3d Bond::GetAnnotationXYZ() const
{
    const Point3d direction = (m_atom1->GetXYZ() - m_atom2->GetXYZ()).Normal();
    return GetMidPoint() + direction * (GetDisplaySize() + 0.1);
}

std::string Bond::GetLabel() const
{
    std::string own = Object::GetLabel();
    if (!own.empty() || !m_atom1 || !m_atom2)
        return own;
    const Object* const container1 = Container(m_atom1);
    const Object* const container2 = Container(m_atom2);
    if (container1 == container2)
        return StringUtils::Format("%s - %s", m_atom1->GetLabel(), m_atom2->GetLabel());
    return StringUtils::Format("%s:%s - %s:%s", Label(container1), m_atom1->GetLabel(), Label(container2),
                               m_atom2->GetLabel());
}

const char* Bond::GetOrderName(BondType type)
{
    if (IsDative(type))
        return "Dative";
    for (const NamedType& named : SettableTypes) {
        if (named.type == type)
            return named.name;
    }
    return "Unknown";
}

std::string Bond::GetOrderName() const
{
    return GetOrderName(m_type);
}

// ---- Changes

void Bond::SetOrder(double order)
{
    m_order = static_cast<float>(order);
}

void Bond::SetOrder(BondType type)
{
    switch (type) {
    case Ionic: m_order = 0.0f; break;
    case Single:
    case Dative: m_order = 1.0f; break;
    case PartialDouble:
    case Aromatic: m_order = 1.5f; break;
    case Double:
    case DativeDouble: m_order = 2.0f; break;
    case PartialTriple: m_order = 2.5f; break;
    case Triple:
    case DativeTriple: m_order = 3.0f; break;
    case Quadruple:
    case DativeQuadruple: m_order = 4.0f; break;
    default: break;
    }
}

void Bond::SetType(BondType type)
{
    m_type = type;
    SetOrder(type);
    const Watch self(this);
    DoNotify(Object::classType, Object::EventPropertySet, nullptr, nullptr);
    if (!self.alive)
        return;
    DoNotify(classType, EventTypeSet, nullptr, nullptr);
    for (Bondable* end : {m_atom1, m_atom2}) {
        if (!self.alive)
            return;
        if (Atom* const atom = DynCast<Atom>(end))
            atom->SetHybridization(atom->PerceiveHybridization());
    }
}

bool Bond::SetType(std::string_view name)
{
    for (const NamedType& named : SettableTypes) {
        if (StringUtils::EqualsNoCase(name, named.name)) {
            SetType(named.type);
            return true;
        }
    }
    return false;
}

bool Bond::SetLength(double length)
{
    if (!HasEnds() || !std::isfinite(length) || length <= 0.0)
        return false;
    Bondable* const atom1 = m_atom1;
    Bondable* const atom2 = m_atom2;
    const Point3d p1 = atom1->GetXYZ();
    const Point3d p2 = atom2->GetXYZ();
    if (p1 == p2)
        return false;
    SetCollection side1;
    SetCollection side2;
    SetCollection crossed;
    SetCollection stop1;
    SetCollection stop2;
    stop1.Add(atom2);
    stop2.Add(atom1);
    atom1->GetFragment(&side1, &crossed, &stop1, nullptr, true);
    crossed.RemoveAll();
    atom2->GetFragment(&side2, &crossed, &stop2, nullptr, true);
    if (side1 == side2) {
        atom1->SetXYZ(p2 + ChangeLength(p1 - p2, length));
        return true;
    }
    const Point3d shift = (p1 + ChangeLength(p2 - p1, length)) - p2;
    side2.Remove(atom1);
    for (Object* moved : side2.GetMembers()) {
        if (auto* const positioned = DynCast<Geometric>(moved))
            positioned->SetXYZ(positioned->GetXYZ() + shift);
    }
    return true;
}

void Bond::UpdateClipped()
{
    if (m_atom1 && m_atom2)
        SetClipped(m_atom1->IsClipped() && m_atom2->IsClipped());
}

// ---- Conformer index

void Bond::SetConformerIndex(std::int32_t index)
{
    SetProperty(ConformerIndexKey, index, 0);
}

std::int32_t Bond::GetConformerIndex() const
{
    std::int32_t index = -1;
    return GetProperty(ConformerIndexKey, index) ? index : -1;
}

bool Bond::HasConformers() const
{
    std::int32_t index = -1;
    return GetProperty(ConformerIndexKey, index) && index >= 0;
}

void Bond::ClearConformerIndex()
{
    RemoveProperty(ConformerIndexKey);
}

// ---- Text properties and persistence

const PropertyTable& Bond::Properties()
{
    static const PropertyTable table(
        &Object::Properties(),
        PropertyList<Bond>()
            .Text("Order")
            .Getter<&Bond::GetOrder>()
            .Format("%.2f")
            .ReadOnly()
            .Shown()
            .Text("Type")
            .GetText([](const Bond& bond) { return bond.GetOrderName(); })
            .SetText([](Bond& bond, std::string_view word) { return bond.SetType(word); })
            .Choices({"Single", "Partial double", "Aromatic", "Double", "Triple"})
            .Shown(ObjectProperty::CategoryChoice)
            .Text("Length")
            .Getter<&Bond::GetLength>()
            .Format("%.3f")
            .SetText([](Bond& bond, std::string_view text) {
                double length = 0.0;
                if (!StringUtils::StringToReal(text, length) || !(length > 0.0 && length <= MaxTextLength))
                    return false;
                return bond.SetLength(length);
            })
            .Shown()
            .Text("Stereochemistry")
            .GetText([](const Bond& bond) {
                const double order = bond.GetOrder();
                return order > 1.0 && order < 2.5 ? "E/Z" : "";
            })
            .ReadOnly()
            // The stored properties.
            .ArchiveOnly([](const Bond&, Archive& archive) { archive << std::int32_t{0} << std::int32_t{0} << std::int32_t{0}; },
                         [](Bond&, Archive& archive) {
                             std::int32_t offset[3] = {};
                             archive >> offset[0] >> offset[1] >> offset[2];
                         })
            .Reference("Atom1", [](const Bond& bond) { return bond.m_atom1; }, [](Bond& bond, Bondable* end) { bond.m_atom1 = end; })
            .Reference("Atom2", [](const Bond& bond) { return bond.m_atom2; }, [](Bond& bond, Bondable* end) { bond.m_atom2 = end; })
            .Field<Storage::StorageInt, &Bond::m_type>("BondType")
            .Field<&Bond::m_wedge>("WedgeType")
            .ArchiveField<&Bond::m_order>()
            .Field<&Bond::m_inRing>("BondInRing")
            .ArchiveDropped<std::int32_t>(2)
            .BeforeRecord([](Bond& bond, Archive& archive, PropertyArchive*) {
                if (archive.IsLoading())
                    bond.m_reading = true;
            })
            .AfterRecord([](Bond& bond, Archive& archive, PropertyArchive* stream) {
                if (archive.IsLoading()) {
                    bond.m_reading = false;
                    if (stream) {
                        // The stream keeps no order: the type gives it.
                        bond.SetOrder(bond.m_type);
                        stream->FinishObject(&bond);
                    } else if (!bond.HasEnds()) {
                        throw ArchiveException(ArchiveException::badIndex);
                    }
                }
                bond.UpdateClipped();
            }));
    return table;
}

void Bond::FinishLoading(std::uint32_t schema)
{
    Geometric::FinishLoading(schema);
    if (!HasEnds()) {
        // Every end that listed this bond has dropped it by now: its finishing ran first.
        delete this;
        return;
    }
    for (Bondable* end : {m_atom1, m_atom2}) {
        const auto bonds = end->GetBonds();
        if (std::find(bonds.begin(), bonds.end(), this) == bonds.end())
            end->PushBond(this);
    }
}

} // namespace Tavrel
