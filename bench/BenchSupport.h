// What the benchmarks share: the heap in use, for bytes-per-object figures, a plain positioned object
// class and the document of labelled, coloured, positioned objects the file benchmarks save and load. Each benchmark is one source, so the class is implemented here.
#pragma once

#include <malloc.h>

#include <cstddef>

#include <memory>
#include <string>

#include <tavrel/core/Color.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassIdentity.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/Geometric3d.h>
#include <tavrel/foundation/TreeRoot.h>

namespace Tavrel {

// A positioned object that anyone may create under a parent.
class BenchAtom : public Geometric3d {
    TAVREL_DECLARE_CLASS(BenchAtom, Geometric3d)
public:
    explicit BenchAtom(Object* parent) : Geometric3d(parent) {}

protected:
    BenchAtom() = default;
    BenchAtom(const BenchAtom&) = default;
};
TAVREL_IMPLEMENT_CLASS(BenchAtom, ClassKind::Creatable)

} // namespace Tavrel

namespace Tavrel::bench {

// Bytes the allocator has handed out in small blocks and not taken back.
inline std::size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

// A cubic space group with 4 (P21/c), 48 (Pm-3m) or any other count: 192 (Fm-3m) operators.
inline int SpaceGroupWithOperators(int operators)
{
    switch (operators) {
    case 4: return 14;
    case 48: return 221;
    default: return 225;
    }
}

// A document whose root holds `groups` groups of `atomsPerGroup` atoms, each with a label, a colour
// and a position.
inline std::unique_ptr<ChemDoc> BuildAtomDocument(int groups, int atomsPerGroup)
{
    AttachDataModelDLL();
    ClassRegistry::Register<BenchAtom>();
    auto document = std::make_unique<ChemDoc>();
    for (int g = 0; g < groups; ++g) {
        auto* const group = new Object(document->GetTreeRoot());
        group->SetLabel(std::string("Group").append(std::to_string(g)));
        for (int i = 0; i < atomsPerGroup; ++i) {
            auto* const atom = new BenchAtom(group);
            atom->SetLabel(std::string("C").append(std::to_string(i)));
            atom->SetColor(Color(i % 256, g % 256, (i + g) % 256));
            atom->SetXYZ(Point3d(0.1 * i, 0.2 * g, 0.01 * (i + g)));
        }
    }
    return document;
}

} // namespace Tavrel::bench
