#include <tavrel/biopolymers/AminoAcidChain.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(AminoAcidChain)

AminoAcidChain::AminoAcidChain() = default;

AminoAcidChain::AminoAcidChain(Object* parent) : Chain(parent) {}

} // namespace Tavrel
