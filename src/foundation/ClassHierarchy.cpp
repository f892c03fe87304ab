#include <tavrel/foundation/ClassHierarchy.h>

#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

void ClassHierarchy::AddClass(const std::string& name)
{
    m_names.insert(m_names.begin(), name);
}

std::string ClassHierarchy::GetClassNameA() const
{
    return m_names.empty() ? std::string() : m_names.front();
}

PersistentObject* ClassHierarchy::CreateMostKnownDerivedObject() const
{
    for (const std::string& name : m_names) {
        if (PersistentObject* object = RuntimeMap::CreateObject(name))
            return object;
    }
    return nullptr;
}

void ClassHierarchy::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        archive << static_cast<std::int32_t>(m_names.size());
        for (const std::string& name : m_names)
            archive << name;
        return;
    }
    const std::size_t at = archive.GetPosition();
    std::int32_t count = 0;
    archive >> count;
    // Every stored name takes at least its one-byte length.
    if (count < 0 || static_cast<std::size_t>(count) > archive.GetRemaining())
        archive.Refuse(ArchiveException::endOfFile,
                       "a class hierarchy of " + std::to_string(count) + " names, " +
                           std::to_string(archive.GetRemaining()) + " bytes left",
                       at);
    m_names.reserve(m_names.size() + static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        std::string name;
        archive >> name;
        m_names.push_back(std::move(name));
    }
}

} // namespace Tavrel
