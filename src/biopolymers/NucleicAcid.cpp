#include <tavrel/biopolymers/NucleicAcid.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(NucleicAcid, ClassKind::Creatable)

NucleicAcid::NucleicAcid() = default;

NucleicAcid::NucleicAcid(Object* parent) : Residue(parent) {}

} // namespace Tavrel
