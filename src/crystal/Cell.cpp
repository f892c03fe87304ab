#include <tavrel/crystal/Cell.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Cell, ClassKind::Creatable)

Cell::Cell() = default;

Cell::Cell(Object* parent) : Object(parent) {}

Cell::Cell(const Cell& other) = default;

std::string Cell::GetCommonName() const
{
    return "Cell";
}

} // namespace Tavrel
