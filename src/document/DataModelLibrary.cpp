#include "document/DataModelLibrary.h"

#include "chemistry/Assembly.h"
#include "chemistry/Atom.h"
#include "chemistry/Atom3d.h"
#include "chemistry/Bond.h"
#include "chemistry/Bondable.h"
#include "chemistry/Chain.h"
#include "chemistry/Molecule.h"
#include "chemistry/SubUnit.h"
#include "conformers/Conformation.h"
#include "conformers/Conformer.h"
#include "conformers/ConformerModel.h"
#include "conformers/ConformerModelToken.h"
#include "crystal/Cell.h"
#include "crystal/Cell3d.h"
#include "crystal/ReplicateAtom.h"
#include "crystal/Symmetry.h"
#include "crystal/SymmetryOp.h"
#include "foundation/BaseCollection.h"
#include "document/CSchemaException.h"
#include "document/ChemDoc.h"
#include "foundation/ClassRegistry.h"
#include "foundation/Geometric.h"
#include "foundation/Geometric3d.h"
#include "foundation/NamedCollection.h"
#include "foundation/Object.h"
#include "foundation/OrdCollection.h"
#include "foundation/Property.h"
#include "foundation/SetCollection.h"
#include "foundation/TreeNode.h"
#include "foundation/TreeRoot.h"
#include "graphics/DecoratedAnnotation.h"
#include "graphics/Geometric2d.h"
#include "graphics/Surface.h"

namespace Tavrel {

namespace {

// One line per class, base classes before the classes derived from them. Identifiers are handed out
// in this order.
void RegisterAllClasses()
{
    ClassRegistry::Register<Base>();
    ClassRegistry::Register<TreeNode>();
    ClassRegistry::Register<Object>();
    ClassRegistry::Register<TreeRoot>();
    ClassRegistry::Register<Geometric>();
    ClassRegistry::Register<Geometric3d>();
    ClassRegistry::Register<BaseCollection>();
    ClassRegistry::Register<OrdCollection>();
    ClassRegistry::Register<SetCollection>();
    ClassRegistry::Register<NamedCollection>();
    ClassRegistry::Register<Chain>();
    ClassRegistry::Register<SubUnit>();
    ClassRegistry::Register<Assembly>();
    ClassRegistry::Register<Molecule>();
    ClassRegistry::Register<Bond>();
    ClassRegistry::Register<Bondable>();
    ClassRegistry::Register<Atom>();
    ClassRegistry::Register<Atom3d>();
    ClassRegistry::Register<Conformation>();
    ClassRegistry::Register<Conformer>();
    ClassRegistry::Register<ConformerModel>();
    ClassRegistry::Register<ConformerModelToken>();
    ClassRegistry::Register<Cell>();
    ClassRegistry::Register<Cell3d>();
    ClassRegistry::Register<ReplicateAtom>();
    ClassRegistry::Register<SymmetryOp>();
    ClassRegistry::Register<Symmetry>();
    ClassRegistry::Register<Geometric2d>();
    ClassRegistry::Register<DecoratedAnnotation>();
    ClassRegistry::Register<Surface>();
    RuntimeClass::Register(Property::GetThisClass());
    RuntimeClass::Register(ChemDoc::GetThisClass());
    RuntimeClass::Register(CSchemaException::GetThisClass());
}

// Registration runs when the library is loaded.
const bool g_attached = (AttachDataModelDLL(), true);

} // namespace

void AttachDataModelDLL()
{
    static const bool registered = (RegisterAllClasses(), true);
    static_cast<void>(registered);
    static_cast<void>(g_attached);
}

} // namespace Tavrel
