// DocumentCellBuildOptions: the crystal build's defaults, read from the document-wide options.
#pragma once

#include <tavrel/symmetry_build/CellBuildOptions.h>

namespace Tavrel {

class DocumentCellBuildOptions final : public CellBuildOptions {
public:
    // The default symmetry-atom colour of ChemDoc's default options, read afresh at every call.
    std::int32_t GetDefaultSymmetryAtomColor() const override;

    static const DocumentCellBuildOptions& Instance();
};

} // namespace Tavrel
