#include <tavrel/chemistry/CrystalImageQueries.h>

#include <tavrel/foundation/ServiceSlot.h>

namespace Tavrel {

bool CrystalImageQueries::IsPeriodic(const Object&) const
{
    return false;
}

bool CrystalImageQueries::IsSymmetric(const Object&) const
{
    return false;
}

std::int16_t CrystalImageQueries::GetSymmetryOperator(const Object&) const
{
    return 0;
}

LatticeOffset CrystalImageQueries::GetLatticeOffset(const Object&) const
{
    return {};
}

std::string CrystalImageQueries::GetSymmetryLabel(const Object&) const
{
    return {};
}

bool CrystalImageQueries::IsCellCopied(const Object&, const TreeNode*) const
{
    return false;
}

bool CrystalImageQueries::IsClipped(const Object&, const Point3d&) const
{
    return false;
}

const CrystalImageQueries& CrystalImageQueries::Installed()
{
    return ServiceSlot<CrystalImageQueries>::Get();
}

const CrystalImageQueries* CrystalImageQueries::Install(const CrystalImageQueries* queries)
{
    return ServiceSlot<CrystalImageQueries>::Install(queries);
}

} // namespace Tavrel
