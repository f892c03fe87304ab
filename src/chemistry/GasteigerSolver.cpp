#include "chemistry/GasteigerSolver.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "chemistry/GasteigerTables.h"

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

constexpr std::int32_t TypeNitro = 3;
constexpr std::int32_t TypeTerminalOxygen = 2;
constexpr std::int32_t TypeGroupPhosphorus = 1;
constexpr std::int32_t TypeQuaternaryNitrogen = 4;
constexpr std::int32_t TypeAmidinium = 5;
constexpr std::int32_t TypeGuanidinium = 6;
constexpr std::int32_t TypeGroupSulfur = 7;
constexpr std::int32_t TypeUnderValent = 19;
constexpr std::int32_t TypeOverValent = 20;

const GasteigerGroupRow& GroupRow(std::int32_t type)
{
    return GetGasteigerGroupTable()[static_cast<std::size_t>(type - 1)];
}

double GroupChiPlus(const GasteigerGroupRow& row)
{
    return row.chiPlus != 0.0 ? row.chiPlus : row.a + row.b + row.c;
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
    ComputeValences();
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

void GasteigerSolver::ComputeValences()
{
    const std::size_t n = GetNumEntries();
    m_valence.assign(n, 0);
    m_singleValence.assign(n, 0);
    for (std::size_t e = 0; e < n; ++e) {
        double sum = 0.0;
        double single = 0.0;
        for (std::int32_t s = m_start[e]; s < m_start[e + 1]; ++s) {
            const std::int8_t code = m_bondCode[static_cast<std::size_t>(s)];
            sum += BondValue(code);
            single += code == 6 ? 1.0 : BondValue(code);
        }
        m_valence[e] = static_cast<std::int32_t>(sum + 0.1);
        m_singleValence[e] = static_cast<std::int32_t>(single + 0.1);
    }
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

bool GasteigerSolver::ExceedsValence(std::size_t entry, std::int32_t neutral) const
{
    if (m_valence[entry] <= neutral)
        return false;
    return m_singleValence[entry] > neutral || m_inputCharge[entry] > 0.0;
}

bool GasteigerSolver::TypeEntry(std::size_t e)
{
    const std::int32_t z = m_atomicNumber[e];
    const std::int32_t count = NumNeighbours(e);
    const std::int32_t hybridization = m_hybridization[e];
    const std::int32_t begin = m_start[e];
    const std::int32_t end = m_start[e + 1];
    const auto neighbour = [this](std::int32_t s) { return static_cast<std::size_t>(m_neighbours[static_cast<std::size_t>(s)]); };

    // An isolated entry takes the first group row of its element, or stays untyped.
    if (count == 0) {
        const auto rows = GetGasteigerGroupTable();
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (rows[row].atomicNumber == z) {
                m_type[e] = static_cast<std::int32_t>(row + 1);
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
    if (z == 7 && ExceedsValence(e, 3)) {
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
    if (z == 16 && m_valence[e] > 3 && TypeTerminalOxygens(e)) {
        m_type[e] = TypeGroupSulfur;
        return true;
    }
    const std::int32_t valence = m_valence[e];
    if ((z == 7 && valence < 3) || ((z == 8 || z == 16) && valence < 2) || (z == 6 && valence < 4)) {
        m_type[e] = TypeUnderValent;
        return true;
    }
    if ((z == 8 && ExceedsValence(e, 2)) || (z == 6 && ExceedsValence(e, 4))) {
        m_type[e] = TypeOverValent;
        return true;
    }
    return false;
}

void GasteigerSolver::Parameterise()
{
    const std::size_t n = GetNumEntries();
    const Parameters& parameters = GetParameters();
    m_a.assign(n, 0.0);
    m_b.assign(n, 0.0);
    m_c.assign(n, 0.0);
    m_chiPlus.assign(n, 0.0);
    for (std::size_t e = 0; e < n; ++e) {
        if (m_type[e] != 0) {
            const GasteigerGroupRow& row = GroupRow(m_type[e]);
            m_a[e] = row.a;
            m_b[e] = row.b;
            m_c[e] = row.c;
            m_chiPlus[e] = GroupChiPlus(row);
            continue;
        }
        // The rows stand by atomic number, then sp3, sp2, sp: the matching hybridization or a row for
        // any, else the element's last row.
        const ParameterRow* found = nullptr;
        for (const ParameterRow& row : parameters.rows) {
            if (row.atomicNumber < m_atomicNumber[e])
                continue;
            if (row.atomicNumber > m_atomicNumber[e])
                break;
            found = &row;
            if (row.hybridization == 0 || row.hybridization == m_hybridization[e])
                break;
        }
        if (found) {
            m_a[e] = found->a;
            m_b[e] = found->b;
            m_c[e] = found->c;
            m_chiPlus[e] = found->chiPlus;
        }
    }
}

bool GasteigerSolver::Iterate()
{
    const Parameters& parameters = GetParameters();
    const std::size_t n = GetNumEntries();
    m_chi.assign(n, 0.0);
    double damping = 1.0;
    for (std::int32_t iteration = 0; iteration < parameters.iterationLimit; ++iteration) {
        damping *= parameters.damping;
        for (std::size_t e = 0; e < n; ++e) {
            const double q = m_charge[e];
            m_chi[e] = (m_c[e] * q + m_b[e]) * q + m_a[e];
        }
        double largest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double chiI = m_chi[i];
            double q = m_charge[i];
            for (std::int32_t s = m_start[i]; s < m_start[i + 1]; ++s) {
                const auto j = static_cast<std::size_t>(m_neighbours[static_cast<std::size_t>(s)]);
                const double chiJ = m_chi[j];
                // The divisor is the cation electronegativity of the less electronegative end.
                const double divisor = m_chiPlus[chiJ > chiI ? i : j];
                if (divisor == 0.0)
                    continue;
                const double dq = (chiJ - chiI) * damping / divisor;
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
