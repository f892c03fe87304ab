// ExcludeConformerBonds: makes the filter that passes only bonds with no alternate atom at either end.
#pragma once

#include <memory>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class ExcludeConformerBonds {
public:
    ExcludeConformerBonds() = delete;

    // A FilterBonds in Include mode over a FilterType of ConformerAtom in Exclude mode: a bond passes
    // when neither end is a ConformerAtom; objects that are not bonds do not pass.
    static std::unique_ptr<Filter> CreateFilter();
};

} // namespace Tavrel
