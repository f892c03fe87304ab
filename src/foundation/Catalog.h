// Interface of property persistence: the class hierarchy and the per-level property passes.
#pragma once

namespace Tavrel {

class ClassHierarchy;
class PropertyArchive;

class Catalog {
public:
    virtual ~Catalog() = default;

    // The plain class name of the object's most-derived class.
    virtual const char* GetClassHierarchyName() const = 0;
    // The base levels' names first, then the own one: most-derived first in the result.
    virtual void BuildClassHierarchy(ClassHierarchy& hierarchy) const = 0;
    // One pass of the property stream over this level and its bases.
    virtual void GetSetObjectProperties(PropertyArchive& archive) = 0;

protected:
    Catalog() = default;
    Catalog(const Catalog&) = default;
    Catalog& operator=(const Catalog&) = default;
};

} // namespace Tavrel
