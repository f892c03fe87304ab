#include <tavrel/document/DataModelLibrary.h>

#include <tavrel/chemistry/ConformationQueries.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/document/CSchemaException.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DocumentCellBuildOptions.h>
#include <tavrel/document/ModelClasses.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Property.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/graphics/SecondaryStructureQueries.h>
#include <tavrel/platform/ReadCleanup.h>
#include <tavrel/symmetry_build/SymmetryBuildServices.h>

namespace Tavrel {

namespace {

// The model classes (ModelClasses.h), then the framework classes of the document.
void RegisterAllClasses()
{
    ClassRegistry::Register(ModelClasses{});
    RuntimeClass::Register(Property::GetThisClass());
    RuntimeClass::Register(ChemDoc::GetThisClass());
    RuntimeClass::Register(CSchemaException::GetThisClass());
}

// One line per question a lower folder asks of a higher one: the higher folder's answers.
void InstallAllAnswers()
{
    CrystalImageQueries::Install(&Cell3d::ImageQueries());
    ConformationQueries::Install(&Conformation::Queries());
    SecondaryStructureQueries::Install(&AminoAcidChain::SecondaryQueries());
    CellSymmetryServices::Install(&SymmetryBuildServices::Instance());
    CellBuildOptions::Install(&DocumentCellBuildOptions::Instance());
    ReadCleanup::Install(&TreeNode::ReadAnswers());
}

// Registration runs when the library is loaded.
const bool g_attached = (AttachDataModelDLL(), true);

} // namespace

void AttachDataModelDLL()
{
    static const bool registered = (RegisterAllClasses(), InstallAllAnswers(), true);
    static_cast<void>(registered);
    static_cast<void>(g_attached);
}

} // namespace Tavrel
