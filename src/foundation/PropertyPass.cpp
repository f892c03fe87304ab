#include "foundation/PropertyPass.h"

#include <cstdint>

#include "core/StringUtils.h"
#include "foundation/PropertyTable.h"

namespace Tavrel {

PropertyPass::~PropertyPass()
{
    if (m_active && std::uncaught_exceptions() == m_exceptions)
        m_level.m_complete = true;
}

void PropertyPass::Table(const PropertyTable& table)
{
    for (const PropertyEntry& entry : table.Entries()) {
        if (entry.Has(PropertyEntry::Persisted))
            Line(entry.name, [&] { entry.write(*this, entry.name, m_object); }, [&] { entry.read(*this, entry.name, m_object); });
    }
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
