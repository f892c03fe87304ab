// What the benchmarks share: the heap in use, for bytes-per-object figures, and a plain positioned
// object class. Each benchmark is one source, so the class is implemented here.
#pragma once

#include <malloc.h>

#include <cstddef>

#include "foundation/ClassIdentity.h"
#include "foundation/Geometric3d.h"

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

} // namespace Tavrel::bench
