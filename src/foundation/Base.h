// Root of every model class: object identifier, event-mask byte, class identity and the copy protocol.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include <tavrel/core/ObjectPool.h>
#include <tavrel/foundation/Catalog.h>
#include <tavrel/foundation/ClassIdentity.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class Base : public Catalog {
public:
    static constexpr const char* className = "XXBase";
    static inline std::uint32_t classType = 0;
    static constexpr std::size_t classDepth = 0;
    static constexpr std::array<const std::uint32_t*, 1> classLine{&classType};
    static inline const Base* classInstance = nullptr;
    static const ClassKind classKind;
    static const RuntimeClass& GetThisClass() noexcept;
    static PersistentObject* CreateObject();

    // Event codes of the Base level.
    static constexpr std::uint16_t EventCopied = 1;

    ~Base() override;

    // Objects of every model class take their bytes from ObjectPool::Objects() when they fit a size
    // class; larger and over-aligned ones from the global heap. Once the pool served the first
    // object, a slot is taken inline.
    static void* operator new(std::size_t size)
    {
        if constexpr (ObjectPool::ServesObjects) {
            if (ObjectPool* const pool = s_objectPool; pool && ObjectPool::Fits(size)) [[likely]]
                return pool->Allocate(size);
        }
        return AllocateElsewhere(size);
    }
    static void operator delete(void* object, std::size_t size) noexcept;
    static void* operator new(std::size_t size, std::align_val_t alignment) { return ::operator new(size, alignment); }
    static void operator delete(void* object, std::size_t, std::align_val_t alignment) noexcept
    {
        ::operator delete(object, alignment);
    }

    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }
    virtual const Base* GetClassInstance() const { return classInstance; }
    virtual const char* GetClassNameA() const { return className; }
    virtual std::uint32_t GetClassType() const { return classType; }
    // True for the class's own identifier or any of its bases'.
    virtual bool IsA(std::uint32_t type) const { return type != 0 && type == classType; }
    // The object's class and its bases (ClassLine), for IsA<T> of a class T.
    virtual ClassLine GetClassLine() const { return classLine; }
    // The run-time class name without its "XX"; classes with an alias answer the alias.
    virtual std::string GetCommonName() const;

    const char* GetClassHierarchyName() const override { return "Base"; }
    // Whether every level of the object's class stores its values from its table (or stores nothing
    // of its own), so that its records can follow a plan (PropertyPlan). False for an object of a
    // class derived without the identity macro, whose own pass the tables do not know.
    virtual bool IsStoredByTables() const { return StoresByTables(); }
    static bool StoresByTables() { return true; }
    void BuildClassHierarchy(ClassHierarchy& hierarchy) const override;
    void GetSetObjectProperties(PropertyArchive& archive) override;

    // Registers an alias of this object's class (nothing for an empty text); always returns 0.
    int SetCommonName(std::string_view commonName) const;

    std::uint32_t GetOID() const { return m_OID; }
    // The live object registered under an OID, or null. Inline: readers resolve every reference by it.
    static Base* GetObjectA(std::uint32_t oid)
    {
        const std::size_t page = oid >> OIDPageBits;
        if (page >= s_oidPages.count)
            return nullptr;
        Base* const* const slots = s_oidPages.slots[page];
        return slots ? slots[oid & OIDSlotMask] : nullptr;
    }
    // Once off, validation cannot be switched on again. Every object takes its OID from the counter
    // and is found by GetObjectA in either state.
    static void EnableOIDValidation(bool enable);
    static bool IsOIDValidationEnabled();
    // The last OID handed out.
    static std::uint32_t GetLastOID();
    // Objects destroyed so far: a holder of many pointers asks the OIDs again only once it changed.
    static std::uint64_t GetDestroyedCount() { return s_destroyed; }

    // Inline: every event asks.
    static bool GetEventNotify() { return s_eventNotify; }
    static void SetEventNotify(bool notify) { s_eventNotify = notify; }

    static std::uint32_t FindClassType(std::string_view name);
    static const Base* FindClassInstance(std::string_view name);
    // The common name of the class a name denotes; empty when no class is found.
    static std::string GetCommonName(std::string_view name);

    // Copies the object and everything it references; within one outermost call each object is
    // copied once. Null when the class cannot copy itself. The copied event of each source is raised
    // once the outermost copy (or the outermost CopyEventScope) has finished, on the sources still alive.
    Base* Copy() const;

    // While one exists, the copied events of Copy wait; the last one to end delivers them. Lets an
    // operation that detaches links for a copy restore them before any listener runs.
    class CopyEventScope {
    public:
        CopyEventScope();
        ~CopyEventScope();
        CopyEventScope(const CopyEventScope&) = delete;
        CopyEventScope& operator=(const CopyEventScope&) = delete;

    private:
        int m_exceptions;     // the outermost scope's: when more are in flight at its end, its events are dropped
        std::size_t m_first;  // the first waiting event that belongs to this scope
    };

    // Announces an event; empty at this level, the tree levels deliver it.
    virtual void DoNotify(std::uint32_t type, std::uint16_t code, const char* attribute, void* data);

protected:
    Base();
    Base(const Base& other);
    Base& operator=(const Base&) { return *this; }

    virtual Base* ShallowCopy() const;
    // Replaces the references a shallow copy still shares with its source by copies made through Copy.
    virtual void DeepenShallowCopy();
    // During DeepenShallowCopy, the object the deepened copy was made from.
    static const Base* GetCopySource();
    // During a copy, the copy already made of source, else null.
    static Base* GetCopyMade(const Base& source);

    bool IsEventMaskSet(std::uint32_t type, std::uint16_t code) const;
    virtual void SetEventMask(std::uint32_t type, std::uint16_t code);
    virtual void UnsetEventMask(std::uint32_t type, std::uint16_t code);
    virtual void ClearEventMask();
    std::uint8_t GetEventMask() const { return m_eventMask; }

private:
    friend struct ClassAccess;

    static std::uint32_t AddOID(Base* object);
    // operator new for the first object the pool serves, and for those that do not fit it.
    static void* AllocateElsewhere(std::size_t size);
    // The objects' pool once it has served an object: set apart from ObjectPool::Objects() so that
    // taking a slot needs no guard.
    static inline ObjectPool* s_objectPool = nullptr;
    static void RemoveOID(std::uint32_t oid);

    // The OID table's pages as GetObjectA reads them: the slots of page i (OIDs i << OIDPageBits on),
    // null for a page without objects. Kept by the table in Base.cpp as its pages come and go.
    static constexpr unsigned OIDPageBits = 8;
    static constexpr std::uint32_t OIDSlotMask = (1u << OIDPageBits) - 1;
    struct OIDPages {
        Base* const* const* slots;
        std::size_t count;
    };
    static inline OIDPages s_oidPages{nullptr, 0};

    // The mask byte after the OID leaves the bytes up to the next pointer to the first small fields
    // of the levels above.
    std::uint32_t m_OID;
    std::uint8_t m_eventMask = 0;

    static inline bool s_eventNotify = true;
    static inline std::uint64_t s_destroyed = 0;
};

// True when the object is non-null and of class T or derived from it (or, for an interface T, one
// that implements it). A class is found at its depth in the object's line of descent, without a
// call per level.
template <class T>
bool IsA(const Base* object)
{
    if constexpr (requires { T::classDepth; }) {
        if (!object || T::classType == 0)
            return false;
        const ClassLine line = object->GetClassLine();
        return line.size() > T::classDepth && line[T::classDepth] == &T::classType;
    } else {
        return object && object->IsA(T::classType);
    }
}

// Asks the memory for an object's first bytes (by default the Base and TreeNode levels' fields),
// whatever cache lines they straddle, ahead of a walk over many objects mostly out of the cache.
inline void PrefetchObject(const Base* object, std::size_t bytes = 64)
{
    constexpr std::size_t line = 64;
    const auto* const first = reinterpret_cast<const char*>(object);
    for (std::size_t offset = 0; offset < bytes; offset += line)
        __builtin_prefetch(first + offset);
    __builtin_prefetch(first + bytes - 1);
}

// The object as a T when it is one, else null.
template <class T>
T* DynCast(Base* object)
{
    return IsA<T>(object) ? static_cast<T*>(object) : nullptr;
}

template <class T>
const T* DynCast(const Base* object)
{
    return IsA<T>(object) ? static_cast<const T*>(object) : nullptr;
}

} // namespace Tavrel
