// DisplayList3D: the list of primitives a subtree draws, recorded for the host (and for tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <tavrel/core/GraphicsPrimitives.h>

namespace Tavrel {

// Primitives are kept in the order they were added. The list's mode tells model objects which
// display path to take; the list does not interpret it. The list's OID is a group pick identifier:
// it belongs to every primitive of the list that is not already in a group, and travels with them
// when the list is appended to another one.
class DisplayList3D {
public:
    static constexpr int normalMode = 1;
    // The fast path, also used to collect extents.
    static constexpr int fastMode = 2;

    explicit DisplayList3D(int mode = normalMode) : m_mode(mode) {}
    DisplayList3D(const DisplayList3D& other);
    DisplayList3D& operator=(const DisplayList3D& other);
    DisplayList3D(DisplayList3D&&) noexcept = default;
    DisplayList3D& operator=(DisplayList3D&&) noexcept = default;
    ~DisplayList3D() = default;

    int GetMode() const { return m_mode; }
    void SetMode(int mode) { m_mode = mode; }

    std::uint32_t GetOID() const { return m_oid; }
    void SetOID(std::uint32_t oid) { m_oid = oid; }

    // Adds a copy of the primitive (a DashedLinePrimitive is kept as the dashed LinePrimitive it is).
    void Add(const Primitive& primitive);
    // Takes the primitive over; null adds nothing.
    void Add(std::unique_ptr<Primitive> primitive);
    // Adds copies of the other list's primitives; those without a group take the other list's OID
    // as their group (0 leaves them ungrouped).
    void Append(const DisplayList3D& other);
    void Clear() { m_entries.clear(); }

    bool IsEmpty() const { return m_entries.empty(); }
    std::size_t GetSize() const { return m_entries.size(); }
    // Null when index is out of range.
    const Primitive* GetPrimitive(std::size_t index) const;
    // The group pick identifier of primitive index: the OID of the list it was first appended from,
    // else this list's OID. 0 when index is out of range.
    std::uint32_t GetGroupOID(std::size_t index) const;

    // The primitives of type T, in order.
    template <class T>
    std::vector<const T*> GetAll() const
    {
        std::vector<const T*> result;
        for (const Entry& entry : m_entries) {
            if (const T* primitive = PrimitiveCast<T>(entry.primitive.get()))
                result.push_back(primitive);
        }
        return result;
    }

    // The pick points of every primitive, in order (see Primitive::AppendPickDots).
    std::vector<PickDot> GetPickDots() const;

private:
    struct Entry {
        std::unique_ptr<Primitive> primitive;
        std::uint32_t group;
    };

    int m_mode;
    std::uint32_t m_oid = 0;
    std::vector<Entry> m_entries;
};

} // namespace Tavrel
