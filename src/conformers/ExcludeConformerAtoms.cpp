#include <tavrel/conformers/ExcludeConformerAtoms.h>

#include <tavrel/chemistry/FilterAtoms.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/foundation/FilterType.h>

namespace Tavrel {

std::unique_ptr<Filter> ExcludeConformerAtoms::CreateFilter()
{
    return std::make_unique<FilterAtoms>(FilterType(ConformerAtom::classType, Filter::Include), Filter::Exclude);
}

} // namespace Tavrel
