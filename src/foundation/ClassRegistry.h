// Start-up registration of every class: prototype, identifier, factory and run-time class record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include <tavrel/foundation/AbstractFactory.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassNameTable.h>
#include <tavrel/foundation/RuntimeMap.h>

namespace Tavrel {

// A list of classes, in registration order (base before derived).
template <class... Classes>
struct ClassList {};

class ClassRegistry {
public:
    // Registers each class of a list in order.
    template <class... Classes>
    static void Register(ClassList<Classes...>)
    {
        (Register<Classes>(), ...);
    }

    // Registers one class: builds its prototype, enters it in the class-name table (keeping the
    // identifier), registers its factory when it is creatable by name and enters its run-time record.
    // A class already registered is left as it is, so callers need no guard of their own. An abstract
    // class gets no prototype and no factory: only its name, identifier and run-time record; a
    // data-less interface (TAVREL_DECLARE_INTERFACE) only its name and identifier.
    template <class T>
    static void Register()
    {
        if constexpr (!std::is_base_of_v<Base, T>) {
            if (T::classType == 0)
                T::classType = ClassNameTable::AddClass(T::className, nullptr);
        } else if constexpr (std::is_abstract_v<T>) {
            if (T::classType == 0) {
                T::classType = ClassNameTable::AddClass(T::className, nullptr);
                RuntimeClass::Register(T::GetThisClass());
            }
            return;
        } else {
            RegisterCreatable<T>();
        }
    }

    // The registered prototypes of the class and of the classes derived from it.
    static std::size_t CountPrototypes(std::uint32_t type);

    ClassRegistry(const ClassRegistry&) = delete;
    ClassRegistry& operator=(const ClassRegistry&) = delete;
    ~ClassRegistry();

private:
    template <class T>
    static void RegisterCreatable()
    {
        if (T::classInstance)
            return;
        ClassRegistry& registry = Get();
        registry.m_prototypes.emplace_back(ClassAccess::New<T>());
        T::classInstance = registry.m_prototypes.back().get();
        T::classType = ClassNameTable::AddClass(T::className, T::classInstance);
        if (T::classKind == ClassKind::Creatable) {
            registry.m_factories.push_back(std::make_unique<Factory<T>>());
            RuntimeMap::AddRuntimeClass(T::classInstance->GetClassHierarchyName(), registry.m_factories.back().get());
        }
        RuntimeClass::Register(T::GetThisClass());
    }

    template <class T>
    struct Factory final : AbstractFactory {
        PersistentObject* Create() const override { return ClassAccess::New<T>(); }
    };

    ClassRegistry() = default;
    static ClassRegistry& Get();

    std::vector<std::unique_ptr<Base>> m_prototypes;
    std::vector<std::unique_ptr<AbstractFactory>> m_factories;
};

} // namespace Tavrel
