// PropertyArchive: the property stream over a framework archive (pass cursor, OID map, record I/O, plain form).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassHierarchy.h>

namespace Tavrel {

class Archive;
class Catalog;
class PropertyPass;
class PropertyPlan;
struct ClassDictionaryEntry;
class Storage;
class TreeNode;

namespace PropertyStream {
// The bits of the records being read, as the stream's set of them keeps them: a bit per OID from base
// on, up to bits; an OID outside them is looked up in the set.
struct OpenBits {
    static constexpr std::size_t WordBits = 64;
    const std::uint64_t* words = nullptr;
    std::size_t bits = 0;
    std::uint32_t base = 0;

    // The OID's bit, bits or more for an OID outside them (below the base, the index wraps past them).
    std::size_t IndexOf(std::uint32_t oid) const { return std::size_t{oid} - base; }
    // Whether the bit of an index below bits is set.
    bool Test(std::size_t index) const { return (words[index / WordBits] >> (index % WordBits) & 1) != 0; }
};
} // namespace PropertyStream

// Hash of names for maps and sets looked up by std::string_view.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

class PropertyArchive {
public:
    // The pass a GetSetObjectProperties call performs.
    enum MethodType : std::int32_t {
        MethodWrite = 0,     // write all own properties
        MethodRead = 1,      // take the property named by GetPropertyName from GetProperty
        MethodCount = 2,     // IncrementNumberOfProperties once per own property
        MethodArraySize = 3, // the named array property has GetArraySize elements: size it
        MethodBefore = 4,    // before a record is written, or after the object is created on load
        MethodAfter = 5,     // after a record is written or read
    };

    // The direction of the framework archive is the direction of the stream.
    explicit PropertyArchive(Archive& archive);
    // Runs the finishing pass: FinishLoading (loading) or FinishStoring (storing), with the framework
    // archive's object schema, on every node handed to FinishObject that still exists. Exceptions
    // are dropped.
    virtual ~PropertyArchive();

    PropertyArchive(const PropertyArchive&) = delete;
    PropertyArchive& operator=(const PropertyArchive&) = delete;

    // The framework archive. During a MethodWrite pass this is the archive the pass must write its
    // payload bytes to (the stream places them); do not keep it.
    Archive& GetArchive() const { return *m_archive; }
    // The framework archive's object schema, left in place there.
    std::uint32_t GetObjectSchema() const;

    MethodType GetMethodType() const { return m_methodType; }
    void SetMethodType(MethodType method) { m_methodType = method; }

    // Valid during MethodRead and MethodArraySize passes.
    const std::string& GetPropertyName() const { return m_propertyName; }
    void SetPropertyName(std::string_view name) { m_propertyName.assign(name); }
    // The holder of the value being read (not owned; null when there is none). A level calling this
    // takes the value: objects read inline for a value nobody took are deleted after the pass unless
    // they joined a parent.
    Storage* GetProperty();
    void SetProperty(Storage* property);
    std::int32_t GetArrayIndex() const { return m_arrayIndex; }
    void SetArrayIndex(std::int32_t index) { m_arrayIndex = index; }
    std::int32_t GetArraySize() const { return m_arraySize; }
    void SetArraySize(std::int32_t size) { m_arraySize = size; }

    // The counter of the MethodCount pass.
    std::int32_t GetNumberOfProperties() const { return m_numberOfProperties; }
    void ResetNumberOfProperties() { m_numberOfProperties = 0; }
    void IncrementNumberOfProperties() { ++m_numberOfProperties; }

    // Stored OID -> OID. Writing: identity entries of the objects whose records are in the stream.
    // Reading: each stored OID to the OID of the object created for it.
    bool IsOID(std::uint32_t oid) const;
    void AddOIDMapEntry(std::uint32_t stored, std::uint32_t oid);
    // 0 when the stored OID is not mapped.
    std::uint32_t GetOID(std::uint32_t stored) const;

    // Registers a node for the finishing pass (each once, in order of registration); null is ignored.
    void FinishObject(TreeNode* object);
    // Reading: whether the object's record is being read (begun and not yet ended).
    bool IsRecordOpen(const Base& object) const
    {
        if (const std::size_t index = m_openBits->IndexOf(object.GetOID()); index < m_openBits->bits)
            return m_openBits->Test(index);
        return IsRecordOpenOutside(object.GetOID());
    }

    // Sizes an array to GetArraySize (never negative: the reader checks counts before the pass).
    template <class T>
    void ChangeArraySize(std::vector<T>& array) const
    {
        array.resize(static_cast<std::size_t>(m_arraySize < 0 ? 0 : m_arraySize));
    }

    // Stream operations. The plain form writes each item in full; the compressed form overrides them.
    // className is always the most-derived class name of the object whose record is being written.
    virtual void WriteClassHierarchy(const ClassHierarchy& hierarchy);
    // Refuses (ArchiveException) a hierarchy without names.
    virtual ClassHierarchy ReadClassHierarchy();
    virtual void WriteNumberOfProperties(std::string_view className, std::int32_t count);
    virtual std::int32_t ReadNumberOfProperties(std::string_view className);
    virtual void WritePropertyName(std::string_view className, std::string_view propertyName, bool isArray);
    // The name of property index of the record being read; isArray is set from the stored flag.
    virtual std::string ReadPropertyName(std::string_view className, std::int32_t index, bool& isArray);
    virtual void WritePropertyType(std::string_view className, std::string_view propertyName, std::int32_t type);
    virtual std::int32_t ReadPropertyType(std::string_view className, std::string_view propertyName);

    // The class of a record being read: its stored hierarchy (valid until the next record's class is
    // read) and, in the compressed form, the stream's description of the class (null otherwise).
    struct RecordClass {
        const ClassHierarchy* hierarchy;
        ClassDictionaryEntry* entry;
        const PropertyPlan* plan = nullptr; // FindReadPlan(*entry, nullptr) when there is an entry
    };
    virtual RecordClass ReadRecordClass();

    // Plans (PropertyPlan) of the compressed form, for classes whose levels all store from tables;
    // null otherwise, and always in the plain form. Writing: the plan of the object's class once the
    // stream holds the class, compiled at its first record. Reading: the plan of a record's class,
    // compiled from created (an object made for a record of the class) at the first record that has
    // one; null once the stream's description of the class has turned out not to be the plan's.
    virtual const PropertyPlan* FindWritePlan(Catalog& object);
    virtual const PropertyPlan* FindReadPlan(ClassDictionaryEntry& entry, Base* created);

    // Object references as the object and pair holders store them: null is the byte 1; an object
    // already in the stream the byte 0 and its OID; any other object the byte 0, the integer 0 and its
    // whole record inline.
    void WriteReference(Base* object);
    // Null for a null reference or an OID that maps to no live object; an inline record is read whole.
    Base* ReadReference();

private:
    friend class Catalog;
    friend class PropertyPass;
    class OIDMap;
    struct State;
    struct RecordReader;
    struct RecordWriter;
    class Recorder;

    // A recorder writing into its own scratch archive, sharing the stream state of its target.
    PropertyArchive(Archive& archive, PropertyArchive& target);

    void WriteRecord(Catalog& object, std::uint32_t oid);
    Base* ReadRecord();
    Storage* PeekProperty() const { return m_property; }
    // IsRecordOpen of an OID outside the open records' bits.
    bool IsRecordOpenOutside(std::uint32_t oid) const;
    void TakeProperty();
    // The archive of one value's byte block, reused by the stream's values (the direction is the
    // stream's); a taken one is handed back when the value is done.
    std::unique_ptr<Archive> TakeNested();
    void ReturnNested(std::unique_ptr<Archive> nested);

    Archive* m_archive;
    MethodType m_methodType = MethodBefore;
    std::string m_propertyName;
    Storage* m_property = nullptr;
    std::int32_t m_arrayIndex = 0;
    std::int32_t m_arraySize = 0;
    std::int32_t m_numberOfProperties = 0;
    std::unique_ptr<State> m_ownState;
    State* m_state;
    const PropertyStream::OpenBits* m_openBits; // the state's open records' bits
    Recorder* m_recorder = nullptr;
};

} // namespace Tavrel
