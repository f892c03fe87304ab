#include <tavrel/foundation/Catalog.h>

#include <tavrel/foundation/PropertyArchive.h>

namespace Tavrel {

void Catalog::WriteProperties(PropertyArchive& archive, std::uint32_t oid)
{
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
