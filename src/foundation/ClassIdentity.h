// The identity members every model class declares in one line, and checked downcasts over IsA.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <typeinfo>

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
// An abstract class makes and copies nothing (null), and neither does a class whose object says it
// cannot be copied now (a member bool ShallowCopyOK() const that returns false).
// Objects are default-initialised (new T, not new T()): a constructor defaulted in the class body
// would otherwise have the whole object zero-filled before it runs.
struct ClassAccess {
    template <class T>
    static T* New() { return new T; }
    template <class T>
    static PersistentObject* Create()
    {
        if constexpr (std::is_abstract_v<T>)
            return nullptr;
        else
            return new T;
    }
    template <class T>
    static Base* Copy(const T& object)
    {
        if constexpr (std::is_abstract_v<T>) {
            return nullptr;
        } else {
            if constexpr (requires { object.ShallowCopyOK(); }) {
                if (!object.ShallowCopyOK())
                    return nullptr;
            }
            return new T(object);
        }
    }
};

// Whether the level of class T stores its values from its table or stores nothing of its own: it
// declares its table (GetPropertyTable), whose pass it runs, or no pass of its own
// (GetSetObjectProperties).
template <class T>
constexpr bool LevelStoresByTable()
{
    return std::is_same_v<decltype(&T::GetPropertyTable), const PropertyTable* (T::*)() const> ||
           !std::is_same_v<decltype(&T::GetSetObjectProperties), void (T::*)(PropertyArchive&)>;
}

// A class's line of descent: the addresses of the class-type identifiers of Base, then of each class
// down to the class itself, so that the class at depth d (Base 0) is an ancestor of an object when
// its identifier's address stands at d in the object's line. Fixed at compile time: it holds whether
// or not the classes are registered yet.
using ClassLine = std::span<const std::uint32_t* const>;

// A base's line extended by a derived class's identifier.
template <std::size_t Size>
constexpr std::array<const std::uint32_t*, Size + 1> ExtendClassLine(const std::array<const std::uint32_t*, Size>& line,
                                                                     const std::uint32_t* type)
{
    std::array<const std::uint32_t*, Size + 1> extended{};
    for (std::size_t i = 0; i < Size; ++i)
        extended[i] = line[i];
    extended[Size] = type;
    return extended;
}

// The identity members of a class: run-time name, identifier, prototype, IsA (which also answers
// alsoIsA, for the interfaces a class implements), class names for the property stream, the run-time
// record and the copy. Leaves the access at public.
#define TAVREL_CLASS_IDENTITY(Name, BaseName, alsoIsA)                                                   \
public:                                                                                                  \
    using Superclass = BaseName;                                                                         \
    static constexpr const char* className = "XX" #Name;                                                 \
    static inline std::uint32_t classType = 0;                                                           \
    static constexpr std::size_t classDepth = Superclass::classDepth + 1;                                \
    static constexpr auto classLine = ::Tavrel::ExtendClassLine(Superclass::classLine, &classType);      \
    static inline const ::Tavrel::Base* classInstance = nullptr;                                         \
    static const ::Tavrel::RuntimeClass& GetThisClass() noexcept;                                        \
    static ::Tavrel::PersistentObject* CreateObject();                                                   \
    const ::Tavrel::RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }           \
    ::Tavrel::ClassLine GetClassLine() const override { return classLine; }                              \
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
    static bool StoresByTables() { return ::Tavrel::LevelStoresByTable<Name>() && Superclass::StoresByTables(); } \
    /* Only for an object of this very class: a class derived without the macro may store more. */       \
    bool IsStoredByTables() const override { return StoresByTables() && typeid(*this) == typeid(Name); } \
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

// A model class, inside its body: TAVREL_CLASS(Bond, Geometric, Creatable). Declares the identity,
// the class kind, the level's table (Properties(), built in the source) with the overrides that run
// it (the property-stream pass, the framework archive's Serialize and the text interface's table),
// and the default and copy constructors, protected unless two more arguments name their access
// (TAVREL_CLASS(Symmetry, Base, Creatable, public, public)). Both constructors are the default ones,
// inline: state that a copy must not take lives in a member type that says so (Uncopied.h). The
// source defines the class with TAVREL_DEFINE_CLASS(Bond) (PropertyTable.h) and its table. Leaves the
// access at public.
#define TAVREL_CLASS(Name, BaseName, Kind, ...)                                                          \
    TAVREL_CLASS_IDENTITY(Name, BaseName, false)                                                         \
    TAVREL_CLASS_MEMBERS(Name, Kind, = default, __VA_ARGS__)

// The same for a class whose default constructor does work of its own, or needs a member's type that
// the header leaves incomplete: TAVREL_CLASS_CONSTRUCTED(Cell, Object, Creatable) declares it, and
// the source defines it.
#define TAVREL_CLASS_CONSTRUCTED(Name, BaseName, Kind, ...)                                              \
    TAVREL_CLASS_IDENTITY(Name, BaseName, false)                                                         \
    TAVREL_CLASS_MEMBERS(Name, Kind, , __VA_ARGS__)

// The same for a class that also implements a data-less interface (TAVREL_DECLARE_INTERFACE) as a
// further base: TAVREL_CLASS_WITH_INTERFACE(PointMonitor, Monitor, PointFeature, Creatable). Its IsA
// answers the interface's identifier and those of the interfaces it extends too.
#define TAVREL_CLASS_WITH_INTERFACE(Name, BaseName, Interface, Kind, ...)                                \
    TAVREL_CLASS_IDENTITY(Name, BaseName, Interface::IsInterfaceType(type))                              \
    TAVREL_CLASS_MEMBERS(Name, Kind, = default, __VA_ARGS__)

// The default constructor is defined by defaultDefinition (= default) or, left empty, in the source.
#define TAVREL_CLASS_MEMBERS(Name, Kind, defaultDefinition, ...)                                         \
    static constexpr ::Tavrel::ClassKind classKind = ::Tavrel::ClassKind::Kind;                          \
    static const ::Tavrel::PropertyTable& Properties();                                                  \
    const ::Tavrel::PropertyTable* GetPropertyTable() const override { return &Properties(); }           \
    void GetSetObjectProperties(::Tavrel::PropertyArchive& archive) override;                            \
    void Serialize(::Tavrel::Archive& archive) override;                                                 \
                                                                                                         \
    TAVREL_DEFAULT_ACCESS(__VA_ARGS__) :                                                                 \
    Name() defaultDefinition;                                                                            \
    TAVREL_COPY_ACCESS(__VA_ARGS__) :                                                                    \
    Name(const Name&) = default;                                                                         \
                                                                                                         \
public:

#define TAVREL_DEFAULT_ACCESS(...) TAVREL_FIRST_ARGUMENT(__VA_ARGS__ __VA_OPT__(, ) protected)
#define TAVREL_COPY_ACCESS(...) TAVREL_SECOND_ARGUMENT(__VA_ARGS__ __VA_OPT__(, ) protected, protected)
#define TAVREL_FIRST_ARGUMENT(first, ...) first
#define TAVREL_SECOND_ARGUMENT(first, second, ...) second

// Inside the body of a class whose persistence is written by hand (a level with PropertyPass lines of
// its own): TAVREL_DECLARE_CLASS(TreeNode, Base), with TAVREL_IMPLEMENT_CLASS in the source. Leaves
// the access at public.
#define TAVREL_DECLARE_CLASS(Name, BaseName)                                                             \
    TAVREL_CLASS_IDENTITY(Name, BaseName, false)                                                         \
    static const ::Tavrel::ClassKind classKind;

// In the source of a class declared with TAVREL_DECLARE_CLASS:
// TAVREL_IMPLEMENT_CLASS(TreeNode, ::Tavrel::ClassKind::Creatable). An abstract class
// (ClassKind::DynamicOnly) creates and copies nothing: CreateObject and ShallowCopy give null.
#define TAVREL_IMPLEMENT_CLASS(Name, Kind)                                                               \
    const ::Tavrel::ClassKind Name::classKind = Kind;                                                    \
    TAVREL_CLASS_RECORD(Name)

// The run-time record, the factory function and the copy of a class. Pooled slots (Base's operator
// new) are 8-byte aligned: a class that needs more asks for it with alignas above 16.
#define TAVREL_CLASS_RECORD(Name)                                                                        \
    static_assert(alignof(Name) <= 8 || alignof(Name) > __STDCPP_DEFAULT_NEW_ALIGNMENT__,              \
                  "a pooled class needs at most 8-byte alignment");                                      \
    ::Tavrel::PersistentObject* Name::CreateObject() { return ::Tavrel::ClassAccess::Create<Name>(); }   \
    const ::Tavrel::RuntimeClass& Name::GetThisClass() noexcept                                          \
    {                                                                                                    \
        constexpr bool dynamicOnly = Name::classKind == ::Tavrel::ClassKind::DynamicOnly;                \
        static const ::Tavrel::RuntimeClass record{                                                      \
            className,                                                                                   \
            dynamicOnly ? ::Tavrel::RuntimeClass::DynamicOnly : (::Tavrel::RuntimeClass::VersionableSchema | 13u), \
            dynamicOnly ? nullptr : &Name::CreateObject, &Superclass::GetThisClass()};                   \
        return record;                                                                                   \
    }                                                                                                    \
    ::Tavrel::Base* Name::ShallowCopy() const { return ::Tavrel::ClassAccess::Copy(*this); }

} // namespace Tavrel
