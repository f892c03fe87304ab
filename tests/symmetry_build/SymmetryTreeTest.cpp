#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>

#include <tavrel/symmetry_build/SymmetryTree.h>

using namespace Tavrel;

namespace {

// Two atoms of one molecule in a cell, and the molecule's image under operator 1 one cell up c; the
// second atom is also bonded to the first atom of the image one cell along a.
SymmetryTree TwoMoleculeTree()
{
    SymmetryTree tree;
    const SymmetryImageKey image(1, 0, 0, 1);
    EXPECT_TRUE(tree.SetAtoms(4, {0, 1, 0, 1}, {SymmetryImageKey::identity, SymmetryImageKey::identity, image, image}));
    const std::vector<SymmetryTree::BondEdge> edges{{0, 1, 0, 0, 0}, {1, 2, 1, 0, 0}, {0, 3, 0, 0, 0}, {-1, 0, 0, 0, 0}};
    EXPECT_TRUE(tree.SetBonds(4, {0, 1, 2, 3, 4}, edges));
    EXPECT_TRUE(tree.SetComponents({{0, 1, 2, 3}}));
    EXPECT_TRUE(tree.SetObjects(3, {0, 1, 1}, {0, 0, 1},
                                {SymmetryTree::CellType, SymmetryTree::MoleculeType, SymmetryTree::MoleculeType}));
    EXPECT_TRUE(tree.SetParents({1, 1, 2, 2, -1, 0, 0}));
    return tree;
}

TEST(SymmetryTree, AnswersParentsWithTheAskedTranslation)
{
    const SymmetryTree tree = TwoMoleculeTree();
    EXPECT_EQ(tree.GetEdgeCount(), 6u);  // three taken bonds, each at both ends
    EXPECT_EQ(tree.GetRoot(), 0);
    EXPECT_EQ(tree.GetParentImage({0, {1, 0, 1, 0}}), ImageNode(1, {1, 0, 1, -1}));
    EXPECT_EQ(tree.GetParentImage({0, SymmetryImageKey::identity}), ImageNode(1, SymmetryImageKey::identity));
    EXPECT_EQ(tree.GetObjectParentImage({1, {1, 0, 1, -1}}), ImageNode(0, SymmetryImageKey::identity));
    EXPECT_EQ(tree.GetObjectParentImage({0, SymmetryImageKey::identity}).item, -1);

    // No stored node for the operator, or no such item: no answer, never a guess.
    EXPECT_EQ(tree.GetParentImage({0, {2, 0, 0, 0}}).item, -1);
    EXPECT_EQ(tree.GetParentImage({7, SymmetryImageKey::identity}).item, -1);
    EXPECT_EQ(tree.GetObjectParentImage({1, {3, 0, 0, 0}}).item, -1);
    std::vector<SymmetryTree::Neighbor> neighbors;
    EXPECT_FALSE(tree.GetNeighborImages({0, {2, 0, 0, 0}}, neighbors));
    std::vector<ImageNode> images;
    EXPECT_FALSE(tree.GetGroupImages(SymmetryTree::MoleculeType, {1, {5, 0, 0, 0}}, images));
}

TEST(SymmetryTree, NeighboursOfAShiftedImageAreShiftedAlike)
{
    const SymmetryTree tree = TwoMoleculeTree();
    std::vector<SymmetryTree::Neighbor> neighbors;
    ASSERT_TRUE(tree.GetNeighborImages({1, SymmetryImageKey::identity}, neighbors));
    ASSERT_EQ(neighbors.size(), 2u);
    EXPECT_EQ(neighbors[0], SymmetryTree::Neighbor(0, ImageNode(0, SymmetryImageKey::identity)));
    EXPECT_EQ(neighbors[1], SymmetryTree::Neighbor(1, ImageNode(0, {1, 1, 0, 1})));

    ASSERT_TRUE(tree.GetNeighborImages({1, {0, 1, 0, 0}}, neighbors));
    EXPECT_EQ(neighbors[0].second, ImageNode(0, {0, 1, 0, 0}));
    EXPECT_EQ(neighbors[1].second, ImageNode(0, {1, 2, 0, 1}));

    // The edge is kept at both ends, the far one with the opposite translation.
    ASSERT_TRUE(tree.GetNeighborImages({0, {1, 1, 0, 1}}, neighbors));
    ASSERT_EQ(neighbors.size(), 2u);
    EXPECT_EQ(neighbors[0], SymmetryTree::Neighbor(1, ImageNode(1, SymmetryImageKey::identity)));
    EXPECT_EQ(neighbors[1], SymmetryTree::Neighbor(0, ImageNode(1, {1, 1, 0, 1})));
}

TEST(SymmetryTree, GroupsAndRootImages)
{
    const SymmetryTree tree = TwoMoleculeTree();
    std::vector<ImageNode> images;
    ASSERT_TRUE(tree.GetGroupImages(SymmetryTree::MoleculeType, {0, {1, 0, 0, 0}}, images));
    EXPECT_EQ(images, (std::vector<ImageNode>{{0, {1, 0, 0, 0}}, {1, {1, 0, 0, 0}}}));
    ASSERT_TRUE(tree.GetGroupImages(SymmetryTree::CellType, {1, SymmetryImageKey::identity}, images));
    EXPECT_EQ(images.size(), 4u);
    ASSERT_TRUE(tree.GetGroupImages(SymmetryTree::ResidueType, {1, {1, 0, 0, 3}}, images));
    EXPECT_EQ(images, (std::vector<ImageNode>{{1, {1, 0, 0, 3}}}));

    tree.GetRootImages(false, images);
    EXPECT_EQ(images, (std::vector<ImageNode>{{0, SymmetryImageKey::identity}, {1, SymmetryImageKey::identity}}));
    tree.GetRootImages(true, images);
    EXPECT_EQ(images.size(), 2u);

    IntArray items;
    SymmetryImageKey::Array keys;
    IndexLists components;
    tree.ExportNodes(items, keys, components);
    EXPECT_EQ(items, (IntArray{0, 1, 0, 1}));
    EXPECT_EQ(keys[3], SymmetryImageKey(1, 0, 0, 1));
    EXPECT_EQ(components.size(), 1u);

    const SymmetryTree copy = tree;
    EXPECT_EQ(copy.GetParentImage({1, {1, 0, 0, 1}}), ImageNode(1, {1, 0, 0, 0}));
}

TEST(SymmetryTree, FillingRefusesMismatchedLists)
{
    SymmetryTree tree = TwoMoleculeTree();
    EXPECT_FALSE(tree.SetParents({1, 1, 2, 2, -1, -1, 0}));  // a second root
    EXPECT_FALSE(tree.SetParents({1, 1, 2, 3, -1, 0, 0}));   // no such object node
    EXPECT_FALSE(tree.SetParents({1, 1, 2, 2, -1, 0}));      // too short
    EXPECT_EQ(tree.GetRoot(), 0);
    EXPECT_FALSE(tree.SetComponents({{0, 1}, {1, 2, 3}}));
    EXPECT_FALSE(tree.SetComponents({{0, 4}}));
    EXPECT_FALSE(tree.SetBonds(4, {0, 1, 2, 3}, {}));
    const std::vector<SymmetryTree::BondEdge> stray{{0, 9, 0, 0, 0}};
    EXPECT_FALSE(tree.SetBonds(4, {0, 0, 0, 0, 1}, stray));
    EXPECT_FALSE(tree.SetObjects(2, {0, 1}, {0}, {5, 4}));
    EXPECT_FALSE(tree.SetAtoms(2, {0}, {SymmetryImageKey::identity}));
    EXPECT_EQ(tree.GetAtomNodeCount(), 4);

    SymmetryTree empty;
    EXPECT_TRUE(empty.SetAtoms(0, {}, {}));
    EXPECT_FALSE(empty.SetComponents({}));
    EXPECT_TRUE(empty.SetComponents({{}}));
}

using Kept = std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t>>;

Kept Listed(const SymmetryTree::BondEdges& edges)
{
    Kept kept;
    for (std::size_t at = 0; at < edges.size(); ++at) {
        const SymmetryTree::BondEdge e = edges.Get(at);
        kept.emplace_back(e.bond, e.node, e.a, e.b, e.c);
    }
    return kept;
}

TEST(SymmetryTree, KeepsEachBondOnceAtItsLowerNodeWhicheverEndSawIt)
{
    // Node 0 - node 2 (bond 4) and node 1 - node 2 (bond 5, one cell along b); node 1 - its own image one
    // cell along a (bond 6). Seen from both ends, or from the upper end with an ignored bond at the lower.
    const IntArray offsets{0, 1, 4, 6};
    const std::vector<SymmetryTree::BondEdge> bothEnds{{4, 2, 0, 0, 0}, {6, 1, -1, 0, 0}, {5, 2, 0, 1, 0}, {6, 1, 1, 0, 0},
                                                       {5, 1, 0, -1, 0}, {4, 0, 0, 0, 0}};
    const std::vector<SymmetryTree::BondEdge> upperEnds{{-1, 2, 0, 0, 0}, {6, 1, -1, 0, 0}, {-1, 2, 0, 1, 0},
                                                        {-1, 1, 1, 0, 0}, {5, 1, 0, -1, 0}, {4, 0, 0, 0, 0}};
    // Upper ends only, no trace at the lower: they are gathered at the lower node all the same.
    const IntArray loneOffsets{0, 0, 1, 3};
    const std::vector<SymmetryTree::BondEdge> lone{{6, 1, -1, 0, 0}, {5, 1, 0, -1, 0}, {4, 0, 0, 0, 0}};
    const Kept expected{{4, 2, 0, 0, 0}, {6, 1, 1, 0, 0}, {5, 2, 0, 1, 0}};
    using Case = std::pair<IntArray, std::vector<SymmetryTree::BondEdge>>;
    for (const auto& [given, edges] : {Case{offsets, bothEnds}, Case{offsets, upperEnds}, Case{loneOffsets, lone}}) {
        IntArray o = given;
        SymmetryTree::BondEdges e = edges;
        ASSERT_TRUE(SymmetryTree::KeepBondsOnce(o, e));
        EXPECT_EQ(o, (IntArray{0, 1, 3, 3}));
        EXPECT_EQ(Listed(e), expected);

        SymmetryTree tree;
        ASSERT_TRUE(tree.SetAtoms(3, {0, 1, 2}, {SymmetryImageKey::identity, {1, 0, 0, 0}, {2, 0, 0, 0}}));
        ASSERT_TRUE(tree.SetBonds(3, o, e));
        EXPECT_EQ(tree.GetEdgeCount(), 6u);
        std::vector<SymmetryTree::Neighbor> neighbors;
        ASSERT_TRUE(tree.GetNeighborImages({1, {1, 0, 0, 0}}, neighbors));
        const std::vector<SymmetryTree::Neighbor> seen{
            {6, {1, {1, 1, 0, 0}}}, {6, {1, {1, -1, 0, 0}}}, {5, {2, {2, 0, 1, 0}}}};
        EXPECT_EQ(neighbors, seen);
    }

    // Repeats go, an ignored bond alone goes, and a neighbour outside the nodes or offsets that do not
    // match the bonds change nothing.
    IntArray o{0, 3, 4};
    SymmetryTree::BondEdges e = std::vector<SymmetryTree::BondEdge>{{3, 1, 0, 0, 0}, {3, 1, 0, 0, 0}, {-1, 1, 0, 0, 1}, {3, 0, 0, 0, 0}};
    ASSERT_TRUE(SymmetryTree::KeepBondsOnce(o, e));
    EXPECT_EQ(o, (IntArray{0, 1, 1}));
    EXPECT_EQ(Listed(e), (Kept{{3, 1, 0, 0, 0}}));
    IntArray stray{0, 1, 1};
    SymmetryTree::BondEdges far = std::vector<SymmetryTree::BondEdge>{{3, 2, 0, 0, 0}};
    EXPECT_FALSE(SymmetryTree::KeepBondsOnce(stray, far));
    IntArray shortOffsets{0, 2};
    EXPECT_FALSE(SymmetryTree::KeepBondsOnce(shortOffsets, far));
    EXPECT_EQ(Listed(far), (Kept{{3, 2, 0, 0, 0}}));
    EXPECT_EQ(shortOffsets, (IntArray{0, 2}));
}

TEST(SymmetryTree, KeepsBondsAcrossFarCellsOnceWithTheirWholeTranslation)
{
    // Far translations kept apart are ordered, matched and turned round like near ones; -512 turned round
    // lies outside the packed range and back again, so 512 seen from the other end meets it.
    const std::vector<SymmetryTree::BondEdge> inPlace{{7, 1, 600, 0, 0},  {8, 1, -512, 0, 0}, {7, 0, -600, 0, 0},
                                                      {8, 0, 512, 0, 0},  {9, 1, 600, 0, 0},  {9, 1, -513, 0, 0},
                                                      {9, 1, 513, 0, 0},  {9, 1, -600, 0, 0}};
    std::vector<SymmetryTree::BondEdge> withLone = inPlace;
    withLone.push_back({10, 1, 0, 0, -70000});
    const Kept expected{{7, 1, 600, 0, 0}, {8, 1, -512, 0, 0}, {9, 1, 513, 0, 0}, {9, 1, 600, 0, 0}};
    Kept expectedWithLone = expected;
    expectedWithLone.emplace_back(10, 1, 0, 0, 70000);
    for (const auto& [edges, kept] : {std::pair{inPlace, expected}, std::pair{withLone, expectedWithLone}}) {
        IntArray o{0, 2, static_cast<std::int32_t>(edges.size())};
        SymmetryTree::BondEdges e = edges;
        ASSERT_TRUE(SymmetryTree::KeepBondsOnce(o, e));
        EXPECT_EQ(o, (IntArray{0, 2, static_cast<std::int32_t>(kept.size())}));
        EXPECT_EQ(Listed(e), kept);
    }
}


TEST(SymmetryTree, FindsNodesLaidOutItemByItemAsNodesInAnyOrder)
{
    // Item 1 sits on a special position: two of the three operators. Each atom node's parent object
    // carries the node's item and operator, so a parent answer names the node found.
    const std::vector<std::pair<std::int32_t, std::int32_t>> laidOut{{0, 0}, {0, 1}, {0, 2}, {1, 0},
                                                                     {1, 2}, {2, 0}, {2, 1}, {2, 2}};
    std::vector<std::pair<std::int32_t, std::int32_t>> reversed(laidOut.rbegin(), laidOut.rend());
    std::vector<SymmetryTree> trees(2);
    for (std::size_t t = 0; t < 2; ++t) {
        const auto& nodes = t == 0 ? laidOut : reversed;
        IntArray items;
        SymmetryImageKey::Array keys;
        IntArray objectItems;
        IntArray operators;
        IntArray parents;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            items.push_back(nodes[i].first);
            keys.emplace_back(nodes[i].second, 0, 0, 0);
            objectItems.push_back(nodes[i].first);
            operators.push_back(nodes[i].second);
            parents.push_back(static_cast<std::int32_t>(i));
        }
        objectItems.push_back(9);
        operators.push_back(0);
        parents.insert(parents.end(), nodes.size(), static_cast<std::int32_t>(nodes.size()));
        parents.push_back(-1);
        ASSERT_TRUE(trees[t].SetAtoms(8, items, keys));
        ASSERT_TRUE(trees[t].SetObjects(9, objectItems, operators, IntArray(9, SymmetryTree::MoleculeType)));
        ASSERT_TRUE(trees[t].SetParents(parents));
    }
    for (std::int32_t item = -1; item <= 3; ++item) {
        for (std::int32_t op = -1; op <= 3; ++op) {
            const ImageNode image(item, {op, 1, 0, -1});
            const bool stored = std::find(laidOut.begin(), laidOut.end(), std::pair{item, op}) != laidOut.end();
            const ImageNode expected = stored ? ImageNode(item, {op, 1, 0, -1}) : ImageNode();
            EXPECT_EQ(trees[0].GetParentImage(image), expected) << item << " " << op;
            EXPECT_EQ(trees[1].GetParentImage(image), expected) << item << " " << op;
        }
    }
}

TEST(SymmetryTree, LaysOutHandedOverBondsAsCopiedOnes)
{
    // Bonds kept once at their lower node, with a bond to the node's own image, far translations and a
    // node without bonds; then a list with an edge seen from its upper end, which is laid out anew.
    const SymmetryImageKey::Array keys{SymmetryImageKey::identity, {1, 0, 0, 0}, {2, 0, 1, 0}, {3, 0, 0, 0}};
    const std::vector<SymmetryTree::BondEdge> lowerEnds{{0, 1, 0, 0, 0},  {1, 2, 600, 0, 0}, {2, 1, 1, 0, 0},
                                                        {3, 3, 0, -1, 0}, {4, 1, -512, 0, 0}, {5, 3, 0, 0, -70000}};
    const IntArray lowerOffsets{0, 2, 5, 6, 6};
    const std::vector<SymmetryTree::BondEdge> upperEnd{{0, 1, 0, 0, 0}, {1, 0, 2, 0, 0}, {2, 3, 0, 0, 0}};
    const IntArray upperOffsets{0, 1, 2, 3, 3};
    using Case = std::pair<IntArray, std::vector<SymmetryTree::BondEdge>>;
    for (const auto& [offsets, edges] : {Case{lowerOffsets, lowerEnds}, Case{upperOffsets, upperEnd}}) {
        SymmetryTree copied;
        SymmetryTree handed;
        ASSERT_TRUE(copied.SetAtoms(4, {0, 1, 2, 3}, keys));
        ASSERT_TRUE(handed.SetAtoms(4, {0, 1, 2, 3}, keys));
        const SymmetryTree::BondEdges listed = edges;
        ASSERT_TRUE(copied.SetBonds(4, offsets, listed));
        SymmetryTree::BondEdges given = edges;
        ASSERT_TRUE(handed.SetBonds(4, offsets, std::move(given)));
        EXPECT_EQ(handed.GetEdgeCount(), copied.GetEdgeCount());
        std::vector<SymmetryTree::Neighbor> expected;
        std::vector<SymmetryTree::Neighbor> seen;
        for (std::int32_t i = 0; i < 4; ++i) {
            const ImageNode image(i, {keys[static_cast<std::size_t>(i)].op, 1, -2, 3});
            ASSERT_TRUE(copied.GetNeighborImages(image, expected));
            ASSERT_TRUE(handed.GetNeighborImages(image, seen));
            EXPECT_EQ(seen, expected) << "node " << i;
        }
    }
    // Offsets that do not match change nothing.
    SymmetryTree tree;
    ASSERT_TRUE(tree.SetAtoms(4, {0, 1, 2, 3}, keys));
    EXPECT_FALSE(tree.SetBonds(4, {0, 1, 2, 3}, SymmetryTree::BondEdges(lowerEnds)));
    EXPECT_EQ(tree.GetEdgeCount(), 0u);
}

TEST(SymmetryTree, GivesBondsAcrossFarCellsTheirWholeTranslation)
{
    // Translations at the edge of the compact range and beyond it, both ways.
    SymmetryTree tree;
    ASSERT_TRUE(tree.SetAtoms(2, {0, 1}, {SymmetryImageKey::identity, {1, 2, 0, 0}}));
    const std::vector<SymmetryTree::BondEdge> edges{
        {0, 1, 511, -512, 0}, {1, 1, 600, 0, -70000}, {2, 1, -512, 511, 3}, {3, 1, 0, 0, 0}};
    ASSERT_TRUE(tree.SetBonds(2, {0, 4, 4}, edges));
    std::vector<SymmetryTree::Neighbor> neighbors;
    ASSERT_TRUE(tree.GetNeighborImages({0, {0, 1, 1, 1}}, neighbors));
    const std::vector<SymmetryTree::Neighbor> fromFirst{{0, {1, {1, 514, -511, 1}}},
                                                        {1, {1, {1, 603, 1, -69999}}},
                                                        {2, {1, {1, -509, 512, 4}}},
                                                        {3, {1, {1, 3, 1, 1}}}};
    EXPECT_EQ(neighbors, fromFirst);
    ASSERT_TRUE(tree.GetNeighborImages({1, {1, 2, 0, 0}}, neighbors));
    const std::vector<SymmetryTree::Neighbor> fromSecond{{0, {0, {0, -511, 512, 0}}},
                                                         {1, {0, {0, -600, 0, 70000}}},
                                                         {2, {0, {0, 512, -511, -3}}},
                                                         {3, {0, SymmetryImageKey::identity}}};
    EXPECT_EQ(neighbors, fromSecond);
}

} // namespace
