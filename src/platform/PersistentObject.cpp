#include <tavrel/platform/PersistentObject.h>

#include <string>
#include <unordered_map>

namespace Tavrel {

namespace {
std::unordered_map<std::string, const RuntimeClass*>& ClassRecords()
{
    static std::unordered_map<std::string, const RuntimeClass*> records;
    return records;
}
} // namespace

bool RuntimeClass::IsDerivedFrom(const RuntimeClass* other) const noexcept
{
    for (const RuntimeClass* record = this; record; record = record->baseClass) {
        if (record == other)
            return true;
    }
    return false;
}

void RuntimeClass::Register(const RuntimeClass& record)
{
    ClassRecords().try_emplace(record.className, &record);
}

const RuntimeClass* RuntimeClass::Find(std::string_view className) noexcept
{
    const auto& records = ClassRecords();
    const auto found = records.find(std::string(className));
    return found == records.end() ? nullptr : found->second;
}

const RuntimeClass& PersistentObject::GetThisClass() noexcept
{
    static const RuntimeClass record{"PersistentObject", RuntimeClass::DynamicOnly, nullptr, nullptr};
    return record;
}

const RuntimeClass* PersistentObject::GetRuntimeClass() const
{
    return &GetThisClass();
}

void PersistentObject::Serialize(Archive&) {}

bool PersistentObject::IsKindOf(const RuntimeClass* record) const noexcept
{
    return GetRuntimeClass()->IsDerivedFrom(record);
}

} // namespace Tavrel
