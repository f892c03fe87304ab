// An object's class names, most-derived first, stored with each object record.
#pragma once

#include <string>
#include <vector>

#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class ClassHierarchy : public PersistentObject {
public:
    ClassHierarchy() = default;
    ClassHierarchy(const ClassHierarchy&) = default;
    ClassHierarchy& operator=(const ClassHierarchy&) = default;
    ~ClassHierarchy() override = default;

    // Inserts a name in front: the base levels add theirs first, so the result is most-derived first.
    void AddClass(const std::string& name);
    // The most-derived name; empty for an empty hierarchy.
    std::string GetClassNameA() const;
    const std::vector<std::string>& GetNames() const { return m_names; }

    // The first name, most-derived first, that the factory map can create; null when none can.
    PersistentObject* CreateMostKnownDerivedObject() const;

    // Storing: a 32-bit count, then each name. Loading appends the stored names behind the present ones.
    void Serialize(Archive& archive) override;

    bool operator==(const ClassHierarchy& other) const { return m_names == other.m_names; }

private:
    std::vector<std::string> m_names;
};

} // namespace Tavrel
