// SymmetryConnectivityPass: fills a cell build tree with wanted atom images, their enclosing objects, groups and bonds.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/symmetry_build/ImageNode.h>

namespace Tavrel {

class CellBuildTree;
class SymmetryTree;

// Every wanted atom image comes with the chain of object images above it, read from the symmetry
// tree; the asymmetric-unit atoms are always present (hidden unless wanted); bonds are recorded
// between atom images that are both in the build tree. Any failure clears the build tree, which then
// has no root, and returns false.
class SymmetryConnectivityPass {
public:
    // Visibility handed to the build tree.
    static constexpr std::int32_t Show = 1;
    static constexpr std::int32_t Hide = 0;
    static constexpr std::int32_t Keep = -1;

    // Process-wide; 1 (the initial value) completes whole molecules, any other value does not.
    static void SetBuildMode(std::uint8_t mode);
    static std::uint8_t GetBuildMode();

    // keys[i] lists the wanted images of asymmetric-unit atom i; show makes them visible, else their
    // visibility is left as it is.
    static bool BuildFromResults(const SymmetryTree& tree, const std::vector<SymmetryImageKey::Array>& keys, bool show,
                                 CellBuildTree& build);
    // As BuildFromResults, but each newly added image brings the rest of its group of the type code
    // (shown with groupShow, else hidden); an image already present only takes the visibility.
    static bool BuildFromResultsWithGroups(const SymmetryTree& tree, const std::vector<SymmetryImageKey::Array>& keys,
                                           bool show, std::int32_t groupType, bool groupShow, CellBuildTree& build);

    static bool AddImage(const ImageNode& atom, std::int32_t visibility, const SymmetryTree& tree, CellBuildTree& build);
    // Completes the group of every atom node present when it starts; members already present keep
    // their node and visibility.
    static bool AddGroupImages(const SymmetryTree& tree, std::int32_t groupType, bool show, CellBuildTree& build);
    static bool AddRootImages(const SymmetryTree& tree, CellBuildTree& build);
    static bool AddBondLists(const SymmetryTree& tree, CellBuildTree& build);

private:
    static bool Fill(const SymmetryTree& tree, const std::vector<SymmetryImageKey::Array>& keys, bool show,
                     std::int32_t groupType, bool groupShow, bool withGroups, CellBuildTree& build);
    // Adds the group members of the image that are not present yet.
    static bool AddGroupOf(const ImageNode& atom, std::int32_t groupType, std::int32_t visibility,
                           const SymmetryTree& tree, CellBuildTree& build, std::vector<ImageNode>& members);
};

} // namespace Tavrel
