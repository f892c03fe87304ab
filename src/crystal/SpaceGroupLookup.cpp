#include <tavrel/crystal/SpaceGroupLookup.h>

#include <algorithm>
#include <cstddef>
#include <span>

#include <tavrel/core/StringUtils.h>
#include <tavrel/crystal/SpaceGroupTables.h>

namespace Tavrel {

namespace {

constexpr std::size_t MaxSymbolLength = 27;

// Picks among candidate rows (in table order, counted from 1): with a qualifier, the row with that
// qualifier and choice (any choice when 0), else the first row with that qualifier; without one, the
// row at position choice (any row when 0). Otherwise the first candidate; 0 when there is none.
template <class Candidates>
int SelectSetting(Candidates&& candidates, std::string_view qualifier, int choice)
{
    const std::span<const SpaceGroupSetting> rows = SpaceGroupSettingTable();
    int first = 0;
    int sameQualifier = 0;
    int position = 0;
    int selected = 0;
    candidates([&](int row) {
        const SpaceGroupSetting& setting = rows[static_cast<std::size_t>(row)];
        ++position;
        if (first == 0)
            first = row;
        if (!qualifier.empty()) {
            if (!StringUtils::EqualsNoCase(qualifier, setting.qualifier))
                return false;
            if (sameQualifier == 0)
                sameQualifier = row;
            if (choice != 0 && choice != setting.choice)
                return false;
        } else if (choice != 0 && choice != position) {
            return false;
        }
        selected = row;
        return true;
    });
    if (selected != 0)
        return selected;
    return sameQualifier != 0 ? sameQualifier : first;
}

int FindByNormalisedName(const std::string& symbol, std::string_view qualifier, int choice)
{
    if (symbol.empty())
        return 0;
    const std::span<const SpaceGroupSetting> rows = SpaceGroupSettingTable();
    const std::span<const SpaceGroupNumberEntry> index = SpaceGroupNumberIndex();
    return SelectSetting(
        [&](auto&& visit) {
            for (std::size_t row = 1; row < rows.size(); ++row) {
                const SpaceGroupSetting& setting = rows[row];
                if ((StringUtils::EqualsNoCase(symbol, setting.shortSymbol) ||
                     StringUtils::EqualsNoCase(symbol, setting.fullSymbol) ||
                     StringUtils::EqualsNoCase(symbol, index[static_cast<std::size_t>(setting.number)].schoenflies)) &&
                    visit(static_cast<int>(row)))
                    return;
            }
        },
        qualifier, choice);
}

} // namespace

std::string NormaliseSpaceGroupSymbol(std::string_view text, bool barAfterDigit)
{
    text = text.substr(0, std::min(text.size(), MaxSymbolLength));
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (barAfterDigit && (c == '1' || c == '3' || c == '4' || c == '6') && i + 1 < text.size() &&
            (text[i + 1] == 'b' || text[i + 1] == 'B')) {
            result += '-';
            result += c;
            ++i;
        } else if (c != ' ' && c != '_' && c != '(' && c != ')') {
            result += StringUtils::ToUpper(c);
        }
    }
    return result;
}

int FindSpaceGroupSetting(int number, std::string_view qualifier, int choice)
{
    const std::span<const SpaceGroupNumberEntry> index = SpaceGroupNumberIndex();
    if (number < 1 || static_cast<std::size_t>(number) >= index.size())
        return 0;
    const int first = index[static_cast<std::size_t>(number)].firstRow;
    if (qualifier.empty() && choice < 2)
        return first;
    const int end = static_cast<std::size_t>(number) + 1 < index.size()
                        ? index[static_cast<std::size_t>(number) + 1].firstRow
                        : static_cast<int>(SpaceGroupSettingTable().size());
    return SelectSetting(
        [&](auto&& visit) {
            for (int row = first; row < end && !visit(row); ++row) {
            }
        },
        qualifier, choice);
}

int FindSpaceGroupSettingByName(std::string_view symbol, std::string_view qualifier, int choice)
{
    // Symbols such as P4BM name b-glides, so the bar reading is only a second try.
    if (const int row = FindByNormalisedName(NormaliseSpaceGroupSymbol(symbol, false), qualifier, choice))
        return row;
    return FindByNormalisedName(NormaliseSpaceGroupSymbol(symbol, true), qualifier, choice);
}

} // namespace Tavrel
