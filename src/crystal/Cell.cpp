#include <tavrel/crystal/Cell.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/core/UniqueString.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/foundation/OwnedObjects.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Cell)

namespace {

bool IsFinite(const Matrix3x3& m)
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (!std::isfinite(m(i, j)))
                return false;
        }
    }
    return true;
}

// Fractional coordinates a cell build gathers stay within the reach of a 16-bit lattice offset.
constexpr double MaxFractional = 32000.0;

float Coordinate(const Point3d& p, int axis)
{
    return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
}

void SetCoordinate(Point3d& p, int axis, double value)
{
    (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = static_cast<float>(value);
}

// floor(x) as an int, clamped to the int range; 0 for NaN.
int FloorToInt(double x)
{
    if (std::isnan(x))
        return 0;
    return static_cast<int>(std::clamp(std::floor(x), double(std::numeric_limits<int>::min()),
                                       double(std::numeric_limits<int>::max())));
}

bool IsGatherable(const Point3d& f)
{
    return std::abs(f.x) < MaxFractional && std::abs(f.y) < MaxFractional && std::abs(f.z) < MaxFractional;
}

// IsGatherable for Cartesian points, transforming only those near the limit: no fractional coordinate
// of p exceeds max |p_i| times the largest column sum of |cartToFrac|.
class CartesianGatherable {
public:
    explicit CartesianGatherable(const Matrix3x3& cartToFrac) : m_cartToFrac(cartToFrac), m_bound(Bound(cartToFrac)) {}
    // With the bound the matrix gives, worked out once for many tests.
    CartesianGatherable(const Matrix3x3& cartToFrac, double bound) : m_cartToFrac(cartToFrac), m_bound(bound) {}
    static double Bound(const Matrix3x3& cartToFrac)
    {
        double widest = 0.0;
        for (int column = 0; column < 3; ++column)
            widest = std::max(widest, std::abs(cartToFrac(0, column)) + std::abs(cartToFrac(1, column)) +
                                          std::abs(cartToFrac(2, column)));
        // The margin lies far above the rounding of the product to float.
        return std::isfinite(widest) && widest > 0.0 ? MaxFractional / widest * (1.0 - 1e-6) : 0.0;
    }
    bool operator()(const Point3d& p) const
    {
        return (std::abs(p.x) < m_bound && std::abs(p.y) < m_bound && std::abs(p.z) < m_bound) ||
               IsGatherable(p * m_cartToFrac);
    }

private:
    const Matrix3x3& m_cartToFrac;
    double m_bound;
};

// visit(node) for each descendant of top in pre-order, children in index order; a visit that returns
// false (it may have let the node go) is not followed into the node's children.
template <class Visit>
void ForEachDescendant(const TreeNode& top, Visit&& visit)
{
    struct Place {
        const TreeNode* node;
        int next;
    };
    std::vector<Place> stack{{&top, 0}};
    while (!stack.empty()) {
        Place& place = stack.back();
        if (place.next >= place.node->GetNumChildren()) {
            stack.pop_back();
            continue;
        }
        TreeNode* const child = place.node->GetChild(place.next++);
        if (visit(child) && child->GetNumChildren() > 0)
            stack.push_back({child, 0});
    }
}

// The OIDs of the descendants of the class, in tree order.
OIDArray CollectOIDs(Object* root, std::uint32_t type)
{
    OIDArray oids;
    ForEachDescendant(*root, [&oids, type](const TreeNode* node) {
        if (node->IsA(type))
            oids.push_back(node->GetOID());
        return true;
    });
    return oids;
}

template <class T>
T* LiveAs(std::uint32_t oid)
{
    return DynCast<T>(Base::GetObjectA(oid));
}

// The hint bits a removal mode clears.
std::int32_t RemovedHintBits(int mode)
{
    switch (mode) {
    case Cell::RemoveAll:
        return Cell::SymmetryReplicasExist | Cell::TiledReplicasExist | Cell::PackedReplicasExist;
    case Cell::RemoveSymmetric: return Cell::SymmetryReplicasExist;
    case Cell::RemovePacked: return Cell::PackedReplicasExist;
    case Cell::RemoveTiled: return Cell::TiledReplicasExist;
    default: return 0;
    }
}

} // namespace

Atom* Cell::AtomData::Live() const
{
    return atom && Base::GetObjectA(oid) == atom ? atom : nullptr;
}

Cell::Cell()
{
    Initialize();
}

Cell::Cell(Object* parent) : Object(parent)
{
    const ConstructionScope construction(*this);
    Initialize();
}

void Cell::Initialize()
{
    SetColor(Color::Grey());
    SetClip(1.0, 1.0, 1.0);
    SetDisplayStyle(0);
    SetSymmetry(nullptr);
}

Cell::OwnedSymmetry::OwnedSymmetry(const OwnedSymmetry& other) : std::unique_ptr<Symmetry>()
{
    if (!other)
        return;
    reset(new Symmetry());
    **this = *other;
}

void Cell::DeepenShallowCopy()
{
    m_symmetry->SetCell(this);
    m_symmetry->m_owner = this;
    Object::DeepenShallowCopy();
}

Cell::~Cell() = default;

std::unique_ptr<Symmetry> Cell::DefaultSymmetry()
{
    auto symmetry = std::make_unique<Symmetry>();
    symmetry->LoadSpaceGroup(1, "", 0);
    return symmetry;
}

const PropertyTable& Cell::Properties()
{
    // The framework record holds the values in its own order, then the symmetry's record inline (the
    // ArchiveOnly entry at the end).
    static const PropertyTable table(
        PropertyList<Cell>()
            .Field<Storage::StorageDouble, &Cell::m_specialPositionTol>("Special Tol")
            .StreamOnly()
            .Archived<&Cell::m_labelOffset>("Cell Offset")
            .StreamOnly()
            .Field<Storage::StorageFloat, &Cell::m_stickRadius>("Cell Stick Radius")
            .StreamOnly()
            .Value<Storage::StorageUnsignedInt>(
                "Cell Replicate Hint", [](const Cell& cell) { return static_cast<std::uint32_t>(cell.m_replicateHint); },
                [](Cell& cell, std::uint32_t hint) { cell.m_replicateHint = static_cast<std::int32_t>(hint); })
            .StreamOnly()
            .Field<Storage::StorageLong, &Cell::m_auxDisplay>("Cell AuxDisplay")
            .StreamOnly()
            .Field<Storage::StorageLong, &Cell::m_networkHint>("Cell Network Hint")
            .StreamOnly()
            .Field<Storage::StorageInt, &Cell::m_orientation>("Cell Orientation")
            .StreamOnly()
            .Field<Storage::StorageInt, &Cell::m_periodicity>("Cell Periodicity")
            .StreamOnly()
            .Reference(
                "Cell Symmetry", [](const Cell& cell) { return cell.m_symmetry.get(); },
                [](Cell& cell, Symmetry* symmetry) { cell.TakeLoadedSymmetry(symmetry); })
            .StreamOnly()
            // The tolerance, label offset, stick radius, replicate hint, aux display, network hint (not
            // with schema 1 or without a schema), orientation, periodicity, then 1 and the symmetry's
            // record.
            .ArchiveOnly([](const Cell& cell, Archive& archive) { cell.WriteFrameworkPart(archive); },
                         [](Cell& cell, Archive& archive) { cell.ReadFrameworkPart(archive); })
            .AfterRecord([](Cell& cell, Archive&, PropertyArchive*) { cell.m_symmetry->SetCell(&cell); }));
    return table;
}

std::string Cell::GetCommonName() const
{
    return "Cell";
}

// ---- Plain accessors

void Cell::SetSpecialPositionTol(double tolerance)
{
    m_specialPositionTol = tolerance;
}

double Cell::GetSpecialPositionTol() const
{
    return m_specialPositionTol;
}

void Cell::SetPeriodicity(DimensionType periodicity)
{
    m_periodicity = periodicity;
}

Cell::DimensionType Cell::GetPeriodicity() const
{
    return m_periodicity;
}

void Cell::SetAuxDisplay(std::int32_t display)
{
    m_auxDisplay = display;
}

std::int32_t Cell::GetAuxDisplay() const
{
    return m_auxDisplay;
}

void Cell::SetDirty(bool dirty)
{
    m_dirty.Get() = dirty;
}

bool Cell::IsDirty() const
{
    return m_dirty.Get();
}

void Cell::SetNetworkHint(std::int32_t hint)
{
    m_networkHint = hint;
}

std::int32_t Cell::GetNetworkHint() const
{
    return m_networkHint;
}

int Cell::GetDimensionality() const
{
    return 0;
}

// ---- Symmetry and transforms

void Cell::SetSymmetry(Symmetry* symmetry)
{
    if (symmetry && symmetry == m_symmetry.get())
        return;
    std::unique_ptr<Symmetry> taken;
    if (!symmetry) {
        taken = DefaultSymmetry();
    } else if ((symmetry->m_owner.Get() && symmetry->m_owner.Get() != this) || OwnedObjects::IsOwned(symmetry->GetOID())) {
        taken = std::make_unique<Symmetry>();
        *taken = *symmetry;
    } else {
        taken.reset(symmetry);
    }
    taken->SetCell(this);
    taken->m_owner = this;
    std::unique_ptr<Symmetry> previous(m_symmetry.release());
    m_symmetry.reset(taken.release());
    if (previous)
        previous->m_owner = nullptr;
}

void Cell::TakeLoadedSymmetry(Symmetry* symmetry)
{
    if (symmetry)
        SetSymmetry(symmetry);
}

Symmetry* Cell::GetSymmetry() const
{
    return m_symmetry.get();
}

void Cell::GetFracToCart(Matrix3x3& matrix) const
{
    matrix = m_fracToCart;
}

Matrix3x3 Cell::GetFracToCart() const
{
    return m_fracToCart;
}

void Cell::GetCartToFrac(Matrix3x3& matrix) const
{
    matrix = m_cartToFrac;
}

Matrix3x3 Cell::GetCartToFrac() const
{
    return m_cartToFrac;
}

void Cell::SetTransforms(const Matrix3x3& fracToCart, const Matrix3x3& cartToFrac)
{
    m_fracToCart = fracToCart;
    m_cartToFrac = cartToFrac;
}

bool Cell::SetTransformsFromColumns(const double m[9])
{
    Matrix3x3 fracToCart(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]);
    fracToCart.Transpose();
    Matrix3x3 cartToFrac = fracToCart;
    if (!IsFinite(fracToCart) || !cartToFrac.Invert() || !IsFinite(cartToFrac))
        return false;
    SetTransforms(fracToCart, cartToFrac);
    return true;
}

bool Cell::HasUsableTransforms() const
{
    Matrix3x3 inverse = m_fracToCart;
    return IsFinite(m_fracToCart) && IsFinite(m_cartToFrac) && inverse.Invert();
}

// ---- Clip

void Cell::SetClip(const LatticeOffset& clip)
{
    SetClip(clip.a, clip.b, clip.c);
}

void Cell::SetClip(const Point3d& clip)
{
    SetClip(clip.x, clip.y, clip.z);
}

void Cell::SetClip(double x, double y, double z)
{
    const double values[3] = {x, y, z};
    for (int axis = 0; axis < 3; ++axis) {
        if (values[axis] > 0.0)
            SetCoordinate(m_clip, axis, values[axis]);
    }
}

Point3d Cell::GetClip() const
{
    return m_clip;
}

double Cell::GetClipX() const
{
    return m_clip.x;
}

double Cell::GetClipY() const
{
    return m_clip.y;
}

double Cell::GetClipZ() const
{
    return m_clip.z;
}

double Cell::Limit(int axis, bool useClip) const
{
    return useClip ? Coordinate(m_clip, axis) : 1.0;
}

// ---- Position tests

int Cell::OnCellEdge(const Point3d& fractional, std::vector<LatticeOffset>&) const
{
    int count = 0;
    for (int axis = 0; axis < std::min(GetDimensionality(), 3); ++axis) {
        const double f = Coordinate(fractional, axis);
        if (std::abs(1.0 - f) < Epsilon || std::abs(f) < Epsilon)
            ++count;
    }
    return count;
}

int Cell::OnCellEdge(const Point3d& p, bool fractional) const
{
    std::vector<LatticeOffset> unused;
    return OnCellEdge(ToFractional(p, fractional), unused);
}

int Cell::OnCellEdge(const Point3d& p, const LatticeOffset& offset, bool fractional) const
{
    const Point3d f = ToFractional(p, fractional);
    const Point3d shifted(double(f.x) + offset.a, double(f.y) + offset.b, double(f.z) + offset.c);
    std::vector<LatticeOffset> unused;
    return OnCellEdge(shifted, unused);
}

bool Cell::InsideCell(const Point3d& p, LatticeOffset& offset, LatticeOffset& edge, double tolerance, bool fractional,
                      bool useClip) const
{
    offset.Clear();
    edge.Clear();
    const Point3d f = ToFractional(p, fractional);
    const int dimensions = std::min(GetDimensionality(), 3);
    bool inside = true;
    for (int axis = 0; axis < dimensions; ++axis) {
        const double x = double(Coordinate(f, axis)) + tolerance;
        if (x > Limit(axis, useClip) || x < 0.0) {
            inside = false;
            offset.SetAt(axis, FloorToInt(x));
        }
    }
    for (int axis = 0; axis < dimensions; ++axis) {
        const double away = double(Coordinate(f, axis)) - offset.GetAt(axis);
        if (-tolerance < away && away < tolerance)
            edge.SetAt(axis, 1);
    }
    return inside;
}

bool Cell::InsideCell(const Point3d& p, LatticeOffset& offset, bool fractional, bool useClip) const
{
    offset.Clear();
    const Point3d f = ToFractional(p, fractional);
    bool inside = true;
    for (int axis = 0; axis < std::min(GetDimensionality(), 3); ++axis) {
        const double x = double(Coordinate(f, axis)) + Epsilon;
        if (!(x >= 0.0 && x <= Limit(axis, useClip))) {
            inside = false;
            offset.SetAt(axis, FloorToInt(x));
        }
    }
    return inside;
}

bool Cell::InsideCell(const Point3d& p, bool fractional, bool useClip) const
{
    const Point3d f = ToFractional(p, fractional);
    for (int axis = 0; axis < std::min(GetDimensionality(), 3); ++axis) {
        const double x = Coordinate(f, axis);
        if (!(x >= -Epsilon && x <= Limit(axis, useClip) + Epsilon))
            return false;
    }
    return true;
}

void Cell::NormalizeOffset(LatticeOffset& offset, bool useClip) const
{
    for (int axis = 0; axis < std::min(GetDimensionality(), 3); ++axis) {
        const int o = offset.GetAt(axis);
        if (!useClip) {
            offset.SetAt(axis, -o);
            continue;
        }
        // Truncated toward zero; a count below 1 (a clip below 1) counts as one cell.
        const double clip = Coordinate(m_clip, axis);
        const int n = clip >= 1.0 ? static_cast<int>(std::min(clip, double(std::numeric_limits<int>::max()))) : 1;
        if (n == 1)
            offset.SetAt(axis, -o);
        else if (o < 0)
            offset.SetAt(axis, n);
        else if (o >= n)
            offset.SetAt(axis, o % n - o);
    }
}

Point3d Cell::ClipVector(const Point3d& from, const Point3d& to, bool fractional) const
{
    const Point3d a = ToFractional(from, fractional);
    const Point3d b = ToFractional(to, fractional);
    if (InsideCell(b, true, true))
        return to;
    double t = 1.1;
    for (int axis = 0; axis < std::min(GetDimensionality(), 3); ++axis) {
        const double ai = Coordinate(a, axis);
        const double bi = Coordinate(b, axis);
        const double di = bi - ai;
        if (di == 0.0)
            continue;
        if (bi < 0.0)
            t = std::min(t, -ai / di);
        else if (bi > Limit(axis, true))
            t = std::min(t, (Limit(axis, true) - ai) / di);
    }
    const Point3d result(a.x + t * (double(b.x) - a.x), a.y + t * (double(b.y) - a.y), a.z + t * (double(b.z) - a.z));
    return fractional ? result : result * m_fracToCart;
}

// ---- Gathering

void Cell::HoldMarks()
{
    m_marksHeld.Get() = TreeNode::GetCallbacksRun();
}

void Cell::ForgetMarks()
{
    m_marksHeld.Get().reset();
    ForgetHiddenFamilies();
}

void Cell::ForgetHiddenFamilies()
{
    m_hidingFamilies.Get().reset();
    m_hiddenFamilies = std::vector<const TreeNode*>();
}

void Cell::HideNewFamilies()
{
    m_hidingFamilies = CartesianGatherable::Bound(m_cartToFrac);
}

bool Cell::HidesNewFamily(const Atom& parent, std::span<const Point3d> positions) const
{
    if (!m_hidingFamilies.Get() || m_marksHeld.Get() != TreeNode::GetCallbacksRun() || parent.GetNumBonds() > 0)
        return false;
    const CartesianGatherable gatherable(m_cartToFrac, *m_hidingFamilies.Get());
    return std::all_of(positions.begin(), positions.end(), gatherable);
}

void Cell::NoteHiddenFamily(const Atom& parent, std::span<TreeNode* const> family)
{
    // A family whose joins were heard after all joined shown, and the callbacks may have changed it:
    // only one still hidden, with no callback run, is passed over.
    if (m_marksHeld.Get() == TreeNode::GetCallbacksRun() &&
        std::all_of(family.begin(), family.end(), [](const TreeNode* node) { return node->IsClipped(); }))
        m_hiddenFamilies.Get().push_back(&parent);
}

bool Cell::Record(Atom& atom, AtomData& record)
{
    static const UniqueString asymmetricMarker("_ASU");
    const bool marked = m_marksHeld.Get() == TreeNode::GetCallbacksRun();
    if (!marked && Tavrel::IsA<Atom3d>(&atom) && !atom.HasProperty(asymmetricMarker)) {
        const TreeNode::Watch alive(&atom);
        atom.SetProperty(asymmetricMarker, std::int32_t{-1}, 0);
        if (!alive.alive)
            return false;
    }
    record = AtomData{&atom, atom.GetXYZ() * m_cartToFrac, atom.GetOID()};
    return true;
}

template <class Visit>
void Cell::WalkAtoms(std::uint32_t type, bool& found, Visit&& visit)
{
    ForEachDescendant(*this, [&](TreeNode* node) {
        if (!node->IsA(type))
            return true;
        found = true;
        if (Tavrel::IsA<ConformerAtom>(node))
            return true;
        auto* const atom = static_cast<Atom*>(node);
        AtomData record;
        return Record(*atom, record) && visit(*atom, record);
    });
}

void Cell::Gather(int mode, AtomDataArray& out, bool append, bool skipClipped)
{
    const std::uint32_t type = mode == AsymmetricAtoms   ? Atom3d::classType
                               : mode == SymmetryReplicas ? ReplicateAtom::classType
                                                          : Atom::classType;
    // out is replaced only once an atom of the class turns up.
    AtomDataArray gathered;
    bool found = false;
    WalkAtoms(type, found, [&](Atom& atom, const AtomData& record) {
        if ((mode != SymmetryReplicas || !atom.IsPeriodic()) && (!skipClipped || !atom.IsClipped()) &&
            IsGatherable(record.xyz))
            gathered.push_back(record);
        return true;
    });
    if (!found)
        return;
    if (append)
        out.insert(out.end(), gathered.begin(), gathered.end());
    else
        out.swap(gathered);
}

void Cell::SetupBuilderAtomsAndReplicas(AtomDataArray& out)
{
    AtomDataArray asymmetric;
    AtomDataArray replicas;
    bool found = false;
    bool foundAsymmetric = false;
    WalkAtoms(Atom::classType, found, [&](Atom& atom, const AtomData& record) {
        const bool isAsymmetric = Tavrel::IsA<Atom3d>(&atom);
        foundAsymmetric = foundAsymmetric || isAsymmetric;
        const bool isReplica = Tavrel::IsA<ReplicateAtom>(&atom) && !atom.IsPeriodic();
        if ((isAsymmetric || isReplica) && IsGatherable(record.xyz))
            (isAsymmetric ? asymmetric : replicas).push_back(record);
        return true;
    });
    if (foundAsymmetric)
        out.swap(asymmetric);
    out.insert(out.end(), replicas.begin(), replicas.end());
}

bool Cell::HideReplicasUnheard(bool& anyShown)
{
    bool found = false;
    bool shown = false;
    const CartesianGatherable gatherable(m_cartToFrac);
    const auto hide = [&](TreeNode* node) {
        found = true;
        if (Tavrel::IsA<ConformerAtom>(node))
            return true;
        auto& atom = static_cast<Atom&>(*node);
        if (!gatherable(atom.GetXYZ()))
            return true;
        const bool periodic = atom.IsPeriodic();
        if (atom.IsClipped() != periodic && !atom.SetClippedUnheard(periodic))
            return false;
        if (periodic)
            return true;
        shown = true;
        // Not an atom not yet modified: shown again by a heard walk, it would stay marked modified.
        return !atom.IsSymmetric() || (atom.IsModified() && atom.SetClippedUnheard(true));
    };
    const std::vector<const TreeNode*>& families = m_hiddenFamilies.Get();
    if (families.empty()) {
        const bool hidden = ForEachDescendentWhile(Atom::classType, hide);
        anyShown = shown;
        return hidden && found;
    }
    // The families hidden as they were made come in walk order: the walk passes over each (shown,
    // gathered and hidden, none periodic), the parent visited as any atom.
    bool hidden = true;
    std::size_t next = 0;
    ForEachDescendant(*this, [&](TreeNode* node) {
        if (!hidden)
            return false;
        if (node->IsA(Atom::classType) && !hide(node)) {
            hidden = false;
            return false;
        }
        if (next < families.size() && families[next] == node) {
            ++next;
            shown = true;
            return false;
        }
        return true;
    });
    anyShown = shown;
    return hidden && found;
}

bool Cell::ClipPeriodicAndSetupDisplayAtoms(AtomDataArray& out, bool hideReplicas, bool& anyShown)
{
    // While no one can hear a clip, a shown replica is hidden as it is met, and of a shown atom nothing
    // is kept. Where an atom cannot be clipped unheard, the walk starts again, heard: it shows again
    // what was hidden, unheard as it was hidden (no callback ran since), before the first clip heard.
    if (hideReplicas && m_marksHeld.Get() == TreeNode::GetCallbacksRun() && HideReplicasUnheard(anyShown))
        return true;
    AtomDataArray shown;
    bool found = false;
    WalkAtoms(Atom::classType, found, [&](Atom& atom, const AtomData& record) {
        if (!IsGatherable(record.xyz))
            return true;
        const bool periodic = atom.IsPeriodic();
        if (atom.IsClipped() != periodic) {
            const TreeNode::Watch alive(&atom);
            atom.SetClipped(periodic);
            if (!alive.alive)
                return false;
        }
        if (!periodic)
            shown.push_back(record);
        return true;
    });
    anyShown = !shown.empty();
    if (found)
        out.swap(shown);
    return false;
}

void Cell::SetupBuilderAtoms(int mode, AtomDataArray& out, bool append)
{
    Gather(mode, out, append, false);
}

void Cell::SetupDisplayAtoms(int mode, AtomDataArray& out, bool append)
{
    Gather(mode, out, append, true);
}

void Cell::UnclipAtoms()
{
    ForEachDescendant(*this, [](TreeNode* node) {
        if (!node->IsClipped() || !node->IsA(Atom::classType))
            return true;
        const TreeNode::Watch alive(node);
        node->SetClipped(false);
        return alive.alive;
    });
}

// ---- Replicas

bool Cell::ReplicateAtomsExist(int kind) const
{
    if (kind < AnyReplica || kind > PeriodicReplica)
        return false;
    bool exists = false;
    ForEachDescendant(*this, [kind, &exists](const TreeNode* node) {
        if (!exists && node->IsA(Atom::classType)) {
            const auto* const atom = static_cast<const Atom*>(node);
            exists = (kind != PeriodicReplica && atom->IsSymmetric()) || (kind != SymmetricReplica && atom->IsPeriodic());
        }
        return !exists;
    });
    return exists;
}

bool Cell::RemoveReplicateAtoms(int mode)
{
    const std::uint32_t type = mode == RemoveAll || mode == RemoveSymmetric ? Atom3d::classType
                                                                             : ReplicateAtom::classType;
    if (!HasDescendent(type))
        return false;
    // Without a replica below there is nothing to remove; the hint bits go as after any object.
    if (!ReplicateAtom::ExistBelow(*this)) {
        ClearReplicateHint(RemovedHintBits(mode));
        return false;
    }
    bool removed = false;
    for (const std::uint32_t oid : CollectOIDs(this, type)) {
        switch (mode) {
        case RemoveAll:
            if (auto* const atom = LiveAs<Atom3d>(oid))
                removed = ReplicateAtom::RemoveAllSymmetryChildren(atom) || removed;
            if (auto* const atom = LiveAs<Atom3d>(oid))
                removed = ReplicateAtom::RemoveAllPeriodicChildren(atom) || removed;
            break;
        case RemoveSymmetric:
            if (auto* const atom = LiveAs<Atom3d>(oid))
                removed = ReplicateAtom::RemoveAllSymmetryChildren(atom) || removed;
            break;
        case RemovePacked:
        case RemoveTiled:
            if (auto* const replica = LiveAs<ReplicateAtom>(oid)) {
                if (mode == RemovePacked ? replica->IsPeriodicPacked() : replica->IsPeriodicTiled()) {
                    delete replica;
                    removed = true;
                }
            }
            break;
        default: break;
        }
        ClearReplicateHint(RemovedHintBits(mode));
    }
    return removed;
}

void Cell::Refresh(bool rebuild)
{
    if (!ReplicateAtom::ExistBelow(*this))
        return;
    const Matrix3x3 fracToCart = m_fracToCart;
    const Matrix3x3 cartToFrac = m_cartToFrac;
    for (const std::uint32_t oid : CollectOIDs(this, Atom3d::classType)) {
        auto* atom = LiveAs<Atom3d>(oid);
        if (!atom)
            continue;
        if (!rebuild) {
            ReplicateAtom::UpdateCoords(atom, this, fracToCart, cartToFrac, m_symmetry.get());
            continue;
        }
        ReplicateAtom::RemoveAllSymmetryChildren(atom);
        if ((atom = LiveAs<Atom3d>(oid)))
            ReplicateAtom::ConstructSymmetryAtoms(atom, this, fracToCart, cartToFrac, m_symmetry.get());
    }
}

void Cell::UpdateASU(const Matrix3x3& oldCartToFrac)
{
    const bool replicas = ReplicateAtom::ExistBelow(*this);
    if (!HasDescendent(Atom3d::classType))
        return;
    for (const std::uint32_t oid : CollectOIDs(this, Atom3d::classType)) {
        auto* const atom = LiveAs<Atom3d>(oid);
        if (!atom)
            continue;
        atom->SetXYZ(atom->GetXYZ() * oldCartToFrac * m_fracToCart);
        if (replicas && LiveAs<Atom3d>(oid))
            ReplicateAtom::UpdateCoords(atom, this, m_fracToCart, m_cartToFrac, m_symmetry.get());
    }
}

// ---- Copies

void Cell::CopyStaticData(const Cell& other)
{
    m_specialPositionTol = other.m_specialPositionTol;
    m_labelOffset = other.m_labelOffset;
    m_orientation = other.m_orientation;
    m_clip = other.m_clip;
    m_fracToCart = other.m_fracToCart;
    m_cartToFrac = other.m_cartToFrac;
    m_periodicity = other.m_periodicity;
    m_replicateHint = other.m_replicateHint;
    m_networkHint = other.m_networkHint;
    m_auxDisplay = other.m_auxDisplay;
    m_stickRadius = other.m_stickRadius;
}

void Cell::CopySymmetryData(const Cell& other)
{
    if (!other.m_symmetry || other.m_symmetry.get() == m_symmetry.get())
        return;
    auto copy = std::make_unique<Symmetry>();
    *copy = *other.m_symmetry;
    SetSymmetry(copy.release());
}

// ---- Framework archive

void Cell::WriteFrameworkPart(Archive& archive) const
{
    archive << m_specialPositionTol << m_labelOffset << m_stickRadius << m_replicateHint << m_auxDisplay
            << m_networkHint << m_orientation << m_periodicity << std::int32_t{1};
    m_symmetry->Serialize(archive);
}

void Cell::ReadFrameworkPart(Archive& archive)
{
    const std::uint32_t schema = archive.GetObjectSchema();
    double tolerance = 0.0;
    Point3d labelOffset;
    float stickRadius = 0.0f;
    std::int32_t replicateHint = 0;
    std::int32_t auxDisplay = 0;
    std::int32_t networkHint = m_networkHint;
    std::int32_t orientation = 0;
    std::int32_t periodicity = 0;
    std::int32_t hasSymmetry = 0;
    archive >> tolerance >> labelOffset >> stickRadius >> replicateHint >> auxDisplay;
    if (schema != 1 && schema != 0xFFFFFFFFu)
        archive >> networkHint;
    archive >> orientation >> periodicity >> hasSymmetry;
    if (hasSymmetry == 1) {
        auto symmetry = std::make_unique<Symmetry>();
        symmetry->Serialize(archive);
        SetSymmetry(symmetry.release());
        // The symmetry's record inline leaves the archive at its own schema: the levels after this one
        // read by the cell's.
        archive.SetObjectSchema(schema);
    }
    m_specialPositionTol = tolerance;
    m_labelOffset = labelOffset;
    m_stickRadius = stickRadius;
    m_replicateHint = replicateHint;
    m_auxDisplay = auxDisplay;
    m_networkHint = networkHint;
    m_orientation = orientation;
    m_periodicity = periodicity;
}

} // namespace Tavrel
