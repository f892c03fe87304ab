#include <tavrel/foundation/Property.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tavrel/foundation/PooledBlock.h>
#include <tavrel/platform/Archive.h>

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

// The entries of a table of more than one, in insertion order, and beyond SmallTable entries an
// index of their positions by name.
struct Property::Table {
    static constexpr std::size_t SmallTable = 8;

    void Reindex()
    {
        index.clear();
        if (entries.size() <= SmallTable)
            return;
        index.reserve(entries.size());
        for (std::uint32_t i = 0; i < entries.size(); ++i)
            index.emplace(*entries[i].name, i);
    }

    std::vector<Entry> entries;
    // Keys view the interned names.
    std::unordered_map<std::string_view, std::uint32_t> index;
};

// The entries of a table of two, in one pool slot of their own.
struct Property::Pair : PooledBlock {
    Pair(Entry first, Entry second) : entries{std::move(first), std::move(second)} {}
    // Two scalar cells made in place.
    Pair(UniqueString::StringPtr first, std::int32_t firstValue, UniqueString::StringPtr second,
         std::int32_t secondValue, std::uint32_t flags)
        : entries{{first, DataStorage(firstValue, flags)}, {second, DataStorage(secondValue, flags)}}
    {
    }

    Entry entries[2];
};

Property::Property(const Property& other) : PersistentObject(other), m_table(nullptr)
{
    const std::span<const Entry> entries = other.Entries();
    if (entries.size() == 1) {
        new (&m_one) Entry(entries.front());
        m_form = Form::One;
    } else if (entries.size() == 2) {
        m_pair = new Pair(entries[0], entries[1]);
        m_form = Form::Two;
    } else if (!entries.empty()) {
        auto table = std::make_unique<Table>();
        table->entries.assign(entries.begin(), entries.end());
        table->Reindex();
        m_table = table.release();
        m_form = Form::Many;
    }
}

Property::Property(Property&& other) noexcept : PersistentObject(other), m_table(nullptr)
{
    *this = std::move(other);
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
    if (this == &other)
        return *this;
    Clear();
    if (other.m_form == Form::One) {
        new (&m_one) Entry(std::move(other.m_one));
        m_form = Form::One;
    } else if (other.m_form == Form::Two) {
        m_pair = std::exchange(other.m_pair, nullptr);
        m_form = Form::Two;
        other.m_form = Form::Empty;
    } else if (other.m_form == Form::Many) {
        m_table = std::exchange(other.m_table, nullptr);
        m_form = Form::Many;
        other.m_form = Form::Empty;
    }
    other.Clear();
    return *this;
}

Property::~Property()
{
    Clear();
}

void Property::CopyPropertiesExcept(const Property& other, std::span<const std::string_view> names)
{
    if (this == &other) {
        for (const std::string_view name : names)
            RemoveProperty(name);
        return;
    }
    Clear();
    for (const Entry& entry : other.Entries()) {
        if (std::find(names.begin(), names.end(), *entry.name) == names.end())
            Add(entry.name, DataStorage(entry.cell));
    }
}

void Property::Clear() noexcept
{
    if (m_form == Form::One)
        m_one.~Entry();
    else if (m_form == Form::Two)
        delete m_pair;
    else if (m_form == Form::Many)
        delete m_table;
    m_table = nullptr;
    m_form = Form::Empty;
}

std::int32_t Property::CountTable() const
{
    return static_cast<std::int32_t>(m_table->entries.size());
}

std::span<Property::Entry> Property::Entries()
{
    if (m_form == Form::One)
        return {&m_one, 1};
    if (m_form == Form::Two)
        return m_pair->entries;
    if (m_form == Form::Many)
        return m_table->entries;
    return {};
}

std::span<const Property::Entry> Property::Entries() const
{
    if (m_form == Form::One)
        return {&m_one, 1};
    if (m_form == Form::Two)
        return m_pair->entries;
    if (m_form == Form::Many)
        return m_table->entries;
    return {};
}

const Property::Entry* Property::FindEntry(std::string_view name) const
{
    if (m_form == Form::Many && !m_table->index.empty()) {
        const auto found = m_table->index.find(name);
        return found == m_table->index.end() ? nullptr : &m_table->entries[found->second];
    }
    for (const Entry& entry : Entries())
        if (*entry.name == name)
            return &entry;
    return nullptr;
}

bool Property::HasProperty(const UniqueString& name) const
{
    if (m_form == Form::Many && !m_table->index.empty())
        return m_table->index.contains(name.GetString());
    const std::span<const Entry> entries = Entries();
    return std::any_of(entries.begin(), entries.end(),
                       [&name](const Entry& entry) { return entry.name == name.GetStringPtr(); });
}

const DataStorage* Property::Find(std::string_view name) const
{
    const Entry* entry = FindEntry(name);
    return entry ? &entry->cell : nullptr;
}

DataStorage* Property::Find(std::string_view name)
{
    return const_cast<DataStorage*>(std::as_const(*this).Find(name));
}

void Property::Put(std::string_view name, DataStorage&& cell)
{
    if (DataStorage* existing = Find(name)) {
        *existing = std::move(cell);
        return;
    }
    Add(UniqueString::Intern(name), std::move(cell));
}

void Property::Put(UniqueString::StringPtr name, DataStorage&& cell)
{
    // Interned names are equal exactly when their shared strings are the same.
    if (m_form == Form::Many && !m_table->index.empty()) {
        if (const auto found = m_table->index.find(*name); found != m_table->index.end()) {
            m_table->entries[found->second].cell = std::move(cell);
            return;
        }
    } else {
        for (Entry& entry : Entries())
            if (entry.name == name) {
                entry.cell = std::move(cell);
                return;
            }
    }
    Add(name, std::move(cell));
}

void Property::Add(UniqueString::StringPtr name, DataStorage&& cell)
{
    Entry added{name, std::move(cell)};
    if (m_form == Form::Empty) {
        new (&m_one) Entry(std::move(added));
        m_form = Form::One;
        return;
    }
    if (m_form == Form::One) {
        auto* const pair = new Pair(std::move(m_one), std::move(added));
        m_one.~Entry();
        m_pair = pair;
        m_form = Form::Two;
        return;
    }
    if (m_form == Form::Two) {
        auto table = std::make_unique<Table>();
        table->entries.reserve(3);
        std::move(std::begin(m_pair->entries), std::end(m_pair->entries), std::back_inserter(table->entries));
        delete m_pair;
        m_table = table.release();
        m_form = Form::Many;
    }
    std::vector<Entry>& entries = m_table->entries;
    entries.push_back(std::move(added));
    if (m_table->index.empty())
        m_table->Reindex();
    else
        m_table->index.emplace(*entries.back().name, static_cast<std::uint32_t>(entries.size() - 1));
}

void Property::SetProperty(std::string_view name)
{
    Put(name, DataStorage());
}

void Property::SetProperty(std::string_view name, std::int32_t value, std::uint32_t flags)
{
    Put(name, DataStorage(value, flags));
}

void Property::SetProperty(const UniqueString& name, std::int32_t value, std::uint32_t flags)
{
    Put(name.GetStringPtr(), DataStorage(value, flags));
}

void Property::SetProperties(const UniqueString& first, std::int32_t firstValue, const UniqueString& second,
                             std::int32_t secondValue, std::uint32_t flags)
{
    if (m_form == Form::Empty && first.GetStringPtr() != second.GetStringPtr()) {
        m_pair = new Pair(first.GetStringPtr(), firstValue, second.GetStringPtr(), secondValue, flags);
        m_form = Form::Two;
        return;
    }
    SetProperty(first, firstValue, flags);
    SetProperty(second, secondValue, flags);
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
    const Entry* entry = FindEntry(name);
    if (!entry)
        return;
    if (m_form == Form::One) {
        Clear();
        return;
    }
    if (m_form == Form::Two) {
        Entry kept = std::move(m_pair->entries[entry == m_pair->entries ? 1 : 0]);
        Clear();
        new (&m_one) Entry(std::move(kept));
        m_form = Form::One;
        return;
    }
    std::vector<Entry>& entries = m_table->entries;
    entries.erase(entries.begin() + (entry - entries.data()));
    m_table->Reindex();
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
    return *Entries()[static_cast<std::size_t>(index)].name;
}

std::int32_t Property::GetNumTemporaries() const
{
    const std::span<const Entry> entries = Entries();
    return static_cast<std::int32_t>(
        std::count_if(entries.begin(), entries.end(), [](const Entry& entry) { return entry.cell.IsTemporary(); }));
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
        for (Entry& entry : Entries()) {
            if (entry.cell.IsTemporary())
                continue;
            archive << *entry.name;
            entry.cell.Serialize(archive);
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
    // Both outlive the handler below: a refused read settles before they free anything.
    Property loaded;
    DataStorage cell;
    try {
        for (std::int32_t i = 0; i < count; ++i) {
            const std::size_t nameAt = archive.GetPosition();
            std::string name;
            archive >> name;
            // A cell that owns what its read made is not replaced: its objects would go while the
            // archive can still hand them out by back-reference.
            if (const DataStorage* const earlier = loaded.Find(name); earlier && earlier->OwnsLoadedObject())
                archive.Refuse(ArchiveException::genericException,
                               "the object-valued user property " + ArchiveException::Quote(name) + " named twice",
                               nameAt);
            cell.Serialize(archive);
            loaded.Put(name, std::move(cell));
        }
    } catch (...) {
        // The cells read so far free what their reads made: the read's objects settle their links
        // first, so that none still lists a bond about to go.
        archive.SettleRefused();
        throw;
    }
    *this = std::move(loaded);
}

} // namespace Tavrel
