#include <tavrel/biopolymers/AminoAcid.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(AminoAcid, ClassKind::Creatable)

AminoAcid::AminoAcid() = default;

AminoAcid::AminoAcid(Object* parent) : Residue(parent) {}

} // namespace Tavrel
