#include <tavrel/symmetry_build/CellBuildMethod.h>

#include <tavrel/crystal/Cell3d.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

namespace Tavrel {

namespace {

SymmetryMap* MapOf(const Cell3d& cell)
{
    return dynamic_cast<SymmetryMap*>(cell.GetSymmetryMap());
}

} // namespace

bool CellBuildMethod::Build()
{
    m_message.clear();
    Cell3d* const cell = GetCell();
    if (!cell) {
        SetErrorMessage("No Cell3d object attached to build method");
        return false;
    }
    const std::unique_ptr<CellBuildMethodParameters> parameters = CloneParameters();
    const bool computeBonds = parameters && parameters->GetComputeBonds();

    cell->EnableSymmetryMap(true);
    SymmetryMap* map = MapOf(*cell);
    if (map) {
        map->SetComputeBonds(computeBonds);
        map->Update();
    } else {
        cell->CreateSymmetryMap(computeBonds);
        map = MapOf(*cell);
        if (!map) {
            SetErrorMessage("SymmetryMap is unavailable");
            return false;
        }
    }

    const std::unique_ptr<AsymmetricUnit> unit = CreateAsymmetricUnit();
    if (unit)
        map->GetAsymmetricUnit(*unit);
    if (!unit || !unit->IsValid()) {
        SetErrorMessage("Could not obtain asymmetric unit");
        return false;
    }

    const std::unique_ptr<BuildResults> results = Run(*unit);
    if (!results) {
        if (m_message.empty())
            SetErrorMessage("Could not obtain build results");
        return false;
    }
    if (map->DisplayBuildResults(*results))
        return true;
    SetErrorMessage("The build method results were not displayed");
    return false;
}

void CellBuildMethod::SetErrorMessage(std::string_view message)
{
    m_message = message;
}

std::unique_ptr<AsymmetricUnit> CellBuildMethod::CreateAsymmetricUnit() const
{
    return std::make_unique<AsymmetricUnit>();
}

} // namespace Tavrel
