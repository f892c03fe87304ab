#include <tavrel/foundation/Catalog.h>

#include <tavrel/foundation/PropertyArchive.h>

namespace Tavrel {

void Catalog::WriteProperties(PropertyArchive& archive, std::uint32_t oid)
{
    // The record's own OID is in the stream from here on: a reference back to it from an object it
    // opens is a reference, not a second copy of the record.
    if (!archive.IsOID(oid))
        archive.AddOIDMapEntry(oid, oid);
    archive.WriteRecord(*this, oid);
}

Base* Catalog::ReadProperties(PropertyArchive& archive)
{
    return archive.ReadRecord();
}

std::int32_t Catalog::GetNumberOfProperties(PropertyArchive& archive)
{
    const PropertyArchive::MethodType method = archive.GetMethodType();
    archive.SetMethodType(PropertyArchive::MethodCount);
    archive.ResetNumberOfProperties();
    GetSetObjectProperties(archive);
    archive.SetMethodType(method);
    return archive.GetNumberOfProperties();
}

} // namespace Tavrel
