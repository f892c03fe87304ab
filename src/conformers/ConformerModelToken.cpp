#include <tavrel/conformers/ConformerModelToken.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(ConformerModelToken)

ConformerModelToken::ConformerModelToken() = default;

ConformerModelToken::ConformerModelToken(Object* parent) : Object(parent) {}

} // namespace Tavrel
