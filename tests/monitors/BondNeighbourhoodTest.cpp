#include <gtest/gtest.h>

#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/monitors/BondNeighbourhood.h>

using namespace Tavrel;

namespace {

// Fused rings, a long chain, a branched hub and an atom bridging them: every question the path test can
// meet, answered as the bond walk answers it.
TEST(BondNeighbourhoodTest, GatheringsMetFromBothEndsAnswerAsTheBondWalk)
{
    AttachDataModelDLL();
    TreeRoot root;
    std::vector<Atom3d*> atoms;
    for (int i = 0; i < 24; ++i)
        atoms.push_back(new Atom3d(&root, "C"));
    const auto bond = [&atoms](int a, int b) { atoms[a]->MakeBond(atoms[b], Bond::Single); };
    for (int i = 0; i < 5; ++i)
        bond(i, i + 1);
    bond(5, 0);
    bond(3, 6);
    for (int i = 6; i < 9; ++i)
        bond(i, i + 1);
    bond(9, 2);
    for (int i = 9; i < 16; ++i)
        bond(i, i + 1);
    for (int i = 17; i < 22; ++i)
        bond(16, i);
    for (const int end : {1, 12, 20})
        bond(end, 22);
    // Atom 23 is bonded to nothing.

    BondNeighbourhood near;
    for (int n = 0; n <= 2; ++n) {
        for (int m = 0; m <= 2; ++m) {
            for (const Atom3d* centre : atoms) {
                near.Gather(*centre, n);
                for (const Atom3d* other : atoms) {
                    const bool expected = centre->HasPathOfLength(other, n + m + 1, true);
                    ASSERT_EQ(near.Reaches(*other, m), expected) << n << " + " << m;
                    if (m == 0) {
                        ASSERT_EQ(near.Contains(other), expected);
                    }
                }
            }
        }
    }
}

} // namespace
