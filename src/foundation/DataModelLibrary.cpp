#include "foundation/DataModelLibrary.h"

#include "foundation/BaseCollection.h"
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
    RuntimeClass::Register(Property::GetThisClass());
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
