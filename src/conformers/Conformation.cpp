#include "conformers/Conformation.h"

#include "foundation/PropertyArchive.h"
#include "foundation/PropertyPass.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Conformation, ClassKind::Creatable)

Conformation::Conformation() = default;

Conformation::Conformation(Object* reference, bool twoD) : Object(reference), m_twoD(twoD)
{
    SetDisplayStyle(1);
}

Conformation::Conformation(const Conformation& other) : Object(other), m_twoD(other.m_twoD) {}

bool Conformation::Is2D() const
{
    return m_twoD;
}

void Conformation::GetSetObjectProperties(PropertyArchive& archive)
{
    static PropertyLevel level;
    PropertyPass pass(archive, level, *this);
    if (!pass)
        return;
    pass.Value<Storage::StorageBool>("Conf 2d", m_twoD);
}

} // namespace Tavrel
