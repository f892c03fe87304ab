#include <tavrel/crystal/Cell.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(Cell)

Cell::Cell() = default;

Cell::Cell(Object* parent) : Object(parent) {}

std::string Cell::GetCommonName() const
{
    return "Cell";
}

} // namespace Tavrel
