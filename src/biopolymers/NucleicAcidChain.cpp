#include <tavrel/biopolymers/NucleicAcidChain.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(NucleicAcidChain, ClassKind::Creatable)

NucleicAcidChain::NucleicAcidChain() = default;

NucleicAcidChain::NucleicAcidChain(Object* parent) : Chain(parent) {}

} // namespace Tavrel
