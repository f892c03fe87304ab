#include <tavrel/biopolymers/NucleicAcidChain.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(NucleicAcidChain)

NucleicAcidChain::NucleicAcidChain() = default;

NucleicAcidChain::NucleicAcidChain(Object* parent) : Chain(parent) {}

} // namespace Tavrel
