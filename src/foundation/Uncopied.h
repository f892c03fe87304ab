// Uncopied: a member that a copy of its object does not take.
#pragma once

#include <type_traits>
#include <utility>

namespace Tavrel {

// State that belongs to one object only (links, registrations, transient flags), so the enclosing
// class keeps its default copy constructor: a copy of the enclosing object starts from T{Initial...},
// as a new object does, and assigning one object to another keeps the target's own. The value is
// read through Get (or ->) and written by assignment. The holder neither converts to nor is made from
// a T, and its copy is explicit, so that no copy of the holder can stand for a copy of the value.
template <class T, auto... Initial>
class Uncopied {
public:
    Uncopied() = default;
    explicit Uncopied(const Uncopied&) noexcept : m_value{Initial...} {}
    Uncopied& operator=(const Uncopied&) noexcept { return *this; }
    Uncopied& operator=(T value)
    {
        m_value = std::move(value);
        return *this;
    }

    T& Get() { return m_value; }
    const T& Get() const { return m_value; }
    // A held pointer (or owning pointer) reaches its object.
    T& operator->() { return m_value; }
    const T& operator->() const { return m_value; }
    explicit operator bool() const { return static_cast<bool>(m_value); }

private:
    T m_value{Initial...};
};

} // namespace Tavrel
