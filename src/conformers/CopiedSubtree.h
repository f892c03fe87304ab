// IsInCopiedSubtree: whether the tree copy in progress makes a copy of a node it did not start from.
#pragma once

#include <tavrel/foundation/TreeNode.h>

namespace Tavrel {

// The copy root itself, or a node below it while the root's children are copied with it: a copy of a
// node alone (NodeCopy) holds the root's children aside, and takes none of them. Animations and
// trajectories replace such nodes by their copies and keep, or drop, the others.
inline bool IsInCopiedSubtree(const TreeNode& node, const TreeNode* copyRoot)
{
    return &node == copyRoot || (copyRoot && copyRoot->GetNumChildren() > 0 && node.IsInSubtreeOf(copyRoot));
}

} // namespace Tavrel
