#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include <tavrel/chemistry/GasteigerSolver.h>

using namespace Tavrel;

namespace {

// Folds the bits of each value in (FNV-1a over 64-bit words).
struct BitHash {
    std::uint64_t value = 14695981039346656037ULL;
    void Add(double x) { Add(std::bit_cast<std::uint64_t>(x)); }
    void Add(std::uint64_t bits)
    {
        value ^= bits;
        value *= 1099511628211ULL;
    }
};

// A fixed pseudo-random graph of a few thousand atoms: chains of the common elements, every
// hybridization, some input charges and implicit hydrogens, pairs listed from both ends, from the
// later end only and from the earlier end only, and an atom listing itself.
constexpr std::size_t Atoms = 3000;

void AddMixedGraph(GasteigerSolver& solver)
{
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    constexpr std::int32_t Elements[] = {6, 6, 6, 7, 7, 8, 8, 16, 15, 1, 9, 17, 35, 53, 11};
    constexpr std::int8_t Codes[] = {1, 1, 1, 2, 6, 3};
    struct Listed {
        std::int32_t neighbour;
        std::int8_t code;
    };
    std::vector<std::vector<Listed>> lists(Atoms);
    for (std::size_t i = 1; i < Atoms; ++i) {
        for (std::uint32_t bonds = 1 + next(3); bonds > 0; --bonds) {
            const std::size_t j = i - 1 - next(static_cast<std::uint32_t>(std::min<std::size_t>(i, 12)));
            if (lists[i].size() >= 4 || lists[j].size() >= 4)
                continue;
            const std::int8_t code = Codes[next(6)];
            const std::uint32_t ends = next(10);
            if (ends != 0)
                lists[i].push_back({static_cast<std::int32_t>(j), code});
            if (ends != 1)
                lists[j].push_back({static_cast<std::int32_t>(i), code});
        }
    }
    lists[7].push_back({7, 1});
    for (std::size_t i = 0; i < Atoms; ++i) {
        const std::int32_t z = Elements[next(15)];
        const double charge = next(8) == 0 ? static_cast<double>(next(3)) - 1.0 : 0.0;
        solver.AddAtom(z, static_cast<std::int32_t>(next(5)), charge, static_cast<std::int32_t>(next(4)));
    }
    for (std::size_t i = 0; i < Atoms; ++i) {
        for (const Listed& listed : lists[i])
            solver.AddNeighbour(i, listed.neighbour, listed.code);
    }
}

struct Solved {
    GasteigerSolver::Result result;
    std::uint64_t hash = 0;
};

Solved SolveMixedGraph()
{
    GasteigerSolver solver(Atoms, 4 * Atoms);
    AddMixedGraph(solver);
    Solved solved{solver.Solve()};
    BitHash hash;
    for (const double q : solver.TakeAtomCharges())
        hash.Add(q);
    solved.hash = hash.value;
    return solved;
}

void ExpectPinnedBits(const Solved& solved)
{
    EXPECT_TRUE(solved.result.converged);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(solved.result.minimum), 0xbff88a2bd468c220u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(solved.result.maximum), 0x3ff7128e93999abeu);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(solved.result.total), 0x40904b93c105481bu);
    EXPECT_EQ(solved.hash, 0xc17ff29c05a624dfu);
}

// Every output bit of a mixed graph stays what it was: charges, extremes, total and their order;
// also from the work arrays a larger solver left to the thread, and beside a solver still alive.
TEST(GasteigerSolverTest, MixedGraphChargesStayBitForBit)
{
    ExpectPinnedBits(SolveMixedGraph());
    {
        GasteigerSolver larger(2 * Atoms, 8 * Atoms);
        for (std::size_t i = 0; i < 2 * Atoms; ++i)
            larger.AddAtom(6, 3, 1.0, 3);
        larger.Solve();
    }
    ExpectPinnedBits(SolveMixedGraph());
    GasteigerSolver alive(1, 1);
    ExpectPinnedBits(SolveMixedGraph());
}

// Centres of their element's usual valence are typed still when their neighbours make a group: the
// group charges show in the totals (untyped, they would be 0, 0 and -2).
TEST(GasteigerSolverTest, GroupCentresOfUsualValenceAreTyped)
{
    struct Member {
        std::int32_t atomicNumber;
        std::int32_t hybridization;
        std::int32_t hydrogens;
    };
    struct Link {
        std::size_t from;
        std::size_t to;
        std::int8_t code;
    };
    struct Group {
        const char* name;
        std::vector<Member> members;
        std::vector<Link> links;
        double total;
    };
    const Group groups[] = {
        {"guanidinium", {{6, 2, 0}, {7, 2, 2}, {7, 2, 2}, {7, 2, 2}}, {{0, 1, 2}, {0, 2, 1}, {0, 3, 1}}, 1.0},
        {"amidinium", {{6, 2, 0}, {7, 2, 2}, {7, 2, 2}, {6, 3, 3}}, {{0, 1, 6}, {0, 2, 6}, {0, 3, 1}}, 1.0},
        {"nitro", {{7, 2, 0}, {8, 3, 0}, {8, 3, 0}, {6, 3, 3}}, {{0, 1, 1}, {0, 2, 1}, {0, 3, 1}}, 0.0},
    };
    for (const Group& group : groups) {
        SCOPED_TRACE(group.name);
        GasteigerSolver solver(group.members.size(), 8);
        for (const Member& member : group.members)
            solver.AddAtom(member.atomicNumber, member.hybridization, 0.0, member.hydrogens);
        for (std::size_t atom = 0; atom < group.members.size(); ++atom) {
            for (const Link& link : group.links) {
                if (link.from == atom || link.to == atom)
                    solver.AddNeighbour(atom, static_cast<std::int32_t>(link.from == atom ? link.to : link.from), link.code);
            }
        }
        EXPECT_NEAR(solver.Solve().total, group.total, 1e-9);
    }
}

} // namespace
