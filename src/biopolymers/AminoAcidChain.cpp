#include <tavrel/biopolymers/AminoAcidChain.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(AminoAcidChain, ClassKind::Creatable)

AminoAcidChain::AminoAcidChain() = default;

AminoAcidChain::AminoAcidChain(Object* parent) : Chain(parent) {}

} // namespace Tavrel
