// TypedObjectSet: an ObjectSet that takes only objects of one class.
#pragma once

#include <cstdint>

#include <tavrel/foundation/ObjectSet.h>

namespace Tavrel {

// Adding an object tests IsA against the class type; adding a collection adds the members of that
// class. Dropping deleted members and deepening after a copy behave as in ObjectSet.
class TypedObjectSet : public ObjectSet {
public:
    explicit TypedObjectSet(std::uint32_t type) : m_type(type) {}
    TypedObjectSet(const TypedObjectSet& other) = default;
    TypedObjectSet& operator=(const TypedObjectSet&) = delete;

    std::uint32_t GetType() const { return m_type; }

    // Objects of another class are ignored.
    void AddObject(Object& object) override;

private:
    std::uint32_t m_type;
};

} // namespace Tavrel
