#include "graphics/Geometric2d.h"

#include "foundation/PropertyArchive.h"
#include "foundation/PropertyPass.h"
#include "platform/Archive.h"

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(Geometric2d, ClassKind::Creatable)

Geometric2d::Geometric2d() = default;

Geometric2d::Geometric2d(Object* parent) : Geometric(parent) {}

Geometric2d::Geometric2d(const Geometric2d& other) = default;

Point2d Geometric2d::GetXY() const
{
    return m_xy;
}

void Geometric2d::SetXY(const Point2d& position)
{
    m_xy = position;
}

void Geometric2d::GetSetObjectProperties(PropertyArchive& archive)
{
    static PropertyLevel level;
    PropertyPass pass(archive, level, *this);
    if (!pass)
        return;
    pass.Archived("XY", m_xy);
}

void Geometric2d::Serialize(Archive& archive)
{
    Geometric::Serialize(archive);
    if (archive.IsStoring()) {
        archive << m_xy;
    } else {
        Point2d position;
        archive >> position;
        m_xy = position;
    }
}

} // namespace Tavrel
