#include <tavrel/conformers/ExcludeConformerBonds.h>

#include <tavrel/chemistry/FilterBonds.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/foundation/FilterType.h>

namespace Tavrel {

std::unique_ptr<Filter> ExcludeConformerBonds::CreateFilter()
{
    return std::make_unique<FilterBonds>(FilterType(ConformerAtom::classType, Filter::Exclude), Filter::Include);
}

} // namespace Tavrel
