#include <tavrel/foundation/PropertyPass.h>

#include <algorithm>
#include <cstdint>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/PropertyPlan.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

PropertyLevel PropertyPass::s_plannedLevel = [] {
    PropertyLevel complete;
    complete.m_complete = true;
    return complete;
}();

void PropertyPass::CountLevel()
{
    if (m_archive.m_compiling)
        m_archive.m_compiling->AddLevel();
}

void PropertyPass::Complete()
{
    if (std::uncaught_exceptions() == m_exceptions)
        m_level.m_complete = true;
}

void PropertyPass::Table(const PropertyTable& table)
{
    // The level owns its table's names whatever its first pass is (a record starts with MethodBefore).
    for (const PropertyEntry& entry : table.Entries()) {
        if (entry.Has(PropertyEntry::Persisted))
            Reach(entry.name);
    }
    if (m_method == PropertyArchive::MethodCount && m_archive.m_compiling)
        m_archive.m_compiling->AddTable(table);
    if (m_method == PropertyArchive::MethodAfter) {
        if (const PropertyHook after = table.GetAfter())
            after(m_object, m_archive);
        return;
    }
    if (m_method == PropertyArchive::MethodArraySize) {
        for (const PropertyEntry& entry : table.Entries()) {
            if (entry.resize && Matches(entry.name))
                entry.resize(m_object, static_cast<std::size_t>(std::max(m_archive.GetArraySize(), std::int32_t{0})));
        }
        return;
    }
    // Table lines act in these passes only.
    if (m_method != PropertyArchive::MethodCount && m_method != PropertyArchive::MethodWrite &&
        m_method != PropertyArchive::MethodRead)
        return;
    for (const PropertyEntry& entry : table.Entries()) {
        if (entry.Has(PropertyEntry::Persisted))
            Entry(entry.name, entry.Has(PropertyEntry::Array), [&] { entry.write(*this, entry.name, m_object); },
                  [&] { entry.read(*this, entry.name, m_object); });
    }
}

void PropertyPass::WriteBlock(std::string_view name, const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX))
        throw ArchiveException(ArchiveException::genericException, {},
                               "byte block of property \"" + std::string(name) + "\" is too long");
    m_archive.WritePropertyType(m_className, name, Storage::StorageArchive);
    Archive& stream = m_archive.GetArchive();
    stream << static_cast<std::int32_t>(bytes.size());
    stream.Write(bytes.data(), bytes.size());
}

std::size_t PropertyPass::ReadBlockLength(std::string_view name)
{
    Archive& stream = m_archive.GetArchive();
    std::int32_t length = 0;
    stream >> length;
    if (length < 0 || static_cast<std::size_t>(length) > stream.GetRemaining())
        throw ArchiveException(ArchiveException::endOfFile, {},
                               "byte block of property \"" + std::string(name) + "\" is longer than the input");
    return static_cast<std::size_t>(length);
}

bool PropertyPass::Matches(std::string_view name) const
{
    return StringUtils::EqualsNoCase(m_archive.GetPropertyName(), name);
}

void PropertyPass::CheckCount(std::string_view name, std::size_t count) const
{
    if (count > static_cast<std::size_t>(INT32_MAX))
        m_archive.GetArchive().Refuse(ArchiveException::genericException,
                                      "array property " + ArchiveException::Quote(name) + " has " +
                                          std::to_string(count) + " elements, too many to store");
}

const Storage* PropertyPass::Peek(Storage::StorageType code) const
{
    const Storage* stored = m_archive.PeekProperty();
    return stored && stored->GetStorageType() == code ? stored : nullptr;
}

const Storage* PropertyPass::Take(Storage::StorageType code)
{
    const Storage* stored = Peek(code);
    if (stored)
        m_archive.TakeProperty();
    return stored;
}

} // namespace Tavrel
