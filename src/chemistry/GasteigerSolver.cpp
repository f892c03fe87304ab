#include <tavrel/chemistry/GasteigerSolver.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include <tavrel/chemistry/GasteigerTables.h>
#include <tavrel/core/RecycledVectors.h>
#include <tavrel/platform/PageAdvice.h>

namespace Tavrel {

namespace {

// Reads the blank-separated fields of one parameter line in the C locale, as a scan with "%c",
// "%i", "%f" and "%lf" does; each read fails once the text has run out or does not fit.
class LineScanner {
public:
    explicit LineScanner(std::string_view line) : m_text(line) {}

    bool Char()
    {
        SkipBlanks();
        if (m_pos >= m_text.size())
            return false;
        ++m_pos;
        return true;
    }

    bool Integer(std::int32_t& value)
    {
        SkipBlanks();
        const std::string field(m_text.substr(m_pos, m_text.find_first_of(" \t", m_pos) - m_pos));
        if (field.empty())
            return false;
        char* end = nullptr;
        const long read = std::strtol(field.c_str(), &end, 0);
        if (end == field.c_str())
            return false;
        m_pos += static_cast<std::size_t>(end - field.c_str());
        value = static_cast<std::int32_t>(read);
        return true;
    }

    template <class Real>
    bool Number(Real& value)
    {
        SkipBlanks();
        const char* const begin = m_text.data() + m_pos;
        const auto [end, error] = std::from_chars(begin, m_text.data() + m_text.size(), value);
        if (error != std::errc())
            return false;
        m_pos += static_cast<std::size_t>(end - begin);
        return true;
    }

private:
    void SkipBlanks()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
            ++m_pos;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

struct ParameterRow {
    std::int32_t atomicNumber = 0;
    std::int32_t hybridization = 0;
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double unused = 0.0;
    double chiPlus = 0.0;
};

struct Parameters {
    std::vector<ParameterRow> rows;
    double damping = 0.0;
    std::int32_t iterationLimit = 0;
};

bool Skipped(std::string_view line)
{
    return line.starts_with('#') || line.starts_with("ATOM_DATA");
}

// The parameter text, parsed once per process.
Parameters Parse(std::span<const std::string_view> text)
{
    Parameters parameters;
    std::size_t counted = 0;
    std::size_t rows = 0;
    for (const std::string_view line : text) {
        ++counted;
        if (Skipped(line))
            continue;
        if (line.starts_with('E'))
            break;
        if (line.starts_with('D')) {
            LineScanner scan(line);
            float damping = 0.0f;
            if (scan.Char() && scan.Number(damping)) {
                parameters.damping = damping;
                scan.Integer(parameters.iterationLimit);
            }
        } else if (line.starts_with('G')) {
            ++rows;
        }
    }
    parameters.rows.reserve(rows);
    for (const std::string_view line : text.first(counted)) {
        if (Skipped(line) || !line.starts_with('G'))
            continue;
        ParameterRow row;
        LineScanner scan(line);
        if (scan.Char() && scan.Integer(row.atomicNumber) && scan.Integer(row.hybridization) && scan.Number(row.a) &&
            scan.Number(row.b) && scan.Number(row.c) && scan.Number(row.unused))
            scan.Number(row.chiPlus);
        if (row.chiPlus == 0.0)
            row.chiPlus = row.a + row.b + row.c;
        parameters.rows.push_back(row);
    }
    return parameters;
}

const Parameters& GetParameters()
{
    static const Parameters parameters = Parse(GetGasteigerParameterText());
    return parameters;
}

// Electronegativity a + b q + c q^2 and the divisor chi+ of a charge flow. A zero divisor moves
// nothing: it is kept as infinity, so that the flow it divides is a zero (of either sign, which
// leaves every charge as it is, none being -0) without a test in the iterations.
struct Coefficients {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double chiPlus = std::numeric_limits<double>::infinity();
};

Coefficients CoefficientRow(double a, double b, double c, double chiPlus)
{
    return {a, b, c, chiPlus != 0.0 ? chiPlus : std::numeric_limits<double>::infinity()};
}

// Row 0 for entries without parameters, rows 1 to 20 the group table (a zero chi+ as a + b + c),
// then the parameter rows.
const std::vector<Coefficients>& CoefficientTable()
{
    static const std::vector<Coefficients> table = [] {
        std::vector<Coefficients> rows(1);
        for (const GasteigerGroupRow& row : GetGasteigerGroupTable())
            rows.push_back(
                CoefficientRow(row.a, row.b, row.c, row.chiPlus != 0.0 ? row.chiPlus : row.a + row.b + row.c));
        for (const ParameterRow& row : GetParameters().rows)
            rows.push_back(CoefficientRow(row.a, row.b, row.c, row.chiPlus));
        return rows;
    }();
    return table;
}

constexpr std::int8_t TypeNitro = 3;
constexpr std::int8_t TypeTerminalOxygen = 2;
constexpr std::int8_t TypeGroupPhosphorus = 1;
constexpr std::int8_t TypeQuaternaryNitrogen = 4;
constexpr std::int8_t TypeAmidinium = 5;
constexpr std::int8_t TypeGuanidinium = 6;
constexpr std::int8_t TypeGroupSulfur = 7;
constexpr std::int8_t TypeUnderValent = 19;
constexpr std::int8_t TypeOverValent = 20;

// The valence that no valence rule types: carbon 4, nitrogen 3, oxygen and sulfur 2; -1 for
// phosphorus, left to the rules; 0 for the elements that only the isolated-atom rule concerns.
std::int32_t UsualValence(std::int32_t atomicNumber)
{
    switch (atomicNumber) {
    case 6: return 4;
    case 7: return 3;
    case 8:
    case 16: return 2;
    case 15: return -1;
    default: return 0;
    }
}

const GasteigerGroupRow& GroupRow(std::int32_t type)
{
    return GetGasteigerGroupTable()[static_cast<std::size_t>(type - 1)];
}

// Twice the bond's value toward valence: aromatic 1.5, else the code, at least 1.
std::int32_t BondHalves(std::int8_t code)
{
    if (code == 6)
        return 3;
    return code < 1 ? 2 : 2 * code;
}

// The coefficient row of an untyped entry: the parameter rows stand by atomic number, then sp3, sp2,
// sp; the matching hybridization or a row for any, else the element's last row; row 0 when the
// element has none.
std::uint8_t FindParameterRow(std::int32_t atomicNumber, std::int32_t hybridization)
{
    const std::vector<ParameterRow>& rows = GetParameters().rows;
    const std::size_t firstParameterRow = GetGasteigerGroupTable().size() + 1;
    std::uint8_t found = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].atomicNumber < atomicNumber)
            continue;
        if (rows[r].atomicNumber > atomicNumber)
            break;
        found = static_cast<std::uint8_t>(firstParameterRow + r);
        if (rows[r].hybridization == 0 || rows[r].hybridization == hybridization)
            break;
    }
    return found;
}

constexpr std::int32_t TabledElements = 128;
using ParameterRowTable = std::array<std::array<std::uint8_t, 4>, TabledElements>;

// FindParameterRow for the hybridization codes 0 to 3 of the elements below 128.
const ParameterRowTable& TabledParameterRows()
{
    static const ParameterRowTable tabled = [] {
        ParameterRowTable rows{};
        for (std::int32_t z = 0; z < TabledElements; ++z) {
            for (std::int32_t code = 0; code < 4; ++code)
                rows[static_cast<std::size_t>(z)][static_cast<std::size_t>(code)] = FindParameterRow(z, code);
        }
        return rows;
    }();
    return tabled;
}

// FindParameterRow for the hybridization codes 0 to 3, through the table when it holds the element.
std::uint8_t ParameterRowOf(const ParameterRowTable& tabled, std::int32_t atomicNumber, std::int32_t hybridization)
{
    if (atomicNumber < 0 || atomicNumber >= TabledElements)
        return FindParameterRow(atomicNumber, hybridization);
    return tabled[static_cast<std::size_t>(atomicNumber)][static_cast<std::size_t>(hybridization)];
}

} // namespace

GasteigerSolver::~GasteigerSolver()
{
    ForEachWorkArray([]<class Use>(auto& array) { GiveRecycled<Use>(array); });
}

GasteigerSolver::GasteigerSolver(std::size_t atoms, std::size_t slots)
{
    ForEachWorkArray([]<class Use>(auto& array) { ReserveRecycled<Use>(array, 0); });
    ReservePrefaulted(m_atoms, atoms);
    ReservePrefaulted(m_sweep, atoms);
    ReservePrefaulted(m_start, atoms + 2);
    m_start.push_back(0);
    // Most atoms list about two (a chain or tree of n atoms has n - 1 bonds).
    ReservePrefaulted(m_neighbours, slots, 2 * atoms);
    ReservePrefaulted(m_bondCode, slots, 2 * atoms);
}

template <class Take>
void GasteigerSolver::AddGroupCharges(Take&& take)
{
    // An atom's group charge is its type's; else the last one the typing gave it; else its input
    // charge.
    std::stable_sort(m_givenCharges.begin(), m_givenCharges.end(),
                     [](const Charge& a, const Charge& b) { return a.atom < b.atom; });
    auto nextGiven = m_givenCharges.cbegin();
    auto nextInput = m_inputCharges.cbegin();
    for (std::size_t a = 0; a < m_atoms.size(); ++a) {
        const auto atom = static_cast<std::int32_t>(a);
        double charge = m_atoms[a].type != 0 ? GroupRow(m_atoms[a].type).charge : 0.0;
        double given = 0.0;
        for (; nextGiven != m_givenCharges.cend() && nextGiven->atom == atom; ++nextGiven)
            given = nextGiven->charge;
        double input = 0.0;
        if (nextInput != m_inputCharges.cend() && nextInput->atom == atom)
            input = (nextInput++)->charge;
        if (charge == 0.0)
            charge = given != 0.0 ? given : input;
        m_charge[a] += charge;
        take(m_charge[a]);
    }
}

GasteigerSolver::Result GasteigerSolver::Solve()
{
    const std::size_t n = GetNumAtoms();
    CloseAtomsBelow(n + 1);
    Type();
    Parameterise();
    LinkSlots();
    ReserveRecycledPrefaulted<OutputCharges>(m_charge, n);
    m_charge.assign(n, 0.0);
    ReservePrefaulted(m_hydrogenCharge, m_numWithHydrogens);
    m_hydrogenCharge.assign(m_numWithHydrogens, 0.0);
    Result result;
    result.converged = Iterate();
    // Over the entries in order: the atoms, then the implicit hydrogens.
    bool first = true;
    const auto take = [&result, &first](double q) {
        if (first) {
            result.minimum = q;
            result.maximum = q;
            first = false;
        } else if (q > result.maximum) {
            result.maximum = q;
        } else if (q < result.minimum) {
            result.minimum = q;
        }
        result.total += q;
    };
    AddGroupCharges(take);
    // Each atom's implicit hydrogens, once taken, fold into it.
    for (std::size_t a = 0, k = 0; a < n; ++a) {
        if (m_sweep[a].hydrogens == 0)
            continue;
        for (std::uint8_t h = 0; h < m_sweep[a].hydrogens; ++h)
            take(m_hydrogenCharge[k]);
        for (std::uint8_t h = 0; h < m_sweep[a].hydrogens; ++h)
            m_charge[a] += m_hydrogenCharge[k];
        ++k;
    }
    return result;
}

std::int32_t GasteigerSolver::AromaticAsSingleValence(std::size_t atom) const
{
    // Counted in half valences: every bond value is a multiple of 0.5, so the sum plus 0.1,
    // truncated, is the whole part of the sum.
    std::int32_t halves = 2 * m_sweep[atom].hydrogens;
    for (auto s = static_cast<std::size_t>(m_start[atom]); s < static_cast<std::size_t>(m_start[atom + 1]); ++s)
        halves += m_bondCode[s] == 6 ? 2 : BondHalves(m_bondCode[s]);
    return halves / 2;
}

[[gnu::always_inline]] inline GasteigerSolver::Census GasteigerSolver::TakeCensus(std::size_t atom) const
{
    Census census;
    std::int32_t halves = 2 * m_sweep[atom].hydrogens;
    for (auto s = static_cast<std::size_t>(m_start[atom]); s < static_cast<std::size_t>(m_start[atom + 1]); ++s) {
        halves += BondHalves(m_bondCode[s]);
        const AtomEntry& listed = ListedAtom(s);
        const bool oxygen = listed.atomicNumber == 8;
        census.nitrogens += listed.atomicNumber == 7 ? 1 : 0;
        census.oxygens += oxygen ? 1 : 0;
        census.chargedOxygen = census.chargedOxygen | (oxygen & listed.charged);
    }
    census.valence = halves / 2;  // the whole part, as in AromaticAsSingleValence
    return census;
}

void GasteigerSolver::Type()
{
    // No rule types hydrogen with one neighbour, so the implicit hydrogens stay untyped.
    m_givenCharges.clear();
    for (std::size_t a = 0; a < m_atoms.size(); ++a) {
        const AtomEntry& atom = m_atoms[a];
        if (atom.type != 0)
            continue;
        if (NumNeighbours(a) == 0) {
            TypeIsolated(a);
            continue;
        }
        // The other rules concern carbon, nitrogen, oxygen, phosphorus and sulfur only. No rule
        // types an atom of its element's usual valence without an oxygen neighbour of input
        // charge, two nitrogen neighbours or two oxygen neighbours: most atoms end here.
        const std::int32_t usual = UsualValence(atom.atomicNumber);
        if (usual == 0)
            continue;
        const Census census = TakeCensus(a);
        if (census.valence != usual || census.chargedOxygen || census.nitrogens >= 2 || census.oxygens == 2)
            TypeAtom(a, census);
    }
}

double GasteigerSolver::InputCharge(std::size_t atom) const
{
    if (!m_atoms[atom].charged)
        return 0.0;
    const auto found = std::lower_bound(m_inputCharges.cbegin(), m_inputCharges.cend(), atom,
                                        [](const Charge& charge, std::size_t a) { return static_cast<std::size_t>(charge.atom) < a; });
    return found != m_inputCharges.cend() && static_cast<std::size_t>(found->atom) == atom ? found->charge : 0.0;
}

bool GasteigerSolver::TypeTerminalOxygens(std::size_t centre)
{
    m_scratch.clear();
    double sum = 0.0;
    for (auto s = static_cast<std::size_t>(m_start[centre]); s < static_cast<std::size_t>(m_start[centre + 1]); ++s) {
        const auto o = static_cast<std::size_t>(m_neighbours[s]);
        if (m_atoms[o].atomicNumber == 8 && NumNeighbours(o) == 1) {
            m_scratch.push_back(m_neighbours[s]);
            sum += InputCharge(o);
        }
    }
    if (m_scratch.empty() || sum == 0.0)
        return false;
    const double share = (sum + InputCharge(centre)) / static_cast<double>(m_scratch.size());
    for (const std::int32_t o : m_scratch) {
        m_atoms[static_cast<std::size_t>(o)].type = TypeTerminalOxygen;
        m_givenCharges.push_back({o, share});
    }
    return true;
}

bool GasteigerSolver::ExceedsValence(std::size_t atom, std::int32_t valence, std::int32_t neutral) const
{
    if (valence <= neutral)
        return false;
    return InputCharge(atom) > 0.0 || AromaticAsSingleValence(atom) > neutral;
}

bool GasteigerSolver::TypeNitrogenGroup(std::size_t centre, std::int32_t hybridization, std::int32_t count)
{
    const auto begin = static_cast<std::size_t>(m_start[centre]);
    const auto end = static_cast<std::size_t>(m_start[centre + 1]);
    // Guanidinium: a sp2 carbon whose three neighbours are nitrogens (so no implicit hydrogen).
    if (hybridization == 2 && count == 3 && m_sweep[centre].hydrogens == 0) {
        bool allNitrogen = true;
        bool noneWithTwo = true;
        double sum = 0.0;
        for (std::size_t s = begin; s < end; ++s) {
            allNitrogen = allNitrogen && ListedAtom(s).atomicNumber == 7;
            noneWithTwo = noneWithTwo && ListedNeighbours(s) != 2;
            sum += InputCharge(static_cast<std::size_t>(m_neighbours[s]));
        }
        if (allNitrogen && ((sum > 0.999 && sum < 1.001) || noneWithTwo)) {
            for (std::size_t s = begin; s < end; ++s)
                ListedAtom(s).type = TypeGuanidinium;
            return true;
        }
    }
    // Amidinium: a carbon with exactly two nitrogen neighbours bonded by three valences in all.
    m_scratch.clear();
    double bonds = 0.0;
    for (std::size_t s = begin; s < end; ++s) {
        if (ListedAtom(s).atomicNumber != 7)
            continue;
        m_scratch.push_back(m_neighbours[s]);
        switch (m_bondCode[s]) {
        case 1: bonds += 1.0; break;
        case 6: bonds += 1.5; break;
        case 2: bonds += 2.0; break;
        default: break;
        }
    }
    if (m_scratch.size() == 2 && bonds == 3.0) {
        const auto first = static_cast<std::size_t>(m_scratch[0]);
        const auto second = static_cast<std::size_t>(m_scratch[1]);
        const double sum = InputCharge(first) + InputCharge(second);
        if (sum == 1.0 || (NumNeighbours(first) != 2 && NumNeighbours(second) != 2)) {
            m_atoms[first].type = TypeAmidinium;
            m_atoms[second].type = TypeAmidinium;
            return true;
        }
    }
    return false;
}

void GasteigerSolver::TypeIsolated(std::size_t a)
{
    AtomEntry& atom = m_atoms[a];
    const auto rows = GetGasteigerGroupTable();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].atomicNumber == atom.atomicNumber) {
            atom.type = static_cast<std::int8_t>(row + 1);
            return;
        }
    }
}

void GasteigerSolver::TypeAtom(std::size_t a, const Census& census)
{
    AtomEntry& atom = m_atoms[a];
    const std::int32_t z = atom.atomicNumber;
    const std::int32_t count = NumNeighbours(a);
    const std::int32_t hybridization = atom.hybridization;
    const std::int32_t valence = census.valence;
    // A terminal-oxygen group needs an oxygen neighbour with an input charge: else the sum is 0.
    const bool oxygenGroup = census.chargedOxygen;
    // The bonded neighbours; implicit hydrogens are none of the nitrogens and oxygens the rules
    // look for.
    const auto begin = static_cast<std::size_t>(m_start[a]);
    const auto end = static_cast<std::size_t>(m_start[a + 1]);

    if (z == 6 && oxygenGroup && TypeTerminalOxygens(a))
        return;
    // Nitro: a sp2 nitrogen with three neighbours, exactly two of them terminal oxygens.
    if (z == 7 && hybridization == 2 && count == 3 && census.oxygens == 2) {
        m_scratch.clear();
        bool terminal = true;
        for (std::size_t s = begin; s < end; ++s) {
            if (ListedAtom(s).atomicNumber == 8) {
                m_scratch.push_back(m_neighbours[s]);
                terminal = terminal && ListedNeighbours(s) == 1;
            }
        }
        if (m_scratch.size() == 2 && terminal) {
            for (const std::int32_t o : m_scratch) {
                m_atoms[static_cast<std::size_t>(o)].type = TypeTerminalOxygen;
                m_givenCharges.push_back({o, -0.5});
            }
            atom.type = TypeNitro;
            return;
        }
    }
    if (z == 15 && oxygenGroup && TypeTerminalOxygens(a)) {
        atom.type = TypeGroupPhosphorus;
        return;
    }
    if (z == 7 && ExceedsValence(a, valence, 3)) {
        atom.type = TypeQuaternaryNitrogen;
        return;
    }
    // Guanidinium and amidinium, whose rules need two nitrogen neighbours at least.
    if (z == 6 && (hybridization == 2 || count == 3) && census.nitrogens >= 2 &&
        TypeNitrogenGroup(a, hybridization, count))
        return;
    if (z == 16 && valence > 3 && oxygenGroup && TypeTerminalOxygens(a)) {
        atom.type = TypeGroupSulfur;
        return;
    }
    if ((z == 7 && valence < 3) || ((z == 8 || z == 16) && valence < 2) || (z == 6 && valence < 4)) {
        atom.type = TypeUnderValent;
        return;
    }
    if ((z == 8 && ExceedsValence(a, valence, 2)) || (z == 6 && ExceedsValence(a, valence, 4)))
        atom.type = TypeOverValent;
}

void GasteigerSolver::Parameterise()
{
    const ParameterRowTable& tabled = TabledParameterRows();
    for (std::size_t a = 0; a < m_atoms.size(); ++a) {
        const AtomEntry& atom = m_atoms[a];
        m_sweep[a].row = atom.type != 0 ? static_cast<std::uint8_t>(atom.type)
                                        : ParameterRowOf(tabled, atom.atomicNumber, atom.hybridization);
        m_sweep[a].bonded = static_cast<std::uint8_t>(m_start[a + 1] - m_start[a]);
    }
    m_hydrogenRow = ParameterRowOf(tabled, 1, 0);
}

void GasteigerSolver::LinkSlots()
{
    const std::size_t n = GetNumAtoms();
    std::int32_t flows = 0;
    m_backward.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const auto self = static_cast<std::int32_t>(i);
        for (auto s = static_cast<std::size_t>(m_start[i]); s < static_cast<std::size_t>(m_start[i + 1]); ++s) {
            const std::int32_t j = m_neighbours[s];
            if (j < 0)
                continue;  // linked from an earlier atom
            if (j < self) {
                // Listed from this end only: computed before the sweep, while j's charge is still
                // that of the iteration start.
                m_backward.push_back({self, j, static_cast<std::int32_t>(s), 0});
                continue;
            }
            const std::int32_t flow = flows++;
            if (j == self)
                continue;
            // The first slot of j listing i that is not linked yet takes this flow negated.
            const auto first = static_cast<std::size_t>(m_start[static_cast<std::size_t>(j)]);
            const auto last = static_cast<std::size_t>(m_start[static_cast<std::size_t>(j) + 1]);
            for (std::size_t t = first; t < last; ++t) {
                if (m_neighbours[t] == self) {
                    m_neighbours[t] = ~flow;
                    break;
                }
            }
        }
    }
    // The backward flows follow the others, stored negated.
    for (BackwardPair& pair : m_backward) {
        pair.flow = flows++;
        m_neighbours[static_cast<std::size_t>(pair.slot)] = ~pair.flow;
    }
    ReservePrefaulted(m_flow, static_cast<std::size_t>(flows));
    m_flow.assign(static_cast<std::size_t>(flows), 0.0);
}

bool GasteigerSolver::Iterate()
{
    const Parameters& parameters = GetParameters();
    const Coefficients* const table = CoefficientTable().data();
    const std::size_t n = GetNumAtoms();
    const SweepEntry* const atoms = m_sweep.data();
    double* const charge = m_charge.data();
    double* hydrogenCharge = m_hydrogenCharge.data();
    double* const flow = m_flow.data();
    const Coefficients& hydrogen = table[m_hydrogenRow];
    const auto electronegativity = [](const Coefficients& k, double q) { return (k.c * q + k.b) * q + k.a; };
    // Every flow of an iteration is computed from electronegativities of the iteration start, each
    // taken from the entry's charge when it is read: an atom's charge changes only at its turn, and
    // no later flow of the iteration reads the atom.
    const auto startElectronegativity = [&](std::size_t atom) {
        return electronegativity(table[atoms[atom].row], charge[atom]);
    };
    double damping = 1.0;
    for (std::int32_t iteration = 0; iteration < parameters.iterationLimit; ++iteration) {
        damping *= parameters.damping;
        double largest = 0.0;
        // The flow into an entry from a neighbour. The divisor is the cation electronegativity of
        // the less electronegative end, the same seen from either end, so the flow into the
        // neighbour is the exact negative.
        const auto flowInto = [&](double own, double divisor, double neighbourChi, double neighbourDivisor) {
            const double d = neighbourChi > own ? divisor : neighbourDivisor;
            const double dq = (neighbourChi - own) * damping / d;
            largest = std::max(largest, std::fabs(dq));
            return dq;
        };
        for (const BackwardPair& pair : m_backward) {
            const auto i = static_cast<std::size_t>(pair.atom);
            const auto j = static_cast<std::size_t>(pair.neighbour);
            flow[pair.flow] = -flowInto(startElectronegativity(i), table[atoms[i].row].chiPlus,
                                        startElectronegativity(j), table[atoms[j].row].chiPlus);
        }
        // One sweep: each atom computes the flows it lists first (its neighbours' charges have not
        // moved yet) and takes its flows in slot order, then those from its implicit hydrogens,
        // each of which takes the negated flow as its only one. The hydrogens of an atom start
        // alike and so stay alike: their flow is computed once.
        double* next = flow;
        hydrogenCharge = m_hydrogenCharge.data();
        const std::int32_t* slot = m_neighbours.data();
        for (std::size_t i = 0; i < n; ++i) {
            const SweepEntry atom = atoms[i];
            const Coefficients& k = table[atom.row];
            double q = charge[i];
            const double own = electronegativity(k, q);
            for (const std::int32_t* const end = slot + atom.bonded; slot != end; ++slot) {
                const std::int32_t j = *slot;
                if (j >= 0) {
                    const Coefficients& listed = table[atoms[j].row];
                    const double dq = flowInto(own, k.chiPlus, electronegativity(listed, charge[j]), listed.chiPlus);
                    *next++ = dq;
                    q += dq;
                } else {
                    q += -flow[~j];
                }
            }
            if (atom.hydrogens > 0) {
                const double dq = flowInto(own, k.chiPlus, electronegativity(hydrogen, *hydrogenCharge), hydrogen.chiPlus);
                for (std::uint8_t count = atom.hydrogens; count > 0; --count)
                    q += dq;
                *hydrogenCharge++ += -dq;
            }
            charge[i] = q;
        }
        if (largest < 0.0001)
            return true;
    }
    return false;
}

} // namespace Tavrel
