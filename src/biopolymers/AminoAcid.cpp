#include <tavrel/biopolymers/AminoAcid.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(AminoAcid)

AminoAcid::AminoAcid() = default;

AminoAcid::AminoAcid(Object* parent) : Residue(parent) {}

} // namespace Tavrel
