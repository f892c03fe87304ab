#include "foundation/DataStorage.h"

#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>

#include "core/StringUtils.h"
#include "foundation/Base.h"
#include "foundation/TreeNode.h"
#include "platform/Archive.h"

namespace Tavrel {

// A detached object that loading a TypeObject cell created: deleted with the last cell that holds
// it, unless it has been placed under a parent meanwhile. Found again by OID, never by pointer, so
// an object deleted elsewhere first is simply gone.
struct DataStorage::LoadedObject {
    explicit LoadedObject(std::uint32_t topOID) : oid(topOID) { Owned().insert(oid); }
    LoadedObject(const LoadedObject&) = delete;
    LoadedObject& operator=(const LoadedObject&) = delete;
    ~LoadedObject()
    {
        Owned().erase(Owned().find(oid));
        Base* top = Base::GetObjectA(oid);
        const TreeNode* node = DynCast<TreeNode>(top);
        if (top && !(node && node->GetParent()))
            delete top;
    }

    // The OIDs of the objects cells own, once per owner.
    static std::unordered_multiset<std::uint32_t>& Owned()
    {
        // Never destroyed: cells may outlive the other statics.
        static auto* const owned = new std::unordered_multiset<std::uint32_t>();
        return *owned;
    }

    std::uint32_t oid;
};

namespace {

// Object cells write and read their object's record, whose own user properties may hold object cells
// in turn. Cells nested this deep are written as null, and deeper stored ones are refused, so a
// chain of references cannot exhaust the stack.
constexpr int MaxObjectDepth = 16;
int g_objectDepth = 0;

class ObjectDepthScope {
public:
    ObjectDepthScope() { ++g_objectDepth; }
    ~ObjectDepthScope() { --g_objectDepth; }
    ObjectDepthScope(const ObjectDepthScope&) = delete;
    ObjectDepthScope& operator=(const ObjectDepthScope&) = delete;
};

template <class T>
std::vector<T> CopyBlock(std::int32_t count, const T* values)
{
    if (count <= 0 || !values)
        return {};
    return std::vector<T>(values, values + count);
}

std::int32_t BlockCount(std::size_t size)
{
    return static_cast<std::int32_t>(size);
}

// The value held as alternative Index; false, with value unchanged, when another one is held.
template <std::size_t Index, class Variant, class T>
bool GetHeld(const Variant& stored, T& value)
{
    const auto* const held = std::get_if<Index>(&stored);
    if (!held)
        return false;
    value = *held;
    return true;
}

// The count and first element (null when empty) of the block held as alternative Index; false, with
// both unchanged, when another one is held.
template <std::size_t Index, class Variant, class T>
bool GetHeldBlock(const Variant& stored, std::int32_t& count, const T*& values)
{
    const auto* const block = std::get_if<Index>(&stored);
    if (!block)
        return false;
    count = BlockCount(block->size());
    values = block->empty() ? nullptr : block->data();
    return true;
}

// Reads count elements of T, refusing counts (stored at countAt) that the remaining input cannot hold.
template <class T>
std::vector<T> ReadBlock(Archive& archive, std::int32_t count, std::size_t countAt)
{
    if (count < 0)
        archive.Refuse(ArchiveException::genericException,
                       "a user property value of " + std::to_string(count) + " elements", countAt);
    if (static_cast<std::size_t>(count) > archive.GetRemaining() / sizeof(T))
        archive.Refuse(ArchiveException::endOfFile,
                       "a user property value of " + std::to_string(count) + " elements of " +
                           std::to_string(sizeof(T)) + " bytes, " + std::to_string(archive.GetRemaining()) +
                           " bytes left",
                       countAt);
    std::vector<T> block(static_cast<std::size_t>(count));
    archive.Read(block.data(), block.size() * sizeof(T));
    return block;
}

} // namespace

DataStorage::DataStorage() = default;

DataStorage::DataStorage(std::int32_t value, std::uint32_t flags) : m_value(value), m_flags(flags) {}

DataStorage::DataStorage(float value, std::uint32_t flags) : m_value(value), m_flags(flags) {}

DataStorage::DataStorage(void* value, std::uint32_t flags) : m_value(value), m_flags(flags) {}

DataStorage::DataStorage(std::int32_t count, const std::int32_t* values, std::uint32_t flags)
    : m_value(CopyBlock(count, values)), m_flags(flags)
{
}

DataStorage::DataStorage(std::int32_t count, const float* values, std::uint32_t flags)
    : m_value(CopyBlock(count, values)), m_flags(flags)
{
}

DataStorage::DataStorage(std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags)
    : m_value(CopyBlock(count, bytes)), m_flags(flags)
{
}

DataStorage::DataStorage(const char* text, std::uint32_t flags)
    : m_value(std::in_place_index<TypeText>, text ? Text(text, text + std::strlen(text) + 1) : Text()),
      m_flags(flags)
{
}

DataStorage::DataStorage(const Base* object, std::uint32_t flags)
    : m_value(ObjectId{object ? object->GetOID() : 0u, nullptr}), m_flags(flags)
{
}

std::int32_t DataStorage::GetCount() const
{
    switch (GetType()) {
    case TypeEmpty:
        return 0;
    case TypeLongArray:
        return BlockCount(std::get<TypeLongArray>(m_value).size());
    case TypeFloatArray:
        return BlockCount(std::get<TypeFloatArray>(m_value).size());
    case TypeText:
        return BlockCount(std::get<TypeText>(m_value).size());
    case TypeByteArray:
        return BlockCount(std::get<TypeByteArray>(m_value).size());
    default:
        return 1;
    }
}

bool DataStorage::Get(std::int32_t& value) const
{
    return GetHeld<TypeLong>(m_value, value);
}

bool DataStorage::Get(std::int32_t& count, const std::int32_t*& values) const
{
    return GetHeldBlock<TypeLongArray>(m_value, count, values);
}

bool DataStorage::Get(float& value) const
{
    return GetHeld<TypeFloat>(m_value, value);
}

bool DataStorage::Get(std::int32_t& count, const float*& values) const
{
    return GetHeldBlock<TypeFloatArray>(m_value, count, values);
}

bool DataStorage::Get(void*& value) const
{
    return GetHeld<TypePointer>(m_value, value);
}

bool DataStorage::Get(const char*& text) const
{
    if (GetType() != TypeText)
        return false;
    const Text& block = std::get<TypeText>(m_value);
    text = block.empty() ? nullptr : block.data();
    return true;
}

bool DataStorage::Get(std::int32_t& count, const std::uint8_t*& bytes) const
{
    return GetHeldBlock<TypeByteArray>(m_value, count, bytes);
}

bool DataStorage::Get(Base*& object) const
{
    if (GetType() != TypeObject)
        return false;
    const std::uint32_t oid = std::get<TypeObject>(m_value).oid;
    object = oid == 0 ? nullptr : Base::GetObjectA(oid);
    return true;
}

bool DataStorage::SetFromString(std::string_view text, std::uint32_t flags)
{
    m_flags = flags;
    switch (GetType()) {
    case TypeLong:
        return StringUtils::StringToInteger(text, std::get<TypeLong>(m_value));
    case TypeFloat:
        return StringUtils::StringToReal(text, std::get<TypeFloat>(m_value));
    case TypeText: {
        // The text ends at its first zero byte, as a C string would.
        const std::string_view taken = text.substr(0, text.find('\0'));
        Text block(taken.begin(), taken.end());
        block.push_back('\0');
        std::get<TypeText>(m_value) = std::move(block);
        return true;
    }
    default:
        return false;
    }
}

std::string DataStorage::GetAsString() const
{
    switch (GetType()) {
    case TypeLong:
        return StringUtils::Format("%d", std::get<TypeLong>(m_value));
    case TypeFloat:
        return StringUtils::Format("%f", std::get<TypeFloat>(m_value));
    case TypeText: {
        const Text& block = std::get<TypeText>(m_value);
        return block.empty() ? std::string() : std::string(block.data());
    }
    default:
        return {};
    }
}

std::string DataStorage::GetAsString(std::int32_t width, std::int32_t precision) const
{
    switch (GetType()) {
    case TypeLong:
        return StringUtils::Format("%*d", width, std::get<TypeLong>(m_value));
    case TypeFloat:
        return StringUtils::Format("%*.*f", width, precision, std::get<TypeFloat>(m_value));
    case TypeText: {
        const Text& block = std::get<TypeText>(m_value);
        return StringUtils::Format("%*s", width, block.empty() ? "" : block.data());
    }
    default:
        return {};
    }
}

void DataStorage::SetPrivate(bool set)
{
    if (set)
        m_flags = 0;
}

bool DataStorage::IsOwnedObject(std::uint32_t oid)
{
    return LoadedObject::Owned().contains(oid);
}

void DataStorage::Serialize(Archive& archive)
{
    if (archive.IsStoring())
        Store(archive);
    else
        Load(archive);
}

void DataStorage::Store(Archive& archive) const
{
    archive << static_cast<std::int32_t>(GetType()) << GetCount() << static_cast<std::uint8_t>(m_flags & 0xFFu);
    switch (GetType()) {
    case TypeEmpty:
        break;
    case TypePointer:
        // An address means nothing in another process.
        archive << std::uint32_t{0};
        break;
    case TypeLong:
        archive << std::get<TypeLong>(m_value);
        break;
    case TypeFloat:
        archive << std::get<TypeFloat>(m_value);
        break;
    case TypeLongArray: {
        const auto& block = std::get<TypeLongArray>(m_value);
        archive.Write(block.data(), block.size() * sizeof(std::int32_t));
        break;
    }
    case TypeFloatArray: {
        const auto& block = std::get<TypeFloatArray>(m_value);
        archive.Write(block.data(), block.size() * sizeof(float));
        break;
    }
    case TypeText: {
        const Text& block = std::get<TypeText>(m_value);
        archive.Write(block.data(), block.size());
        break;
    }
    case TypeByteArray: {
        const auto& block = std::get<TypeByteArray>(m_value);
        archive.Write(block.data(), block.size());
        break;
    }
    case TypeObject: {
        // The object's own record: it brings its subtree, not the tree above it. An object whose
        // class the archive cannot carry is written as null.
        const std::uint32_t oid = std::get<TypeObject>(m_value).oid;
        const Base* object = oid == 0 || g_objectDepth >= MaxObjectDepth ? nullptr : Base::GetObjectA(oid);
        const RuntimeClass* record = object ? object->GetRuntimeClass() : nullptr;
        if (!record || !record->IsSerializable())
            object = nullptr;
        const ObjectDepthScope depth;
        archive.WriteObject(object);
        break;
    }
    }
}

void DataStorage::Load(Archive& archive)
{
    const std::size_t typeAt = archive.GetPosition();
    const std::size_t countAt = typeAt + sizeof(std::int32_t);
    std::int32_t type = 0;
    std::int32_t count = 0;
    std::uint8_t flags = 0;
    archive >> type >> count >> flags;

    Value value;
    switch (type) {
    case TypeEmpty:
        break;
    case TypePointer: {
        std::uint32_t address = 0;
        archive >> address;
        value.emplace<TypePointer>(nullptr);
        break;
    }
    case TypeLong:
        archive >> value.emplace<TypeLong>();
        break;
    case TypeFloat:
        archive >> value.emplace<TypeFloat>();
        break;
    case TypeLongArray:
        value.emplace<TypeLongArray>(ReadBlock<std::int32_t>(archive, count, countAt));
        break;
    case TypeFloatArray:
        value.emplace<TypeFloatArray>(ReadBlock<float>(archive, count, countAt));
        break;
    case TypeText: {
        const std::size_t textAt = archive.GetPosition();
        Text block = ReadBlock<char>(archive, count, countAt);
        // A stored text is a C string: one zero byte, at its end.
        if (!block.empty() && std::memchr(block.data(), '\0', block.size()) != &block.back())
            archive.Refuse(ArchiveException::genericException,
                           "a user property text that does not end at its one zero byte", textAt);
        value.emplace<TypeText>(std::move(block));
        break;
    }
    case TypeByteArray:
        value.emplace<TypeByteArray>(ReadBlock<std::uint8_t>(archive, count, countAt));
        break;
    case TypeObject: {
        // Whatever this read creates and nobody else takes is owned by the cell, so it is neither
        // leaked nor deleted under a holder.
        if (g_objectDepth > MaxObjectDepth)
            archive.Refuse(ArchiveException::genericException,
                           "user property objects nested more than " + std::to_string(MaxObjectDepth) + " deep");
        const ObjectDepthScope depth;
        const std::uint32_t lastOID = Base::GetLastOID();
        auto* object = static_cast<Base*>(archive.ReadObject(&Base::GetThisClass()));
        ObjectId& id = value.emplace<TypeObject>();
        if (object) {
            id.oid = object->GetOID();
            Base* top = object;
            if (const TreeNode* node = DynCast<TreeNode>(object))
                top = node->GetRoot();
            if (top->GetOID() > lastOID)
                id.loaded = std::make_shared<const LoadedObject>(top->GetOID());
        }
        break;
    }
    default:
        archive.Refuse(ArchiveException::genericException,
                       "a user property value of unknown type " + std::to_string(type), typeAt);
    }
    m_value = std::move(value);
    m_flags = flags;
}

} // namespace Tavrel
