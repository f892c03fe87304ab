#include <tavrel/graphics/SecondaryStructureQueries.h>

#include <tavrel/foundation/ServiceSlot.h>

namespace Tavrel {

bool SecondaryStructureQueries::HasSecondaryStructure(const Object&) const
{
    return false;
}

void SecondaryStructureQueries::CalcSecondaryStructure(Object&) const {}

bool SecondaryStructureQueries::GetEnvironment(const Object&, std::int32_t&) const
{
    return false;
}

const SecondaryStructureQueries& SecondaryStructureQueries::Installed()
{
    return ServiceSlot<SecondaryStructureQueries>::Get();
}

const SecondaryStructureQueries* SecondaryStructureQueries::Install(const SecondaryStructureQueries* queries)
{
    return ServiceSlot<SecondaryStructureQueries>::Install(queries);
}

} // namespace Tavrel
