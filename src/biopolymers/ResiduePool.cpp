#include <tavrel/biopolymers/ResiduePool.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcid.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/NeighborList.h>
#include <tavrel/foundation/ChildIterator.h>
#include <tavrel/foundation/DescendentIterator.h>

namespace Tavrel {

namespace {

using Watch = TreeNode::Watch;

// The order in which scans visit the records, by PDB name.
constexpr std::array<std::string_view, ResiduePool::Count> EnumerationOrder{
    "5MC", "HIS", "H2U", "TYR", "TYS", "C3'", "OMU", "5MU", "GLN", "7MG", "PSU", "TRP", "GLU",
    "ARG", "PHE", "GLX", "ILE", "GLY", "SEP", "SER", "LEU", "CYS", "CYT", "2MG", "ACE", "ORN",
    "T5'", "G3'", "MSE", "GUA", "U3'", "A5'", "PTR", "LYS", "A",   "C",   "ASN", "G",   "ASP",
    "ADE", "C5'", "ASX", "CSE", "ALA", "THR", "T",   "U",   "1MA", "THY", "TPO", "URD", "UNK",
    "1MG", "M2G", "T3'", "AIB", "MET", "G5'", "PCA", "PRO", "A3'", "VAL", "U5'", "OMC", "OMG"};

constexpr std::size_t UnknownRow = 0;
// Residues with more atoms find the partners of their hydrogens, and molecules with more cysteines
// their disulfides, through a cell grid.
constexpr std::size_t GridThreshold = 48;

constexpr float HydrogenReach2 = 1.2f * 1.2f;
constexpr float DisulfideReach2 = 3.0f * 3.0f;
// Grid queries reach a little farther than the float test they feed, so that no pair at the limit is
// lost to rounding.
constexpr double GridMargin = 1.0001;

// The squared distance in float, as the thresholds are compared.
float SquaredDistance(const Point3d& a, const Point3d& b)
{
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

bool EqualNoCase(char a, char b)
{
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

// The objects of a class below a root, in tree order, each watched while an operation goes on.
template <class T>
class WatchedList {
public:
    void Add(T* object)
    {
        m_objects.push_back(object);
        m_watches.emplace_back(object);
    }
    std::size_t Size() const { return m_objects.size(); }
    // Null once the object has died.
    T* Get(std::size_t i) const { return m_watches[i].alive ? m_objects[i] : nullptr; }

private:
    std::vector<T*> m_objects;
    std::deque<Watch> m_watches;
};

// One object watched while an operation goes on.
template <class T>
class WatchedObject {
public:
    void Set(T* object)
    {
        m_watch.reset();
        m_object = object;
        m_watch.emplace(object);
    }
    // Null when none was set or it has died.
    T* Get() const { return m_watch && m_watch->alive ? m_object : nullptr; }

private:
    T* m_object = nullptr;
    std::optional<Watch> m_watch;
};

template <class T, class Walk>
void Collect(Walk&& walk, WatchedList<T>& list)
{
    for (Object* object = walk.GetNext(); object; object = walk.GetNext())
        list.Add(static_cast<T*>(object));
}

// Calls visit(i, j) for every pair i < j of the points within reach (squared, in float) of each other,
// i ascending and each one's partners ascending.
template <class Visit>
void ForPairsWithin(const std::vector<Point3d>& points, float reach2, Visit&& visit)
{
    const std::size_t n = points.size();
    if (n <= GridThreshold) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                if (SquaredDistance(points[i], points[j]) <= reach2)
                    visit(i, j);
            }
        }
        return;
    }
    const double reach = std::sqrt(static_cast<double>(reach2)) * GridMargin;
    const NeighborList grid(reach, points);
    IntArray near;
    for (std::size_t i = 0; i < n; ++i) {
        near.clear();
        grid.GetNeighbors(points[i], reach, near);
        for (const std::int32_t found : near) {
            const auto j = static_cast<std::size_t>(found);
            if (j > i && SquaredDistance(points[i], points[j]) <= reach2)
                visit(i, j);
        }
    }
}

} // namespace

const ResiduePool& ResiduePool::GetResiduePool()
{
    static const ResiduePool pool;
    return pool;
}

ResiduePool::ResiduePool()
{
    const auto table = ResidueTemplateTable();
    for (std::size_t row = 0; row < Count; ++row) {
        const ResidueTemplate& entry = table[row];
        ResidueData& record = m_records[row];
        record.SetType(entry.type);
        record.SetLSType(entry.kind);
        record.SetPDBName(entry.pdbName);
        record.SetSymbol(entry.symbol);
        record.SetName(entry.name);
        record.SetAbbreviation(entry.abbreviation);
        record.SetHydrophobicity(entry.hydrophobicity);
        record.SetpKa(entry.pKa);
        record.SetBondMethod(entry.bondMethod);
        record.SetColor(entry.color);
        m_byName.emplace(record.GetPDBName(), &record);
    }
    m_byType.fill(nullptr);
    for (std::size_t i = 0; i < Count; ++i) {
        const ResidueData* record = m_byName.at(EnumerationOrder[i]);
        m_order[i] = record;
        const auto type = static_cast<std::size_t>(record->GetType());
        if (type < m_byType.size() && !m_byType[type])
            m_byType[type] = record;
    }
    for (const ResidueData*& record : m_byType) {
        if (!record)
            record = &m_records[UnknownRow];
    }
}

const ResidueData* ResiduePool::FindResidueData(std::string_view pdbName) const
{
    const auto found = m_byName.find(pdbName);
    return found == m_byName.end() ? nullptr : found->second;
}

const ResidueData* ResiduePool::GetResidueData(const char* pdbName) const
{
    const ResidueData* record = pdbName ? FindResidueData(pdbName) : nullptr;
    return record ? record : &m_records[UnknownRow];
}

const ResidueData* ResiduePool::GetResidueData(ResidueType type) const
{
    const auto index = static_cast<std::size_t>(static_cast<std::uint32_t>(type));
    return index < m_byType.size() ? m_byType[index] : &m_records[UnknownRow];
}

// ---- Creation

Residue* ResiduePool::CreateResidue(Object* parent, const char* pdbName) const
{
    Residue* residue = nullptr;
    switch (GetLSType(pdbName)) {
    case LSAminoAcid: residue = new AminoAcid(parent); break;
    case LSNucleicAcid: residue = new NucleicAcid(parent); break;
    default: residue = new Residue(parent); break;
    }
    residue->SetType(pdbName);
    return residue;
}

Chain* ResiduePool::CreateChain(Object* parent, const char* pdbName) const
{
    switch (GetLSType(pdbName)) {
    case LSAminoAcid: return new AminoAcidChain(parent);
    case LSNucleicAcid: return new NucleicAcidChain(parent);
    default: return new Chain(parent);
    }
}

AminoAcid* ResiduePool::CreateAminoAcid(AminoAcidChain* parent, const char* name) const
{
    auto* const residue = new AminoAcid(parent);
    if (!name || std::strlen(name) != 1) {
        residue->SetType(name);
        return residue;
    }
    const ResidueData* chosen = nullptr;
    if (!EqualNoCase(name[0], 'X')) {
        for (const ResidueData* record : m_order) {
            if (record->GetLSType() == LSAminoAcid && EqualNoCase(record->GetSymbol()[0], name[0])) {
                chosen = record;
                break;
            }
        }
    }
    residue->SetType(chosen ? chosen->GetType() : UnknownResidueType);
    return residue;
}

NucleicAcid* ResiduePool::CreateNucleicAcid(NucleicAcidChain* parent, const char* name) const
{
    auto* const residue = new NucleicAcid(parent);
    if (!name || std::strlen(name) != 1) {
        residue->SetType(name);
        return residue;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    const ResidueData* record = FindResidueData(std::string_view(&letter, 1));
    residue->SetTemplate(record && record->GetLSType() == LSNucleicAcid ? record : GetResidueData(UnknownResidueType));
    return residue;
}

// ---- Bonding

Atom3d* ResiduePool::FindAtom(Object* object, std::string_view label)
{
    return static_cast<Atom3d*>(object->FindChild(label, Atom3d::classType));
}

bool ResiduePool::MakeBond(Residue* residue, std::string_view atom1, std::string_view atom2, Bond::BondType type) const
{
    Atom3d* const first = FindAtom(residue, atom1);
    if (!first)
        return false;
    Atom3d* const second = FindAtom(residue, atom2);
    if (!second)
        return false;
    Bond* const bond = first->MakeBond(residue, second, Bond::Single);
    if (!bond)
        return false;
    bond->SetType(type);
    return true;
}

bool ResiduePool::BondHydrogens(Residue* residue) const
{
    WatchedList<Atom3d> atoms;
    Collect(ChildIterator(residue, Atom3d::classType, false), atoms);
    std::vector<Point3d> positions;
    std::vector<bool> hydrogen;
    positions.reserve(atoms.Size());
    hydrogen.reserve(atoms.Size());
    for (std::size_t i = 0; i < atoms.Size(); ++i) {
        positions.push_back(atoms.Get(i)->GetXYZ());
        hydrogen.push_back(atoms.Get(i)->GetElementType() == 1);
    }
    // Each pair once, hydrogen first; the bonds are then made hydrogen by hydrogen in child order,
    // each one's partners in child order.
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    ForPairsWithin(positions, HydrogenReach2, [&](std::size_t i, std::size_t j) {
        if (hydrogen[i] != hydrogen[j])
            pairs.emplace_back(hydrogen[i] ? i : j, hydrogen[i] ? j : i);
    });
    std::sort(pairs.begin(), pairs.end());
    for (const auto& [h, partner] : pairs) {
        Atom3d* const atom = atoms.Get(h);
        Atom3d* const other = atoms.Get(partner);
        if (atom && other && !atom->IsBonded(other))
            atom->MakeBond(other, Bond::Single);
    }
    return true;
}

bool ResiduePool::BondByDistance(Object* object) const
{
    if (object->GetNumChildren() != 1)
        Atom::ConstructBonds(object);
    return true;
}

bool ResiduePool::CheckAtoms(Residue* residue) const
{
    ChildIterator walk(residue, Atom3d::classType, false);
    for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
        if (static_cast<Atom3d*>(object)->GetNumBonds() == 0)
            return false;
    }
    return true;
}

bool ResiduePool::FindDisulfides(Object* root) const
{
    WatchedList<Molecule> molecules;
    Collect(DescendentIterator(root, Molecule::classType, false), molecules);
    for (std::size_t m = 0; m < molecules.Size(); ++m) {
        Molecule* const molecule = molecules.Get(m);
        if (!molecule)
            continue;
        WatchedList<Atom3d> sulfurs;
        DescendentIterator walk(molecule, Residue::classType, false);
        for (Object* object = walk.GetNext(); object; object = walk.GetNext()) {
            auto* const residue = static_cast<Residue*>(object);
            if (residue->GetType() != CysteineResidueType)
                continue;
            if (Atom3d* const sulfur = FindAtom(residue, "SG"))
                sulfurs.Add(sulfur);
        }
        if (sulfurs.Size() < 2)
            continue;
        std::vector<Point3d> positions;
        positions.reserve(sulfurs.Size());
        for (std::size_t i = 0; i < sulfurs.Size(); ++i)
            positions.push_back(sulfurs.Get(i)->GetXYZ());
        ForPairsWithin(positions, DisulfideReach2, [&](std::size_t i, std::size_t j) {
            Atom3d* const first = sulfurs.Get(i);
            Atom3d* const second = sulfurs.Get(j);
            if (first && second && first != second && !first->IsBonded(second))
                first->MakeBond(second, Bond::Single);
        });
    }
    return true;
}

bool ResiduePool::BondBetweenResidues(Residue* current, Residue* previous) const
{
    Atom3d* from = FindAtom(previous, "C");
    Atom3d* to = FindAtom(current, "N");
    if (!to)
        to = FindAtom(current, "O");
    if (!from) {
        if (to)
            return false;
        from = FindAtom(previous, "O3'");
        if (!from)
            from = FindAtom(previous, "O3*");
        to = FindAtom(current, "P");
        if (!from)
            return false;
    }
    if (!to)
        return false;
    if (from->IsBonded(to))
        return true;
    const float reach = from->GetBondingRadius() + to->GetBondingRadius();
    if (reach * reach < SquaredDistance(from->GetXYZ(), to->GetXYZ()))
        return false;
    return from->MakeBond(to, Bond::Single) != nullptr;
}

void ResiduePool::ChargeNTerminus(Residue* first) const
{
    if (first->GetType() == PyroglutamateType)
        return;
    if (Atom3d* const nitrogen = FindAtom(first, "N"); nitrogen && nitrogen->GetNumBonds() != 3)
        nitrogen->SetFormalCharge(1, 1);
}

void ResiduePool::TreatCTerminus(Residue* last) const
{
    Atom3d* const oxygen = FindAtom(last, "O");
    Atom3d* const terminal = FindAtom(last, "OXT");
    if (!oxygen || !terminal)
        return;
    const int hO = oxygen->GetNumHydrogens();
    const int hX = terminal->GetNumHydrogens();
    const Watch watchO(oxygen);
    const Watch watchX(terminal);
    const Watch watchLast(last);
    if (hO == 0 && hX == 0) {
        MakeBond(last, "C", "O", Bond::PartialDouble);
        if (watchLast.alive)
            MakeBond(last, "C", "OXT", Bond::PartialDouble);
        if (watchO.alive)
            oxygen->SetFormalCharge(-1, 2);
        if (watchX.alive)
            terminal->SetFormalCharge(-1, 2);
    } else if (hO == 1 && hX == 0) {
        MakeBond(last, "C", "O", Bond::Single);
        if (watchLast.alive)
            MakeBond(last, "C", "OXT", Bond::Double);
    } else if (hO == 0 && hX == 1) {
        MakeBond(last, "C", "O", Bond::Double);
        if (watchLast.alive)
            MakeBond(last, "C", "OXT", Bond::Single);
    }
}

bool ResiduePool::ConstructResidueBonds(Object* root) const
{
    WatchedList<Chain> chains;
    Collect(DescendentIterator(root, Chain::classType, false), chains);
    const Watch rootWatch(root);
    bool disulfidesSearched = false;
    // The last residue handled, across chains.
    WatchedObject<Residue> previous;
    for (std::size_t c = 0; c < chains.Size(); ++c) {
        Chain* const chain = chains.Get(c);
        if (!chain)
            continue;
        WatchedList<Residue> residues;
        Collect(ChildIterator(chain, Residue::classType, false), residues);
        if (chain->GetLabel() == WaterChainLabel) {
            for (std::size_t r = 0; r < residues.Size(); ++r) {
                if (Residue* const residue = residues.Get(r))
                    BondByDistance(residue);
            }
            continue;
        }
        bool first = true;
        for (std::size_t r = 0; r < residues.Size(); ++r) {
            Residue* const residue = residues.Get(r);
            if (!residue)
                continue;
            const auto alive = [&residues, r] { return residues.Get(r) != nullptr; };
            const bool templated = residue->GetBondMethod()(residue);
            if (alive() && residue->GetType() == CysteineResidueType && !disulfidesSearched && rootWatch.alive) {
                FindDisulfides(root);
                disulfidesSearched = true;
            }
            if (alive() && (!templated || !CheckAtoms(residue)))
                BondByDistance(residue);
            if (Residue* const before = previous.Get(); alive() && before)
                BondBetweenResidues(residue, before);
            if (alive() && first) {
                ChargeNTerminus(residue);
                first = false;
            }
            if (alive())
                previous.Set(residue);
        }
        if (Residue* const last = previous.Get())
            TreatCTerminus(last);
    }
    return true;
}

} // namespace Tavrel
