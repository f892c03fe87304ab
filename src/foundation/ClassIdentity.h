// The identity members every model class declares in one line, and checked downcasts over IsA.
#pragma once

#include <cstdint>
#include <type_traits>

#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class Base;
class PropertyArchive;
class PropertyTable;

// How a class may be created: by plain name through the factory map, only from its run-time class
// record (Base), or not at all (abstract classes: dynamic-only record, no factory).
enum class ClassKind { Creatable, RecordOnly, DynamicOnly };

// Grants the registry and the framework record access to protected default constructors.
// An abstract class makes and copies nothing (null).
struct ClassAccess {
    template <class T>
    static T* New() { return new T(); }
    template <class T>
    static PersistentObject* Create()
    {
        if constexpr (std::is_abstract_v<T>)
            return nullptr;
        else
            return new T();
    }
    template <class T>
    static Base* Copy(const T& object)
    {
        if constexpr (std::is_abstract_v<T>)
            return nullptr;
        else
            return new T(object);
    }
};

// Inside a class body: TAVREL_DECLARE_CLASS(TreeNode, Base). Leaves the access at public.
#define TAVREL_DECLARE_CLASS(Name, BaseName) TAVREL_DECLARE_CLASS_IDENTITY(Name, BaseName, false)

// The same for a class that also implements a data-less interface (TAVREL_DECLARE_INTERFACE) as a
// further base: IsA answers the interface's identifier and those of the interfaces it extends too,
// and the identity members answer for the interface as well.
#define TAVREL_DECLARE_CLASS_WITH_INTERFACE(Name, BaseName, Interface)                                   \
    TAVREL_DECLARE_CLASS_IDENTITY(Name, BaseName, Interface::IsInterfaceType(type))

#define TAVREL_DECLARE_CLASS_IDENTITY(Name, BaseName, alsoIsA)                                           \
public:                                                                                                  \
    using Superclass = BaseName;                                                                         \
    static constexpr const char* className = "XX" #Name;                                                 \
    static inline std::uint32_t classType = 0;                                                           \
    static inline const ::Tavrel::Base* classInstance = nullptr;                                         \
    static const ::Tavrel::ClassKind classKind;                                                          \
    static const ::Tavrel::RuntimeClass& GetThisClass() noexcept;                                        \
    static ::Tavrel::PersistentObject* CreateObject();                                                   \
    const ::Tavrel::RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }           \
    const ::Tavrel::Base* GetClassInstance() const override { return classInstance; }                    \
    const char* GetClassNameA() const override { return className; }                                    \
    std::uint32_t GetClassType() const override { return classType; }                                    \
    bool IsA(std::uint32_t type) const override                                                          \
    {                                                                                                    \
        return (type != 0 && type == classType) || (alsoIsA) || Superclass::IsA(type);                   \
    }                                                                                                    \
    const char* GetClassHierarchyName() const override { return #Name; }                                 \
    void BuildClassHierarchy(::Tavrel::ClassHierarchy& hierarchy) const override                         \
    {                                                                                                    \
        Superclass::BuildClassHierarchy(hierarchy);                                                      \
        hierarchy.AddClass(#Name);                                                                       \
    }                                                                                                    \
                                                                                                         \
protected:                                                                                               \
    ::Tavrel::Base* ShallowCopy() const override;                                                        \
                                                                                                         \
private:                                                                                                 \
    friend struct ::Tavrel::ClassAccess;                                                                 \
                                                                                                         \
public:

// The top of a chain of data-less interfaces: it extends none.
struct NoInterface {
    static constexpr bool IsInterfaceType(std::uint32_t) { return false; }
};

// Inside the body of a data-less interface that model classes implement as a further base:
// TAVREL_DECLARE_INTERFACE(PointFeature, QueryFeature), or NoInterface for one that extends none. It
// has a run-time class name and an identifier, entered by ClassRegistry::Register like a class's,
// but no record, prototype or factory. Leaves the access at public.
#define TAVREL_DECLARE_INTERFACE(Name, BaseInterface)                                                    \
public:                                                                                                  \
    using SuperInterface = BaseInterface;                                                                \
    static constexpr const char* className = "XX" #Name;                                                 \
    static inline std::uint32_t classType = 0;                                                           \
    static bool IsInterfaceType(std::uint32_t type)                                                      \
    {                                                                                                    \
        return (type != 0 && type == classType) || SuperInterface::IsInterfaceType(type);                \
    }

// Inside a class body, after TAVREL_DECLARE_CLASS: the level describes its properties once, in the
// table its source builds in Properties() (PropertyTable.h); its GetSetObjectProperties runs that
// table (PropertyPass::Table) and the text interface of Object reads it. Leaves the access at public.
#define TAVREL_DECLARE_PROPERTIES()                                                                      \
public:                                                                                                  \
    static const ::Tavrel::PropertyTable& Properties();                                                  \
    const ::Tavrel::PropertyTable* GetPropertyTable() const override { return &Properties(); }           \
    void GetSetObjectProperties(::Tavrel::PropertyArchive& archive) override;

// In the class's source: TAVREL_IMPLEMENT_CLASS(TreeNode, ::Tavrel::ClassKind::Creatable). An abstract
// class (ClassKind::DynamicOnly) creates and copies nothing: CreateObject and ShallowCopy give null.
#define TAVREL_IMPLEMENT_CLASS(Name, Kind)                                                               \
    TAVREL_IMPLEMENT_CLASS_IDENTITY(Name, Kind)                                                          \
    ::Tavrel::Base* Name::ShallowCopy() const { return ::Tavrel::ClassAccess::Copy(*this); }

// The same without ShallowCopy, for a class that defines its own.
#define TAVREL_IMPLEMENT_CLASS_IDENTITY(Name, Kind)                                                      \
    const ::Tavrel::ClassKind Name::classKind = Kind;                                                    \
    ::Tavrel::PersistentObject* Name::CreateObject() { return ::Tavrel::ClassAccess::Create<Name>(); }   \
    const ::Tavrel::RuntimeClass& Name::GetThisClass() noexcept                                          \
    {                                                                                                    \
        static const ::Tavrel::RuntimeClass record{                                                      \
            className,                                                                                   \
            (Kind) == ::Tavrel::ClassKind::DynamicOnly ? ::Tavrel::RuntimeClass::DynamicOnly             \
                                                       : (::Tavrel::RuntimeClass::VersionableSchema | 13u), \
            (Kind) == ::Tavrel::ClassKind::DynamicOnly ? nullptr : &Name::CreateObject,                  \
            &Superclass::GetThisClass()};                                                                \
        return record;                                                                                   \
    }

} // namespace Tavrel
