#include <tavrel/crystal/Cell3d.h>

#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/CellSymmetryMap.h>
#include <tavrel/crystal/CellSymmetryServices.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Cell3d)

namespace {

// Answers from the nearest Cell3d above the object.
class CellAnswers final : public CrystalImageQueries {
public:
    bool IsPeriodic(const Object& object) const override
    {
        const Cell3d* const cell = Cell3d::FindCell(&object);
        return cell && cell->IsPeriodic(&object);
    }
    bool IsSymmetric(const Object& object) const override
    {
        const Cell3d* const cell = Cell3d::FindCell(&object);
        return cell && cell->IsSymmetric(&object);
    }
    std::int16_t GetSymmetryOperator(const Object& object) const override
    {
        const Cell3d* const cell = Cell3d::FindCell(&object);
        return cell ? cell->GetSymmetryOperator(&object) : std::int16_t{0};
    }
    LatticeOffset GetLatticeOffset(const Object& object) const override
    {
        const Cell3d* const cell = Cell3d::FindCell(&object);
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
};

} // namespace

Cell3d::Cell3d() = default;

Cell3d::Cell3d(Object* parent) : Cell(parent) {}

Cell3d::~Cell3d() = default;

CellSymmetryMap* Cell3d::GetSymmetryMap() const
{
    return m_symmetryMapEnabled ? m_symmetryMap.Get().get() : nullptr;
}

void Cell3d::EnableSymmetryMap(bool enable)
{
    if (!enable)
        m_symmetryMap = nullptr;
    m_symmetryMapEnabled = enable;
}

bool Cell3d::IsSymmetryMapEnabled() const
{
    return m_symmetryMapEnabled;
}

// The cell keeps no operation list yet: a new map starts without symmetry-image keys.
void Cell3d::CreateSymmetryMap(bool computeBonds)
{
    if (!m_symmetryMapEnabled || m_symmetryMap.Get())
        return;
    m_symmetryMap = CellSymmetryServices::Installed().CreateSymmetryMap(*this, IntArray());
    if (!m_symmetryMap.Get())
        return;
    m_symmetryMap->SetComputeBonds(computeBonds);
    m_symmetryMap->Update();
    m_symmetryMap->EnableEvents();
}

bool Cell3d::IsAbove(const Object* object) const
{
    return object && object->HasAncestor(this);
}

bool Cell3d::IsPeriodic(const Object* object) const
{
    return m_symmetryMap.Get() && IsAbove(object) && m_symmetryMap->IsPeriodic(object->GetOID());
}

bool Cell3d::IsSymmetric(const Object* object) const
{
    return m_symmetryMap.Get() && IsAbove(object) && m_symmetryMap->IsSymmetric(object->GetOID());
}

std::int16_t Cell3d::GetSymmetryOperator(const Object* object) const
{
    if (!m_symmetryMap.Get() || !IsAbove(object))
        return 0;
    return static_cast<std::int16_t>(m_symmetryMap->GetSymmetryOperator(object->GetOID()));
}

LatticeOffset Cell3d::GetLatticeOffset(const Object* object) const
{
    return m_symmetryMap.Get() && IsAbove(object) ? m_symmetryMap->GetLatticeOffset(object->GetOID()) : LatticeOffset();
}

std::string Cell3d::GetSymmetryLabel(const Object* object) const
{
    if (!IsAbove(object))
        return {};
    const CellSymmetryMap* const map = GetSymmetryMap();
    return map ? map->GetSymmetryLabel(object->GetOID(), object->GetLabel()) : object->GetLabel();
}

std::unique_ptr<CellBuilder> Cell3d::GetCellBuilder(std::string_view name)
{
    return CellSymmetryServices::Installed().CreateCellBuildMethod(this, name, nullptr);
}

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
