// BondedPrefetch: asks the memory for the atoms of a long list and their bonded surroundings a few places ahead of a loop over them.
#pragma once

#include <cstddef>

#include <tavrel/chemistry/Bondable.h>

namespace Tavrel {

// A loop that reads many atoms scattered over the heap, each with its bonds and bonded atoms, waits
// on memory far more than it computes: each read needs the object, then its bonds, then their far
// ends, then theirs. Called at each place of such a loop, Ahead asks for the object some places on,
// for its bonds a few places nearer, and so on down to what the loop reads last, each step read from
// lines asked for at an earlier place; the reads of many places overlap instead of following one
// another. at(place) gives the object at a place: null, or any object (only a Bondable has bonds); one
// given as a Bondable is not asked whether it is one.
// A prefetch has no effect the compiler sees, so a function made only of prefetches would count as
// pure and its calls be dropped: the helpers are always inlined.
namespace BondedPrefetch {

// How far a loop reads around each object.
enum class Reach {
    Bonds,        // the object and its bonds
    Bonded,       // also the far ends of the bonds
    BondedBonds,  // also the bonds of the far ends (what a walk of two bonds reads)
};

// Places between two steps.
constexpr std::size_t Step = 8;

[[gnu::always_inline]] inline void Lines(const void* object, std::size_t bytes)
{
    constexpr std::size_t CacheLine = 64;
    const auto* const first = static_cast<const char*>(object);
    for (std::size_t offset = 0; offset < bytes; offset += CacheLine)
        __builtin_prefetch(first + offset);
    __builtin_prefetch(first + bytes - 1);
}

// For an atom, whatever its class: the Bondable level and the small fields of the levels above.
constexpr std::size_t AtomBytes = sizeof(Bondable) + 16;

// The bonds of an atom (or any Bondable).
[[gnu::always_inline]] inline void Bonds(const Bondable& atom)
{
    for (const Bond* bond : atom.GetBonds())
        Lines(bond, sizeof(Bond));
}

// The object as a Bondable when it is one; a list known to hold Bondables is not asked.
[[gnu::always_inline]] inline const Bondable* AsBondable(const Base* object) { return DynCast<Bondable>(object); }
[[gnu::always_inline]] inline const Bondable* AsBondable(const Bondable* object) { return object; }

// The far end of each bond of the object, when it is a Bondable.
template <class Node, class Visit>
[[gnu::always_inline]] inline void ForEachBonded(const Node* object, Visit&& visit)
{
    if (const Bondable* const atom = AsBondable(object)) {
        for (const Bond* bond : atom->GetBonds()) {
            if (const Bondable* const end = bond->GetAtom1() == atom ? bond->GetAtom2() : bond->GetAtom1())
                visit(end);
        }
    }
}

template <class At>
[[gnu::always_inline]] inline void Ahead(std::size_t place, std::size_t count, At&& at, Reach reach = Reach::Bonded)
{
    const std::size_t steps = static_cast<std::size_t>(reach) + 2;
    const auto object = [&](std::size_t step) -> decltype(at(place)) {
        const std::size_t ahead = place + (steps - step) * Step;
        return ahead < count ? at(ahead) : nullptr;
    };
    if (const Base* const first = object(0))
        Lines(first, AtomBytes);
    if (const Bondable* const atom = AsBondable(object(1)))
        Bonds(*atom);
    if (steps < 3)
        return;
    ForEachBonded(object(2), [](const Bondable* end) { Lines(end, AtomBytes); });
    if (steps == 4)
        ForEachBonded(object(3), [](const Bondable* end) { Bonds(*end); });
}

} // namespace BondedPrefetch

} // namespace Tavrel
