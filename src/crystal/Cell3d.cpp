#include <tavrel/crystal/Cell3d.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/CopiedSubtree.h>
#include <tavrel/core/Font.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/ASUTools.h>
#include <tavrel/crystal/CellBonds.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/CellPacking.h>
#include <tavrel/crystal/CellReplicas.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/crystal/CellSymmetryServices.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/SymmetryExpansion.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Cell3d)

namespace {

constexpr double DefaultLengths[3] = {10.0, 10.0, 10.0};
constexpr double DefaultAngles[3] = {90.0, 90.0, 90.0};

// The nearest Cell3d above the object, asked for its images. These are known only to a cell's map:
// while no map exists, no cell is climbed to.
const Cell3d* MappedCell(const Object& object)
{
    return CellSymmetryMap::AnyExists() ? Cell3d::FindCell(&object) : nullptr;
}

// Answers from the nearest Cell3d above the object.
class CellAnswers final : public CrystalImageQueries {
public:
    bool IsPeriodic(const Object& object) const override
    {
        const Cell3d* const cell = MappedCell(object);
        return cell && cell->IsPeriodic(&object);
    }
    bool IsSymmetric(const Object& object) const override
    {
        const Cell3d* const cell = MappedCell(object);
        return cell && cell->IsSymmetric(&object);
    }
    std::int16_t GetSymmetryOperator(const Object& object) const override
    {
        const Cell3d* const cell = MappedCell(object);
        return cell ? cell->GetSymmetryOperator(&object) : std::int16_t{0};
    }
    LatticeOffset GetLatticeOffset(const Object& object) const override
    {
        const Cell3d* const cell = MappedCell(object);
        return cell ? cell->GetLatticeOffset(&object) : LatticeOffset();
    }
    std::string GetSymmetryLabel(const Object& object) const override
    {
        const Cell3d* const cell = Cell3d::FindCell(&object);
        return cell ? cell->GetSymmetryLabel(&object) : std::string();
    }
    bool IsCellCopied(const Object& object, const TreeNode* copyRoot) const override
    {
        const Cell3d* const cell = Cell3d::FindCell(&object);
        return cell && (cell == copyRoot || cell->HasAncestor(copyRoot));
    }
    // Outside the cell's clip box.
    bool IsClipped(const Object& object, const Point3d& position) const override
    {
        const Cell3d* const cell = Cell3d::FindCell(&object);
        return cell && !cell->InsideCell(position, false, true);
    }
};

// A tile component kept within 0 .. MaxTile from above (counts of 0 or less tile nothing).
LatticeOffset CappedTile(const LatticeOffset& tile)
{
    return LatticeOffset(std::min<int>(tile.a, Cell3d::MaxTile), std::min<int>(tile.b, Cell3d::MaxTile),
                         std::min<int>(tile.c, Cell3d::MaxTile));
}

std::string Fixed(double value, const char* format)
{
    return StringUtils::Format(format, value);
}

} // namespace

// ---- Build request and display settings

Cell3d::BuildInfo::BuildInfo(std::int32_t hint, double sameTolerance, bool proximityBonding, const LatticeOffset& tile)
    : m_hint(hint), m_sameTolerance(sameTolerance), m_proximityBonding(proximityBonding), m_tile(CappedTile(tile))
{
}

void Cell3d::BuildInfo::SetTile(const LatticeOffset& tile)
{
    m_tile = CappedTile(tile);
}

void Cell3d::BuildInfo::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        archive << m_hint << m_sameTolerance << std::int32_t{m_proximityBonding ? 1 : 0};
        m_tile.Serialize(archive);
        return;
    }
    std::int32_t hint = 0;
    double tolerance = 0.0;
    std::int32_t proximity = 0;
    LatticeOffset tile;
    archive >> hint >> tolerance >> proximity;
    tile.Serialize(archive);
    m_hint = hint;
    m_sameTolerance = tolerance;
    m_proximityBonding = proximity != 0;
    SetTile(tile);
}

void Cell3d::PerDisplay::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        archive << static_cast<std::int32_t>(m_packColor.GetValue() & 0x00FFFFFFu) << m_flags;
        m_tiling.Serialize(archive);
        return;
    }
    std::int32_t color = 0;
    std::int32_t flags = 0;
    LatticeOffset tiling;
    archive >> color >> flags;
    tiling.Serialize(archive);
    m_packColor = Color(static_cast<std::uint32_t>(color));
    m_flags = flags;
    m_tiling = tiling;
}

// ---- The replicas of a build in progress

// Opens the cell's replicas for the outermost step and closes them when it ends.
class Cell3d::BuildScope {
public:
    explicit BuildScope(Cell3d& cell) : m_cell(cell)
    {
        if (m_cell.m_buildDepth.Get()++ == 0)
            m_cell.m_replicas.Get() = std::make_unique<CellReplicas>(m_cell);
    }
    ~BuildScope()
    {
        if (--m_cell.m_buildDepth.Get() == 0)
            m_cell.m_replicas.Get().reset();
    }
    BuildScope(const BuildScope&) = delete;
    BuildScope& operator=(const BuildScope&) = delete;

private:
    Cell3d& m_cell;
};

CellReplicas& Cell3d::Replicas()
{
    return *m_replicas.Get();
}

// ---- Construction

Cell3d::Cell3d()
{
    MakeTransforms();
}

Cell3d::Cell3d(Object* parent) : Cell(parent)
{
    MakeTransforms();
    SetDirty(true);
}

Cell3d::Cell3d(Object* parent, const double* angles, const double* lengths, Symmetry* symmetry) : Cell(nullptr)
{
    Complete(parent, angles && lengths && SetGeometry(lengths, angles), symmetry);
}

Cell3d::Cell3d(Object* parent, const double* angles, const double* lengths, const char* symbol, const char* qualifier,
               int choice)
    : Cell(nullptr)
{
    bool accepted = angles && lengths && SetGeometry(lengths, angles);
    auto symmetry = std::make_unique<Symmetry>();
    accepted = accepted && symbol && symmetry->LoadSpaceGroup(std::string_view(symbol), qualifier ? qualifier : "", choice);
    Complete(parent, accepted, symmetry.release());
}

Cell3d::Cell3d(Object* parent, const double* angles, const double* lengths, int number, const char* qualifier, int choice)
    : Cell(nullptr)
{
    auto symmetry = std::make_unique<Symmetry>();
    bool accepted = symmetry->LoadSpaceGroup(number, qualifier ? qualifier : "", choice);
    accepted = accepted && angles && lengths && SetGeometry(lengths, angles);
    Complete(parent, accepted, symmetry.release());
}

Cell3d::Cell3d(Object* parent, const Point3d* vectors, Symmetry* symmetry) : Cell(nullptr)
{
    double angles[3];
    double lengths[3];
    const bool accepted = vectors && CellUtil::ParametersFromVectors(vectors, angles, lengths) &&
                          SetGeometry(lengths, angles);
    Complete(parent, accepted, symmetry);
}

Cell3d::Cell3d(Object* parent, const Point3d* vectors, int number, const char* qualifier, int choice) : Cell(nullptr)
{
    double angles[3];
    double lengths[3];
    bool accepted = vectors && CellUtil::ParametersFromVectors(vectors, angles, lengths);
    auto symmetry = std::make_unique<Symmetry>();
    accepted = accepted && symmetry->LoadSpaceGroup(number, qualifier ? qualifier : "", choice);
    accepted = accepted && SetGeometry(lengths, angles);
    Complete(parent, accepted, symmetry.release());
}

Cell3d::Cell3d(const double* angles, const double* lengths, const char* symbol) : Cell(nullptr)
{
    auto symmetry = std::make_unique<Symmetry>();
    bool accepted = symbol && symmetry->LoadSpaceGroup(std::string_view(symbol), "", 1);
    accepted = accepted && angles && lengths && SetGeometry(lengths, angles);
    Complete(nullptr, accepted, symmetry.release());
}

void Cell3d::Complete(Object* parent, bool accepted, Symmetry* symmetry)
{
    MakeTransforms();
    SetDirty(true);
    if (!accepted) {
        delete symmetry;
        return;
    }
    if (symmetry)
        SetSymmetry(symmetry);
    SetParent(parent);
}

void Cell3d::DeepenShallowCopy()
{
    const auto* const source = DynCast<Cell3d>(GetCopySource());
    Cell::DeepenShallowCopy();
    if (!m_symmetryMapEnabled || !source || !source->GetSymmetryMap())
        return;
    const CellSymmetryMap& sourceMap = *source->GetSymmetryMap();
    // The keys of the source's map as they are now, for a map made anew for the copy.
    sourceMap.GetOperationIndexList(m_operationList);
    m_symmetryMap = sourceMap.ShallowCopy();
    if (!m_symmetryMap || m_symmetryMap->GetCell() == this)
        return;
    const TreeNode* const root = GetCopyRoot();
    // The OIDs of the copies made in this copy; false when an object is gone, outside the copy or
    // not copied. OID 0 stays 0.
    const auto translate = [root](const OIDArray& from, OIDArray& to) {
        to.clear();
        to.reserve(from.size());
        for (const std::uint32_t oid : from) {
            if (oid == 0) {
                to.push_back(0);
                continue;
            }
            const Object* const object = Object::GetObjectA(oid);
            const Base* const copy = object && IsInCopiedSubtree(*object, root) ? object->Copy() : nullptr;
            if (!copy)
                return false;
            to.push_back(copy->GetOID());
        }
        return true;
    };
    OIDArray oldAtoms, newAtoms, oldObjects, newObjects, oldBonds, newBonds;
    sourceMap.GetAtomOIDs(oldAtoms);
    sourceMap.GetObjectOIDs(oldObjects);
    sourceMap.GetBondOIDs(oldBonds);
    if (translate(oldAtoms, newAtoms) && translate(oldObjects, newObjects) && translate(oldBonds, newBonds) &&
        m_symmetryMap->Paste(this, oldAtoms, newAtoms, oldObjects, newObjects, oldBonds, newBonds, sourceMap))
        return;
    m_symmetryMap = nullptr;
    m_symmetryMap = CellSymmetryServices::Installed().CreateSymmetryMap(*this, m_operationList);
    if (m_symmetryMap)
        m_symmetryMap->EnableEvents();
}

Cell3d::~Cell3d() = default;

int Cell3d::GetDimensionality() const
{
    return 3;
}

// ---- Persistence

const PropertyTable& Cell3d::Properties()
{
    // The framework record holds the level's values in its own form (the ArchiveOnly entry).
    static const PropertyTable table(
        PropertyList<Cell3d>()
            .Archived(
                "Cell3D PerDisplay", [](Cell3d& cell, Archive& archive) { cell.m_perDisplay.Get().Serialize(archive); },
                [](Cell3d& cell, Archive& archive) {
                    PerDisplay display;
                    display.Serialize(archive);
                    cell.m_perDisplay.Get() = display;
                })
            .StreamOnly()
            .Archived(
                "Cell3D BuildInfo", [](Cell3d& cell, Archive& archive) { cell.m_buildInfo.Serialize(archive); },
                [](Cell3d& cell, Archive& archive) {
                    BuildInfo info;
                    info.Serialize(archive);
                    cell.m_buildInfo = info;
                })
            .StreamOnly()
            .Value<Storage::StorageDouble>(
                "Cell3d Length 0", [](const Cell3d& cell) { return cell.m_lengths[0]; },
                [](Cell3d& cell, double value) { cell.m_lengths[0] = value; })
            .StreamOnly()
            .Value<Storage::StorageDouble>(
                "Cell3d Length 1", [](const Cell3d& cell) { return cell.m_lengths[1]; },
                [](Cell3d& cell, double value) { cell.m_lengths[1] = value; })
            .StreamOnly()
            .Value<Storage::StorageDouble>(
                "Cell3d Length 2", [](const Cell3d& cell) { return cell.m_lengths[2]; },
                [](Cell3d& cell, double value) { cell.m_lengths[2] = value; })
            .StreamOnly()
            .Value<Storage::StorageDouble>(
                "Cell3d Angle 0", [](const Cell3d& cell) { return cell.m_angles[0]; },
                [](Cell3d& cell, double value) { cell.m_angles[0] = value; })
            .StreamOnly()
            .Value<Storage::StorageDouble>(
                "Cell3d Angle 1", [](const Cell3d& cell) { return cell.m_angles[1]; },
                [](Cell3d& cell, double value) { cell.m_angles[1] = value; })
            .StreamOnly()
            .Value<Storage::StorageDouble>(
                "Cell3d Angle 2", [](const Cell3d& cell) { return cell.m_angles[2]; },
                [](Cell3d& cell, double value) { cell.m_angles[2] = value; })
            .StreamOnly()
            .Field<Storage::StorageBool, &Cell3d::m_symmetryMapEnabled>("Cell3d SymmetryMap Enabled")
            .StreamOnly()
            .Values<Storage::StorageInt>(
                "Cell3d OperationList",
                // The map's current keys are written when the cell has a map.
                [](const Cell3d& cell) {
                    if (cell.m_symmetryMap.Get())
                        cell.m_symmetryMap.Get()->GetOperationIndexList(cell.m_operationList);
                    return cell.m_operationList.size();
                },
                [](const Cell3d& cell, std::size_t index) {
                    return index < cell.m_operationList.size() ? cell.m_operationList[index] : 0;
                },
                [](Cell3d& cell, std::size_t index, std::int32_t value) {
                    IntArray& list = cell.m_operationList;
                    if (index == 0)
                        list.clear();
                    if (index == list.size())
                        list.push_back(value);
                    else if (index < list.size())
                        list[index] = value;
                })
            .StreamOnly()
            .ArchiveOnly([](const Cell3d& cell, Archive& archive) { cell.WriteFrameworkPart(archive); },
                         [](Cell3d& cell, Archive& archive) { cell.ReadFrameworkPart(archive); })
            .Text("Length A")
            .GetText([](const Cell3d& cell) { return Fixed(cell.m_lengths[0], "%.4f"); })
            .ReadOnly()
            .Described([](const Cell3d& cell) {
                return ObjectProperty("Length A", Fixed(cell.m_lengths[0], "%.4f"), ObjectProperty::AccessReadable, 0);
            })
            .Text("Length B")
            .GetText([](const Cell3d& cell) { return Fixed(cell.m_lengths[1], "%.4f"); })
            .ReadOnly()
            .Described([](const Cell3d& cell) {
                return ObjectProperty("Length B", Fixed(cell.m_lengths[1], "%.4f"), ObjectProperty::AccessReadable, 0);
            })
            .Text("Length C")
            .GetText([](const Cell3d& cell) { return Fixed(cell.m_lengths[2], "%.4f"); })
            .ReadOnly()
            .Described([](const Cell3d& cell) {
                return ObjectProperty("Length C", Fixed(cell.m_lengths[2], "%.4f"), ObjectProperty::AccessReadable, 0);
            })
            .Text("Angle Alpha")
            .GetText([](const Cell3d& cell) { return Fixed(cell.m_angles[0], "%.2f"); })
            .ReadOnly()
            .Described([](const Cell3d& cell) {
                return ObjectProperty("Angle Alpha", Fixed(cell.m_angles[0], "%.2f"), ObjectProperty::AccessReadable, 0);
            })
            .Text("Angle Beta")
            .GetText([](const Cell3d& cell) { return Fixed(cell.m_angles[1], "%.2f"); })
            .ReadOnly()
            .Described([](const Cell3d& cell) {
                return ObjectProperty("Angle Beta", Fixed(cell.m_angles[1], "%.2f"), ObjectProperty::AccessReadable, 0);
            })
            .Text("Angle Gamma")
            .GetText([](const Cell3d& cell) { return Fixed(cell.m_angles[2], "%.2f"); })
            .ReadOnly()
            .Described([](const Cell3d& cell) {
                return ObjectProperty("Angle Gamma", Fixed(cell.m_angles[2], "%.2f"), ObjectProperty::AccessReadable, 0);
            })
            .Text("Space Group")
            .GetText([](const Cell3d& cell) { return cell.SpaceGroupText(); })
            .ReadOnly()
            .Described([](const Cell3d& cell) {
                return ObjectProperty("Space Group", cell.SpaceGroupText(), ObjectProperty::AccessReadable, 0);
            })
            // The children of a framework record are read by now. An asymmetric unit stored alone is
            // to get its replicas again, but not while the archive is still reading: a build deletes
            // repeated atoms that later records may refer to. The cell is left dirty, so that its next
            // build (the document's, once the whole file is read) makes them.
            .AfterRecord([](Cell3d& cell, Archive& archive, PropertyArchive* stream) {
                if (!archive.IsLoading())
                    return;
                cell.RestoreAfterLoad();
                if (!stream && cell.HoldsOnlyAsymmetricAtoms())
                    cell.SetDirty(true);
            }));
    return table;
}

std::string Cell3d::SpaceGroupText() const
{
    const Symmetry* const symmetry = GetSymmetry();
    return StringUtils::Format("%d   (%s %s)", symmetry->GetTableNumber(), symmetry->GetName(),
                               symmetry->QualifierString(true));
}

void Cell3d::RestoreAfterLoad()
{
    Symmetry* const symmetry = GetSymmetry();
    // A symmetry stored by name only gets the operators of its table entry again; the cell stays clean.
    if (symmetry->GetNumSymmetryOps() == 0) {
        const std::string group = StringUtils::Format("%-3d  %s", symmetry->GetTableNumber(), symmetry->GetName());
        symmetry->LoadSpaceGroup(group, symmetry->QualifierString(true));
    }
    if (symmetry->GetNumSymmetryOps() == 0)
        symmetry->AddSymmetryOp(new SymmetryOp());
    if (!MakeTransforms()) {
        std::copy(std::begin(DefaultLengths), std::end(DefaultLengths), m_lengths);
        std::copy(std::begin(DefaultAngles), std::end(DefaultAngles), m_angles);
        MakeTransforms();
    }
}

void Cell3d::WriteFrameworkPart(Archive& archive) const
{
    // Each Serialize only writes while the archive stores.
    const_cast<PerDisplay&>(m_perDisplay.Get()).Serialize(archive);
    const_cast<BuildInfo&>(m_buildInfo).Serialize(archive);
    archive << m_lengths[0] << m_lengths[1] << m_lengths[2] << m_angles[0] << m_angles[1] << m_angles[2];
}

void Cell3d::ReadFrameworkPart(Archive& archive)
{
    const std::uint32_t schema = archive.GetObjectSchema();
    PerDisplay display;
    display.Serialize(archive);
    BuildInfo info;
    if (schema >= 2 && schema != 0xFFFFFFFFu) {
        info.Serialize(archive);
    } else {
        const std::int32_t flags = display.GetFlags();
        info = BuildInfo(flags == 0 ? 0 : flags == 4 ? 2 : 1, 0.001, true, display.GetTiling());
    }
    double values[6];
    for (double& value : values)
        archive >> value;
    m_perDisplay.Get() = display;
    m_buildInfo = info;
    std::copy(values, values + 3, m_lengths);
    std::copy(values + 3, values + 6, m_angles);
}

bool Cell3d::HoldsOnlyAsymmetricAtoms() const
{
    bool asymmetric = false;
    DescendentIterator walk(const_cast<Cell3d*>(this), Atom::classType, false);
    while (Object* const object = walk.GetNext()) {
        auto* const atom = static_cast<Atom*>(object);
        if (ASUTools::IsReplicateAtom(atom))
            return false;
        asymmetric = asymmetric || (Tavrel::IsA<Atom3d>(atom) && !Tavrel::IsA<ConformerAtom>(atom));
    }
    return asymmetric;
}

// ---- Display

void Cell3d::Display(DisplayList3D& list)
{
    if (!(IsSelected() || IsVisible()) || !IsActive() || GetDisplayStyle() == 0)
        return;
    const Color color = IsSelected() ? Color::Selected() : GetColor();
    const Matrix3x3 fracToCart = GetFracToCart();
    const std::uint32_t oid = GetOID();
    if (GetAuxDisplay() & 1) {
        Point3d a;
        Point3d b;
        Point3d c;
        GetVectors(a, b, c);
        const Point3d& offset = GetLabelOffset();
        const Font& font = Font::DefaultBigFont();
        list.Add(Text3DPrimitive("O", offset, 0.0, Color::White(), font, oid));
        list.Add(Text3DPrimitive("A", a + Point3d(0.1, 0.0, 0.0) + offset, 0.0, Color::Red(), font, oid));
        list.Add(Text3DPrimitive("B", b + Point3d(0.0, 0.1, 0.0) + offset, 0.0, Color::Yellow(), font, oid));
        list.Add(Text3DPrimitive("C", c + Point3d(0.0, 0.0, 0.1) + offset, 0.0, Color::Green(), font, oid));
    }
    const int style = GetDisplayStyle();
    DisplayGeometry(LatticeOffset(0, 0, 0), color, fracToCart, style, list);
    if (!IsTiled())
        return;
    // The stored tile is at most MaxTile per axis.
    const LatticeOffset& tile = m_buildInfo.GetTile();
    for (int i = 0; i < tile.a; ++i) {
        for (int j = 0; j < tile.b; ++j) {
            for (int k = 0; k < tile.c; ++k) {
                if (i != 0 || j != 0 || k != 0)
                    DisplayGeometry(LatticeOffset(i, j, k), color, fracToCart, style, list);
            }
        }
    }
}

void Cell3d::DisplayGeometry(const LatticeOffset& offset, const Color& color, const Matrix3x3& fracToCart,
                             int style, DisplayList3D& list) const
{
    const bool lines = list.GetMode() == DisplayList3D::fastMode ||
                       (list.GetMode() == DisplayList3D::normalMode && style == 1);
    const bool sticks = list.GetMode() == DisplayList3D::normalMode && style == 2;
    if (!lines && !sticks)
        return;
    Point3d origin(offset.a, offset.b, offset.c);
    fracToCart.Transform(origin);
    // Corners 0 to 3 go round the face at z = 0, corners 4 to 7 round the face at z = 1.
    static constexpr double square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    Point3d corners[8];
    for (int k = 0; k < 4; ++k) {
        corners[k] = Point3d(square[k][0], square[k][1], 0.0) * fracToCart + origin;
        corners[k + 4] = Point3d(square[k][0], square[k][1], 1.0) * fracToCart + origin;
    }
    static constexpr int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                         {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    const std::uint32_t oid = GetOID();
    if (lines) {
        for (const auto& edge : edges)
            list.Add(LinePrimitive(corners[edge[0]], color, corners[edge[1]], color, 3, oid));
        return;
    }
    // Each face's four sticks then its four balls, then the four sticks between the faces.
    const double radius = GetStickRadius();
    for (int face = 0; face < 3; ++face) {
        for (int e = 4 * face; e < 4 * face + 4; ++e)
            list.Add(CylinderPrimitive(corners[edges[e][0]], color, corners[edges[e][1]], color, radius, oid));
        if (face < 2) {
            for (int k = 4 * face; k < 4 * face + 4; ++k)
                list.Add(SpherePrimitive(corners[k], radius, color, oid));
        }
    }
}

// ---- Frame and parameters

CellUtil::CellOrientation Cell3d::Frame() const
{
    return GetStoredOrientation() == CellUtil::OrientationCAlongZ ? CellUtil::OrientationCAlongZ
                                                                  : CellUtil::OrientationAAlongX;
}

bool Cell3d::MakeTransforms()
{
    double m[9] = {};
    CellUtil::CellMatrixFromParameters(m_lengths, m_angles, m, Frame());
    return SetTransformsFromColumns(m);
}

bool Cell3d::ApplyGeometry(const double lengths[3], const double angles[3])
{
    double oldLengths[3];
    double oldAngles[3];
    std::copy(m_lengths, m_lengths + 3, oldLengths);
    std::copy(m_angles, m_angles + 3, oldAngles);
    std::copy(lengths, lengths + 3, m_lengths);
    std::copy(angles, angles + 3, m_angles);
    if (!MakeTransforms()) {
        std::copy(oldLengths, oldLengths + 3, m_lengths);
        std::copy(oldAngles, oldAngles + 3, m_angles);
        return false;
    }
    SetDirty(true);
    return true;
}

bool Cell3d::CheckAngles(double alpha, double beta, double gamma)
{
    return beta + gamma - alpha > Epsilon && alpha - beta + gamma > Epsilon && alpha + beta - gamma > Epsilon &&
           alpha + beta + gamma < 360.0;
}

bool Cell3d::SetGeometry(const float* lengths, const float* angles)
{
    if (!lengths || !angles)
        return false;
    return SetGeometry(lengths[0], lengths[1], lengths[2], angles[0], angles[1], angles[2]);
}

bool Cell3d::SetGeometry(const double* lengths, const double* angles)
{
    if (!lengths || !angles)
        return false;
    return SetGeometry(lengths[0], lengths[1], lengths[2], angles[0], angles[1], angles[2]);
}

bool Cell3d::SetGeometry(double a, double b, double c, double alpha, double beta, double gamma)
{
    if (!(a >= Epsilon && b >= Epsilon && c >= Epsilon) || !CheckAngles(alpha, beta, gamma))
        return false;
    const double lengths[3] = {a, b, c};
    const double angles[3] = {alpha, beta, gamma};
    return ApplyGeometry(lengths, angles);
}

void Cell3d::GetVectors(Point3d& a, Point3d& b, Point3d& c) const
{
    const Matrix3x3 m = GetFracToCart();
    a = Point3d(m(0, 0), m(0, 1), m(0, 2));
    b = Point3d(m(1, 0), m(1, 1), m(1, 2));
    c = Point3d(m(2, 0), m(2, 1), m(2, 2));
}

bool Cell3d::SetLengths(const float* lengths)
{
    if (!lengths)
        return false;
    const double wide[3] = {lengths[0], lengths[1], lengths[2]};
    return SetLengths(wide);
}

bool Cell3d::SetLengths(const double* lengths)
{
    if (!lengths || !(lengths[0] > Epsilon && lengths[1] > Epsilon && lengths[2] > Epsilon))
        return false;
    return ApplyGeometry(lengths, m_angles);
}

bool Cell3d::SetLengths(double a, double b, double c)
{
    if (!(a >= Epsilon && b >= Epsilon && c >= Epsilon))
        return false;
    const double lengths[3] = {a, b, c};
    return ApplyGeometry(lengths, m_angles);
}

void Cell3d::GetLengths(double* lengths) const
{
    std::copy(m_lengths, m_lengths + 3, lengths);
}

void Cell3d::GetLengths(float* a, float* b, float* c) const
{
    *a = static_cast<float>(m_lengths[0]);
    *b = static_cast<float>(m_lengths[1]);
    *c = static_cast<float>(m_lengths[2]);
}

void Cell3d::GetLengths(double* a, double* b, double* c) const
{
    *a = m_lengths[0];
    *b = m_lengths[1];
    *c = m_lengths[2];
}

bool Cell3d::SetSingleGeometryParam(int index, double value)
{
    if (!(value >= Epsilon))
        return false;
    double lengths[3];
    double angles[3];
    std::copy(m_lengths, m_lengths + 3, lengths);
    std::copy(m_angles, m_angles + 3, angles);
    if (index < 3) {
        lengths[index] = value;
    } else {
        angles[index - 3] = value;
        if (!CheckAngles(angles[0], angles[1], angles[2]))
            return false;
    }
    return ApplyGeometry(lengths, angles);
}

bool Cell3d::SetA(double a)
{
    return SetSingleGeometryParam(0, a);
}

double Cell3d::GetA() const
{
    return m_lengths[0];
}

bool Cell3d::SetB(double b)
{
    return SetSingleGeometryParam(1, b);
}

double Cell3d::GetB() const
{
    return m_lengths[1];
}

bool Cell3d::SetC(double c)
{
    return SetSingleGeometryParam(2, c);
}

double Cell3d::GetC() const
{
    return m_lengths[2];
}

bool Cell3d::SetAngles(const float* angles)
{
    if (!angles)
        return false;
    const double wide[3] = {angles[0], angles[1], angles[2]};
    return SetAngles(wide);
}

bool Cell3d::SetAngles(const double* angles)
{
    if (!angles || !CheckAngles(angles[0], angles[1], angles[2]) ||
        !(angles[0] > Epsilon && angles[1] > Epsilon && angles[2] > Epsilon))
        return false;
    return ApplyGeometry(m_lengths, angles);
}

bool Cell3d::SetAngles(double alpha, double beta, double gamma)
{
    if (!(alpha >= Epsilon && beta >= Epsilon && gamma >= Epsilon) || !CheckAngles(alpha, beta, gamma))
        return false;
    const double angles[3] = {alpha, beta, gamma};
    return ApplyGeometry(m_lengths, angles);
}

void Cell3d::GetAngles(float* alpha, float* beta, float* gamma) const
{
    *alpha = static_cast<float>(m_angles[0]);
    *beta = static_cast<float>(m_angles[1]);
    *gamma = static_cast<float>(m_angles[2]);
}

void Cell3d::GetAngles(double* angles) const
{
    std::copy(m_angles, m_angles + 3, angles);
}

void Cell3d::GetAngles(double* alpha, double* beta, double* gamma) const
{
    *alpha = m_angles[0];
    *beta = m_angles[1];
    *gamma = m_angles[2];
}

bool Cell3d::SetAlpha(double alpha)
{
    return SetSingleGeometryParam(3, alpha);
}

double Cell3d::GetAlpha() const
{
    return m_angles[0];
}

bool Cell3d::SetBeta(double beta)
{
    return SetSingleGeometryParam(4, beta);
}

double Cell3d::GetBeta() const
{
    return m_angles[1];
}

bool Cell3d::SetGamma(double gamma)
{
    return SetSingleGeometryParam(5, gamma);
}

double Cell3d::GetGamma() const
{
    return m_angles[2];
}

void Cell3d::GetGeometry(double* lengths, double* angles) const
{
    GetLengths(lengths);
    GetAngles(angles);
}

void Cell3d::GetGeometry(Point3d& lengths, Point3d& angles) const
{
    lengths = Point3d(m_lengths[0], m_lengths[1], m_lengths[2]);
    angles = Point3d(m_angles[0], m_angles[1], m_angles[2]);
}

const Cell3d::PerDisplay& Cell3d::GetPerDisplay() const
{
    return m_perDisplay.Get();
}

void Cell3d::SetPerDisplay(const PerDisplay& display)
{
    m_perDisplay.Get() = display;
}

bool Cell3d::SetOrientation(CellUtil::CellOrientation orientation)
{
    if (orientation >= 1 && orientation <= 14)
        return false;
    if (orientation == GetStoredOrientation())
        return true;
    const CellUtil::CellOrientation previous = GetStoredOrientation();
    StoreOrientation(orientation);
    if (!MakeTransforms()) {
        StoreOrientation(previous);
        return false;
    }
    SetDirty(true);
    return true;
}

CellUtil::CellOrientation Cell3d::GetOrientation(bool resolve) const
{
    const CellUtil::CellOrientation stored = GetStoredOrientation();
    return resolve && stored == CellUtil::OrientationDefault ? CellUtil::OrientationAAlongX : stored;
}

bool Cell3d::GetFixFractional() const
{
    return m_fixFractional;
}

bool Cell3d::SetFixFractional(bool fix)
{
    m_fixFractional = fix;
    return true;
}

// ---- Build request

bool Cell3d::SetTileSettings(const LatticeOffset& tile)
{
    if (!(tile > -1) || tile.a > MaxTile || tile.b > MaxTile || tile.c > MaxTile)
        return false;
    m_buildInfo.SetTile(tile);
    return true;
}

LatticeOffset Cell3d::GetTileSettings() const
{
    return m_buildInfo.GetTile();
}

void Cell3d::GetTileSettings(LatticeOffset& tile) const
{
    tile = m_buildInfo.GetTile();
}

bool Cell3d::IsTiled() const
{
    return !m_buildInfo.GetTile().IsSame(LatticeOffset(1, 1, 1));
}

void Cell3d::SetBuildInfo(const BuildInfo& info)
{
    m_buildInfo = info;
}

Cell3d::BuildInfo Cell3d::GetBuildInfo() const
{
    return m_buildInfo;
}

// ---- Build

void Cell3d::EnableMapEvents()
{
    if (CellSymmetryMap* const map = GetSymmetryMap())
        map->EnableEvents();
}

bool Cell3d::Build(BuildInfo info)
{
    bool changed = true;
    if (info == m_buildInfo) {
        changed = IsDirty();
    } else {
        m_buildInfo = info;
        SetSpecialPositionTol(info.GetSameTol());
    }
    if (!HasUsableTransforms())
        return false;
    if (CellSymmetryMap* const map = GetSymmetryMap()) {
        map->DisableEvents();
        map->MarkDirty(IsDirty());
    }
    if (changed) {
        Unbuild();
        AtomDataArray list;
        const std::uint64_t callbacks = TreeNode::GetCallbacksRun();
        SetupBuilderAtoms(AsymmetricAtoms, list, false);
        if (list.empty()) {
            EnableMapEvents();
            return false;
        }
        // The steps add no Atom3d: the walk just marked them all, unless a callback ran meanwhile.
        const struct Marks {
            Cell3d& cell;
            ~Marks() { cell.ForgetMarks(); }
        } marks{*this};
        if (TreeNode::GetCallbacksRun() == callbacks)
            HoldMarks();
        const BuildScope scope(*this);
        SymmetryExpansion expansion(Replicas());
        // Deleting atoms without a callback leaves the others as they were gathered.
        if (expansion.DoTranslationalOverSpecified(list)) {
            if (TreeNode::GetCallbacksRun() == callbacks) {
                std::erase_if(list, [](const AtomData& record) { return !record.Live(); });
            } else {
                SetupBuilderAtoms(AsymmetricAtoms, list, false);
                expansion.ForgetTranslationalCheck();
            }
        }
        // Without proximity bonds the list serves only the bonds of the asymmetric atoms, which the
        // expansion of a cell without replicas leaves in their places: the replicas are not gathered.
        const bool asymmetricOnly = Replicas().Empty() && !m_buildInfo.GetProximityBonding();
        if (asymmetricOnly && m_buildInfo.GetHint() == BuildInfo::NoPacking)
            HideNewFamilies();
        expansion.DoSymmetry(list);
        // Replicas given bonds cannot be hidden unheard: the walk will fall back to the heard one, and
        // the families made hidden would only slow its start.
        if (expansion.MayHoldBonds())
            ForgetHiddenFamilies();
        if (asymmetricOnly)
            std::erase_if(list, [](const AtomData& record) { return !record.Live(); });
        else
            SetupBuilderAtomsAndReplicas(list);
        if (expansion.MayHoldBonds() && DoSymmetryBonds(list) && !asymmetricOnly)
            SetupBuilderAtomsAndReplicas(list);
        if (m_buildInfo.GetProximityBonding()) {
            DoProximityBonds(list);
            SetupBuilderAtomsAndReplicas(list);
        }
        BuildDisplay(m_buildInfo);
    } else {
        EnableMapEvents();
    }
    SetDirty(false);
    return true;
}

bool Cell3d::BuildDisplay(BuildInfo info)
{
    m_buildInfo = info;
    const BuildScope scope(*this);
    AtomDataArray list;
    // Without packing, the gathering walk hides the replicas itself where no one can tell.
    bool anyShown = false;
    const bool hidden = ClipPeriodicAndSetupDisplayAtoms(list, m_buildInfo.GetHint() == BuildInfo::NoPacking, anyShown);
    // Packing may show replicas that were made before it (bonds by distance, earlier builds): the atoms
    // shown are gathered again for tiling. One cell is not tiled, and only a callback could have
    // added an atom for the gathering to mark since the last.
    const std::uint64_t callbacks = TreeNode::GetCallbacksRun();
    const bool packed = hidden ? anyShown : Pack(list);
    if (packed && (IsTiled() || TreeNode::GetCallbacksRun() != callbacks))
        SetupDisplayAtoms(AllAtoms, list, false);
    Tile(list);
    if (m_symmetryMapEnabled) {
        if (!m_symmetryMap.Get())
            m_symmetryMap.Get() = CellSymmetryServices::Installed().CreateSymmetryMap(*this, m_operationList);
        if (m_symmetryMap.Get()) {
            m_symmetryMap.Get()->Update();
            m_symmetryMap.Get()->EnableEvents();
        }
    }
    SetDirty(false);
    return true;
}

bool Cell3d::Unbuild()
{
    SetClip(LatticeOffset(1, 1, 1));
    const bool removed = RemoveReplicateAtoms(RemoveAll);
    if (!IsDirty()) {
        OIDArray atoms;
        OIDArray marked;
        DescendentIterator walk(this, false);
        while (Object* const object = walk.GetNext()) {
            if (Tavrel::IsA<Atom3d>(object))
                atoms.push_back(object->GetOID());
        }
        for (const std::uint32_t oid : atoms) {
            Object* const atom = Object::GetObjectA(oid);
            if (atom && atom->HasProperty("_REP"))
                delete atom;
        }
        walk.Reset();
        while (Object* const object = walk.GetNext()) {
            if (object->HasProperty("_REP") && !object->HasDescendent(Atom::classType))
                marked.push_back(object->GetOID());
        }
        for (const std::uint32_t oid : marked)
            delete Object::GetObjectA(oid);
    }
    UnclipAtoms();
    ClearReplicateHint(0xFF);
    return removed;
}

void Cell3d::Perceive()
{
    SetNetworkHint(7);
}

void Cell3d::ConstructBonds() const
{
    OIDArray symmetric;
    OIDArray periodic;
    DescendentIterator walk(const_cast<Cell3d*>(this), ReplicateAtom::classType, false);
    while (Object* const object = walk.GetNext())
        (static_cast<ReplicateAtom*>(object)->IsPeriodic() ? periodic : symmetric).push_back(object->GetOID());
    for (const OIDArray* pass : {&symmetric, &periodic}) {
        for (const std::uint32_t oid : *pass) {
            if (auto* const replica = DynCast<ReplicateAtom>(Base::GetObjectA(oid)))
                replica->ConstructBonds(DynCast<Atom>(replica->GetParent()));
        }
    }
}

// ---- Steps

bool Cell3d::DoTranslationalOverSpecified(AtomDataArray& list)
{
    const BuildScope scope(*this);
    return SymmetryExpansion(Replicas()).DoTranslationalOverSpecified(list);
}

bool Cell3d::DoSymmetry(AtomDataArray& list)
{
    const BuildScope scope(*this);
    return SymmetryExpansion(Replicas()).DoSymmetry(list);
}

bool Cell3d::DoSymmetryBonds(AtomDataArray& list)
{
    const BuildScope scope(*this);
    return CellBonds(Replicas()).DoSymmetryBonds(list);
}

bool Cell3d::DoProximityBonds(AtomDataArray& list)
{
    const BuildScope scope(*this);
    return CellBonds(Replicas()).DoProximityBonds(list);
}

bool Cell3d::Pack(AtomDataArray& list)
{
    const BuildScope scope(*this);
    return CellPacking(Replicas()).Pack(list);
}

bool Cell3d::PackDefault(AtomDataArray& list)
{
    const BuildScope scope(*this);
    return CellPacking(Replicas()).PackDefault(list);
}

bool Cell3d::Tile(AtomDataArray& list)
{
    const BuildScope scope(*this);
    return CellPacking(Replicas()).Tile(list);
}

bool Cell3d::IsPrime(int n)
{
    if (n <= 3)
        return true;
    if (n % 2 == 0)
        return false;
    const int limit = static_cast<int>(std::sqrt(static_cast<double>(n)));
    for (int d = 3; d <= limit; d += 2) {
        if (n % d == 0)
            return false;
    }
    return true;
}

int Cell3d::NextPrime(int n)
{
    // INT_MAX is prime, so the search ends.
    int candidate = 2 * (n / 2) + 1;
    while (!IsPrime(candidate))
        ++candidate;
    return candidate;
}

// ---- Symmetry map and queries

CellSymmetryMap* Cell3d::GetSymmetryMap() const
{
    return m_symmetryMapEnabled ? m_symmetryMap.Get().get() : nullptr;
}

void Cell3d::EnableSymmetryMap(bool enable)
{
    if (!enable)
        m_symmetryMap.Get().reset();
    m_symmetryMapEnabled = enable;
}

bool Cell3d::IsSymmetryMapEnabled() const
{
    return m_symmetryMapEnabled;
}

void Cell3d::CreateSymmetryMap(bool computeBonds)
{
    if (!m_symmetryMapEnabled || m_symmetryMap.Get())
        return;
    m_symmetryMap.Get() = CellSymmetryServices::Installed().CreateSymmetryMap(*this, m_operationList);
    if (!m_symmetryMap.Get())
        return;
    m_symmetryMap.Get()->SetComputeBonds(computeBonds);
    m_symmetryMap.Get()->Update();
    m_symmetryMap.Get()->EnableEvents();
}

bool Cell3d::IsAbove(const Object* object) const
{
    return object && object->HasAncestor(this);
}

bool Cell3d::IsPeriodic(const Object* object) const
{
    return m_symmetryMap.Get() && IsAbove(object) && m_symmetryMap.Get()->IsPeriodic(object->GetOID());
}

bool Cell3d::IsSymmetric(const Object* object) const
{
    return m_symmetryMap.Get() && IsAbove(object) && m_symmetryMap.Get()->IsSymmetric(object->GetOID());
}

std::int16_t Cell3d::GetSymmetryOperator(const Object* object) const
{
    if (!m_symmetryMap.Get() || !IsAbove(object))
        return 0;
    return static_cast<std::int16_t>(m_symmetryMap.Get()->GetSymmetryOperator(object->GetOID()));
}

LatticeOffset Cell3d::GetLatticeOffset(const Object* object) const
{
    return m_symmetryMap.Get() && IsAbove(object) ? m_symmetryMap.Get()->GetLatticeOffset(object->GetOID()) : LatticeOffset();
}

std::string Cell3d::GetSymmetryLabel(const Object* object) const
{
    if (!IsAbove(object))
        return {};
    const CellSymmetryMap* const map = GetSymmetryMap();
    return map ? map->GetSymmetryLabel(object->GetOID(), object->GetLabel()) : object->GetLabel();
}

Object* Cell3d::GetSymmetryParent(Object* object) const
{
    if (!IsAbove(object))
        return nullptr;
    const CellSymmetryMap* const map = GetSymmetryMap();
    if (!map)
        return object;
    const std::uint32_t parentOID = map->GetSymmetryParentOID(object->GetOID());
    if (parentOID == object->GetOID())
        return object;
    Object* const parent = Object::GetObjectA(parentOID);
    return IsAbove(parent) ? parent : nullptr;
}

bool Cell3d::GetAsymmetricUnitObjects(const Object* root, std::uint32_t type, BaseCollection& out) const
{
    if (root != this && !IsAbove(root))
        return false;
    if (const CellSymmetryMap* const map = GetSymmetryMap()) {
        if (map->GetAsymmetricUnitObjects(root, type, out))
            return true;
    }
    return out.Add(DescendentIterator(const_cast<Object*>(root), type, false));
}

bool Cell3d::GetAsymmetricUnitObjects(std::uint32_t type, BaseCollection& out) const
{
    return GetAsymmetricUnitObjects(this, type, out);
}

bool Cell3d::GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const
{
    const CellSymmetryMap* const map = GetSymmetryMap();
    return map && IsAbove(object) && map->GetSymmetryReplicates(object, out, includeSelf);
}

std::unique_ptr<CellBuilder> Cell3d::GetCellBuilder(std::string_view name)
{
    return CellSymmetryServices::Installed().CreateCellBuildMethod(this, name, nullptr);
}

bool Cell3d::AttachSpaceGroup(std::string_view text, std::string_view qualifier)
{
    if (!GetSymmetry()->LoadSpaceGroup(text, qualifier))
        return false;
    SetDirty(true);
    return true;
}

// ---- Small services

void Cell3d::CopyStaticData(const Cell3d& other)
{
    Cell::CopyStaticData(other);
    std::copy(other.m_lengths, other.m_lengths + 3, m_lengths);
    std::copy(other.m_angles, other.m_angles + 3, m_angles);
    m_buildInfo = other.m_buildInfo;
}

void Cell3d::CopyStaticData(const Cell&) {}

void Cell3d::CalcStickRadius()
{
    const double shortest = std::min({10000.0, m_lengths[0], m_lengths[1], m_lengths[2]});
    SetStickRadius(static_cast<float>(0.01 * shortest));
}

bool Cell3d::IsSpecialPositionPossible() const
{
    return GetSymmetry()->GetNumSymmetryOps() >= 2 && HasDescendent(Atom::classType);
}

Point3d Cell3d::GetCentroid(const AtomDataArray& atoms, bool cartesian) const
{
    if (atoms.empty())
        return Point3d();
    double sum[3] = {0.0, 0.0, 0.0};
    for (const AtomData& record : atoms) {
        sum[0] += record.xyz.x;
        sum[1] += record.xyz.y;
        sum[2] += record.xyz.z;
    }
    const auto n = static_cast<double>(atoms.size());
    Point3d centroid(sum[0] / n, sum[1] / n, sum[2] / n);
    if (cartesian)
        GetFracToCart().Rotate(centroid);
    return centroid;
}

void Cell3d::UpdateASU(const Matrix3x3& oldCartToFrac)
{
    if (!HasDescendent(Atom3d::classType))
        return;
    CellSymmetryMap* const map = GetSymmetryMap();
    if (map) {
        map->DisableEvents();
        map->SetCellParameters(GetFracToCart(), GetCartToFrac());
    }
    Cell::UpdateASU(oldCartToFrac);
    EnableMapEvents();
}

// ---- Finding cells

Cell3d* Cell3d::FindCell(const TreeNode* node)
{
    for (TreeNode* above = node ? node->GetParent() : nullptr; above; above = above->GetParent()) {
        if (Tavrel::IsA<Cell3d>(above))
            return static_cast<Cell3d*>(above);
    }
    return nullptr;
}

const CrystalImageQueries& Cell3d::ImageQueries()
{
    static const CellAnswers queries;
    return queries;
}

} // namespace Tavrel
