#include <tavrel/crystal/SymTableEntry.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <span>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/SpaceGroupLookup.h>
#include <tavrel/crystal/SpaceGroupTables.h>

namespace Tavrel {

namespace {

using Matrix = SymTableEntry::Matrix;

constexpr float& At(Matrix& m, int row, int column)
{
    return m[static_cast<std::size_t>(row * 4 + column)];
}

constexpr float At(const Matrix& m, int row, int column)
{
    return m[static_cast<std::size_t>(row * 4 + column)];
}

Matrix Product(const Matrix& a, const Matrix& b)
{
    Matrix c{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += At(a, row, k) * At(b, k, column);
            At(c, row, column) = sum;
        }
    }
    return c;
}

// Every rotation element within 0.00001 of the identity's.
bool HasIdentityRotation(const Matrix& m)
{
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (std::fabs(static_cast<double>(At(m, row, column)) - (row == column ? 1.0 : 0.0)) >= double{0.00001f})
                return false;
        }
    }
    return true;
}

// The product a * b with its translations raised into [0, ...); unless a or b is a pure translation
// they are also lowered below 0.99999, so a centring product may keep a translation of 1.
Matrix ReducedProduct(const Matrix& a, const Matrix& b)
{
    Matrix c = Product(a, b);
    const bool lower = !HasIdentityRotation(a) && !HasIdentityRotation(b);
    for (int row = 0; row < 3; ++row) {
        float& t = At(c, row, 3);
        while (t < 0.0f)
            t += 1.0f;
        while (lower && t >= 0.99999f)
            t -= 1.0f;
    }
    return c;
}

// Equal element by element within a squared difference of 0.00001, translations modulo whole cells.
bool SameOperator(const Matrix& a, const Matrix& b)
{
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            double d = static_cast<double>(At(a, row, column)) - static_cast<double>(At(b, row, column));
            if (column == 3 && row < 3)
                d -= std::floor(d + 0.5);
            if (d * d > 0.00001)
                return false;
        }
    }
    return true;
}

Matrix FromGenerator(const SpaceGroupGenerator& generator)
{
    const auto& v = generator.values;
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]), static_cast<float>(v[9]),
            static_cast<float>(v[3]), static_cast<float>(v[4]), static_cast<float>(v[5]), static_cast<float>(v[10]),
            static_cast<float>(v[6]), static_cast<float>(v[7]), static_cast<float>(v[8]), static_cast<float>(v[11]),
            0.0f, 0.0f, 0.0f, 1.0f};
}

// The axis permutation of a text such as "a-cb": per output row an optional '-' and the letter of
// the input axis. Nothing for a malformed text.
std::optional<Matrix> AxisPermutation(std::string_view text)
{
    Matrix p{};
    At(p, 3, 3) = 1.0f;
    std::size_t at = 0;
    for (int row = 0; row < 3; ++row) {
        float sign = 1.0f;
        if (at < text.size() && text[at] == '-') {
            sign = -1.0f;
            ++at;
        }
        if (at >= text.size() || text[at] < 'a' || text[at] > 'c')
            return std::nullopt;
        At(p, row, text[at] - 'a') = sign;
        ++at;
    }
    if (at != text.size())
        return std::nullopt;
    return p;
}

// The inverse of a matrix without translation: the inverse of its rotation part.
std::optional<Matrix> InverseRotation(const Matrix& m)
{
    Matrix3x3 r(At(m, 0, 0), At(m, 0, 1), At(m, 0, 2), At(m, 1, 0), At(m, 1, 1), At(m, 1, 2), At(m, 2, 0),
                At(m, 2, 1), At(m, 2, 2));
    if (!r.Invert())
        return std::nullopt;
    Matrix inverse{};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            At(inverse, row, column) = static_cast<float>(r(row, column));
    }
    At(inverse, 3, 3) = 1.0f;
    return inverse;
}

// The operators of a set of generators, in the order the two passes per generator produce them.
std::vector<Matrix> CloseGenerators(const std::vector<Matrix>& generators)
{
    std::vector<Matrix> list;
    const auto isNew = [&](const Matrix& c) {
        for (const Matrix& op : list) {
            if (SameOperator(op, c))
                return false;
        }
        for (const Matrix& g : generators) {
            if (SameOperator(g, c))
                return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < generators.size(); ++i) {
        const Matrix& g = generators[i];
        list.push_back(g);
        const std::size_t n = list.size();
        // A generator that is a whole-cell shift of the previous one: the upper half of its
        // products takes that shift back.
        float shift[3] = {};
        bool shifted = false;
        std::size_t half = 0;
        if (i > 0) {
            const Matrix t = Product(g, generators[i - 1]);
            if (HasIdentityRotation(t)) {
                for (int row = 0; row < 3; ++row) {
                    shift[row] = std::floor(At(t, row, 3) + 0.01f);
                    shifted = shifted || shift[row] != 0.0f;
                }
                half = n / 2;
            }
        }
        std::optional<std::size_t> square;
        for (std::size_t j = 0; j < n; ++j) {
            Matrix c = ReducedProduct(g, list[j]);
            if (!isNew(c))
                continue;
            if (shifted && j >= half) {
                for (int row = 0; row < 3; ++row)
                    At(c, row, 3) -= shift[row];
            }
            if (j == n - 1)
                square = list.size();
            list.push_back(c);
        }
        if (square && n > 1) {
            for (std::size_t k = 0; k + 1 < n; ++k) {
                Matrix c = ReducedProduct(list[*square], list[k]);
                if (isNew(c))
                    list.push_back(c);
            }
        }
    }
    return list;
}

void WriteTranslation(float value, std::string& text)
{
    constexpr double Tolerance = 2e-6;
    struct Fraction {
        float value;
        const char* text;
    };
    static constexpr Fraction fractions[] = {{1.0f / 8, "1/8"}, {1.0f / 6, "1/6"}, {1.0f / 4, "1/4"},
                                             {1.0f / 3, "1/3"}, {3.0f / 8, "3/8"}, {1.0f / 2, "1/2"},
                                             {5.0f / 8, "5/8"}, {2.0f / 3, "2/3"}, {3.0f / 4, "3/4"},
                                             {5.0f / 6, "5/6"}, {7.0f / 8, "7/8"}};
    const char* sign = "+";
    double t = value;
    if (t < 0) {
        sign = "-";
        t = -t;
    }
    const auto isNear = [&](double target) { return (t - target) * (t - target) < Tolerance; };
    if (isNear(0.0))
        return;
    for (const Fraction& fraction : fractions) {
        if (isNear(fraction.value)) {
            text += sign;
            text += fraction.text;
            return;
        }
    }
    text += sign;
    text += isNear(1.0) ? std::string("1") : StringUtils::Format("%f", t);
}

} // namespace

SymTableEntry::SymTableEntry(int row)
{
    const std::span<const SpaceGroupSetting> rows = SpaceGroupSettingTable();
    if (row < 1 || static_cast<std::size_t>(row) >= rows.size())
        return;
    const SpaceGroupSetting& setting = rows[static_cast<std::size_t>(row)];
    m_row = row;
    m_number = setting.number;
    m_choice = setting.choice;
    m_shortName = setting.shortSymbol;
    m_longName = setting.fullSymbol;
    m_schoenfliesName = SpaceGroupNumberIndex()[static_cast<std::size_t>(setting.number)].schoenflies;
    m_qualifier = setting.qualifier;
    m_axisSetting = setting.axisSetting;

    const std::span<const SpaceGroupGenerator> table = SpaceGroupGenerators();
    std::vector<Matrix> generators;
    for (int i = 0; i < setting.generatorCount; ++i)
        generators.push_back(FromGenerator(table[static_cast<std::size_t>(setting.generators[i])]));
    if (!m_axisSetting.empty()) {
        const std::optional<Matrix> p = AxisPermutation(m_axisSetting);
        const std::optional<Matrix> inverse = p ? InverseRotation(*p) : std::nullopt;
        if (!inverse)
            return;
        for (Matrix& g : generators)
            g = ReducedProduct(ReducedProduct(*p, g), *inverse);
    }
    std::vector<Operator> operators;
    for (const Matrix& op : CloseGenerators(generators)) {
        std::string text;
        if (!WriteOperatorText(op, text))
            return;
        operators.push_back({op, std::move(text)});
    }
    m_operators = std::move(operators);
}

SymTableEntry::SymTableEntry(int number, std::string_view qualifier, int choice)
    : SymTableEntry(FindSpaceGroupSetting(number, qualifier, choice))
{
}

SymTableEntry::SymTableEntry(std::string_view symbol, std::string_view qualifier, int choice)
    : SymTableEntry(FindSpaceGroupSettingByName(symbol, qualifier, choice))
{
}

SymTableEntry SymTableEntry::FromRow(int row)
{
    return SymTableEntry(row);
}

bool SymTableEntry::WriteOperatorText(const Matrix& op, std::string& text)
{
    static constexpr const char* letters[3] = {"x", "y", "z"};
    text.clear();
    for (int row = 0; row < 3; ++row) {
        const std::size_t rowStart = text.size();
        for (int column = 0; column < 3; ++column) {
            const float v = At(op, row, column);
            if (v < -1.0f || v > 1.0f)
                return false;
            if (v > 0.0f) {
                if (text.size() > rowStart)
                    text += '+';
                text += v > 0.99999f ? std::string(letters[column]) : StringUtils::Format("%f%s", v, letters[column]);
            } else if (v < 0.0f) {
                text += v < -0.99999f ? StringUtils::Format("-%s", letters[column])
                                      : StringUtils::Format("%f%s", v, letters[column]);
            }
        }
        WriteTranslation(At(op, row, 3), text);
        if (row < 2)
            text += ',';
        else if (text.size() == rowStart)
            text.back() = ' ';
    }
    return true;
}

} // namespace Tavrel
