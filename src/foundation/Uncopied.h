// Uncopied: a member that a copy of its object does not take.
#pragma once

namespace Tavrel {

// State that belongs to one object only (links, transient flags): a copy of the enclosing object
// starts with a value-initialized T, and assigning one object to another keeps the target's own, so
// the enclosing class keeps its default copy constructor.
template <class T>
struct Uncopied {
    Uncopied() = default;
    Uncopied(const Uncopied&) noexcept {}
    Uncopied& operator=(const Uncopied&) noexcept { return *this; }

    T value{};
};

} // namespace Tavrel
