#include <gtest/gtest.h>

#include <tavrel/symmetry_build/CellBuildTree.h>
#include <tavrel/symmetry_build/SymmetryConnectivityPass.h>
#include <tavrel/symmetry_build/SymmetryTree.h>

using namespace Tavrel;

namespace {

// Atoms 0 and 1 of molecule 1 in cell 0, the molecule stored at the identity and under operator 1;
// atom 1 is bonded to atom 0 and to atom 0 of the operator-1 image one cell along a.
SymmetryTree Template()
{
    SymmetryTree tree;
    const SymmetryImageKey image(1, 0, 0, 0);
    EXPECT_TRUE(tree.SetAtoms(4, {0, 1, 0, 1}, {SymmetryImageKey::identity, SymmetryImageKey::identity, image, image}));
    const std::vector<SymmetryTree::BondEdge> edges{{0, 1, 0, 0, 0}, {1, 2, 1, 0, 0}, {0, 3, 0, 0, 0}};
    EXPECT_TRUE(tree.SetBonds(4, {0, 1, 2, 3, 3}, edges));
    EXPECT_TRUE(tree.SetComponents({{0, 1, 2, 3}}));
    EXPECT_TRUE(tree.SetObjects(3, {0, 1, 1}, {0, 0, 1},
                                {SymmetryTree::CellType, SymmetryTree::MoleculeType, SymmetryTree::MoleculeType}));
    EXPECT_TRUE(tree.SetParents({1, 1, 2, 2, -1, 0, 0}));
    return tree;
}

class ModeGuard {
public:
    explicit ModeGuard(std::uint8_t mode) : m_old(SymmetryConnectivityPass::GetBuildMode())
    {
        SymmetryConnectivityPass::SetBuildMode(mode);
    }
    ~ModeGuard() { SymmetryConnectivityPass::SetBuildMode(m_old); }

private:
    std::uint8_t m_old;
};

TEST(SymmetryConnectivityPass, FullMoleculesCompleteAWantedImageHidden)
{
    const ModeGuard mode(1);
    const SymmetryTree tree = Template();
    CellBuildTree build(2, 2);
    ASSERT_TRUE(SymmetryConnectivityPass::BuildFromResults(tree, {{}, {{1, 0, 1, 0}}}, true, build));
    ASSERT_EQ(build.GetAtomNodeCount(), 4);
    const std::int32_t wanted = build.FindAtomNode({1, {1, 0, 1, 0}});
    const std::int32_t partner = build.FindAtomNode({0, {1, 0, 1, 0}});
    const std::int32_t own0 = build.FindAtomNode({0, SymmetryImageKey::identity});
    const std::int32_t own1 = build.FindAtomNode({1, SymmetryImageKey::identity});
    EXPECT_EQ(build.GetAtomVisibility(wanted), 1);
    EXPECT_EQ(build.GetAtomVisibility(partner), 0);
    EXPECT_EQ(build.GetAtomVisibility(own0), 0);  // asymmetric-unit atoms always present, hidden unless asked
    EXPECT_EQ(build.GetAtomVisibility(own1), 0);

    // Object images: the cell at the identity, the molecule at the identity and at operator 1 one cell up b.
    ASSERT_EQ(build.GetObjectNodeCount(), 3);
    const std::int32_t cell = build.FindObjectNode({0, SymmetryImageKey::identity});
    const std::int32_t image = build.FindObjectNode({1, {1, 0, 1, 0}});
    EXPECT_EQ(build.GetRoot(), cell);
    EXPECT_EQ(build.GetAtomParent(wanted), image);
    EXPECT_EQ(build.GetAtomParent(partner), image);
    EXPECT_EQ(build.GetObjectParent(image), cell);

    // Only bonds whose both ends are present: 0-1 in each molecule image; the cross bond of atom 1 at
    // the identity would reach operator 1 one cell along a, which is absent.
    EXPECT_EQ(std::vector<std::int32_t>(build.GetAtomBondNeighbors(own1).begin(), build.GetAtomBondNeighbors(own1).end()),
              (std::vector<std::int32_t>{own0}));
    EXPECT_EQ(build.GetAtomBondNeighbors(wanted).size(), 1u);
    EXPECT_EQ(build.GetAtomBondNumbers(wanted)[0], 0);
}

TEST(SymmetryConnectivityPass, ModeZeroBuildsOnlyWantedAndAsymmetricUnitAtoms)
{
    const ModeGuard mode(0);
    const SymmetryTree tree = Template();
    CellBuildTree build(2, 2);
    ASSERT_TRUE(SymmetryConnectivityPass::BuildFromResults(tree, {{}, {{1, 0, 1, 0}}}, false, build));
    EXPECT_EQ(build.GetAtomNodeCount(), 3);
    EXPECT_EQ(build.GetAtomVisibility(build.FindAtomNode({1, {1, 0, 1, 0}})), -1);
    EXPECT_LT(build.FindAtomNode({0, {1, 0, 1, 0}}), 0);

    // A cross bond appears once its far image is wanted too.
    ASSERT_TRUE(SymmetryConnectivityPass::BuildFromResults(tree, {{{1, 1, 0, 0}}, {}}, true, build));
    const std::int32_t own1 = build.FindAtomNode({1, SymmetryImageKey::identity});
    EXPECT_EQ(build.GetAtomBondNumbers(own1).size(), 2u);
}

TEST(SymmetryConnectivityPass, GroupsComeWithNewImagesOnly)
{
    const ModeGuard mode(0);
    const SymmetryTree tree = Template();
    CellBuildTree build(2, 2);
    ASSERT_TRUE(SymmetryConnectivityPass::BuildFromResultsWithGroups(
        tree, {{SymmetryImageKey::identity, {1, 0, 0, 1}}, {SymmetryImageKey::identity}}, true,
        SymmetryTree::MoleculeType, false, build));
    EXPECT_EQ(build.GetAtomNodeCount(), 4);
    EXPECT_EQ(build.GetAtomVisibility(build.FindAtomNode({1, {1, 0, 0, 1}})), 0);  // a group member, hidden
    EXPECT_EQ(build.GetAtomVisibility(build.FindAtomNode({1, SymmetryImageKey::identity})), 1);  // wanted later: shown
}

TEST(SymmetryConnectivityPass, AnImageWithoutATemplateClearsTheTree)
{
    const SymmetryTree tree = Template();
    CellBuildTree build(2, 2);
    EXPECT_FALSE(SymmetryConnectivityPass::BuildFromResults(tree, {{{2, 0, 0, 0}}, {}}, true, build));
    EXPECT_EQ(build.GetAtomNodeCount(), 0);
    EXPECT_EQ(build.GetRoot(), -1);
    EXPECT_FALSE(SymmetryConnectivityPass::BuildFromResults(tree, {{}, {}, {SymmetryImageKey::identity}}, true, build));
    EXPECT_TRUE(SymmetryConnectivityPass::BuildFromResults(tree, {}, true, build));
    EXPECT_EQ(build.GetRoot(), -1);
}

} // namespace
