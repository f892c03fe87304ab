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

void PropertyPass::Complete()
{
    if (std::uncaught_exceptions() == m_exceptions)
        m_level.m_complete = true;
}

void PropertyPass::OwnNames(const PropertyTable& table)
{
    for (const PropertyEntry& entry : table.Entries()) {
        if (entry.Has(PropertyEntry::Persisted))
            m_level.m_names.emplace(entry.name);
    }
}

void PropertyPass::Table(const PropertyTable& table)
{
    if (!m_active)
        return;
    switch (m_method) {
    case PropertyArchive::MethodBefore:
    case PropertyArchive::MethodAfter:
        if (const RecordHook hook = m_method == PropertyArchive::MethodBefore ? table.GetBefore() : table.GetAfter())
            hook(m_object, m_archive.GetArchive(), &m_archive);
        return;
    case PropertyArchive::MethodArraySize:
        for (const PropertyEntry& entry : table.Entries()) {
            if (entry.resize && Reach(entry.name) && Matches(entry.name))
                entry.resize(m_object, static_cast<std::size_t>(std::max(m_archive.GetArraySize(), std::int32_t{0})));
        }
        return;
    default:
        break;
    }
    for (const PropertyEntry& entry : table.Entries()) {
        if (entry.Has(PropertyEntry::Persisted))
            Entry(entry.name, entry.Has(PropertyEntry::Array), [&] { entry.write(*this, entry.name, m_object); },
                  [&] { entry.read(*this, entry.name, m_object); });
    }
}

std::string_view PropertyPass::PlanClassName() const
{
    return m_plan->GetClassName();
}

void PropertyPass::WriteUnsettledName(std::string_view name, bool isArray)
{
    if (!m_plan || !m_plan->IsNamed(m_position))
        m_archive.WritePropertyName(m_className, name, isArray);
}

void PropertyPass::WriteUnsettledType(std::string_view name, Storage::StorageType code)
{
    if (!m_plan || m_plan->GetTypeCode(m_position) == -1)
        m_archive.WritePropertyType(m_className, name, code);
}

void PropertyPass::WriteBlock(std::string_view name, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX))
        throw ArchiveException(ArchiveException::genericException, {},
                               "byte block of property \"" + std::string(name) + "\" is too long");
    WriteType(name, Storage::StorageArchive);
    Archive& stream = m_archive.GetArchive();
    stream << static_cast<std::int32_t>(bytes.size());
    stream.Write(bytes.data(), bytes.size());
}

void PropertyPass::RefuseBlockLength() const
{
    // The length has been read: the block starts four bytes back.
    const Archive& stream = m_archive.GetArchive();
    stream.Refuse(ArchiveException::endOfFile,
                  "byte block of property " + ArchiveException::Quote(m_name) + " is longer than the input",
                  stream.GetPosition() - sizeof(std::int32_t));
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
