// What the benchmarks share: the heap in use, for bytes-per-object figures, a plain positioned object
// class and the document of labelled, coloured, positioned objects the file benchmarks save and load. Each benchmark is one source, so the class is implemented here.
#pragma once

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include <memory>
#include <string>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/Color.h>
#include <tavrel/core/ObjectPool.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassIdentity.h>
#include <tavrel/foundation/ClassRegistry.h>
#include <tavrel/foundation/DescendentIterator.h>
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

// What the process holds for its objects at one moment: the bytes the allocator has handed out and
// not taken back (small blocks from its arenas and the large ones it maps on their own), and the object
// pool's blocks, those that hold objects and its spares (the part of its last slab not carved yet
// aside).
struct HeapMark {
    std::size_t allocated = 0;
    std::size_t blocks = 0;
    std::size_t spares = 0;
};

inline HeapMark MarkHeap()
{
    const auto info = mallinfo2();
    const ObjectPool& pool = ObjectPool::Objects();
    return {info.uordblks + info.hblkhd, pool.GetNumBlocks(), pool.GetNumSpareBlocks()};
}

// The bytes of MarkHeap in one figure.
inline std::size_t HeapInUse()
{
    const HeapMark now = MarkHeap();
    return now.allocated + (now.blocks + now.spares) * ObjectPool::BlockSize;
}

// What the process holds for what was made since the mark: what it holds more, except that blocks
// taken from spares there at the mark count as the fresh blocks a process without them would have
// taken, so that a figure does not depend on what was freed before it.
inline double HeapSince(const HeapMark& mark)
{
    const HeapMark now = MarkHeap();
    const double blocks = static_cast<double>(now.blocks) - static_cast<double>(mark.blocks);
    const double spares = std::max(0.0, static_cast<double>(now.spares) - static_cast<double>(mark.spares));
    return static_cast<double>(now.allocated) - static_cast<double>(mark.allocated) +
           (blocks + spares) * static_cast<double>(ObjectPool::BlockSize);
}

// The process's CPU time in user code and in the kernel, and its minor page faults (first touches of
// fresh memory), so that a benchmark can show the kernel's share of a phase.
struct ProcessWork {
    double userSeconds = 0.0;
    double kernelSeconds = 0.0;
    double pageFaults = 0.0;

    static ProcessWork Now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + 1e-6 * static_cast<double>(time.tv_usec); };
        return {seconds(usage.ru_utime), seconds(usage.ru_stime), static_cast<double>(usage.ru_minflt)};
    }
    ProcessWork operator-(const ProcessWork& since) const
    {
        return {userSeconds - since.userSeconds, kernelSeconds - since.kernelSeconds, pageFaults - since.pageFaults};
    }
};

// An empty cubic cell sized for `atoms` asymmetric atoms at about 0.1 per cubic A once expanded, in a
// space group with 4 (P21/c), 48 (Pm-3m) or any other count: 192 (Fm-3m) operators.
inline std::unique_ptr<Cell3d> CubicCell(int atoms, int operators)
{
    const double edge = std::cbrt(10.0 * atoms * operators);
    auto cell = std::make_unique<Cell3d>(nullptr);
    cell->SetGeometry(edge, edge, edge, 90.0, 90.0, 90.0);
    const int group = operators == 4 ? 14 : operators == 48 ? 221 : 225;
    cell->GetSymmetry()->LoadSpaceGroup(group, "", 0);
    return cell;
}

// The replica atoms below a cell.
inline std::size_t CountReplicas(Cell3d& cell)
{
    std::size_t count = 0;
    DescendentIterator walk(&cell, ReplicateAtom::classType, false);
    while (walk.GetNext())
        ++count;
    return count;
}

// CubicCell filled with molecules of `atomsPerMolecule` bonded carbons (a chain) at random general
// positions, the same for every run.
inline std::unique_ptr<Cell3d> CubicCellOfChains(int atoms, int operators, int atomsPerMolecule)
{
    auto cell = CubicCell(atoms, operators);
    UniformRandomSequence random(0.0, 1.0);
    random.Seed(4321);
    const Matrix3x3 fracToCart = cell->GetFracToCart();
    Molecule* molecule = nullptr;
    Atom3d* previous = nullptr;
    for (int i = 0; i < atoms; ++i) {
        if (i % atomsPerMolecule == 0) {
            molecule = new Molecule(cell.get());
            previous = nullptr;
        }
        auto* const atom = new Atom3d(molecule, "C");
        atom->SetXYZ(Point3d(random.Next(), random.Next(), random.Next()) * fracToCart);
        if (previous)
            previous->MakeBond(atom, Bond::Single);
        previous = atom;
    }
    return cell;
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
