#include <tavrel/core/AnisotropicDisplacement.h>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

void AnisotropicDisplacement::Serialize(Archive& ar)
{
    if (ar.IsStoring())
        ar << *this;
    else
        ar >> *this;
}

Archive& operator<<(Archive& ar, const AnisotropicDisplacement& d)
{
    for (const float value : d.m_values)
        ar << value;
    return ar;
}

Archive& operator>>(Archive& ar, AnisotropicDisplacement& d)
{
    AnisotropicDisplacement read;
    for (float& value : read.m_values)
        ar >> value;
    d = read;
    return ar;
}

} // namespace Tavrel
