#include "foundation/Property.h"

#include <algorithm>
#include <utility>

#include "platform/Archive.h"

namespace Tavrel {

namespace {

// The fewest bytes one stored cell can take: a one-byte name length, type, count and flags.
constexpr std::size_t MinimumEntrySize = 1 + 4 + 4 + 1;

} // namespace

const RuntimeClass& Property::GetThisClass() noexcept
{
    static const RuntimeClass record{className, RuntimeClass::VersionableSchema | 13u, &Property::CreateObject,
                                     &PersistentObject::GetThisClass()};
    return record;
}

PersistentObject* Property::CreateObject()
{
    return new Property();
}

Property::Property() = default;

Property::Property(const Property& other) : PersistentObject(other), m_cells(other.m_cells)
{
    RebuildOrder(other);
}

Property::Property(Property&& other) noexcept
    : PersistentObject(other), m_cells(std::move(other.m_cells)), m_order(std::move(other.m_order))
{
    other.m_cells.clear();
    other.m_order.clear();
}

Property& Property::operator=(const Property& other)
{
    if (this != &other) {
        Property copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Property& Property::operator=(Property&& other) noexcept
{
    if (this != &other) {
        m_cells = std::move(other.m_cells);
        m_order = std::move(other.m_order);
        other.m_cells.clear();
        other.m_order.clear();
    }
    return *this;
}

Property::~Property() = default;

void Property::RebuildOrder(const Property& other)
{
    m_order.clear();
    m_order.reserve(other.m_order.size());
    for (const Cells::value_type* entry : other.m_order)
        m_order.push_back(&*m_cells.find(entry->first));
}

const DataStorage* Property::Find(std::string_view name) const
{
    const auto found = m_cells.find(name);
    return found == m_cells.end() ? nullptr : &found->second;
}

DataStorage* Property::Find(std::string_view name)
{
    const auto found = m_cells.find(name);
    return found == m_cells.end() ? nullptr : &found->second;
}

void Property::Put(std::string_view name, DataStorage&& cell)
{
    if (DataStorage* existing = Find(name)) {
        *existing = std::move(cell);
        return;
    }
    m_order.push_back(&*m_cells.emplace(std::string(name), std::move(cell)).first);
}

void Property::SetProperty(std::string_view name)
{
    Put(name, DataStorage());
}

void Property::SetProperty(std::string_view name, std::int32_t value, std::uint32_t flags)
{
    Put(name, DataStorage(value, flags));
}

void Property::SetProperty(std::string_view name, float value, std::uint32_t flags)
{
    Put(name, DataStorage(value, flags));
}

void Property::SetProperty(std::string_view name, void* value, std::uint32_t flags)
{
    Put(name, DataStorage(value, flags));
}

void Property::SetProperty(std::string_view name, std::int32_t count, const std::int32_t* values, std::uint32_t flags)
{
    Put(name, DataStorage(count, values, flags));
}

void Property::SetProperty(std::string_view name, std::int32_t count, const float* values, std::uint32_t flags)
{
    Put(name, DataStorage(count, values, flags));
}

void Property::SetProperty(std::string_view name, std::int32_t count, const std::uint8_t* bytes, std::uint32_t flags)
{
    Put(name, DataStorage(count, bytes, flags));
}

void Property::SetProperty(std::string_view name, const char* text, std::uint32_t flags)
{
    Put(name, DataStorage(text, flags));
}

void Property::SetProperty(std::string_view name, const Base* object, std::uint32_t flags)
{
    Put(name, DataStorage(object, flags));
}

Property::PropertyStatus Property::SetPropertyFromString(std::string_view name, std::string_view text,
                                                         std::uint32_t flags)
{
    if (DataStorage* cell = Find(name))
        return cell->SetFromString(text, flags) ? StatusSet : StatusFailed;
    DataStorage created(static_cast<const char*>(nullptr), flags);
    created.SetFromString(text, flags);
    Put(name, std::move(created));
    return StatusCreated;
}

bool Property::GetProperty(std::string_view name, std::int32_t& value) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(value);
}

bool Property::GetProperty(std::string_view name, std::int32_t& count, const std::int32_t*& values) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(count, values);
}

bool Property::GetProperty(std::string_view name, float& value) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(value);
}

bool Property::GetProperty(std::string_view name, std::int32_t& count, const float*& values) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(count, values);
}

bool Property::GetProperty(std::string_view name, void*& value) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(value);
}

bool Property::GetProperty(std::string_view name, const char*& text) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(text);
}

bool Property::GetProperty(std::string_view name, std::int32_t& count, const std::uint8_t*& bytes) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(count, bytes);
}

bool Property::GetProperty(std::string_view name, Base*& object) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->Get(object);
}

void Property::RemoveProperty(std::string_view name)
{
    const auto found = m_cells.find(name);
    if (found == m_cells.end())
        return;
    m_order.erase(std::find(m_order.begin(), m_order.end(), &*found));
    m_cells.erase(found);
}

std::string Property::GetPropertyAsString(std::string_view name) const
{
    const DataStorage* cell = Find(name);
    return cell ? cell->GetAsString() : std::string();
}

std::string Property::GetPropertyAsString(std::string_view name, std::int32_t width, std::int32_t precision) const
{
    const DataStorage* cell = Find(name);
    return cell ? cell->GetAsString(width, precision) : std::string();
}

std::string Property::GetPropertyName(std::int32_t index) const
{
    if (index < 0 || index >= GetNumProperties())
        return {};
    return m_order[static_cast<std::size_t>(index)]->first;
}

std::int32_t Property::GetNumTemporaries() const
{
    return static_cast<std::int32_t>(
        std::count_if(m_order.begin(), m_order.end(), [](const auto* entry) { return entry->second.IsTemporary(); }));
}

void Property::SetTemporary(std::string_view name, bool set)
{
    if (DataStorage* cell = Find(name))
        cell->SetTemporary(set);
}

void Property::SetReadable(std::string_view name, bool set)
{
    if (DataStorage* cell = Find(name))
        cell->SetReadable(set);
}

void Property::SetWritable(std::string_view name, bool set)
{
    if (DataStorage* cell = Find(name))
        cell->SetWritable(set);
}

bool Property::IsTemporary(std::string_view name) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->IsTemporary();
}

bool Property::IsReadable(std::string_view name) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->IsReadable();
}

bool Property::IsWritable(std::string_view name) const
{
    const DataStorage* cell = Find(name);
    return cell && cell->IsWritable();
}

void Property::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        archive << (GetNumProperties() - GetNumTemporaries());
        for (Cells::value_type* entry : m_order) {
            if (entry->second.IsTemporary())
                continue;
            archive << entry->first;
            entry->second.Serialize(archive);
        }
        return;
    }

    const std::size_t at = archive.GetPosition();
    std::int32_t count = 0;
    archive >> count;
    if (count < 1)
        return;
    if (static_cast<std::size_t>(count) > archive.GetRemaining() / MinimumEntrySize)
        archive.Refuse(ArchiveException::endOfFile,
                       "a table of " + std::to_string(count) + " user properties, " +
                           std::to_string(archive.GetRemaining()) + " bytes left",
                       at);
    Property loaded;
    for (std::int32_t i = 0; i < count; ++i) {
        std::string name;
        archive >> name;
        DataStorage cell;
        cell.Serialize(archive);
        loaded.Put(name, std::move(cell));
    }
    *this = std::move(loaded);
}

} // namespace Tavrel
