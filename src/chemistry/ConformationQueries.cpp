#include <tavrel/chemistry/ConformationQueries.h>

#include <tavrel/foundation/ServiceSlot.h>

namespace Tavrel {

bool ConformationQueries::Is2DConformation(const TreeNode&) const
{
    return false;
}

const ConformationQueries& ConformationQueries::Installed()
{
    return ServiceSlot<ConformationQueries>::Get();
}

const ConformationQueries* ConformationQueries::Install(const ConformationQueries* queries)
{
    return ServiceSlot<ConformationQueries>::Install(queries);
}

} // namespace Tavrel
