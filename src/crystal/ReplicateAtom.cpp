#include <tavrel/crystal/ReplicateAtom.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(ReplicateAtom, ClassKind::Creatable)

ReplicateAtom::ReplicateAtom()
{
    static const bool named = [this] {
        for (const char* alias : {"PeriodicAtom", "SymmetryAtom", "ReplicateAtom", "Periodic Atom", "Symmetry Atom",
                                  "Replicate Atom"})
            SetCommonName(alias);
        return true;
    }();
    static_cast<void>(named);
}

ReplicateAtom::ReplicateAtom(Object* parent) : Geometric3d(parent) {}

ReplicateAtom::ReplicateAtom(const ReplicateAtom& other) = default;

std::string ReplicateAtom::GetCommonName() const
{
    return "Replicate Atom";
}

} // namespace Tavrel
