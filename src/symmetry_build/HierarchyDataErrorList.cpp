#include <tavrel/symmetry_build/HierarchyDataErrorList.h>

#include <algorithm>
#include <ostream>

namespace Tavrel {

std::vector<HierarchyDataError>& HierarchyDataErrorList::Errors()
{
    static std::vector<HierarchyDataError> errors;
    return errors;
}

void HierarchyDataErrorList::AddError(std::int32_t line, std::string text)
{
    Errors().push_back({line, std::move(text)});
}

void HierarchyDataErrorList::ClearErrors()
{
    Errors().clear();
}

const std::vector<HierarchyDataError>& HierarchyDataErrorList::GetErrors()
{
    return Errors();
}

bool HierarchyDataErrorList::HasError(const std::string& text)
{
    const std::vector<HierarchyDataError>& errors = Errors();
    return std::any_of(errors.begin(), errors.end(), [&text](const HierarchyDataError& e) { return e.text == text; });
}

void HierarchyDataErrorList::PrintErrors(std::ostream& os)
{
    os << "HierarchyDataError List\n";
    for (const HierarchyDataError& error : Errors())
        os << '[' << std::to_string(error.line) << "] " << (error.text.empty() ? "-No Description-" : error.text) << '\n';
}

} // namespace Tavrel
