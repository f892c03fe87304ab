#include <tavrel/foundation/DataStorage.h>

#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/OwnedObjects.h>
#include <tavrel/foundation/TreeNode.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

// A detached object that loading a TypeObject cell created: deleted with the last cell that holds
// it, unless it has been placed under a parent meanwhile, and with it the nodes its read made that
// nothing has taken since (atoms and bonds reached only through the object's bonds). Found again by
// OID, never by pointer, so an object deleted elsewhere first is simply gone. A cell let go while a
// refused read unwinds leaves those nodes to the read's own sweep, which first settles their links.
struct DataStorage::LoadedObject {
    LoadedObject(std::uint32_t topOID, std::uint32_t lastBefore, std::uint32_t last)
        : oid(topOID), lastOIDBefore(lastBefore), lastOID(last)
    {
        OwnedObjects::Enter(oid);
    }
    LoadedObject(const LoadedObject&) = delete;
    LoadedObject& operator=(const LoadedObject&) = delete;
    ~LoadedObject()
    {
        OwnedObjects::Leave(oid);
        Base* top = Base::GetObjectA(oid);
        const TreeNode* node = DynCast<TreeNode>(top);
        if (node && node->GetParent())
            return;
        delete top;
        if (std::uncaught_exceptions() == 0)
            TreeNode::DeleteParentlessSince(lastOIDBefore, lastOID);
    }

    std::uint32_t oid;
    std::uint32_t lastOIDBefore;  // the OIDs the read made
    std::uint32_t lastOID;
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

// Bytes per element of the types held in a block.
std::size_t ElementSize(DataStorage::Type type)
{
    return type == DataStorage::TypeLongArray || type == DataStorage::TypeFloatArray ? 4 : 1;
}

} // namespace

// An owned array or text: the element count, then the elements. Never empty: a cell without
// elements holds no block.
struct DataStorage::Block {
    std::int32_t count;

    // A block of count elements of the given size, copied from source when there is one; null when
    // count is not positive.
    static Block* Make(std::int32_t count, std::size_t elementSize, const void* source)
    {
        if (count <= 0)
            return nullptr;
        void* memory = ::operator new(sizeof(Block) + static_cast<std::size_t>(count) * elementSize);
        Block* block = new (memory) Block{count};
        if (source)
            std::memcpy(block->Bytes(), source, static_cast<std::size_t>(count) * elementSize);
        return block;
    }
    static void Free(Block* block) noexcept { ::operator delete(block); }

    unsigned char* Bytes() { return reinterpret_cast<unsigned char*>(this + 1); }
    const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(this + 1); }
    template <class T>
    const T* Elements() const
    {
        return reinterpret_cast<const T*>(Bytes());
    }
};

static_assert(sizeof(DataStorage) == 16, "a cell is a value word, its flags and its type");

// Stored object identifier of a TypeObject cell, with the detached object that loading the cell
// created, if any (shared by the cell's copies).
struct DataStorage::ObjectId {
    std::uint32_t oid = 0;
    std::shared_ptr<const LoadedObject> loaded;
};

namespace {

// The block of a cell whose values come from a caller: null for a negative count or no values.
template <class T>
std::int32_t CopiedCount(std::int32_t count, const T* values)
{
    return values ? count : 0;
}

} // namespace

DataStorage::DataStorage() = default;

bool DataStorage::OwnsLoadedObject() const
{
    return m_type == TypeObject && m_value.object && m_value.object->loaded;
}

DataStorage::DataStorage(std::int32_t value, std::uint32_t flags) : m_flags(flags), m_type(TypeLong)
{
    m_value.integer = value;
}

DataStorage::DataStorage(float value, std::uint32_t flags) : m_flags(flags), m_type(TypeFloat)
{
    m_value.real = value;
}

DataStorage::DataStorage(void* value, std::uint32_t flags) : m_flags(flags), m_type(TypePointer)
{
    m_value.pointer = value;
}

DataStorage::DataStorage(std::int32_t count, const std::int32_t* values, std::uint32_t flags)
    : m_flags(flags), m_type(TypeLongArray)
{
    m_value.block = Block::Make(CopiedCount(count, values), sizeof(std::int32_t), values);
}

DataStorage::DataStorage(std::int32_t count, const float* values, std::uint32_t flags)
    : m_flags(flags), m_type(TypeFloatArray)
{
    m_value.block = Block::Make(CopiedCount(count, values), sizeof(float), values);
}

DataStorage::DataStorage(std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags)
    : m_flags(flags), m_type(TypeByteArray)
{
    m_value.block = Block::Make(CopiedCount(count, bytes), 1, bytes);
}

DataStorage::DataStorage(const char* text, std::uint32_t flags) : m_flags(flags), m_type(TypeText)
{
    if (text)
        m_value.block = Block::Make(static_cast<std::int32_t>(std::strlen(text) + 1), 1, text);
}

DataStorage::DataStorage(const Base* object, std::uint32_t flags) : m_flags(flags), m_type(TypeObject)
{
    m_value.object = new ObjectId{object ? object->GetOID() : 0u, nullptr};
}

DataStorage::DataStorage(const DataStorage& other) : m_flags(other.m_flags), m_type(other.m_type)
{
    CopyValue(other);
}

DataStorage::DataStorage(DataStorage&& other) noexcept
    : m_value(other.m_value), m_flags(other.m_flags), m_type(other.m_type)
{
    other.m_type = TypeEmpty;
}

DataStorage& DataStorage::operator=(const DataStorage& other)
{
    if (this != &other) {
        DataStorage copy(other);
        *this = std::move(copy);
    }
    return *this;
}

DataStorage& DataStorage::operator=(DataStorage&& other) noexcept
{
    if (this != &other) {
        Release();
        m_value = other.m_value;
        m_flags = other.m_flags;
        m_type = other.m_type;
        other.m_type = TypeEmpty;
    }
    return *this;
}

DataStorage::~DataStorage()
{
    Release();
}

bool DataStorage::HoldsBlock() const
{
    return m_type == TypeLongArray || m_type == TypeFloatArray || m_type == TypeText || m_type == TypeByteArray;
}

void DataStorage::Release() noexcept
{
    if (HoldsBlock())
        Block::Free(m_value.block);
    else if (m_type == TypeObject)
        delete m_value.object;
    m_type = TypeEmpty;
}

void DataStorage::CopyValue(const DataStorage& other)
{
    if (HoldsBlock()) {
        const Block* block = other.m_value.block;
        m_value.block = block ? Block::Make(block->count, ElementSize(GetType()), block->Bytes()) : nullptr;
    } else if (m_type == TypeObject) {
        m_value.object = new ObjectId(*other.m_value.object);
    } else {
        m_value = other.m_value;
    }
}

std::int32_t DataStorage::GetCount() const
{
    if (HoldsBlock())
        return m_value.block ? m_value.block->count : 0;
    return m_type == TypeEmpty ? 0 : 1;
}

bool DataStorage::Get(std::int32_t& value) const
{
    if (m_type != TypeLong)
        return false;
    value = m_value.integer;
    return true;
}

bool DataStorage::Get(std::int32_t& count, const std::int32_t*& values) const
{
    if (m_type != TypeLongArray)
        return false;
    count = GetCount();
    values = m_value.block ? m_value.block->Elements<std::int32_t>() : nullptr;
    return true;
}

bool DataStorage::Get(float& value) const
{
    if (m_type != TypeFloat)
        return false;
    value = m_value.real;
    return true;
}

bool DataStorage::Get(std::int32_t& count, const float*& values) const
{
    if (m_type != TypeFloatArray)
        return false;
    count = GetCount();
    values = m_value.block ? m_value.block->Elements<float>() : nullptr;
    return true;
}

bool DataStorage::Get(void*& value) const
{
    if (m_type != TypePointer)
        return false;
    value = m_value.pointer;
    return true;
}

bool DataStorage::Get(const char*& text) const
{
    if (m_type != TypeText)
        return false;
    text = m_value.block ? m_value.block->Elements<char>() : nullptr;
    return true;
}

bool DataStorage::Get(std::int32_t& count, const std::uint8_t*& bytes) const
{
    if (m_type != TypeByteArray)
        return false;
    count = GetCount();
    bytes = m_value.block ? m_value.block->Elements<std::uint8_t>() : nullptr;
    return true;
}

bool DataStorage::Get(Base*& object) const
{
    if (m_type != TypeObject)
        return false;
    const std::uint32_t oid = m_value.object->oid;
    object = oid == 0 ? nullptr : Base::GetObjectA(oid);
    return true;
}

bool DataStorage::SetFromString(std::string_view text, std::uint32_t flags)
{
    m_flags = flags;
    switch (GetType()) {
    case TypeLong:
        return StringUtils::StringToInteger(text, m_value.integer);
    case TypeFloat:
        return StringUtils::StringToReal(text, m_value.real);
    case TypeText: {
        // The text ends at its first zero byte, as a C string would.
        const std::string_view taken = text.substr(0, text.find('\0'));
        Block* block = Block::Make(static_cast<std::int32_t>(taken.size() + 1), 1, nullptr);
        std::memcpy(block->Bytes(), taken.data(), taken.size());
        block->Bytes()[taken.size()] = '\0';
        Block::Free(m_value.block);
        m_value.block = block;
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
        return StringUtils::Format("%d", m_value.integer);
    case TypeFloat:
        return StringUtils::Format("%f", m_value.real);
    case TypeText:
        return m_value.block ? std::string(m_value.block->Elements<char>()) : std::string();
    default:
        return {};
    }
}

std::string DataStorage::GetAsString(std::int32_t width, std::int32_t precision) const
{
    switch (GetType()) {
    case TypeLong:
        return StringUtils::Format("%*d", width, m_value.integer);
    case TypeFloat:
        return StringUtils::Format("%*.*f", width, precision, m_value.real);
    case TypeText:
        return StringUtils::Format("%*s", width, m_value.block ? m_value.block->Elements<char>() : "");
    default:
        return {};
    }
}

void DataStorage::SetPrivate(bool set)
{
    if (set)
        m_flags = 0;
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
        archive << m_value.integer;
        break;
    case TypeFloat:
        archive << m_value.real;
        break;
    case TypeLongArray:
    case TypeFloatArray:
    case TypeText:
    case TypeByteArray:
        if (const Block* block = m_value.block)
            archive.Write(block->Bytes(), static_cast<std::size_t>(block->count) * ElementSize(GetType()));
        break;
    case TypeObject: {
        // The object's own record: it brings its subtree, not the tree above it. An object whose
        // class the archive cannot carry is written as null.
        const std::uint32_t oid = m_value.object->oid;
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

    DataStorage loaded;
    switch (type) {
    case TypeEmpty:
        break;
    case TypePointer: {
        std::uint32_t address = 0;
        archive >> address;
        loaded = DataStorage(static_cast<void*>(nullptr), flags);
        break;
    }
    case TypeLong:
        archive >> loaded.m_value.integer;
        break;
    case TypeFloat:
        archive >> loaded.m_value.real;
        break;
    case TypeLongArray:
    case TypeFloatArray:
    case TypeText:
    case TypeByteArray: {
        // Counts that the remaining input cannot hold are refused before anything is allocated.
        const std::size_t elementSize = ElementSize(static_cast<Type>(type));
        if (count < 0)
            archive.Refuse(ArchiveException::genericException,
                           "a user property value of " + std::to_string(count) + " elements", countAt);
        if (static_cast<std::size_t>(count) > archive.GetRemaining() / elementSize)
            archive.Refuse(ArchiveException::endOfFile,
                           "a user property value of " + std::to_string(count) + " elements of " +
                               std::to_string(elementSize) + " bytes, " + std::to_string(archive.GetRemaining()) +
                               " bytes left",
                           countAt);
        const std::size_t blockAt = archive.GetPosition();
        loaded.m_type = static_cast<std::uint8_t>(type);
        loaded.m_value.block = Block::Make(count, elementSize, nullptr);
        if (Block* block = loaded.m_value.block)
            archive.Read(block->Bytes(), static_cast<std::size_t>(count) * elementSize);
        // A stored text is a C string: one zero byte, at its end.
        const Block* text = type == TypeText ? loaded.m_value.block : nullptr;
        if (text && std::memchr(text->Bytes(), '\0', static_cast<std::size_t>(count)) != text->Bytes() + count - 1)
            archive.Refuse(ArchiveException::genericException,
                           "a user property text that does not end at its one zero byte", blockAt);
        break;
    }
    case TypeObject: {
        // Whatever this read creates and nobody else takes is owned by the cell, so it is neither
        // leaked nor deleted under a holder.
        if (g_objectDepth > MaxObjectDepth)
            archive.Refuse(ArchiveException::genericException,
                           "user property objects nested more than " + std::to_string(MaxObjectDepth) + " deep");
        const ObjectDepthScope depth;
        const std::uint32_t lastOID = Base::GetLastOID();
        auto* object = static_cast<Base*>(archive.ReadObject(&Base::GetThisClass()));
        loaded = DataStorage(static_cast<const Base*>(nullptr), flags);
        if (object) {
            ObjectId& id = *loaded.m_value.object;
            id.oid = object->GetOID();
            Base* top = object;
            if (const TreeNode* node = DynCast<TreeNode>(object))
                top = node->GetRoot();
            if (top->GetOID() > lastOID)
                id.loaded = std::make_shared<const LoadedObject>(top->GetOID(), lastOID, Base::GetLastOID());
        }
        break;
    }
    default:
        archive.Refuse(ArchiveException::genericException,
                       "a user property value of unknown type " + std::to_string(type), typeAt);
    }
    loaded.m_type = static_cast<std::uint8_t>(type);
    loaded.m_flags = flags;
    *this = std::move(loaded);
}

} // namespace Tavrel
