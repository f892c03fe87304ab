#include <tavrel/foundation/OIV.h>

#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/CopyEnumerator.h>
#include <tavrel/foundation/Enumerator.h>
#include <tavrel/foundation/Iterator.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

// Appends a reference to each object it visits, null included.
class ReferenceCollector : public Enumerator {
public:
    explicit ReferenceCollector(OIV::Array& out) : Enumerator(nullptr), m_out(out) {}
    bool Enumerate(Object* object, int) override
    {
        m_out.Add(OIV(object));
        return true;
    }

private:
    OIV::Array& m_out;
};

// The smallest stored reference: an empty path's length byte and the count.
constexpr std::size_t MinimumStoredSize = 1 + 4;

} // namespace

OIV::OIV(const Object* object)
    : m_data(object ? std::make_shared<const Data>(Data{object->GetInvariant(), object->GetOID()}) : nullptr)
{
}

OIV::OIV(const TreeRoot& root, std::uint32_t oid) : OIV(Validate(root, oid)) {}

bool OIV::operator==(const OIV& other) const
{
    if (m_data == other.m_data)
        return true;
    if (!m_data || !other.m_data)
        return false;
    if (m_data->oid != 0 && other.m_data->oid != 0)
        return m_data->oid == other.m_data->oid;
    return m_data->path == other.m_data->path;
}

std::string OIV::GetPath() const
{
    return m_data ? m_data->path : std::string();
}

Object* OIV::GetObjectA(const TreeRoot& root) const
{
    if (!m_data || m_data->path.empty())
        return nullptr;
    return DynCast<Object>(root.FindInvariant(m_data->path));
}

Object* OIV::GetObjectA(const TreeRoot& root, std::uint32_t classType) const
{
    Object* const object = GetObjectA(root);
    return object && object->IsA(classType) ? object : nullptr;
}

std::uint32_t OIV::GetOID(const TreeRoot& root) const
{
    const Object* const object = GetObjectA(root);
    return object ? object->GetOID() : 0;
}

std::uint32_t OIV::GetOID(const TreeRoot& root, std::uint32_t classType) const
{
    const Object* const object = GetObjectA(root, classType);
    return object ? object->GetOID() : 0;
}

bool OIV::IsA(const TreeRoot& root, std::uint32_t classType) const
{
    return GetObjectA(root, classType) != nullptr;
}

bool OIV::IsValid(const TreeRoot& root) const
{
    return GetObjectA(root) != nullptr;
}

bool OIV::IsValid(const TreeRoot& root, std::uint32_t classType) const
{
    return IsA(root, classType);
}

void OIV::Serialize(Archive& archive)
{
    if (archive.IsStoring())
        Store(archive);
    else
        Load(archive);
}

void OIV::Store(Archive& archive) const
{
    archive << GetPath() << static_cast<std::uint32_t>(m_data ? m_data.use_count() : 0);
}

void OIV::Load(Archive& archive)
{
    std::string path;
    std::uint32_t shares = 0;
    archive >> path >> shares;
    m_data = path.empty() ? nullptr : std::make_shared<const Data>(Data{std::move(path), 0});
}

void OIV::GetOIVArray(const BaseCollection& collection, Array& out)
{
    out.AddObjects(collection);
}

const Object* OIV::Validate(const TreeRoot& root, std::uint32_t oid)
{
    if (oid == 0)
        return nullptr;
    const Object* const object = Object::GetObjectA(oid);
    if (!object || (object != &root && !object->IsInSubtreeOf(&root)))
        return nullptr;
    return object;
}

// ---- Array

OIV::Array::Array(const BaseCollection& collection)
{
    AddObjects(collection);
}

OIV::Array::Array(const Iterator& iterator)
{
    AddObjects(iterator);
}

OIV::Array& OIV::Array::operator=(const BaseCollection& collection)
{
    m_references.clear();
    AddObjects(collection);
    return *this;
}

int OIV::Array::AddObjects(const TreeRoot& root, const OIDArray& oids)
{
    for (const std::uint32_t oid : oids)
        m_references.emplace_back(root, oid);
    return GetSize();
}

int OIV::Array::AddObjects(const BaseCollection& collection)
{
    ReferenceCollector collector(*this);
    return collection.Enumerate(collector) ? 1 : 0;
}

int OIV::Array::AddObjects(const Iterator& iterator)
{
    ReferenceCollector collector(*this);
    return iterator.Copy()->Enumerate(collector) ? 1 : 0;
}

bool OIV::Array::Enumerate(const TreeRoot& root, Enumerator& enumerator) const
{
    if (!enumerator.Initialize())
        return false;
    bool result = false;
    for (std::size_t i = 0; i < m_references.size(); ++i) {
        Object* const object = m_references[i].GetObjectA(root);
        if (!object)
            continue;
        result = enumerator.Enumerate(object, static_cast<int>(i));
        if (!result)
            break;
    }
    enumerator.Finalize();
    return result;
}

int OIV::Array::GetObjects(const TreeRoot& root, BaseCollection& out) const
{
    CopyEnumerator copier(out, nullptr);
    Enumerate(root, copier);
    return copier.GetCount();
}

int OIV::Array::GetObjects(const TreeRoot& root, const Filter& filter, BaseCollection& out) const
{
    CopyEnumerator copier(out, &filter);
    Enumerate(root, copier);
    return copier.GetCount();
}

int OIV::Array::GetObjects(const TreeRoot& root, OIDArray& oids) const
{
    int appended = 0;
    for (const OIV& reference : m_references) {
        if (const std::uint32_t oid = reference.GetOID(root)) {
            oids.push_back(oid);
            ++appended;
        }
    }
    return appended;
}

void OIV::Array::Serialize(Archive& archive)
{
    if (archive.IsStoring()) {
        archive.WriteCount(static_cast<std::uint32_t>(m_references.size()));
        for (const OIV& reference : m_references)
            reference.Store(archive);
        return;
    }
    // Read whole before anything changes, so a refused input leaves the array as it was.
    const std::uint32_t count = archive.ReadCount(MinimumStoredSize);
    std::vector<OIV> loaded(count);
    for (OIV& reference : loaded)
        reference.Load(archive);
    m_references = std::move(loaded);
}

} // namespace Tavrel
