// OwnedObjects: the parentless objects that holders own outside the tree, which the clean-up after a load leaves alone.
#pragma once

#include <cstdint>

namespace Tavrel {

// A holder (a user-property cell, a conformer model's reference conformer, a token's packaged
// objects) enters the OID of each detached object it owns and leaves it when it lets go; an object
// may be entered by several holders. TreeNode::DeleteParentlessSince frees no object that is held.
// Holding does not delete: each holder still deletes what it owns.
class OwnedObjects {
public:
    OwnedObjects() = delete;

    static void Enter(std::uint32_t oid);
    // Removes one entry of the OID; nothing when it has none.
    static void Leave(std::uint32_t oid);
    static bool IsOwned(std::uint32_t oid);
};

} // namespace Tavrel
