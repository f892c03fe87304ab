// ExcludeConformerAtoms: makes the filter that passes everything but alternate atoms.
#pragma once

#include <memory>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class ExcludeConformerAtoms {
public:
    ExcludeConformerAtoms() = delete;

    // A FilterAtoms in Exclude mode over ConformerAtom: every object passes but a ConformerAtom.
    static std::unique_ptr<Filter> CreateFilter();
};

} // namespace Tavrel
