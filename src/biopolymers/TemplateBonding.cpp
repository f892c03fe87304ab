#include <tavrel/biopolymers/TemplateBonding.h>

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Element.h>

namespace Tavrel {

namespace {

constexpr Bond::BondType S = Bond::Single;
constexpr Bond::BondType D = Bond::Double;
constexpr Bond::BondType A = Bond::Aromatic;
constexpr Bond::BondType P = Bond::PartialDouble;

constexpr ElementType Nitrogen = static_cast<ElementType>(7);
constexpr ElementType Oxygen = static_cast<ElementType>(8);

// Whether a template bond's call counts in the method's result: always, never, or only when the
// sugar atoms carry primes.
enum class Counted : std::uint8_t { Always, Never, WithPrimes };

// One template bond. In the nucleotide tables a prime stands for the mark the residue's sugar atoms
// carry.
struct TemplateBond {
    std::string_view first;
    std::string_view second;
    Bond::BondType type;
    Counted counted = Counted::Always;
};

// The residue being bonded, watched: every step does nothing once listeners have deleted it.
class Bonder {
public:
    explicit Bonder(Residue* residue) : m_residue(residue), m_watch(residue), m_pool(ResiduePool::GetResiduePool()) {}

    bool Alive() const { return m_watch.alive; }
    Residue* GetResidue() const { return m_residue; }
    const ResiduePool& Pool() const { return m_pool; }

    // Sugar atoms named with '*' instead of '\''.
    void MarkWithAsterisk() { m_asterisk = true; }

    bool Make(std::string_view first, std::string_view second, Bond::BondType type) const
    {
        return Alive() && m_pool.MakeBond(m_residue, first, second, type);
    }

    // Every bond is made; the result is the AND of the counted ones.
    bool MakeAll(std::span<const TemplateBond> bonds) const
    {
        bool all = true;
        for (const TemplateBond& bond : bonds) {
            const bool made = Make(Marked(bond.first), Marked(bond.second), bond.type);
            if (Counts(bond.counted))
                all = made && all;
        }
        return all;
    }

    void Hydrogens() const
    {
        if (Alive())
            m_pool.BondHydrogens(m_residue);
    }

    Atom3d* Find(std::string_view label) const { return Alive() ? ResiduePool::FindAtom(m_residue, label) : nullptr; }

    // The number of hydrogens bonded to each labelled atom into counts; false when one is missing.
    template <std::size_t N>
    bool Hydrogens(const std::string_view (&labels)[N], int (&counts)[N]) const
    {
        for (std::size_t i = 0; i < N; ++i) {
            const Atom3d* const atom = Find(labels[i]);
            if (!atom)
                return false;
            counts[i] = atom->GetNumHydrogens();
        }
        return true;
    }

    void Charge(std::string_view label, int numerator, int denominator) const
    {
        if (Atom3d* const atom = Find(label))
            atom->SetFormalCharge(numerator, denominator);
    }

    // Retypes the bond between the two atoms when there is one; makes none.
    void Retype(std::string_view first, std::string_view second, Bond::BondType type) const
    {
        Atom3d* const a = Find(first);
        Atom3d* const b = Find(second);
        if (!a || !b)
            return;
        if (Bond* const bond = a->FindBond(b))
            bond->SetType(type);
    }

    // An ambiguous side-chain atom made the element it stands for and relabelled.
    void Resolve(std::string_view label, ElementType element, std::string_view resolved) const
    {
        Atom3d* const atom = Find(label);
        if (!atom)
            return;
        const TreeNode::Watch watch(atom);
        atom->SetElement(element);
        if (watch.alive)
            atom->SetColor(atom->GetElement()->GetColor());
        if (watch.alive)
            atom->SetLabel(resolved);
    }

private:
    bool Counts(Counted counted) const
    {
        return counted == Counted::Always || (counted == Counted::WithPrimes && !m_asterisk);
    }

    // The label with the residue's sugar mark; the buffer serves one call at a time.
    std::string_view Marked(std::string_view label) const
    {
        const std::size_t prime = label.find('\'');
        if (!m_asterisk || prime == std::string_view::npos || label.size() > sizeof m_buffer)
            return label;
        label.copy(m_buffer[m_next], label.size());
        m_buffer[m_next][prime] = '*';
        const std::string_view marked(m_buffer[m_next], label.size());
        m_next ^= 1;
        return marked;
    }

    Residue* m_residue;
    TreeNode::Watch m_watch;
    const ResiduePool& m_pool;
    bool m_asterisk = false;
    mutable char m_buffer[2][8] = {};
    mutable int m_next = 0;
};

// Post-steps: work that depends on the hydrogens bonded; the result joins the method's.
using PostStep = bool (*)(const Bonder&);

constexpr bool NoPostStep(const Bonder&)
{
    return true;
}

// The bonds of first followed by those of second.
template <std::size_t N, std::size_t M>
constexpr std::array<TemplateBond, N + M> Join(const TemplateBond (&first)[N], const TemplateBond (&second)[M])
{
    std::array<TemplateBond, N + M> joined{};
    for (std::size_t i = 0; i < N; ++i)
        joined[i] = first[i];
    for (std::size_t i = 0; i < M; ++i)
        joined[N + i] = second[i];
    return joined;
}

constexpr TemplateBond Backbone[] = {{"N", "CA", S}, {"CA", "C", S}, {"C", "O", D}};

// The backbone, the side chain, the hydrogens, then the post-step.
bool AminoAcidMethod(Residue* residue, std::span<const TemplateBond> sideChain, PostStep post = NoPostStep)
{
    if (!residue)
        return false;
    const Bonder bonder(residue);
    bool result = bonder.MakeAll(Backbone);
    result = bonder.MakeAll(sideChain) && result;
    bonder.Hydrogens();
    return post(bonder) && result;
}

// A carboxylate without hydrogens shares its charge; with one hydrogen the acid's bonds are single to
// the hydroxyl and double to the other oxygen.
template <const std::string_view& Carbon, const std::string_view& O1, const std::string_view& O2>
bool CarboxylPostStep(const Bonder& bonder)
{
    const std::string_view oxygens[] = {O1, O2};
    int h[2] = {};
    if (!bonder.Hydrogens(oxygens, h))
        return true;
    if (h[0] == 0 && h[1] == 0) {
        bonder.Charge(O1, -1, 2);
        bonder.Charge(O2, -1, 2);
    } else if (h[0] == 1 && h[1] == 0 && bonder.Find(Carbon)) {
        bonder.Retype(Carbon, O1, S);
        bonder.Retype(Carbon, O2, D);
    } else if (h[0] == 0 && h[1] == 1 && bonder.Find(Carbon)) {
        bonder.Retype(Carbon, O1, D);
        bonder.Retype(Carbon, O2, S);
    }
    return true;
}

// An amine with no hydrogens or three carries +1.
template <const std::string_view& Amine>
bool AminePostStep(const Bonder& bonder)
{
    const std::string_view amine[] = {Amine};
    int h[1] = {};
    if (bonder.Hydrogens(amine, h) && (h[0] == 0 || h[0] == 3))
        bonder.Charge(Amine, 1, 1);
    return true;
}

// Each of the named oxygens carries -1 when all of them exist.
template <const std::string_view&... Oxygens>
bool AnionPostStep(const Bonder& bonder)
{
    if ((bonder.Find(Oxygens) && ...)) {
        (bonder.Charge(Oxygens, -1, 1), ...);
    }
    return true;
}

constexpr std::string_view CG = "CG", CD = "CD", OD1 = "OD1", OD2 = "OD2", OE1 = "OE1", OE2 = "OE2";
constexpr std::string_view NZ = "NZ", NE = "NE", O1 = "O1", O1P = "O1P", O2P = "O2P", O3P = "O3P";

bool ArgininePostStep(const Bonder& bonder)
{
    const std::string_view nitrogens[] = {"NH1", "NH2", "NE"};
    int h[3] = {};
    if (!bonder.Hydrogens(nitrogens, h))
        return true;
    if ((h[0] == 0 && h[1] == 0 && h[2] == 0) || (h[0] == 2 && h[1] == 2 && h[2] == 1)) {
        bonder.Charge("NH1", 1, 2);
        bonder.Charge("NH2", 1, 2);
    } else if (h[0] == 2 && h[1] == 2 && h[2] == 0) {
        // The guanidine's double bond moves to NE, which has lost its hydrogen.
        const bool first = bonder.Make("NE", "CZ", D);
        const bool second = bonder.Make("CZ", "NH1", S);
        const bool third = bonder.Make("CZ", "NH2", S);
        return first && second && third;
    }
    return true;
}

bool HistidinePostStep(const Bonder& bonder)
{
    const std::string_view nitrogens[] = {"ND1", "NE2"};
    int h[2] = {};
    if (!bonder.Hydrogens(nitrogens, h))
        return true;
    if (h[0] == 1 && h[1] == 1) {
        bonder.Charge("NE2", 1, 1);
    } else if (h[0] == 0 && h[1] == 1 && bonder.Find("CE1")) {
        bonder.Retype("ND1", "CE1", D);
        bonder.Retype("CE1", "NE2", S);
    }
    return true;
}

constexpr TemplateBond AlaSide[] = {{"CA", "CB", S}};
constexpr TemplateBond ArgSide[] = {{"CA", "CB", S}, {"CB", "CG", S},  {"CG", "CD", S}, {"CD", "NE", S},
                                    {"NE", "CZ", S}, {"CZ", "NH1", P}, {"CZ", "NH2", P}};
constexpr TemplateBond AsnSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "OD1", D}, {"CG", "ND2", S}};
constexpr TemplateBond AspSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "OD1", P}, {"CG", "OD2", P}};
constexpr TemplateBond CysSide[] = {{"CA", "CB", S}, {"CB", "SG", S}};
constexpr TemplateBond GlnSide[] = {
    {"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD", S}, {"CD", "OE1", D}, {"CD", "NE2", S}};
constexpr TemplateBond GluSide[] = {
    {"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD", S}, {"CD", "OE1", P}, {"CD", "OE2", P}};
constexpr TemplateBond HisSide[] = {{"CA", "CB", S},   {"CB", "CG", S},   {"CG", "ND1", S}, {"CG", "CD2", D},
                                    {"ND1", "CE1", S}, {"CD2", "NE2", S}, {"CE1", "NE2", D}};
constexpr TemplateBond IleSide[] = {{"CA", "CB", S}, {"CB", "CG1", S}, {"CB", "CG2", S}, {"CG1", "CD1", S}};
constexpr TemplateBond LeuSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD1", S}, {"CG", "CD2", S}};
constexpr TemplateBond LysSide[] = {
    {"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD", S}, {"CD", "CE", S}, {"CE", "NZ", S}};
constexpr TemplateBond MetSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "SD", S}, {"SD", "CE", S}};
constexpr TemplateBond PheSide[] = {{"CA", "CB", S},   {"CB", "CG", S},   {"CG", "CD1", A}, {"CG", "CD2", A},
                                    {"CD1", "CE1", A}, {"CD2", "CE2", A}, {"CE1", "CZ", A}, {"CE2", "CZ", A}};
constexpr TemplateBond ProSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD", S}, {"CD", "N", S}};
constexpr TemplateBond SerSide[] = {{"CA", "CB", S}, {"CB", "OG", S}};
constexpr TemplateBond ThrSide[] = {{"CA", "CB", S}, {"CB", "OG1", S}, {"CB", "CG2", S}};
constexpr TemplateBond TrpSide[] = {{"CA", "CB", S},   {"CB", "CG", S},   {"CG", "CD1", D},  {"CG", "CD2", S},
                                    {"CD1", "NE1", S}, {"CD2", "CE2", S}, {"NE1", "CE2", S}, {"CD2", "CE3", D},
                                    {"CE2", "CZ2", D}, {"CE3", "CZ3", S}, {"CZ2", "CH2", S}, {"CZ3", "CH2", D}};
// The phenyl ring with its hydroxyl, shared by tyrosine and its sulfated and phosphorylated forms.
constexpr TemplateBond TyrSide[] = {{"CA", "CB", S},  {"CB", "CG", S},   {"CG", "CD1", A},
                                    {"CG", "CD2", A}, {"CD1", "CE1", A}, {"CD2", "CE2", A},
                                    {"CE1", "CZ", A}, {"CE2", "CZ", A},  {"CZ", "OH", S}};
constexpr TemplateBond ValSide[] = {{"CA", "CB", S}, {"CB", "CG1", S}, {"CB", "CG2", S}};
// Pyroglutamate is a lactam: the ring closes by the single bond CD-N, and CD carries the carbonyl.
constexpr TemplateBond PcaSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD", S}, {"CD", "N", S}, {"CD", "OE", D}};
constexpr TemplateBond AibSide[] = {{"CA", "CB1", S}, {"CA", "CB2", S}};
constexpr TemplateBond MseSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "SE", S}, {"SE", "CE", S}};
constexpr TemplateBond SepSide[] = {{"CA", "CB", S}, {"CB", "OG", S}, {"OG", "P", S},
                                    {"P", "O1P", S}, {"P", "O2P", S}, {"P", "O3P", D}};
constexpr auto TysSide = Join(TyrSide, {{"OH", "S", S}, {"S", "O1", S}, {"S", "O2", D}, {"S", "O3", D}});
constexpr auto PtrSide = Join(TyrSide, {{"OH", "P", S}, {"P", "O1P", D}, {"P", "O2P", S}, {"P", "O3P", S}});
constexpr TemplateBond TpoSide[] = {{"CA", "CB", S}, {"CB", "OG1", S}, {"CB", "CG2", S}, {"OG1", "P", S},
                                    {"P", "O1P", S}, {"P", "O2P", S},  {"P", "O3P", D}};
constexpr TemplateBond CseSide[] = {{"CA", "CB", S}, {"CB", "SE", S}};
constexpr TemplateBond AsxSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "AD1", S}, {"CG", "AD2", S}};
// The ambiguous atoms of glutamine and glutamate are the epsilon ones.
constexpr TemplateBond GlxSide[] = {
    {"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD", S}, {"CD", "AE1", S}, {"CD", "AE2", S}};
constexpr TemplateBond OrnSide[] = {{"CA", "CB", S}, {"CB", "CG", S}, {"CG", "CD", S}, {"CD", "NE", S}};
constexpr TemplateBond AceBonds[] = {{"C", "O", D}, {"C", "CH3", S}};

// ---- Nucleotides

constexpr TemplateBond SugarBackbone[] = {{"P", "O5'", S, Counted::Never},
                                          {"O5'", "C5'", S},
                                          {"C5'", "C4'", S},
                                          {"C4'", "C3'", S},
                                          {"O3'", "C3'", S},
                                          {"C3'", "C2'", S},
                                          {"C1'", "O4'", S},
                                          {"C1'", "C2'", S}};

// The phosphate's two partial double bonds, counted or not by the method.
constexpr TemplateBond PhosphateUncounted[] = {{"P", "O1P", P, Counted::Never}, {"P", "O2P", P, Counted::Never}};
constexpr TemplateBond PhosphateCounted[] = {{"P", "O1P", P}, {"P", "O2P", P}};

struct Charge {
    std::string_view atom;
    int numerator;
    int denominator;
};

struct NucleotideTemplate {
    std::span<const TemplateBond> sugar; // after C1'-C2'
    std::span<const TemplateBond> phosphate;
    std::span<const TemplateBond> base;
    std::span<const Charge> baseCharges; // after the hydrogens, each when its atom exists
};

constexpr TemplateBond PurineSugar[] = {{"C1'", "N9", S}, {"O4'", "C4'", S}, {"C2'", "O2'", S, Counted::Never}};
constexpr TemplateBond ThySugar[] = {{"O4'", "C4'", S}, {"C1'", "N1", S}};
constexpr TemplateBond CytSugar[] = {{"O4'", "C4'", S}, {"C2'", "O2'", S, Counted::Never}, {"C1'", "N1", S}};
constexpr TemplateBond UrdSugar[] = {{"O4'", "C4'", S}, {"C2'", "O2'", S, Counted::WithPrimes}, {"C1'", "N1", S}};
constexpr TemplateBond PsuSugar[] = {{"O4'", "C4'", S}, {"C2'", "O2'", S, Counted::WithPrimes}, {"C1'", "C5", S}};

constexpr TemplateBond AdeBase[] = {{"N1", "C2", S}, {"C2", "N3", D}, {"N3", "C4", S}, {"C4", "C5", D},
                                    {"C4", "N9", S}, {"C5", "C6", S}, {"C5", "N7", S}, {"C6", "N6", S},
                                    {"C8", "N9", S}, {"C8", "N7", D}, {"N1", "C6", D}};
constexpr TemplateBond GuaBase[] = {{"N9", "C4", S}, {"C4", "N3", S}, {"N3", "C2", D}, {"C2", "N2", S},
                                    {"C2", "N1", S}, {"N1", "C6", S}, {"C6", "O6", D}, {"C5", "C6", S},
                                    {"C4", "C5", D}, {"C5", "N7", S}, {"N7", "C8", D}, {"C8", "N9", S}};
constexpr TemplateBond ThyBase[] = {{"N1", "C2", S}, {"C2", "O2", D}, {"C2", "N3", S}, {"N3", "C4", S}, {"C4", "O4", D},
                                    {"C4", "C5", S}, {"C5", "C6", D}, {"C6", "N1", S}, {"C5", "C5M", S}};
constexpr TemplateBond CytBase[] = {{"N1", "C2", S}, {"C2", "O2", D}, {"C2", "N3", S}, {"N3", "C4", D},
                                    {"C4", "N4", S}, {"C4", "C5", S}, {"C5", "C6", D}, {"C6", "N1", S}};
constexpr TemplateBond UrdBase[] = {{"N1", "C2", S}, {"C2", "O2", D}, {"C2", "N3", S}, {"N3", "C4", P},
                                    {"C4", "O4", D}, {"C4", "C5", S}, {"C5", "C6", D}, {"C6", "N1", S}};
constexpr TemplateBond H2uBase[] = {{"N1", "C2", S}, {"C2", "O2", D}, {"C2", "N3", S}, {"N3", "C4", P},
                                    {"C4", "O4", D}, {"C4", "C5", S}, {"C5", "C6", S}, {"C6", "N1", S}};
constexpr TemplateBond PsuBase[] = {{"N1", "C2", P}, {"C2", "O2", D}, {"C2", "N3", S}, {"N3", "C4", P},
                                    {"C4", "O4", D}, {"C4", "C5", S}, {"C5", "C6", D}, {"C6", "N1", S}};

constexpr Charge UracilCharges[] = {{"N3", 1, 2}, {"O4", -1, 2}};
constexpr Charge PseudouracilCharges[] = {{"N3", 1, 2}, {"O4", -1, 2}, {"N1", 1, 2}, {"O2", -1, 2}};

constexpr NucleotideTemplate Adenosine{PurineSugar, PhosphateUncounted, AdeBase, {}};
constexpr NucleotideTemplate Guanosine{PurineSugar, PhosphateUncounted, GuaBase, {}};
constexpr NucleotideTemplate Thymidine{ThySugar, PhosphateUncounted, ThyBase, {}};
constexpr NucleotideTemplate Cytidine{CytSugar, PhosphateUncounted, CytBase, {}};
constexpr NucleotideTemplate Uridine{UrdSugar, PhosphateCounted, UrdBase, UracilCharges};
constexpr NucleotideTemplate Dihydrouridine{UrdSugar, PhosphateCounted, H2uBase, UracilCharges};
constexpr NucleotideTemplate Pseudouridine{PsuSugar, PhosphateCounted, PsuBase, PseudouracilCharges};

// The sugar and phosphate (sugar atoms with the mark the residue uses), the phosphate's charges, the
// base, the hydrogens, then the base's charges.
bool NucleotideMethod(Residue* residue, const NucleotideTemplate& nucleotide)
{
    if (!residue)
        return false;
    Bonder bonder(residue);
    if (residue->FindChild(std::string_view("O5*")))
        bonder.MarkWithAsterisk();
    bool result = bonder.MakeAll(SugarBackbone);
    result = bonder.MakeAll(nucleotide.sugar) && result;
    result = bonder.MakeAll(nucleotide.phosphate) && result;
    bonder.Charge("O1P", -1, 2);
    bonder.Charge("O2P", -1, 2);
    result = bonder.MakeAll(nucleotide.base) && result;
    bonder.Hydrogens();
    for (const Charge& charge : nucleotide.baseCharges)
        bonder.Charge(charge.atom, charge.numerator, charge.denominator);
    return result;
}

} // namespace

bool BondNull(Residue* residue)
{
    if (!residue)
        return false;
    const Bonder bonder(residue);
    bonder.Pool().BondByDistance(residue);
    bonder.Retype("C", "O", D);
    bonder.Hydrogens();
    return true;
}

bool BondAla(Residue* residue)
{
    return AminoAcidMethod(residue, AlaSide);
}

bool BondArg(Residue* residue)
{
    return AminoAcidMethod(residue, ArgSide, ArgininePostStep);
}

bool BondAsn(Residue* residue)
{
    if (residue) {
        const Bonder bonder(residue);
        bonder.Resolve("AD1", Oxygen, "OD1");
        bonder.Resolve("AD2", Nitrogen, "ND2");
        if (!bonder.Alive())
            return false;
    }
    return AminoAcidMethod(residue, AsnSide);
}

bool BondAsp(Residue* residue)
{
    return AminoAcidMethod(residue, AspSide, CarboxylPostStep<CG, OD1, OD2>);
}

bool BondCys(Residue* residue)
{
    return AminoAcidMethod(residue, CysSide);
}

bool BondGln(Residue* residue)
{
    if (residue) {
        const Bonder bonder(residue);
        bonder.Resolve("AE1", Oxygen, "OE1");
        bonder.Resolve("AE2", Nitrogen, "NE2");
        if (!bonder.Alive())
            return false;
    }
    return AminoAcidMethod(residue, GlnSide);
}

bool BondGlu(Residue* residue)
{
    return AminoAcidMethod(residue, GluSide, CarboxylPostStep<CD, OE1, OE2>);
}

bool BondGly(Residue* residue)
{
    return AminoAcidMethod(residue, {});
}

bool BondHis(Residue* residue)
{
    return AminoAcidMethod(residue, HisSide, HistidinePostStep);
}

bool BondIle(Residue* residue)
{
    return AminoAcidMethod(residue, IleSide);
}

bool BondLeu(Residue* residue)
{
    return AminoAcidMethod(residue, LeuSide);
}

bool BondLys(Residue* residue)
{
    return AminoAcidMethod(residue, LysSide, AminePostStep<NZ>);
}

bool BondMet(Residue* residue)
{
    return AminoAcidMethod(residue, MetSide);
}

bool BondPhe(Residue* residue)
{
    return AminoAcidMethod(residue, PheSide);
}

bool BondPro(Residue* residue)
{
    return AminoAcidMethod(residue, ProSide);
}

bool BondSer(Residue* residue)
{
    return AminoAcidMethod(residue, SerSide);
}

bool BondThr(Residue* residue)
{
    return AminoAcidMethod(residue, ThrSide);
}

bool BondTrp(Residue* residue)
{
    return AminoAcidMethod(residue, TrpSide);
}

bool BondTyr(Residue* residue)
{
    return AminoAcidMethod(residue, TyrSide);
}

bool BondVal(Residue* residue)
{
    return AminoAcidMethod(residue, ValSide);
}

bool BondPca(Residue* residue)
{
    return AminoAcidMethod(residue, PcaSide);
}

bool BondAib(Residue* residue)
{
    if (!residue)
        return false;
    const Bonder bonder(residue);
    bool result = bonder.Make("N", "CA", S);
    result = bonder.Make("CA", "C", S) && result;
    const bool carbonyl = bonder.Make("C", "O", D) || bonder.Make("C", "O1", D);
    result = carbonyl && result;
    result = bonder.MakeAll(AibSide) && result;
    bonder.Hydrogens();
    return result;
}

bool BondMse(Residue* residue)
{
    return AminoAcidMethod(residue, MseSide);
}

bool BondSep(Residue* residue)
{
    return AminoAcidMethod(residue, SepSide, AnionPostStep<O1P, O2P>);
}

bool BondTys(Residue* residue)
{
    return AminoAcidMethod(residue, TysSide, AnionPostStep<O1>);
}

bool BondPtr(Residue* residue)
{
    return AminoAcidMethod(residue, PtrSide, AnionPostStep<O2P, O3P>);
}

bool BondTpo(Residue* residue)
{
    return AminoAcidMethod(residue, TpoSide, AnionPostStep<O1P, O2P>);
}

bool BondCse(Residue* residue)
{
    return AminoAcidMethod(residue, CseSide);
}

bool BondAsx(Residue* residue)
{
    return AminoAcidMethod(residue, AsxSide);
}

bool BondGlx(Residue* residue)
{
    return AminoAcidMethod(residue, GlxSide);
}

bool BondOrn(Residue* residue)
{
    return AminoAcidMethod(residue, OrnSide, AminePostStep<NE>);
}

bool BondAce(Residue* residue)
{
    if (!residue)
        return false;
    const Bonder bonder(residue);
    const bool result = bonder.MakeAll(AceBonds);
    bonder.Hydrogens();
    return result;
}

bool BondAde(Residue* residue)
{
    return NucleotideMethod(residue, Adenosine);
}

bool BondGua(Residue* residue)
{
    return NucleotideMethod(residue, Guanosine);
}

bool BondThy(Residue* residue)
{
    return NucleotideMethod(residue, Thymidine);
}

bool BondCyt(Residue* residue)
{
    return NucleotideMethod(residue, Cytidine);
}

bool BondUrd(Residue* residue)
{
    return NucleotideMethod(residue, Uridine);
}

bool BondH2U(Residue* residue)
{
    return NucleotideMethod(residue, Dihydrouridine);
}

bool BondPSU(Residue* residue)
{
    return NucleotideMethod(residue, Pseudouridine);
}

} // namespace Tavrel
