#include "crystal/ReplicateAtom.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(ReplicateAtom, ClassKind::Creatable)

ReplicateAtom::ReplicateAtom() = default;

ReplicateAtom::ReplicateAtom(Object* parent) : Geometric3d(parent) {}

ReplicateAtom::ReplicateAtom(const ReplicateAtom& other) = default;

} // namespace Tavrel
