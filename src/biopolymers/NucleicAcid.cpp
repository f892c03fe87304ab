#include <tavrel/biopolymers/NucleicAcid.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(NucleicAcid)

NucleicAcid::NucleicAcid() = default;

NucleicAcid::NucleicAcid(Object* parent) : Residue(parent) {}

} // namespace Tavrel
