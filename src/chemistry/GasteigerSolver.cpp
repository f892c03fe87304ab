#include <tavrel/chemistry/GasteigerSolver.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include <tavrel/chemistry/GasteigerTables.h>

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

// Electronegativity a + b q + c q^2 and the divisor chi+ of a charge flow.
struct Coefficients {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double chiPlus = 0.0;
};

// Row 0 for entries without parameters, rows 1 to 20 the group table (a zero chi+ as a + b + c),
// then the parameter rows.
const std::vector<Coefficients>& CoefficientTable()
{
    static const std::vector<Coefficients> table = [] {
        std::vector<Coefficients> rows(1);
        for (const GasteigerGroupRow& row : GetGasteigerGroupTable())
            rows.push_back({row.a, row.b, row.c, row.chiPlus != 0.0 ? row.chiPlus : row.a + row.b + row.c});
        for (const ParameterRow& row : GetParameters().rows)
            rows.push_back({row.a, row.b, row.c, row.chiPlus});
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

const GasteigerGroupRow& GroupRow(std::int32_t type)
{
    return GetGasteigerGroupTable()[static_cast<std::size_t>(type - 1)];
}

// The bond's value toward valence: aromatic 1.5, else the code, at least 1.
double BondValue(std::int8_t code)
{
    if (code == 6)
        return 1.5;
    return code < 1 ? 1.0 : static_cast<double>(code);
}

} // namespace

void GasteigerSolver::Reset(std::size_t n)
{
    m_atomicNumber.assign(n, 0);
    m_hybridization.assign(n, 0);
    m_inputCharge.assign(n, 0.0);
    m_start.assign(n + 1, 0);
    m_neighbours.clear();
    m_bondCode.clear();
    m_filled = 0;
}

void GasteigerSolver::SetEntry(std::size_t entry, std::int32_t atomicNumber, std::int32_t hybridization,
                               double inputCharge)
{
    m_atomicNumber[entry] = atomicNumber;
    m_hybridization[entry] = static_cast<std::int8_t>(hybridization >= 1 && hybridization <= 3 ? hybridization : 0);
    m_inputCharge[entry] = inputCharge;
}

void GasteigerSolver::CloseEntriesUpTo(std::size_t entry)
{
    const auto end = static_cast<std::int32_t>(m_neighbours.size());
    for (; m_filled < entry; ++m_filled)
        m_start[m_filled + 1] = end;
}

void GasteigerSolver::AddNeighbour(std::size_t entry, std::int32_t neighbour, std::int8_t bondCode)
{
    if (entry < m_filled || entry >= GetNumEntries())
        return;
    CloseEntriesUpTo(entry);
    m_neighbours.push_back(neighbour);
    m_bondCode.push_back(bondCode);
}

GasteigerSolver::Result GasteigerSolver::Solve()
{
    const std::size_t n = GetNumEntries();
    CloseEntriesUpTo(n);
    m_charge.assign(n, 0.0);
    Type();
    Parameterise();
    Result result;
    result.converged = Iterate();
    for (std::size_t e = 0; e < n; ++e) {
        m_charge[e] += m_groupCharge[e];
        const double q = m_charge[e];
        if (e == 0) {
            result.minimum = q;
            result.maximum = q;
        } else if (q > result.maximum) {
            result.maximum = q;
        } else if (q < result.minimum) {
            result.minimum = q;
        }
        result.total += q;
    }
    return result;
}

std::int32_t GasteigerSolver::Valence(std::size_t entry, bool single) const
{
    double sum = 0.0;
    for (std::int32_t s = m_start[entry]; s < m_start[entry + 1]; ++s) {
        const std::int8_t code = m_bondCode[static_cast<std::size_t>(s)];
        sum += single && code == 6 ? 1.0 : BondValue(code);
    }
    return static_cast<std::int32_t>(sum + 0.1);
}

void GasteigerSolver::Type()
{
    const std::size_t n = GetNumEntries();
    m_type.assign(n, 0);
    m_groupCharge.assign(n, 0.0);
    for (std::size_t e = 0; e < n; ++e) {
        if (m_type[e] == 0)
            TypeEntry(e);
    }
    for (std::size_t e = 0; e < n; ++e) {
        const double charge = m_type[e] != 0 ? GroupRow(m_type[e]).charge : 0.0;
        if (charge != 0.0)
            m_groupCharge[e] = charge;
        else if (m_groupCharge[e] == 0.0 && m_inputCharge[e] != 0.0)
            m_groupCharge[e] = m_inputCharge[e];
    }
}

bool GasteigerSolver::TypeTerminalOxygens(std::size_t centre)
{
    m_scratch.clear();
    double sum = 0.0;
    for (std::int32_t s = m_start[centre]; s < m_start[centre + 1]; ++s) {
        const std::int32_t o = m_neighbours[static_cast<std::size_t>(s)];
        if (m_atomicNumber[static_cast<std::size_t>(o)] == 8 && NumNeighbours(static_cast<std::size_t>(o)) == 1) {
            m_scratch.push_back(o);
            sum += m_inputCharge[static_cast<std::size_t>(o)];
        }
    }
    if (m_scratch.empty() || sum == 0.0)
        return false;
    const double share = (sum + m_inputCharge[centre]) / static_cast<double>(m_scratch.size());
    for (const std::int32_t o : m_scratch) {
        m_type[static_cast<std::size_t>(o)] = TypeTerminalOxygen;
        m_groupCharge[static_cast<std::size_t>(o)] = share;
    }
    return true;
}

bool GasteigerSolver::ExceedsValence(std::size_t entry, std::int32_t valence, std::int32_t neutral) const
{
    if (valence <= neutral)
        return false;
    return m_inputCharge[entry] > 0.0 || Valence(entry, true) > neutral;
}

bool GasteigerSolver::TypeEntry(std::size_t e)
{
    const std::int32_t z = m_atomicNumber[e];
    const std::int32_t count = NumNeighbours(e);
    const std::int32_t hybridization = m_hybridization[e];
    const std::int32_t begin = m_start[e];
    const std::int32_t end = m_start[e + 1];
    const std::int32_t valence = Valence(e, false);
    const auto neighbour = [this](std::int32_t s) { return static_cast<std::size_t>(m_neighbours[static_cast<std::size_t>(s)]); };

    // An isolated entry takes the first group row of its element, or stays untyped.
    if (count == 0) {
        const auto rows = GetGasteigerGroupTable();
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (rows[row].atomicNumber == z) {
                m_type[e] = static_cast<std::int8_t>(row + 1);
                break;
            }
        }
        return true;
    }
    if (z == 6 && TypeTerminalOxygens(e))
        return true;
    // Nitro: a sp2 nitrogen with three neighbours, exactly two of them terminal oxygens.
    if (z == 7 && hybridization == 2 && count == 3) {
        m_scratch.clear();
        bool terminal = true;
        for (std::int32_t s = begin; s < end; ++s) {
            if (m_atomicNumber[neighbour(s)] == 8) {
                m_scratch.push_back(static_cast<std::int32_t>(neighbour(s)));
                terminal = terminal && NumNeighbours(neighbour(s)) == 1;
            }
        }
        if (m_scratch.size() == 2 && terminal) {
            for (const std::int32_t o : m_scratch) {
                m_type[static_cast<std::size_t>(o)] = TypeTerminalOxygen;
                m_groupCharge[static_cast<std::size_t>(o)] = -0.5;
            }
            m_type[e] = TypeNitro;
            return true;
        }
    }
    if (z == 15 && TypeTerminalOxygens(e)) {
        m_type[e] = TypeGroupPhosphorus;
        return true;
    }
    if (z == 7 && ExceedsValence(e, valence, 3)) {
        m_type[e] = TypeQuaternaryNitrogen;
        return true;
    }
    // Guanidinium: a sp2 carbon whose three neighbours are nitrogens.
    if (z == 6 && hybridization == 2 && count == 3) {
        bool allNitrogen = true;
        bool noneWithTwo = true;
        double sum = 0.0;
        for (std::int32_t s = begin; s < end; ++s) {
            allNitrogen = allNitrogen && m_atomicNumber[neighbour(s)] == 7;
            noneWithTwo = noneWithTwo && NumNeighbours(neighbour(s)) != 2;
            sum += m_inputCharge[neighbour(s)];
        }
        if (allNitrogen && ((sum > 0.999 && sum < 1.001) || noneWithTwo)) {
            for (std::int32_t s = begin; s < end; ++s)
                m_type[neighbour(s)] = TypeGuanidinium;
            return true;
        }
    }
    // Amidinium: a carbon with exactly two nitrogen neighbours bonded by three valences in all.
    if (z == 6 && (hybridization == 2 || count == 3)) {
        m_scratch.clear();
        double bonds = 0.0;
        for (std::int32_t s = begin; s < end; ++s) {
            if (m_atomicNumber[neighbour(s)] != 7)
                continue;
            m_scratch.push_back(static_cast<std::int32_t>(neighbour(s)));
            switch (m_bondCode[static_cast<std::size_t>(s)]) {
            case 1: bonds += 1.0; break;
            case 6: bonds += 1.5; break;
            case 2: bonds += 2.0; break;
            default: break;
            }
        }
        if (m_scratch.size() == 2 && bonds == 3.0) {
            const auto first = static_cast<std::size_t>(m_scratch[0]);
            const auto second = static_cast<std::size_t>(m_scratch[1]);
            const double sum = m_inputCharge[first] + m_inputCharge[second];
            if (sum == 1.0 || (NumNeighbours(first) != 2 && NumNeighbours(second) != 2)) {
                m_type[first] = TypeAmidinium;
                m_type[second] = TypeAmidinium;
                return true;
            }
        }
    }
    if (z == 16 && valence > 3 && TypeTerminalOxygens(e)) {
        m_type[e] = TypeGroupSulfur;
        return true;
    }
    if ((z == 7 && valence < 3) || ((z == 8 || z == 16) && valence < 2) || (z == 6 && valence < 4)) {
        m_type[e] = TypeUnderValent;
        return true;
    }
    if ((z == 8 && ExceedsValence(e, valence, 2)) || (z == 6 && ExceedsValence(e, valence, 4))) {
        m_type[e] = TypeOverValent;
        return true;
    }
    return false;
}

void GasteigerSolver::Parameterise()
{
    const std::size_t n = GetNumEntries();
    const std::vector<ParameterRow>& rows = GetParameters().rows;
    const std::size_t firstParameterRow = GetGasteigerGroupTable().size() + 1;
    m_row.assign(n, 0);
    for (std::size_t e = 0; e < n; ++e) {
        if (m_type[e] != 0) {
            m_row[e] = static_cast<std::uint8_t>(m_type[e]);
            continue;
        }
        // The rows stand by atomic number, then sp3, sp2, sp: the matching hybridization or a row for
        // any, else the element's last row.
        for (std::size_t r = 0; r < rows.size(); ++r) {
            if (rows[r].atomicNumber < m_atomicNumber[e])
                continue;
            if (rows[r].atomicNumber > m_atomicNumber[e])
                break;
            m_row[e] = static_cast<std::uint8_t>(firstParameterRow + r);
            if (rows[r].hybridization == 0 || rows[r].hybridization == m_hybridization[e])
                break;
        }
    }
}

void GasteigerSolver::PairSlots()
{
    const std::size_t n = GetNumEntries();
    std::vector<std::int32_t> mate(m_neighbours.size(), -1);
    m_pairs.clear();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::int32_t s = m_start[i]; s < m_start[i + 1]; ++s) {
            const std::int32_t j = m_neighbours[static_cast<std::size_t>(s)];
            if (static_cast<std::size_t>(j) > i) {
                for (std::int32_t t = m_start[static_cast<std::size_t>(j)]; t < m_start[static_cast<std::size_t>(j) + 1]; ++t) {
                    if (m_neighbours[static_cast<std::size_t>(t)] == static_cast<std::int32_t>(i) &&
                        mate[static_cast<std::size_t>(t)] < 0) {
                        mate[static_cast<std::size_t>(s)] = t;
                        mate[static_cast<std::size_t>(t)] = s;
                        break;
                    }
                }
            }
            // A slot listed from an earlier end with a mate reads the flow computed there.
            if (mate[static_cast<std::size_t>(s)] < 0 || static_cast<std::size_t>(j) > i)
                m_pairs.push_back({static_cast<std::int32_t>(i), j, s, mate[static_cast<std::size_t>(s)]});
        }
    }
}

bool GasteigerSolver::Iterate()
{
    const Parameters& parameters = GetParameters();
    const Coefficients* const table = CoefficientTable().data();
    const std::size_t n = GetNumEntries();
    PairSlots();
    m_chi.assign(n, 0.0);
    m_flow.assign(m_neighbours.size(), 0.0);
    double damping = 1.0;
    for (std::int32_t iteration = 0; iteration < parameters.iterationLimit; ++iteration) {
        damping *= parameters.damping;
        for (std::size_t e = 0; e < n; ++e) {
            const Coefficients& k = table[m_row[e]];
            const double q = m_charge[e];
            m_chi[e] = (k.c * q + k.b) * q + k.a;
        }
        // The flow into i from j; seen from j it is the exact negative (same divisor, negated
        // difference). The divisor is the cation electronegativity of the less electronegative end;
        // a zero divisor moves nothing.
        for (const Pair& pair : m_pairs) {
            const auto i = static_cast<std::size_t>(pair.from);
            const auto j = static_cast<std::size_t>(pair.to);
            const double chiI = m_chi[i];
            const double chiJ = m_chi[j];
            const double divisor = table[m_row[chiJ > chiI ? i : j]].chiPlus;
            const double dq = divisor != 0.0 ? (chiJ - chiI) * damping / divisor : 0.0;
            m_flow[static_cast<std::size_t>(pair.slot)] = dq;
            if (pair.mate >= 0)
                m_flow[static_cast<std::size_t>(pair.mate)] = -dq;
        }
        // Each entry takes its flows in slot order.
        double largest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            double q = m_charge[i];
            for (std::int32_t s = m_start[i]; s < m_start[i + 1]; ++s) {
                const double dq = m_flow[static_cast<std::size_t>(s)];
                q += dq;
                largest = std::max(largest, std::fabs(dq));
            }
            m_charge[i] = q;
        }
        if (largest < 0.0001)
            return true;
    }
    return false;
}

} // namespace Tavrel
