#include <tavrel/conformers/ConformerModelToken.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(ConformerModelToken, ClassKind::Creatable)

ConformerModelToken::ConformerModelToken() = default;

ConformerModelToken::ConformerModelToken(Object* parent) : Object(parent) {}

ConformerModelToken::ConformerModelToken(const ConformerModelToken& other) = default;

} // namespace Tavrel
