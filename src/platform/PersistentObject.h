// Root of every archivable object, with its run-time class record.
#pragma once

#include <cstdint>
#include <string_view>

namespace Tavrel {

class Archive;
class PersistentObject;

// One per archivable class: name, schema, creation function and base class record.
struct RuntimeClass {
    // The versionable-schema bit: any stored schema is accepted and handed to Serialize.
    static constexpr std::uint32_t VersionableSchema = 0x80000000u;
    // Schema of dynamic-only classes: never written to nor read from an archive.
    static constexpr std::uint32_t DynamicOnly = 0xFFFFu;

    const char* className;
    std::uint32_t schema;
    PersistentObject* (*createObject)();
    const RuntimeClass* baseClass;

    bool IsDerivedFrom(const RuntimeClass* other) const noexcept;
    bool IsSerializable() const noexcept { return createObject != nullptr && schema != DynamicOnly; }
    PersistentObject* CreateObject() const { return createObject ? createObject() : nullptr; }

    // Records are entered once at start-up and looked up by exact name when archives are read.
    static void Register(const RuntimeClass& record);
    static const RuntimeClass* Find(std::string_view className) noexcept;
};

class PersistentObject {
public:
    virtual ~PersistentObject() = default;

    virtual const RuntimeClass* GetRuntimeClass() const;
    virtual void Serialize(Archive& archive);
    // True when something else now owns the object (a tree node's parent, say), so that an archive
    // abandoning a half-read object must not delete it.
    virtual bool HasOwner() const { return false; }
    // Called on the objects a read made before the read frees any of them (a refused read, a record
    // nobody took), and once an archive's outermost read has ended: an object drops the links its
    // record took that the other side does not hold (its record, or the other's, did not get as far
    // as to link back). Only links both sides hold are let go of when an object is freed, so
    // afterwards the objects may be freed in any order. Nothing at this level.
    virtual void SettleLinks() {}
    // The same, from an archive abandoning the object's record; there an object may also let go of what
    // earlier reads handed out and the record took.
    virtual void RecordRefused() { SettleLinks(); }

    bool IsKindOf(const RuntimeClass* record) const noexcept;

    static const RuntimeClass& GetThisClass() noexcept;

protected:
    PersistentObject() = default;
    PersistentObject(const PersistentObject&) = default;
    PersistentObject& operator=(const PersistentObject&) = default;
};

} // namespace Tavrel
