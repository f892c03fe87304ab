#include <tavrel/document/DocumentCellBuildOptions.h>

#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelOptions.h>

namespace Tavrel {

std::int32_t DocumentCellBuildOptions::GetDefaultSymmetryAtomColor() const
{
    DataModelOptions options;
    ChemDoc::GetDefaultOptions(options);
    return static_cast<std::int32_t>(options.GetDefaultSymmetryAtomColor());
}

const DocumentCellBuildOptions& DocumentCellBuildOptions::Instance()
{
    static const DocumentCellBuildOptions options;
    return options;
}

} // namespace Tavrel
