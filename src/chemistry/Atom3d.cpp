#include "chemistry/Atom3d.h"

#include <cmath>

#include "chemistry/ElementFactory.h"
#include "chemistry/Molecule.h"
#include "crystal/Cell3d.h"
#include "foundation/PropertyArchive.h"
#include "foundation/PropertyPass.h"
#include "foundation/PropertyTable.h"
#include "platform/Archive.h"
#include "symmetry_build/SymmetryMap.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS_IDENTITY(Atom3d, ClassKind::Creatable)

namespace {

constexpr const char* NumeratorKey = "_NFC";
constexpr const char* DenominatorKey = "_DFC";
constexpr const char* CrystalMarkers[] = {"_ASU", "_REP", "_RMI"};

// The nearest ancestor of the class, starting at node itself.
template <class T>
T* FindFrom(TreeNode* node)
{
    for (; node; node = node->GetParent()) {
        if (IsA<T>(node))
            return static_cast<T*>(node);
    }
    return nullptr;
}

const SymmetryMap* MapAbove(const Atom3d& atom)
{
    const Cell3d* const cell = FindFrom<Cell3d>(atom.GetParent());
    return cell ? cell->GetSymmetryMap() : nullptr;
}

} // namespace

Atom3d::Atom3d()
{
    static const bool named = (SetCommonName(GetCommonName()), true);
    static_cast<void>(named);
    SetElement(UnknownElementType);
}

Atom3d::Atom3d(Object* parent)
{
    SetElement(UnknownElementType);
    SetParent(parent);
}

Atom3d::Atom3d(Object* parent, const Element* element)
{
    Initialize(parent, element);
}

Atom3d::Atom3d(Object* parent, ElementType type)
{
    Initialize(parent, ElementFactory::GetElementFactory().FindElementByType(type));
}

Atom3d::Atom3d(Object* parent, const char* symbol)
{
    Initialize(parent, symbol ? ElementFactory::GetElementFactory().FindElement(symbol)
                              : ElementFactory::GetElementFactory().FindElementByType(UnknownElementType));
}

void Atom3d::Initialize(Object* parent, const Element* element)
{
    const ConstructionScope construction(*this);
    SetElement(element);
    SetCharge(0.0);
    SetHybridization(Sp3);
    SetDisplayStyle(StyleLine);
    SetColor(m_element->GetColor());
    SetParent(parent);
}

Atom3d::~Atom3d()
{
    DoNotify(classType, EventAtom3dDeleted, nullptr, nullptr);
    SetParent(nullptr);
}

Base* Atom3d::ShallowCopy() const
{
    auto* const copy = new Atom3d(*this);
    // Crystal markers travel only with the atom's cell.
    const TreeNode* const root = GetCopyRoot();
    const Cell3d* const cell = FindFrom<Cell3d>(GetParent());
    if (!cell || !(cell == root || cell->HasAncestor(root))) {
        for (const char* marker : CrystalMarkers) {
            if (copy->HasProperty(marker))
                copy->RemoveProperty(marker);
        }
    }
    return copy;
}

std::string Atom3d::GetCommonName() const
{
    return "Atom";
}

// ---- Element

void Atom3d::SetElement(const Element* element)
{
    m_element = element ? element : ElementFactory::GetElementFactory().FindElementByType(UnknownElementType);
    ClearDonatedLonePairs();
    DoNotify(classType, EventElementSet, nullptr, nullptr);
}

void Atom3d::SetElement(ElementType type)
{
    SetElement(ElementFactory::GetElementFactory().FindElementByType(type));
}

void Atom3d::SetElement(std::string_view symbol)
{
    SetElement(ElementFactory::GetElementFactory().FindElement(symbol));
}

// ---- Charges

void Atom3d::SetCharge(double charge)
{
    const auto stored = static_cast<float>(charge);
    if (std::isnan(charge) || stored == m_charge)
        return;
    m_charge = stored;
    DoNotify(Object::classType, EventPropertySet, "Partial Charge", nullptr);
}

Rational Atom3d::GetFormalCharge() const
{
    std::int32_t numerator = 0;
    std::int32_t denominator = 1;
    if (GetProperty(NumeratorKey, numerator) && GetProperty(DenominatorKey, denominator))
        return {numerator, denominator};
    return {0, 1};
}

void Atom3d::SetFormalCharge(const Rational& charge)
{
    SetFormalCharge(charge.GetNumerator(), charge.GetDenominator());
}

void Atom3d::SetFormalCharge(std::int32_t numerator, std::int32_t denominator)
{
    if (numerator == 0 && denominator == 0) {
        RemoveProperty(NumeratorKey);
        RemoveProperty(DenominatorKey);
    } else {
        SetProperty(NumeratorKey, numerator, 0);
        SetProperty(DenominatorKey, denominator, 0);
    }
    DoNotify(classType, EventFormalChargeSet, nullptr, nullptr);
}

// ---- Hybridization

void Atom3d::SetHybridization(HybridizationType type)
{
    if (type == PerceiveRequest)
        type = PerceiveHybridization();
    const auto code = static_cast<std::uint8_t>(type);
    if (code == m_hybridization)
        return;
    m_hybridization = code;
    const Watch self(this);
    DoNotify(Object::classType, EventPropertySet, "Hybridization", nullptr);
    if (self.alive)
        DoNotify(classType, EventHybridizationSet, nullptr, nullptr);
}

Atom::HybridizationType Atom3d::PerceiveHybridization() const
{
    int doubles = 0;
    for (const Bond* bond : GetBonds()) {
        switch (bond->GetType()) {
        case Bond::Triple: return Sp;
        case Bond::Aromatic: return Sp2;
        case Bond::PartialDouble:
        case Bond::Double: ++doubles; break;
        default: break;
        }
    }
    const int bonds = GetNumBonds();
    if (doubles == 1)
        return GetElementType() == 16 ? Sp3 : Sp2;
    if (doubles == 2 && bonds == 2)
        return Sp;
    if (doubles >= 2 && bonds == 3)
        return Sp2;
    if (GetElementType() == 7 && GetFormalCharge() == Rational(1, 1))
        return Sp3;
    for (int i = 0; i < bonds; ++i) {
        const Atom* const neighbour = DynCast<Atom>(GetAttached(i));
        if (neighbour && neighbour->GetHybridization() == Sp2)
            return Sp2;
    }
    switch (bonds) {
    case 5: return TrigonalBipyramid;
    case 6: return Octahedral;
    case 7: return PentagonalBipyramid;
    default: return Sp3;
    }
}

// ---- Display-size percentages

bool Atom3d::Percent(float factor, std::uint8_t& percent)
{
    if (std::isnan(factor))
        return false;
    const float scaled = std::round(factor * 100.0f);
    percent = static_cast<std::uint8_t>(scaled <= 0.0f ? 0.0f : scaled >= 255.0f ? 255.0f : scaled);
    return true;
}

void Atom3d::SetPercent(std::uint8_t& field, float factor, const char* attribute)
{
    std::uint8_t percent = 0;
    if (!Percent(factor, percent) || percent == field)
        return;
    field = percent;
    DoNotify(Object::classType, EventPropertySet, attribute, nullptr);
}

void Atom3d::SetCPKScale(float scale)
{
    SetPercent(m_cpkPercent, scale, "CPK Scale");
}

void Atom3d::SetBallSize(float size)
{
    SetPercent(m_ballPercent, size, "Ball Size");
}

void Atom3d::SetStickRadius(float radius)
{
    SetPercent(m_stickPercent, radius, "Stick Radius");
}

void Atom3d::SetCPKScaleDefault(float scale)
{
    Percent(scale, s_cpkDefault);
}

void Atom3d::SetBallSizeDefault(float size)
{
    Percent(size, s_ballDefault);
}

void Atom3d::SetStickRadiusDefault(float radius)
{
    Percent(radius, s_stickDefault);
}

// ---- Crystal symmetry

bool Atom3d::IsPeriodic() const
{
    const SymmetryMap* const map = MapAbove(*this);
    return map && map->IsPeriodic(GetOID());
}

bool Atom3d::IsSymmetric() const
{
    const SymmetryMap* const map = MapAbove(*this);
    return map && map->IsSymmetric(GetOID());
}

std::int16_t Atom3d::GetSymmetryOperator() const
{
    const SymmetryMap* const map = MapAbove(*this);
    return map ? static_cast<std::int16_t>(map->GetSymmetryOperator(GetOID())) : std::int16_t{0};
}

LatticeOffset Atom3d::GetLatticeOffset() const
{
    const SymmetryMap* const map = MapAbove(*this);
    return map ? map->GetLatticeOffset(GetOID()) : LatticeOffset();
}

Atom* Atom3d::CreateNewAtom(Object* parent, ElementType type)
{
    return new Atom3d(parent, type);
}

// ---- Molecule membership

template <class Move>
void Atom3d::MoveAnnounced(TreeNode* parent, Move&& move)
{
    Molecule* const from = FindFrom<Molecule>(GetParent());
    Molecule* to = nullptr;
    if (::Tavrel::IsA<Molecule>(parent))
        to = static_cast<Molecule*>(parent);
    else if (::Tavrel::IsA<Object>(parent))
        to = FindFrom<Molecule>(parent);
    const Watch self(this);
    if (from && to != from) {
        DoNotify(classType, EventLeavingMolecule, nullptr, nullptr);
        if (!self.alive)
            return;
    }
    move();
    if (!self.alive || !to || to == from || GetParent() != parent)
        return;
    // Heard above the atom even without a registration on the atom itself.
    const bool wanted = m_levelEventMask.Has(EventAtomAdded);
    m_levelEventMask.Set(EventAtomAdded);
    DoNotify(classType, EventAtomAdded, nullptr, nullptr);
    if (self.alive && !wanted)
        m_levelEventMask.Unset(EventAtomAdded);
}

void Atom3d::SetParent(TreeNode* parent)
{
    MoveAnnounced(parent, [this, parent] { Atom::SetParent(parent); });
}

void Atom3d::SetParentAt(TreeNode* parent, int index)
{
    MoveAnnounced(parent, [this, parent, index] { Atom::SetParentAt(parent, index); });
}

// ---- Persistence

const PropertyTable& Atom3d::Properties()
{
    static const PropertyTable table(
        &Atom::Properties(),
        PropertyList<Atom3d>()
            .Value<Storage::StorageInt>(
                "Element", [](const Atom3d& atom) { return static_cast<std::int32_t>(atom.GetElementType()); },
                [](Atom3d& atom, std::int32_t type) { atom.SetElement(static_cast<ElementType>(type)); })
            .Field<Storage::StorageUnsignedChar, &Atom3d::m_hybridization>("Hybridization")
            .Field<Storage::StorageFloat, &Atom3d::m_charge>("Charge")
            .Field<Storage::StorageUnsignedChar, &Atom3d::m_cpkPercent>("CPKScale")
            .Field<Storage::StorageUnsignedChar, &Atom3d::m_ballPercent>("BallSize")
            .Field<Storage::StorageUnsignedChar, &Atom3d::m_stickPercent>("StickRadius"));
    return table;
}

void Atom3d::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
}

void Atom3d::Serialize(Archive& archive)
{
    Atom::Serialize(archive);
    const Color color = GetColor();
    if (archive.IsStoring()) {
        archive << static_cast<std::int32_t>(GetElementType()) << static_cast<std::int32_t>(m_hybridization)
                << m_charge << m_cpkPercent << m_ballPercent << m_stickPercent;
    } else {
        std::int32_t type = 0;
        std::int32_t hybridization = 0;
        float charge = 0.0f;
        std::uint8_t cpk = 0;
        std::uint8_t ball = 0;
        std::uint8_t stick = m_stickPercent;
        archive >> type >> hybridization >> charge >> cpk >> ball;
        if (archive.GetObjectSchema() > 1)
            archive >> stick;
        SetElement(static_cast<ElementType>(type));
        m_hybridization = static_cast<std::uint8_t>(hybridization);
        m_charge = charge;
        m_cpkPercent = cpk;
        m_ballPercent = ball;
        m_stickPercent = stick;
    }
    SetColor(color);
}

} // namespace Tavrel
