// SpaceGroupLookup: finding a setting row of the space-group tables by number or by symbol.
#pragma once

#include <string>
#include <string_view>

namespace Tavrel {

// A symbol in table form: blanks, '_', '(' and ')' dropped, letters upper-cased. With barAfterDigit,
// a digit 1, 3, 4 or 6 followed by 'b' or 'B' is read as a bar and written "-" and the digit
// ("P4b2c" gives "P-42C"). Only the first 27 characters of the text are used.
std::string NormaliseSpaceGroupSymbol(std::string_view text, bool barAfterDigit);

// Both lookups return a row of SpaceGroupSettingTable, or 0 when nothing is found.
//
// By number 1 to 230 (other numbers find nothing). An empty qualifier with a choice below 2 gives the
// group's first row; an empty qualifier with another choice the choice-th row of the group. A
// qualifier (compared without regard to case) gives the row with that qualifier and choice (any
// choice when it is 0), else the first row with that qualifier. Otherwise the group's first row.
int FindSpaceGroupSetting(int number, std::string_view qualifier, int choice);

// By short, full or Schoenflies symbol, over all rows in table order. The symbol is tried as written
// first, and with a digit followed by 'b' read as a bar only when that finds no row. Among the rows
// found, the qualifier and choice select as by number, except that an empty qualifier's choice counts
// the rows found; when none is selected the first row found is the result.
int FindSpaceGroupSettingByName(std::string_view symbol, std::string_view qualifier, int choice);

} // namespace Tavrel
