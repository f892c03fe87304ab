// Interface of property persistence: the class hierarchy and the per-level property passes.
#pragma once

#include <cstdint>

#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class Base;
class ClassHierarchy;
class PropertyArchive;
class PropertyTable;

// Between the archivable root and Base, so that a model object carries a single vtable pointer: each
// constructor level stores one, and nothing of the object model sits beside it.
class Catalog : public PersistentObject {
public:
    ~Catalog() override = default;

    // The plain class name of the object's most-derived class.
    virtual const char* GetClassHierarchyName() const = 0;
    // The base levels' names first, then the own one: most-derived first in the result.
    virtual void BuildClassHierarchy(ClassHierarchy& hierarchy) const = 0;
    // One pass of the property stream over this level and its bases.
    virtual void GetSetObjectProperties(PropertyArchive& archive) = 0;
    // The description of the most-derived level that declares one (TAVREL_CLASS); null
    // when no level does.
    virtual const PropertyTable* GetPropertyTable() const { return nullptr; }

    // Writes this object's record under oid: the OID, the class hierarchy, the property count and
    // the properties; objects it references for the first time follow inline. The OID enters the
    // archive's map first, so references back to this object stay references.
    void WriteProperties(PropertyArchive& archive, std::uint32_t oid);
    // Reads one record and returns the object created for it, which belongs to the caller; null when
    // the archive is storing or no stored class can be created (the record is then read and dropped).
    // Malformed input raises ArchiveException; everything the call created is deleted first.
    static Base* ReadProperties(PropertyArchive& archive);
    // Runs a MethodCount pass and returns the count; the archive's method type is kept.
    std::int32_t GetNumberOfProperties(PropertyArchive& archive);

protected:
    Catalog() = default;
    Catalog(const Catalog&) = default;
    Catalog& operator=(const Catalog&) = default;
};

} // namespace Tavrel
