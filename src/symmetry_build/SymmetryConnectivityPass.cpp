#include <tavrel/symmetry_build/SymmetryConnectivityPass.h>

#include <algorithm>
#include <climits>
#include <unordered_set>

#include <tavrel/core/Arrays.h>
#include <tavrel/symmetry_build/CellBuildTree.h>
#include <tavrel/symmetry_build/SymmetryTree.h>

namespace Tavrel {

namespace {

std::uint8_t& BuildMode()
{
    static std::uint8_t mode = 1;
    return mode;
}

} // namespace

void SymmetryConnectivityPass::SetBuildMode(std::uint8_t mode)
{
    BuildMode() = mode;
}

std::uint8_t SymmetryConnectivityPass::GetBuildMode()
{
    return BuildMode();
}

bool SymmetryConnectivityPass::AddImage(const ImageNode& atom, std::int32_t visibility, const SymmetryTree& tree,
                                        CellBuildTree& build)
{
    const std::int32_t node = build.AddAtomNode(atom);
    if (node < 0)
        return false;
    build.SetAtomVisibility(node, visibility);
    ImageNode object = tree.GetParentImage(atom);
    std::int32_t objectNode = build.FindObjectNode(object);
    if (objectNode >= 0)
        return build.SetAtomParent(node, objectNode);
    objectNode = build.AddObjectNode(object);
    if (objectNode < 0 || !build.SetAtomParent(node, objectNode))
        return false;
    // Climb until a parent image already in the tree or the root. Parent images keep the asked
    // translation, so there are finitely many and a repeated one is found present.
    for (;;) {
        const ImageNode parent = tree.GetObjectParentImage(object);
        if (parent.item < 0)
            return build.SetObjectParent(objectNode, -1);
        const std::int32_t present = build.FindObjectNode(parent);
        if (present >= 0)
            return build.SetObjectParent(objectNode, present);
        const std::int32_t added = build.AddObjectNode(parent);
        if (added < 0 || !build.SetObjectParent(objectNode, added))
            return false;
        object = parent;
        objectNode = added;
    }
}

bool SymmetryConnectivityPass::AddGroupOf(const ImageNode& atom, std::int32_t groupType, std::int32_t visibility,
                                          const SymmetryTree& tree, CellBuildTree& build,
                                          std::vector<ImageNode>& members)
{
    if (!tree.GetGroupImages(groupType, atom, members))
        return false;
    for (const ImageNode& member : members) {
        if (build.FindAtomNode(member) < 0 && !AddImage(member, visibility, tree, build))
            return false;
    }
    return true;
}

bool SymmetryConnectivityPass::AddGroupImages(const SymmetryTree& tree, std::int32_t groupType, bool show,
                                              CellBuildTree& build)
{
    const std::int32_t visibility = show ? Show : Hide;
    const std::int32_t count = build.GetAtomNodeCount();
    std::unordered_set<ImageNode, ImageNode::Hash> handled;
    std::vector<ImageNode> members;
    for (std::int32_t i = 0; i < count; ++i) {
        const ImageNode atom = build.GetAtomNode(i);
        if (handled.contains(atom))
            continue;
        if (!AddGroupOf(atom, groupType, visibility, tree, build, members))
            return false;
        handled.insert(atom);
        handled.insert(members.begin(), members.end());
    }
    return true;
}

bool SymmetryConnectivityPass::AddRootImages(const SymmetryTree& tree, CellBuildTree& build)
{
    std::vector<ImageNode> roots;
    tree.GetRootImages(false, roots);
    for (const ImageNode& root : roots) {
        if (build.FindAtomNode(root) < 0 && !AddImage(root, Hide, tree, build))
            return false;
    }
    return true;
}

bool SymmetryConnectivityPass::AddBondLists(const SymmetryTree& tree, CellBuildTree& build)
{
    // An image has about as many bonds as a stored node has on average.
    if (const std::int32_t stored = tree.GetAtomNodeCount(); stored > 0)
        build.ReserveAtomBonds(tree.GetEdgeCount() * static_cast<std::size_t>(build.GetAtomNodeCount()) /
                               static_cast<std::size_t>(stored));
    const auto add = [&build](std::int32_t bond, const ImageNode& image) {
        if (const std::int32_t j = build.FindAtomNode(image); j >= 0)
            build.AddAtomBond(j, bond);
    };
    for (std::int32_t i = 0; i < build.GetAtomNodeCount(); ++i) {
        if (!build.OpenAtomBondList(i) || !tree.ForEachNeighborImage(build.GetAtomNode(i), add))
            return false;
    }
    return true;
}

bool SymmetryConnectivityPass::Fill(const SymmetryTree& tree, const std::vector<SymmetryImageKey::Array>& keys,
                                    bool show, std::int32_t groupType, bool groupShow, bool withGroups,
                                    CellBuildTree& build)
{
    const std::int32_t visibility = show ? Show : Keep;
    std::size_t wanted = 0;
    std::int32_t operators = 0;
    for (const SymmetryImageKey::Array& images : keys) {
        wanted += images.size();
        for (const SymmetryImageKey& key : images)
            operators = std::max(operators, key.op < INT32_MAX ? key.op + 1 : 0);
    }
    build.ReserveAtomNodes(wanted, operators);
    std::vector<ImageNode> members;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        for (const SymmetryImageKey& key : keys[i]) {
            const ImageNode atom(static_cast<std::int32_t>(i), key);
            if (!withGroups) {
                if (!AddImage(atom, visibility, tree, build))
                    return false;
                continue;
            }
            const std::int32_t present = build.FindAtomNode(atom);
            if (present >= 0) {
                build.SetAtomVisibility(present, visibility);
                continue;
            }
            if (!AddImage(atom, visibility, tree, build) ||
                !AddGroupOf(atom, groupType, groupShow ? Show : Hide, tree, build, members))
                return false;
        }
    }
    if (GetBuildMode() == 1 && (!withGroups || groupType < SymmetryTree::MoleculeType) &&
        !AddGroupImages(tree, SymmetryTree::MoleculeType, false, build))
        return false;
    return AddRootImages(tree, build) && AddBondLists(tree, build);
}

bool SymmetryConnectivityPass::BuildFromResults(const SymmetryTree& tree,
                                                const std::vector<SymmetryImageKey::Array>& keys, bool show,
                                                CellBuildTree& build)
{
    build.Clear();
    if (keys.empty())
        return true;
    if (Fill(tree, keys, show, 0, false, false, build))
        return true;
    build.Clear();
    return false;
}

bool SymmetryConnectivityPass::BuildFromResultsWithGroups(const SymmetryTree& tree,
                                                          const std::vector<SymmetryImageKey::Array>& keys, bool show,
                                                          std::int32_t groupType, bool groupShow, CellBuildTree& build)
{
    build.Clear();
    if (keys.empty())
        return true;
    if (Fill(tree, keys, show, groupType, groupShow, true, build))
        return true;
    build.Clear();
    return false;
}

} // namespace Tavrel
