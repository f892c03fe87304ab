#include <tavrel/crystal/ReplicateAtom.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(ReplicateAtom)

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

std::string ReplicateAtom::GetCommonName() const
{
    return "Replicate Atom";
}

} // namespace Tavrel
