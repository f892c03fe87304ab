// Iterator: the interface that yields model objects one at a time and drives enumerators over them.
#pragma once

#include <memory>

namespace Tavrel {

class Enumerator;
class Object;

// Iterators hold plain pointers and never delete the objects they yield.
class Iterator {
public:
    virtual ~Iterator() = default;

    // The next object, null at the end.
    virtual Object* GetNext() = 0;
    // Restarts the iteration as if newly built.
    virtual void Reset() = 0;
    // A new iterator of the same class in the same state; it continues from where this one stands.
    virtual std::unique_ptr<Iterator> Copy() const = 0;

    // Initialize; Enumerate for each object left, indices from 0, until one returns false; Finalize.
    // False when Initialize fails (Finalize is then not called), when there was no object, or when the
    // enumerator stopped the walk; true when every object was visited.
    bool Enumerate(Enumerator& enumerator);

protected:
    Iterator() = default;
    Iterator(const Iterator&) = default;
    Iterator& operator=(const Iterator&) = default;
};

} // namespace Tavrel
