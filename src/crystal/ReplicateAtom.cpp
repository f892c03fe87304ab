#include <tavrel/crystal/ReplicateAtom.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/crystal/BondAttributes.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(ReplicateAtom)

namespace {

// "<label>#<op + 1>".
std::string SymmetryLabel(std::string label, int op)
{
    label.push_back('#');
    StringUtils::AppendInteger(label, op + 1);
    return label;
}

// "<label>@a,b,c" for operator 0, else "<label>#<op + 1>@a,b,c".
std::string PeriodicLabel(std::string label, int op, const LatticeOffset& offset)
{
    if (op != 0)
        label = SymmetryLabel(std::move(label), op);
    label.push_back('@');
    StringUtils::AppendInteger(label, offset.a);
    label.push_back(',');
    StringUtils::AppendInteger(label, offset.b);
    label.push_back(',');
    StringUtils::AppendInteger(label, offset.c);
    return label;
}

// The labels "<label>#<op + 1>" of an atom's replicas, put together on the stack for a label of usual
// length: the label and '#' are laid down once, and each operator writes only its number after them.
class SymmetryLabels {
public:
    explicit SymmetryLabels(std::string_view label) : m_inPlace(label.size() + 12 <= sizeof m_text)
    {
        if (m_inPlace) {
            std::copy(label.begin(), label.end(), m_text);
            m_text[label.size()] = '#';
            m_number = m_text + label.size() + 1;
        } else {
            m_label = label;
        }
    }
    SymmetryLabels(const SymmetryLabels&) = delete;
    SymmetryLabels& operator=(const SymmetryLabels&) = delete;

    std::string_view Of(int op)
    {
        if (!m_inPlace) [[unlikely]]
            return Long(op);
        const char* const end = std::to_chars(m_number, m_text + sizeof m_text, op + 1).ptr;
        return std::string_view(m_text, static_cast<std::size_t>(end - m_text));
    }

private:
    // Kept out of line, so that the usual label's few steps are inlined where it is asked for.
    [[gnu::noinline]] std::string_view Long(int op)
    {
        m_long = SymmetryLabel(std::string(m_label), op);
        return m_long;
    }

    char m_text[64];
    char* m_number = nullptr;
    bool m_inPlace;
    std::string_view m_label;
    std::string m_long;
};

// The nearest Cell above the node (the node excluded).
Cell* FindCell(const TreeNode* node)
{
    for (TreeNode* above = node ? node->GetParent() : nullptr; above; above = above->GetParent()) {
        if (Tavrel::IsA<Cell>(above))
            return static_cast<Cell*>(above);
    }
    return nullptr;
}

const Element* UnknownElement()
{
    return ElementFactory::GetElementFactory().FindElement("?");
}

// The bond identifier of bond `index` of an atom with the given ID: ID x 1000 + index, wrapped to 32
// bits as the stored identifier is.
std::int32_t BondIdentifier(std::int32_t id, int index)
{
    const std::int64_t wide = std::int64_t{id} * 1000 + index;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

// The replica children of atom.
template <class Match>
ReplicateAtom* FindReplicaChild(const Atom* atom, Match&& match)
{
    if (!atom)
        return nullptr;
    for (int i = 0; i < atom->GetNumChildren(); ++i) {
        auto* const child = DynCast<ReplicateAtom>(atom->GetChild(i));
        if (child && match(*child))
            return child;
    }
    return nullptr;
}

template <class Match>
ReplicateAtom* FindReplicaBelow(const Atom* atom, Match&& match)
{
    if (!atom || atom->GetNumChildren() == 0)
        return nullptr;
    DescendentIterator walk(const_cast<Atom*>(atom), ReplicateAtom::classType, false);
    while (Object* const object = walk.GetNext()) {
        auto* const replica = static_cast<ReplicateAtom*>(object);
        if (match(*replica))
            return replica;
    }
    return nullptr;
}

// Deletes the replica children that match, each looked up again by OID.
template <class Match>
bool DeleteReplicaChildren(Atom* atom, Match&& match)
{
    OIDArray doomed;
    for (int i = 0; i < atom->GetNumChildren(); ++i) {
        auto* const child = DynCast<ReplicateAtom>(atom->GetChild(i));
        if (child && match(*child))
            doomed.push_back(child->GetOID());
    }
    bool deleted = false;
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        if (Base* const replica = Base::GetObjectA(*it)) {
            delete replica;
            deleted = true;
        }
    }
    return deleted;
}

} // namespace

// ---- Identity

ReplicateAtom::ReplicateAtom()
{
    static const bool named = [this] {
        for (const char* alias : {"PeriodicAtom", "SymmetryAtom", "ReplicateAtom", "Periodic Atom", "Symmetry Atom",
                                  "Replicate Atom"})
            SetCommonName(alias);
        return true;
    }();
    static_cast<void>(named);
}

ReplicateAtom::ReplicateAtom(Object* parent) : Atom(parent) {}

bool ReplicateAtom::ShallowCopyOK() const
{
    const TreeNode* const root = GetCopyRoot();
    const auto copied = [root](const TreeNode* node) {
        return node && (!root || node == root || node->IsInSubtreeOf(root));
    };
    // A replica copied alone leaves its chemical parent behind (the copy root is cut from its parent
    // meanwhile); one without an atom above has none to leave.
    const Atom3d* const chemical = GetChemicalParent();
    return this != root && copied(this) && (!chemical || copied(chemical));
}

std::string ReplicateAtom::GetCommonName() const
{
    if (IsPeriodic())
        return "PeriodicAtom";
    return IsSymmetric() ? "SymmetryAtom" : "ReplicateAtom";
}

const PropertyTable& ReplicateAtom::Properties()
{
    static const PropertyTable table(
        PropertyList<ReplicateAtom>()
            .Archived(
                "ReplicateAtom Lattice Offset", [](ReplicateAtom& atom, Archive& archive) { atom.m_offset.Serialize(archive); },
                [](ReplicateAtom& atom, Archive& archive) {
                    LatticeOffset offset;
                    offset.Serialize(archive);
                    atom.m_offset = offset;
                })
            .StreamOnly()
            .Field<Storage::StorageShort, &ReplicateAtom::m_operator>("ReplicateAtom SymmetryOperator")
            .StreamOnly()
            .Value<Storage::StorageDouble>(
                "ReplicateAtom Same CoordTol", [](const ReplicateAtom&) { return s_sameCoordTol; },
                [](ReplicateAtom&, double tolerance) { SetSameCoordTol(tolerance); })
            .StreamOnly()
            .ArchiveOnly([](const ReplicateAtom& atom, Archive& archive) { atom.WriteFrameworkPart(archive); },
                         [](ReplicateAtom& atom, Archive& archive) { atom.ReadFrameworkPart(archive); })
            .Text("Fractional XYZ")
            .GetText([](const ReplicateAtom& atom) {
                Point3d f;
                atom.GetCrystalCoordinate(f, nullptr);
                return StringUtils::Format("%.4f %.4f %.4f ", f.x, f.y, f.z);
            })
            .ReadOnly()
            .Described([](const ReplicateAtom& atom) {
                Point3d f;
                atom.GetCrystalCoordinate(f, nullptr);
                return ObjectProperty("Fractional XYZ", f, ObjectProperty::AccessReadable, 0);
            })
            .Text("Operator")
            .GetText([](const ReplicateAtom& atom) { return atom.OperatorText(); })
            .ReadOnly()
            .Described([](const ReplicateAtom& atom) {
                return ObjectProperty("Operator", atom.OperatorText(), ObjectProperty::AccessReadable, 0);
            }));
    return table;
}

std::string ReplicateAtom::OperatorText() const
{
    if (IsSymmetric() && !IsPeriodic())
        return StringUtils::Format("%d", m_operator + 1);
    return StringUtils::Format("%d (%d,%d,%d)", m_operator + 1, int{m_offset.a}, int{m_offset.b}, int{m_offset.c});
}

// ---- Tree

Atom3d* ReplicateAtom::GetChemicalParent() const
{
    for (TreeNode* above = GetParent(); above; above = above->GetParent()) {
        if (Tavrel::IsA<Atom3d>(above))
            return static_cast<Atom3d*>(above);
    }
    return nullptr;
}

Atom* ReplicateAtom::GetPeriodicParent() const
{
    if (!IsPeriodic())
        return nullptr;
    Atom3d* const chemical = GetChemicalParent();
    if (!IsSymmetric() || !chemical)
        return chemical;
    // A periodic replica hangs below the symmetry replica it shifts.
    auto* const parent = DynCast<ReplicateAtom>(GetParent());
    if (parent && parent->GetParent() == chemical && parent->m_operator == m_operator && !parent->IsPeriodic())
        return parent;
    return FindSymmetryAtom(chemical, m_operator);
}

bool ReplicateAtom::HasAncestor(std::uint32_t type) const
{
    return GetChemicalParent() && Atom::HasAncestor(type);
}

bool ReplicateAtom::HasAncestor(const TreeNode* node) const
{
    return GetChemicalParent() && Atom::HasAncestor(node);
}

bool ReplicateAtom::IsValidParent(const TreeNode* parent) const
{
    if (!Atom::IsValidParent(parent))
        return false;
    const Atom3d* const chemical = GetChemicalParent();
    if (!chemical || !parent || parent == chemical)
        return true;
    return chemical->HasAncestor(parent) || parent->HasAncestor(chemical);
}

bool ReplicateAtom::IsPeriodicPacked() const
{
    return IsPeriodic() && GetParent() && GetParent()->IsClipped();
}

bool ReplicateAtom::IsPeriodicTiled() const
{
    return IsPeriodic() && GetParent() && !GetParent()->IsClipped();
}

Atom* ReplicateAtom::CreateNewAtom(Object* parent, ElementType type)
{
    return new Atom3d(parent, type);
}

// ---- Chemistry of the chemical parent

const Element* ReplicateAtom::GetElement() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetElement() : UnknownElement();
}

std::string ReplicateAtom::GetElementName() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetElementName() : "????";
}

ElementType ReplicateAtom::GetElementType() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetElementType() : ElementType(0);
}

std::int32_t ReplicateAtom::GetAtomicNumber() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetAtomicNumber() : 0;
}

std::string ReplicateAtom::GetElementSymbol() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetElementSymbol() : "??";
}

double ReplicateAtom::GetCharge() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetCharge() : 0.0;
}

void ReplicateAtom::SetCharge(double charge)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetCharge(charge);
}

float ReplicateAtom::GetVDWRadius() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetVDWRadius() : 0.0f;
}

float ReplicateAtom::GetCovalentRadius() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetCovalentRadius() : 0.0f;
}

float ReplicateAtom::GetBondingRadius() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetBondingRadius() : 0.0f;
}

Rational ReplicateAtom::GetFormalCharge() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetFormalCharge() : Rational(0, 1);
}

void ReplicateAtom::SetFormalCharge(const Rational& charge)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetFormalCharge(charge);
}

void ReplicateAtom::SetFormalCharge(std::int32_t numerator, std::int32_t denominator)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetFormalCharge(numerator, denominator);
}

void ReplicateAtom::SetElement(ElementType type)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetElement(type);
}

void ReplicateAtom::SetElement(std::string_view symbol)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetElement(symbol);
}

void ReplicateAtom::ChangeElement(std::string_view symbol)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->ChangeElement(symbol);
}

float ReplicateAtom::GetMass() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetMass() : 0.0f;
}

void ReplicateAtom::SetHybridization(HybridizationType type)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetHybridization(type);
}

Atom::HybridizationType ReplicateAtom::GetHybridization() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetHybridization() : HybridNone;
}

Atom::HybridizationType ReplicateAtom::PerceiveHybridization() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->PerceiveHybridization() : HybridNone;
}

Atom::Chirality ReplicateAtom::GetChirality(bool recalculate)
{
    Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetChirality(recalculate) : NotStereocentre;
}

std::int32_t ReplicateAtom::GetValenceUsed() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetValenceUsed() : 0;
}

std::int32_t ReplicateAtom::GetValence() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetValence() : 0;
}

std::int32_t ReplicateAtom::GetNumHydrogensToAdd() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetNumHydrogensToAdd() : 0;
}

std::int32_t ReplicateAtom::GetNumHydrogensToDelete() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetNumHydrogensToDelete() : 0;
}

bool ReplicateAtom::IsValenceSatisfied() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->IsValenceSatisfied() : true;
}

std::int32_t ReplicateAtom::GetNumHydrogens() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetNumHydrogens() : 0;
}

std::int32_t ReplicateAtom::GetHydrogens(BaseCollection& out) const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetHydrogens(out) : 0;
}

bool ReplicateAtom::IsHeteroatom() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent && parent->IsHeteroatom();
}

bool ReplicateAtom::IsHBondDonor() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent && parent->IsHBondDonor();
}

bool ReplicateAtom::IsHBondAcceptor() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent && parent->IsHBondAcceptor();
}

std::int32_t ReplicateAtom::GetNumLonePairs() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetNumLonePairs() : 0;
}

std::int32_t ReplicateAtom::UpdateHydrogens(HydrogenSet set, bool add)
{
    Atom3d* const parent = GetChemicalParent();
    return parent ? parent->UpdateHydrogens(set, add) : 0;
}

void ReplicateAtom::RemoveHydrogens(HydrogenSet set)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->RemoveHydrogens(set);
}

std::int32_t ReplicateAtom::GetValenceSproutVectors(Point3d::Array& out) const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetValenceSproutVectors(out) : 0;
}

float ReplicateAtom::GetCPKScale() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetCPKScale() : 0.0f;
}

void ReplicateAtom::SetCPKScale(float scale)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetCPKScale(scale);
}

float ReplicateAtom::GetBallSize() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetBallSize() : 0.0f;
}

void ReplicateAtom::SetBallSize(float size)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetBallSize(size);
}

float ReplicateAtom::GetStickRadius() const
{
    const Atom3d* const parent = GetChemicalParent();
    return parent ? parent->GetStickRadius() : 0.0f;
}

void ReplicateAtom::SetStickRadius(float radius)
{
    if (Atom3d* const parent = GetChemicalParent())
        parent->SetStickRadius(radius);
}

// ---- Making replicas

Cell* ReplicateAtom::ResolveCell(Cell* cell, const Atom* parent) const
{
    if (!cell)
        return nullptr;
    if (parent && parent->HasAncestor(cell))
        return cell;
    return FindCell(this);
}

void ReplicateAtom::Place(Atom& parent, std::int16_t op, const LatticeOffset& offset, const Point3d& position,
                          std::string_view label)
{
    Prepare(parent, op, offset, position, label);
    // Without a parent, every parent is valid.
    if (TreeNode::GetParent() != &parent)
        JoinParent(&parent);
}

void ReplicateAtom::Prepare(Atom& parent, std::int16_t op, const LatticeOffset& offset, const Point3d& position,
                            std::string_view label)
{
    // A new replica is heard by no one until it joins: the setters' events would only mark it modified.
    if (IsAlone()) {
        PrepareAlone(parent, op, offset, position, label, parent.IsVisible());
        return;
    }
    SetLabel(label);
    m_operator = op;
    m_offset = offset;
    SetXYZ(position);
    SetDisplayStyle(parent.GetDisplayStyle());
    SetColor(parent.GetColor());
    MatchVisibility(parent.IsVisible());
}

void ReplicateAtom::PrepareAlone(const Atom& parent, std::int16_t op, const LatticeOffset& offset,
                                 const Point3d& position, std::string_view label, bool parentVisible)
{
    m_operator = op;
    m_offset = offset;
    TakeLabelAndLook(label, parent);
    StoreXYZ(position);
    MatchVisibility(parentVisible);
}

void ReplicateAtom::MatchVisibility(bool parentVisible)
{
    // Walked only when it changes something: a new replica is visible.
    if (parentVisible == IsVisible())
        return;
    if (parentVisible)
        SetVisible(false);
    else
        SetInvisible(false);
}

bool ReplicateAtom::MakePeriodic(Atom* parent, const LatticeOffset& offset, Cell* cell)
{
    cell = ResolveCell(cell, parent);
    if (!cell || !parent)
        return false;
    MakePeriodic(parent, offset, cell, parent->GetXYZ() * cell->GetCartToFrac(), cell->GetFracToCart());
    return true;
}

void ReplicateAtom::MakePeriodic(Atom* parent, const LatticeOffset& offset, Cell* cell, const Point3d& fractional,
                                 const Matrix3x3& fracToCart)
{
    const Point3d shifted(double(fractional.x) + offset.a, double(fractional.y) + offset.b,
                          double(fractional.z) + offset.c);
    MakePeriodic(parent, offset, cell, shifted * fracToCart);
}

void ReplicateAtom::MakePeriodic(Atom* parent, const LatticeOffset& offset, Cell* cell, const Point3d& position)
{
    if (!parent)
        return;
    const std::int16_t op = parent->GetSymmetryOperator();
    const LatticeOffset total = offset + parent->GetLatticeOffset();
    const Atom3d* const chemical = Tavrel::IsA<Atom3d>(parent) ? static_cast<Atom3d*>(parent)
                                   : Tavrel::IsA<ReplicateAtom>(parent) ? static_cast<ReplicateAtom*>(parent)->GetChemicalParent()
                                                                : nullptr;
    Place(*parent, op, total, position, chemical ? PeriodicLabel(chemical->GetLabel(), op, total) : std::string());
    if (cell)
        cell->SetReplicateHint(parent->IsClipped() ? Cell::PackedReplicasExist : Cell::TiledReplicasExist);
}

bool ReplicateAtom::MakeSymmetric(Atom* parent, int op, Cell* cell)
{
    cell = ResolveCell(cell, parent);
    if (!cell || !parent)
        return false;
    const SymmetryOp* const symmetryOp = cell->GetSymmetry()->GetSymmetryOp(op);
    if (!symmetryOp)
        return false;
    SetParent(parent);
    MakeSymmetric(parent, op, cell, symmetryOp, parent->GetXYZ() * cell->GetCartToFrac(), cell->GetFracToCart());
    return true;
}

void ReplicateAtom::MakeSymmetric(Atom* parent, int op, Cell* cell, const SymmetryOp* symmetryOp,
                                  const Point3d& fractional, const Matrix3x3& fracToCart)
{
    if (!symmetryOp)
        return;
    Point3d image;
    symmetryOp->TransformPoint(fractional, image);
    MakeSymmetric(parent, op, cell, image * fracToCart, LatticeOffset());
}

void ReplicateAtom::MakeSymmetric(Atom* parent, int op, Cell* cell, const Point3d& position, const LatticeOffset& offset)
{
    if (parent)
        MakeSymmetric(parent, op, cell, position, offset, parent->GetLabel());
}

void ReplicateAtom::MakeSymmetric(Atom* parent, int op, Cell* cell, const Point3d& position, const LatticeOffset& offset,
                                  std::string_view parentLabel)
{
    if (!parent)
        return;
    Symmetric(*parent, op, position, offset, parentLabel, true);
    if (cell)
        cell->SetReplicateHint(Cell::SymmetryReplicasExist);
}

bool ReplicateAtom::MakeSymmetricFamily(Atom& parent, Cell* cell, std::span<const Point3d> positions,
                                        std::string_view parentLabel, std::vector<TreeNode*>& made, bool hidden)
{
    // Made alone, no replica can be heard before it joins.
    if (parent.GetNumChildren() > 0 || !JoinsUnheard(parent))
        return false;
    const std::size_t first = made.size();
    // What every replica takes from the parent is read once for the family.
    SymmetryLabels labels(parentLabel);
    const bool parentVisible = parent.IsVisible();
    for (std::size_t k = 0; k < positions.size(); ++k) {
        auto* const replica = new ReplicateAtom();
        const int op = static_cast<int>(k + 1);
        const std::string_view label = labels.Of(op);
        if (replica->IsAlone())
            replica->PrepareAlone(parent, static_cast<std::int16_t>(op), LatticeOffset(), positions[k], label,
                                  parentVisible);
        else
            replica->Prepare(parent, static_cast<std::int16_t>(op), LatticeOffset(), positions[k], label);
        if (hidden)
            replica->SetClippedUnheard(true);
        made.push_back(replica);
    }
    // Nothing done since can be heard, so neither can the joins; were one heard after all, the
    // replicas would still join, one by one, shown as any other joins.
    if (!JoinAloneUnheard(parent, std::span<TreeNode* const>(made).subspan(first))) {
        for (std::size_t k = first; k < made.size(); ++k) {
            auto* const replica = static_cast<ReplicateAtom*>(made[k]);
            if (hidden)
                replica->SetClippedUnheard(false);
            replica->JoinParent(&parent);
        }
    }
    if (cell && !positions.empty())
        cell->SetReplicateHint(Cell::SymmetryReplicasExist);
    return true;
}

void ReplicateAtom::Symmetric(Atom& parent, int op, const Point3d& position, const LatticeOffset& offset,
                              std::string_view parentLabel, bool join)
{
    SymmetryLabels labels(parentLabel);
    const std::string_view label = labels.Of(op);
    if (join)
        Place(parent, static_cast<std::int16_t>(op), offset, position, label);
    else
        Prepare(parent, static_cast<std::int16_t>(op), offset, position, label);
}

// ---- Coordinates

void ReplicateAtom::GetCrystalCoordinate(Point3d& fractional, const Cell* cell) const
{
    if (!cell || !HasAncestor(cell))
        cell = FindCell(this);
    if (cell)
        fractional = GetXYZ() * cell->GetCartToFrac();
}

void ReplicateAtom::SetCrystalCoordinate(Atom3d& atom, const Point3d& fractional, const Cell* cell)
{
    if (cell)
        atom.SetXYZ(fractional * cell->GetFracToCart());
}

void ReplicateAtom::UpdateCoordinate(const Cell* cell)
{
    if (!cell)
        cell = FindCell(this);
    const Atom3d* const chemical = GetChemicalParent();
    if (!cell || !chemical)
        return;
    // From the chemical parent: the offset is the whole shift of the image of that atom.
    const Point3d fractional = chemical->GetXYZ() * cell->GetCartToFrac();
    if (IsSymmetric())
        SetSymmetricCoord(fractional, cell->GetFracToCart(), cell->GetSymmetry(), m_offset);
    else
        SetPeriodicCoord(fractional, cell->GetFracToCart());
}

void ReplicateAtom::SetPeriodicCoord(const Point3d& fractional, const Matrix3x3& fracToCart)
{
    const Point3d shifted(double(fractional.x) + m_offset.a, double(fractional.y) + m_offset.b,
                          double(fractional.z) + m_offset.c);
    SetXYZ(shifted * fracToCart);
}

void ReplicateAtom::SetSymmetricCoord(const Point3d& fractional, const Matrix3x3& fracToCart, const Symmetry* symmetry)
{
    SetSymmetricCoord(fractional, fracToCart, symmetry, LatticeOffset());
}

void ReplicateAtom::SetSymmetricCoord(const Point3d& fractional, const Matrix3x3& fracToCart, const Symmetry* symmetry,
                                      const LatticeOffset& offset)
{
    const SymmetryOp* const op = symmetry ? symmetry->GetSymmetryOp(m_operator) : nullptr;
    if (!op)
        return;
    Point3d image;
    op->TransformPoint(fractional, image);
    const Point3d shifted(double(image.x) + offset.a, double(image.y) + offset.b, double(image.z) + offset.c);
    SetXYZ(shifted * fracToCart);
}

void ReplicateAtom::UpdateCoords(const Atom* atom, const Cell* cell)
{
    if (atom && cell && atom->HasAncestor(cell) && cell->GetSymmetry())
        UpdateCoords(atom, cell, cell->GetFracToCart(), cell->GetCartToFrac(), cell->GetSymmetry());
}

void ReplicateAtom::UpdateCoords(const Atom* atom, const Cell*, const Matrix3x3& fracToCart,
                                 const Matrix3x3& cartToFrac, const Symmetry* symmetry)
{
    if (!atom || atom->GetNumChildren() == 0)
        return;
    const Point3d fractional = atom->GetXYZ() * cartToFrac;
    DescendentIterator walk(const_cast<Atom*>(atom), classType, false);
    while (Object* const object = walk.GetNext()) {
        auto* const replica = static_cast<ReplicateAtom*>(object);
        if (replica->IsSymmetric())
            replica->SetSymmetricCoord(fractional, fracToCart, symmetry, replica->m_offset);
        else
            replica->SetPeriodicCoord(fractional, fracToCart);
    }
}

void ReplicateAtom::ConstructSymmetryAtoms(const Atom* atom, Cell* cell, const Matrix3x3& fracToCart,
                                           const Matrix3x3& cartToFrac, const Symmetry* symmetry)
{
    if (!atom || !symmetry)
        return;
    const Point3d fractional = atom->GetXYZ() * cartToFrac;
    std::vector<Point3d> taken{atom->GetXYZ()};
    for (int op = 1; op < symmetry->GetNumSymmetryOps(); ++op) {
        const SymmetryOp* const symmetryOp = symmetry->GetSymmetryOp(op);
        Point3d image;
        symmetryOp->TransformPoint(fractional, image);
        const Point3d position = image * fracToCart;
        bool coincides = false;
        for (const Point3d& earlier : taken)
            coincides = coincides || position.Compare(earlier, s_sameCoordTol);
        if (coincides)
            continue;
        taken.push_back(position);
        auto* const replica = new ReplicateAtom();
        replica->MakeSymmetric(const_cast<Atom*>(atom), op, cell, position, LatticeOffset());
    }
}

// ---- Finding and removing

ReplicateAtom* ReplicateAtom::FindReplicateAtom(const Atom* atom, std::int16_t op, const LatticeOffset& offset)
{
    return FindReplicaChild(atom, [op, &offset](const ReplicateAtom& replica) {
        return replica.m_operator == op && replica.m_offset.IsSame(offset);
    });
}

ReplicateAtom* ReplicateAtom::FindReplicateAtom(const Atom* atom, const Point3d& position)
{
    const Atom* start = atom;
    if (const auto* const replica = DynCast<ReplicateAtom>(atom); replica && (replica->IsSymmetric() || replica->IsPeriodic()))
        start = replica->GetChemicalParent();
    const double tolerance = s_sameCoordTol;
    return FindReplicaBelow(start, [&position, tolerance](const ReplicateAtom& replica) {
        return replica.GetXYZ().Compare(position, tolerance);
    });
}

ReplicateAtom* ReplicateAtom::FindPeriodicAtom(const Atom* atom, const LatticeOffset& offset)
{
    if (!atom)
        return nullptr;
    const std::int16_t op = atom->GetSymmetryOperator();
    return FindReplicaBelow(atom, [op, &offset](const ReplicateAtom& replica) {
        return replica.m_operator == op && replica.IsPeriodic() && replica.m_offset.IsSame(offset);
    });
}

ReplicateAtom* ReplicateAtom::FindSymmetryAtom(const Atom* atom, std::int16_t op)
{
    return FindReplicaChild(atom, [op](const ReplicateAtom& replica) { return replica.IsSymmetric() && replica.m_operator == op; });
}

bool ReplicateAtom::RemoveAllPeriodicChildren(Atom* atom)
{
    return atom && DeleteReplicaChildren(atom, [](const ReplicateAtom& replica) { return replica.IsPeriodic(); });
}

bool ReplicateAtom::RemoveAllSymmetryChildren(Atom3d* atom)
{
    return atom && DeleteReplicaChildren(atom, [](const ReplicateAtom& replica) { return replica.IsSymmetric(); });
}

bool ReplicateAtom::IsValidParent(const Atom* atom, int mode)
{
    return atom && atom->IsVisible() && mode == 2 && VerifyPeriodicParent(atom);
}

bool ReplicateAtom::VerifyPeriodicParent(const Atom* atom)
{
    if (Tavrel::IsA<Atom3d>(atom))
        return true;
    const auto* const replica = DynCast<ReplicateAtom>(atom);
    if (!replica)
        return false;
    return replica->IsSymmetric() || replica->IsPeriodicPacked();
}

void ReplicateAtom::SetSameCoordTol(double tolerance)
{
    if (std::isfinite(tolerance) && tolerance > 0.0)
        s_sameCoordTol = tolerance;
}

double ReplicateAtom::GetSameCoordTol()
{
    return s_sameCoordTol;
}

// ---- Bonds

void ReplicateAtom::ConstructBonds(Atom* parent)
{
    if (!parent)
        return;
    const std::int16_t op = m_operator;
    const LatticeOffset offset = m_offset;
    const std::int16_t parentOp = parent->GetSymmetryOperator();
    const LatticeOffset parentOffset = parent->GetLatticeOffset();
    const Watch self(this);
    const Watch parentAlive(parent);
    for (int k = 0; self.alive && parentAlive.alive && k < parent->GetNumBonds(); ++k) {
        const auto* const bonded = DynCast<Atom>(parent->GetAttached(k));
        if (!bonded)
            continue;
        if (IsClipped() && bonded->GetClassType() != parent->GetClassType())
            continue;
        const std::int16_t bondedOp = bonded->GetSymmetryOperator();
        const bool sameImage = op == parentOp && op != bondedOp && parentOffset.IsSame(bonded->GetLatticeOffset());
        ReplicateAtom* const partner = FindReplicateAtom(bonded, sameImage ? bondedOp : op, offset);
        if (!partner || IsBonded(partner) || IsBonded(bonded))
            continue;
        const BondAttributes attributes(*parent->GetBond(k));
        Bond* const bond = MakeBond(partner, Bond::Single);
        if (!bond || !self.alive || !parentAlive.alive)
            continue;
        bond->SetID(BondIdentifier(GetID(), k));
        attributes.ApplyTo(*bond);
    }
}

// ---- Framework archive

void ReplicateAtom::WriteFrameworkPart(Archive& archive) const
{
    // LatticeOffset::Serialize only writes while the archive stores.
    const_cast<LatticeOffset&>(m_offset).Serialize(archive);
    archive << std::int32_t{m_operator} << s_sameCoordTol;
}

void ReplicateAtom::ReadFrameworkPart(Archive& archive)
{
    const std::uint32_t schema = archive.GetObjectSchema();
    LatticeOffset offset;
    offset.Serialize(archive);
    std::int32_t op = 0;
    archive >> op;
    if (schema != 1 && schema != 0xFFFFFFFFu) {
        double tolerance = 0.0;
        archive >> tolerance;
        SetSameCoordTol(tolerance);
    }
    m_offset = offset;
    m_operator = static_cast<std::int16_t>(op);
}

} // namespace Tavrel
