#include <tavrel/biopolymers/SecondaryPredict.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/core/Geometry.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/DescendentIterator.h>

namespace Tavrel {

namespace {

constexpr ResidueType ProlineType = static_cast<ResidueType>(15);

// The backbone of one residue, read once.
struct Backbone {
    AminoAcid* residue = nullptr;
    const Atom3d* oxygen = nullptr;
    Point3d n, h, c, o, ca;
    bool hasN = false, hasH = false, hasC = false, hasO = false, hasCA = false;
};

template <class Walk>
std::vector<Backbone> ReadBackbones(Walk walk)
{
    std::vector<Backbone> residues;
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        Backbone& b = residues.emplace_back();
        b.residue = static_cast<AminoAcid*>(object);
        const auto take = [](const Atom3d* atom, Point3d& at, bool& has) {
            has = atom != nullptr;
            if (atom)
                at = atom->GetXYZ();
        };
        take(b.residue->GetAmideNitrogen(), b.n, b.hasN);
        take(b.residue->GetAmideCarbon(), b.c, b.hasC);
        take(b.residue->GetCAlpha(), b.ca, b.hasCA);
        b.oxygen = b.residue->GetAmideOxygen();
        take(b.oxygen, b.o, b.hasO);
        b.hasH = b.residue->GetAmideHydrogenPosition(b.h);
    }
    return residues;
}

// Writes the classes, one event per residue.
void WriteClasses(const std::vector<Backbone>& residues, const std::vector<AminoAcid::SecondaryStructure>& classes)
{
    // Listeners of the events may delete residues.
    std::deque<TreeNode::Watch> watches;
    for (const Backbone& b : residues)
        watches.emplace_back(b.residue);
    for (std::size_t i = 0; i < residues.size(); ++i) {
        if (watches[i].alive)
            residues[i].residue->SetEnvironment(classes[i]);
    }
}

// ---- Method 0

// The electrostatic energy of the N-H of one residue and the C=O of another, in kcal/mol; any pair
// of atoms closer than 0.5 gives the floor -9.9 (coinciding atoms would divide by zero).
double HBondEnergy(const Backbone& donor, const Backbone& acceptor)
{
    const double on = Distance(acceptor.o, donor.n);
    const double ch = Distance(acceptor.c, donor.h);
    const double oh = Distance(acceptor.o, donor.h);
    const double cn = Distance(acceptor.c, donor.n);
    if (std::min({on, ch, oh, cn}) < 0.5)
        return -9.9;
    return 27.888 * (1.0 / on + 1.0 / ch - 1.0 / oh - 1.0 / cn);
}

bool IsHBonded(int acceptor, int partner1, int partner2, double energy1, double energy2)
{
    return (partner1 == acceptor && energy1 < -0.5) || (partner2 == acceptor && energy2 < -0.5);
}

// The two best CO partners of each residue's NH.
struct Partners {
    std::vector<int> p1, p2;
    std::vector<double> e1, e2;

    explicit Partners(std::size_t n) : p1(n), p2(n), e1(n, 0.0), e2(n, 0.0)
    {
        for (std::size_t i = 0; i < n; ++i)
            p1[i] = p2[i] = static_cast<int>(i);
    }
    void Offer(std::size_t i, int j, double energy)
    {
        if (energy < e1[i]) {
            if (e1[i] < e2[i]) {
                e2[i] = e1[i];
                p2[i] = p1[i];
            }
            p1[i] = j;
            e1[i] = energy;
        } else if (energy < e2[i]) {
            p2[i] = j;
            e2[i] = energy;
        }
    }
    // The CO of residue x bonded to the NH of residue y.
    bool HBond(int x, int y) const { return IsHBonded(x, p1[y], p2[y], e1[y], e2[y]); }
    // The residues whose CO is bonded to the NH of residue y, appended to out.
    void Acceptors(int y, std::vector<int>& out) const
    {
        if (e1[y] < -0.5)
            out.push_back(p1[y]);
        if (e2[y] < -0.5)
            out.push_back(p2[y]);
    }
};

void ComputeEnergies(const std::vector<Backbone>& residues, Partners& partners)
{
    // The C-alpha atoms in the list, and the residue each entry stands for.
    std::vector<Point3d> alphas;
    std::vector<int> residueOf;
    for (std::size_t i = 0; i < residues.size(); ++i) {
        if (residues[i].hasCA) {
            alphas.push_back(residues[i].ca);
            residueOf.push_back(static_cast<int>(i));
        }
    }
    const NeighborList neighbors(8.0, alphas);
    IntArray found;
    for (std::size_t i = 1; i < residues.size(); ++i) {
        const Backbone& donor = residues[i];
        if (!donor.hasCA || !donor.hasN || !donor.hasH || donor.residue->GetType() == ProlineType)
            continue;
        found.clear();
        neighbors.GetNeighbors(donor.ca, 8.0, found);
        for (const std::int32_t entry : found) {
            const int j = residueOf[static_cast<std::size_t>(entry)];
            if (j == static_cast<int>(i) || j == static_cast<int>(i) - 1)
                continue;
            const Backbone& acceptor = residues[static_cast<std::size_t>(j)];
            if (acceptor.hasO && acceptor.hasC)
                partners.Offer(i, j, HBondEnergy(donor, acceptor));
        }
    }
}

// Marks the n-turns of one span k in mk and 'T' in r.
void MarkTurns(const Partners& partners, int k, std::string& mk, std::string& r)
{
    const int n = static_cast<int>(mk.size());
    for (int i = k; i < n; ++i) {
        if (!partners.HBond(i - k, i))
            continue;
        mk[i - k] = mk[i - k] == '<' ? 'X' : '>';
        for (int m = i - k + 1; m < i; ++m) {
            if (mk[m] == ' ') {
                mk[m] = static_cast<char>('0' + k);
                r[m] = 'T';
            }
        }
        mk[i] = mk[i] == '>' ? 'X' : '<';
    }
}

// Writes the helices of one turn span. A helix ends one residue before the turn end that closes it;
// at the chain's end the position after the last residue counts as blank, so a helix ends there as
// it would mid-chain, and a helix that no turn end closes is not written.
void MarkHelices(const std::string& mk, char digit, char letter, int minimumSpan, bool reopen, std::string& r)
{
    const int n = static_cast<int>(mk.size());
    const auto opens = [](char mark) { return mark == '>' || mark == 'X'; };
    int start = -1;
    for (int i = 0; i < n; ++i) {
        const char next = i + 1 < n ? mk[i + 1] : ' ';
        if (start < 0) {
            if (i < n - 1 && opens(mk[i]) && opens(mk[i + 1]))
                start = i + 1;
            continue;
        }
        if ((mk[i] == '<' || mk[i] == 'X') && (next == ' ' || next == digit || next == '>') &&
            (i - 1) - start > minimumSpan) {
            std::fill(r.begin() + start, r.begin() + i, letter);
            start = -1;
        }
        if (reopen && mk[i] == 'X' && i < n - 1 && mk[i + 1] == '>')
            start = i + 1;
    }
}

// Runs of 'G' shorter than 3 and of 'I' shorter than 5 become 'T'.
void ShortHelicesToTurns(std::string& r)
{
    const std::size_t n = r.size();
    for (std::size_t begin = 0; begin < n;) {
        std::size_t end = begin + 1;
        while (end < n && r[end] == r[begin])
            ++end;
        const std::size_t length = end - begin;
        if ((r[begin] == 'G' && length < 3) || (r[begin] == 'I' && length < 5))
            std::fill(r.begin() + static_cast<std::ptrdiff_t>(begin), r.begin() + static_cast<std::ptrdiff_t>(end), 'T');
        begin = end;
    }
}

// The bridge partners of each residue, two at most, with their labels ('P' parallel, 'A' antiparallel).
struct Bridges {
    std::vector<int> a, b;
    std::string labelA, labelB;

    explicit Bridges(std::size_t n) : a(n, -1), b(n, -1), labelA(n, ' '), labelB(n, ' ') {}
    void Record(int i, int j, char label)
    {
        if (a[i] < 0) {
            a[i] = j;
            labelA[i] = label;
        } else {
            b[i] = j;
            labelB[i] = label;
        }
    }
    bool InLadder(int i) const
    {
        if (a[i] < 0)
            return false;
        const int n = static_cast<int>(a.size());
        const auto continues = [&](int q, char label) {
            for (const int k : {i - 1, i + 1}) {
                if (k < 0 || k >= n)
                    continue;
                if ((a[k] > 0 && std::abs(a[k] - q) == 1 && labelA[k] == label) ||
                    (b[k] > 0 && std::abs(b[k] - q) == 1 && labelB[k] == label))
                    return true;
            }
            return false;
        };
        return continues(a[i], labelA[i]) || (b[i] >= 0 && continues(b[i], labelB[i]));
    }
};

// Every bridge (i, j) with j >= i + 4 needs a hydrogen bond to the NH of i or of i + 1 from the CO of
// j or of j - 1, so the candidates for j come from those partners; they are tried in ascending order,
// which records the same bridges in the same order as trying every pair.
void FindBridges(const Partners& partners, int n, Bridges& bridges)
{
    std::vector<int> acceptors;
    std::vector<int> candidates;
    for (int i = 1; i + 1 < n; ++i) {
        acceptors.clear();
        partners.Acceptors(i, acceptors);
        partners.Acceptors(i + 1, acceptors);
        candidates.clear();
        for (const int p : acceptors) {
            for (const int j : {p, p + 1}) {
                if (j >= i + 4 && j <= n - 2)
                    candidates.push_back(j);
            }
        }
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (const int j : candidates) {
            if ((partners.HBond(i - 1, j) && partners.HBond(j, i + 1)) ||
                (partners.HBond(j - 1, i) && partners.HBond(i, j + 1))) {
                bridges.Record(i, j, 'P');
                bridges.Record(j, i, 'P');
            }
            if ((partners.HBond(i, j) && partners.HBond(j, i)) ||
                (partners.HBond(i - 1, j + 1) && partners.HBond(j - 1, i + 1))) {
                bridges.Record(i, j, 'A');
                bridges.Record(j, i, 'A');
            }
        }
    }
}

void MarkBulges(const Bridges& bridges, std::string& r)
{
    const int n = static_cast<int>(r.size());
    for (int i = 0; i + 2 < n; ++i) {
        if (bridges.a[i] < 0 || bridges.a[i + 2] < 0 || r[i + 1] == 'H')
            continue;
        struct Pair {
            int first, second;
            char label1, label2;
            bool present;
        };
        const Pair pairs[] = {
            {bridges.a[i], bridges.a[i + 2], bridges.labelA[i], bridges.labelA[i + 2], true},
            {bridges.a[i], bridges.b[i + 2], bridges.labelA[i], bridges.labelB[i + 2], bridges.b[i + 2] > 0},
            {bridges.b[i], bridges.a[i + 2], bridges.labelB[i], bridges.labelA[i + 2], bridges.b[i] > 0},
            {bridges.b[i], bridges.b[i + 2], bridges.labelB[i], bridges.labelB[i + 2],
             bridges.b[i] > 0 && bridges.b[i + 2] > 0},
        };
        for (const Pair& pair : pairs) {
            if (!pair.present || std::abs(pair.first - pair.second) >= 6 || pair.label1 != pair.label2)
                continue;
            r[i] = r[i + 1] = r[i + 2] = 'E';
            std::fill(r.begin() + std::min(pair.first, pair.second), r.begin() + std::max(pair.first, pair.second) + 1,
                      'E');
            break;
        }
    }
}

AminoAcid::SecondaryStructure ClassOf(char letter)
{
    switch (letter) {
    case 'E':
    case 'A':
    case 'P':
        return AminoAcid::Sheet;
    case 'G':
    case 'H':
    case 'I':
        return AminoAcid::Helix;
    case 'T':
        return AminoAcid::Turn;
    default:
        return AminoAcid::Coil;
    }
}

// ---- Method 1

// The absolute torsion in degrees, 180 when an atom is missing.
double AbsTorsion(bool all, const Point3d& a, const Point3d& b, const Point3d& c, const Point3d& d)
{
    return all ? std::fabs(Torsion(a, b, c, d)) : 180.0;
}

} // namespace

bool SecondaryPredict::Predict(AminoAcidChain* chain)
{
    if (!chain)
        return false;
    switch (m_method) {
    case 0:
        return KSPredict(*chain);
    case 1:
        return TVRPredict(*chain);
    default:
        return false;
    }
}

bool SecondaryPredict::AreHBonded(const Atom3d* oxygen, const Point3d& hydrogen) const
{
    return oxygen && Distance2(oxygen->GetXYZ(), hydrogen) < 12.96;
}

bool SecondaryPredict::KSPredict(AminoAcidChain& chain)
{
    const std::vector<Backbone> residues = ReadBackbones(DescendentIterator(&chain, AminoAcid::classType, false));
    const int n = static_cast<int>(residues.size());
    Partners partners(residues.size());
    ComputeEnergies(residues, partners);

    std::string r(residues.size(), 'C');
    std::string m3(residues.size(), ' '), m4(residues.size(), ' '), m5(residues.size(), ' ');
    MarkTurns(partners, 3, m3, r);
    MarkTurns(partners, 4, m4, r);
    MarkTurns(partners, 5, m5, r);
    MarkHelices(m5, '5', 'I', 3, false, r);
    MarkHelices(m3, '3', 'G', 1, true, r);
    MarkHelices(m4, '4', 'H', 2, true, r);
    ShortHelicesToTurns(r);

    Bridges bridges(residues.size());
    FindBridges(partners, n, bridges);
    for (int i = 0; i < n; ++i) {
        if (bridges.InLadder(i) && r[i] != 'H')
            r[i] = 'E';
    }
    MarkBulges(bridges, r);

    std::vector<AminoAcid::SecondaryStructure> classes(residues.size());
    std::transform(r.begin(), r.end(), classes.begin(), ClassOf);
    WriteClasses(residues, classes);
    return true;
}

bool SecondaryPredict::TVRPredict(AminoAcidChain& chain)
{
    const std::vector<Backbone> residues = ReadBackbones(ChildIterator(&chain, AminoAcid::classType, false));
    const int n = static_cast<int>(residues.size());
    if (n < 4)
        return false;
    using Class = AminoAcid::SecondaryStructure;
    std::vector<Class> classes(residues.size(), AminoAcid::Coil);
    // A donor without a placed hydrogen bonds nothing.
    const auto bonded = [&](int acceptor, int donor) {
        if (acceptor < 0 || donor < 0 || acceptor >= n || donor >= n || !residues[donor].hasH)
            return false;
        return AreHBonded(residues[acceptor].oxygen, residues[donor].h);
    };

    // Helices: runs of residues whose O reaches the H three residues on, with helical torsions.
    int start = -1;
    int count = 0;
    int last = -1;
    const auto close = [&](int end) {
        if (start >= 0 && count > 3)
            std::fill(classes.begin() + start + 1, classes.begin() + end + 1, AminoAcid::Helix);
        start = -1;
        count = 0;
    };
    for (int i = 0; i + 2 < n; ++i) {
        const Backbone& b = residues[static_cast<std::size_t>(i)];
        if (!b.hasO)
            continue;
        const bool reaches = i + 3 < n && residues[i + 3].hasH && Distance2(b.o, residues[i + 3].h) < 17.64;
        const double phi =
            i > 0 ? AbsTorsion(residues[i - 1].hasC && b.hasN && b.hasCA && b.hasC, residues[i - 1].c, b.n, b.ca, b.c)
                  : 180.0;
        const double psi = AbsTorsion(b.hasN && b.hasCA && b.hasC && residues[i + 1].hasN, b.n, b.ca, b.c,
                                      residues[i + 1].n);
        if (reaches && phi > 20.0 && phi < 100.0 && psi > 20.0 && psi < 80.0) {
            if (start < 0)
                start = i;
            ++count;
            last = i;
        } else {
            close(i + 1);
        }
    }
    close(last + 2);

    // Sheets: the candidates for j are the donors whose hydrogen lies within reach of the O of i - 1
    // or i (or the residues just before them).
    std::vector<Point3d> hydrogens;
    std::vector<int> donorOf;
    for (int i = 0; i < n; ++i) {
        if (residues[i].hasH) {
            hydrogens.push_back(residues[i].h);
            donorOf.push_back(i);
        }
    }
    const NeighborList reach(3.6, hydrogens);
    IntArray found;
    std::vector<int> candidates;
    for (int i = 1; i + 1 < n; ++i) {
        if (classes[i] != AminoAcid::Coil)
            continue;
        candidates.clear();
        for (const int acceptor : {i - 1, i}) {
            if (!residues[acceptor].hasO)
                continue;
            found.clear();
            reach.GetNeighbors(residues[acceptor].o, 3.6, found);
            for (const std::int32_t entry : found) {
                const int donor = donorOf[static_cast<std::size_t>(entry)];
                for (const int j : {donor, donor - 1}) {
                    if (j >= i + 2 && j <= n - 2)
                        candidates.push_back(j);
                }
            }
        }
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (const int j : candidates) {
            if (classes[j] != AminoAcid::Coil)
                continue;
            if ((bonded(i - 1, j) && bonded(j, i + 1)) || (bonded(j - 1, i) && bonded(i, j + 1)) ||
                (bonded(i, j) && bonded(j, i)) || (bonded(i - 1, j + 1) && bonded(j - 1, i + 1))) {
                classes[i] = AminoAcid::Sheet;
                classes[j] = AminoAcid::Sheet;
            }
        }
    }

    if (m_predictTurns) {
        for (int i = 2; i + 1 < n; ++i) {
            if (classes[i - 2] != AminoAcid::Helix && classes[i - 1] == AminoAcid::Coil &&
                classes[i] == AminoAcid::Coil && (bonded(i - 2, i + 1) || bonded(i + 1, i - 2)))
                std::fill(classes.begin() + i - 2, classes.begin() + i + 2, AminoAcid::Turn);
        }
    }

    // Residues whose class neither neighbour shares become coil, all found before any changes.
    std::vector<int> isolated;
    for (int i = 0; i < n; ++i) {
        const Class own = classes[i];
        if (own == AminoAcid::Coil)
            continue;
        const bool before = i > 0 && classes[i - 1] == own;
        const bool after = i + 1 < n && classes[i + 1] == own;
        if (!before && !after)
            isolated.push_back(i);
    }
    for (const int i : isolated)
        classes[i] = AminoAcid::Coil;

    const TreeNode::Watch watch(&chain);
    WriteClasses(residues, classes);
    if (watch.alive)
        chain.SetHasSecondaryStructure(true);
    return true;
}

} // namespace Tavrel
