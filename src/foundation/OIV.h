// OIV: a reference to an object by its path in the document tree, which survives storing and loading.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/Arrays.h>

namespace Tavrel {

class Archive;
class BaseCollection;
class Enumerator;
class Filter;
class Iterator;
class Object;
class TreeRoot;

// Keeps the object's tree path ("/0/3/", root side first, as TreeNode::GetInvariant) and, while the
// object lives in this process, its OID. It resolves only against a given root, by the path: after
// the siblings before it go, the same reference finds another object or none. Copies share one
// record; a loaded reference has OID 0.
class OIV {
public:
    class Array;

    OIV() = default;
    // Empty for null.
    explicit OIV(const Object* object);
    // The object of the OID when it is the root or lies below it; empty otherwise (OID 0, an OID
    // that does not resolve, an object of another tree).
    OIV(const TreeRoot& root, std::uint32_t oid);

    // The same record, or both empty; otherwise the OIDs when both have one, else the paths (so two
    // loaded references are equal exactly when their paths are).
    bool operator==(const OIV& other) const;

    bool IsEmpty() const { return m_data == nullptr; }
    // Empty for an empty reference.
    std::string GetPath() const;

    // What the path finds from the root now; null for an empty reference or path.
    Object* GetObjectA(const TreeRoot& root) const;
    // Null when the object found is not of the class.
    Object* GetObjectA(const TreeRoot& root, std::uint32_t classType) const;
    // The OID of what the path finds now (0 for nothing); the stored OID is not used.
    std::uint32_t GetOID(const TreeRoot& root) const;
    std::uint32_t GetOID(const TreeRoot& root, std::uint32_t classType) const;
    bool IsA(const TreeRoot& root, std::uint32_t classType) const;
    bool IsValid(const TreeRoot& root) const;
    bool IsValid(const TreeRoot& root, std::uint32_t classType) const;

    // Store or Load, as the archive goes.
    void Serialize(Archive& archive);
    // The path as a framework string (empty for an empty reference), then a 32-bit count of the
    // references sharing the record (0 for an empty reference).
    void Store(Archive& archive) const;
    // Reads the same form: a path gives a new record (OID 0) held by this reference alone, whatever
    // count was stored; an empty path empties the reference.
    void Load(Archive& archive);

    // Appends a reference to each entry of the collection, in its enumeration order (an empty one for
    // a null entry).
    static void GetOIVArray(const BaseCollection& collection, Array& out);

private:
    struct Data {
        std::string path;
        std::uint32_t oid;
    };
    static const Object* Validate(const TreeRoot& root, std::uint32_t oid);

    std::shared_ptr<const Data> m_data;
};

// Many references, turned back into objects, collections or OIDs against a root. Its framework
// archive form is the count, then each reference's Store form; no pointer is ever written.
class OIV::Array {
public:
    Array() = default;
    explicit Array(const BaseCollection& collection);
    // Over a copy of the iterator; the iterator does not move.
    explicit Array(const Iterator& iterator);
    Array(const Array&) = default;
    Array& operator=(const Array&) = default;
    // Empties the array, then a reference to each entry of the collection.
    Array& operator=(const BaseCollection& collection);
    virtual ~Array() = default;

    int GetSize() const { return static_cast<int>(m_references.size()); }
    const OIV& operator[](int index) const { return m_references.at(static_cast<std::size_t>(index)); }
    void Add(const OIV& reference) { m_references.push_back(reference); }
    void RemoveAll() { m_references.clear(); }
    std::vector<OIV>::const_iterator begin() const { return m_references.begin(); }
    std::vector<OIV>::const_iterator end() const { return m_references.end(); }

    // The reference of the (root, OID) constructor for every OID in order, empty ones included;
    // returns the array's size.
    int AddObjects(const TreeRoot& root, const OIDArray& oids);
    // A reference to each entry the collection's enumeration passes; its result.
    int AddObjects(const BaseCollection& collection);
    // A reference to each object a copy of the iterator yields; the enumeration's result.
    int AddObjects(const Iterator& iterator);

    // Initialize, then Enumerate (object, i) for each element i that resolves from the root until one
    // returns false, then Finalize. False when Initialize failed or nothing resolved, else the last
    // Enumerate's result.
    bool Enumerate(const TreeRoot& root, Enumerator& enumerator) const;
    // Copies the objects found into out (through the filter); returns how many were copied.
    int GetObjects(const TreeRoot& root, BaseCollection& out) const;
    int GetObjects(const TreeRoot& root, const Filter& filter, BaseCollection& out) const;
    // Appends the OID of each element that resolves; returns how many were appended.
    int GetObjects(const TreeRoot& root, OIDArray& oids) const;

    void Serialize(Archive& archive);

private:
    std::vector<OIV> m_references;
};

} // namespace Tavrel
