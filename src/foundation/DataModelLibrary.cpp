#include "foundation/DataModelLibrary.h"

#include "foundation/ClassRegistry.h"
#include "foundation/Property.h"
#include "foundation/TreeNode.h"

namespace Tavrel {

namespace {

// One line per class, base classes before the classes derived from them. Identifiers are handed out
// in this order.
void RegisterAllClasses()
{
    ClassRegistry::Register<Base>();
    ClassRegistry::Register<TreeNode>();
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
