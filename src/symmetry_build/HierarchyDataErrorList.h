// HierarchyDataErrorList: the process-wide record of why the last crystal build failed.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace Tavrel {

// One failed check: the code of the check and its text (empty for none).
struct HierarchyDataError {
    std::int32_t line = 0;
    std::string text;
};

// Cleared at the start of every rebuild and kept afterwards; shared by every map.
class HierarchyDataErrorList {
public:
    static void AddError(std::int32_t line, std::string text);
    static void ClearErrors();
    static const std::vector<HierarchyDataError>& GetErrors();
    static bool HasError(const std::string& text);
    // "HierarchyDataError List", then "[line] text" per record ("-No Description-" for no text).
    static void PrintErrors(std::ostream& os);

private:
    static std::vector<HierarchyDataError>& Errors();
};

} // namespace Tavrel
