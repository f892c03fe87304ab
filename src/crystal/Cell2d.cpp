#include <tavrel/crystal/Cell2d.h>

#include <tavrel/crystal/Symmetry.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Cell2d)

namespace {

constexpr double DefaultLength = 10.0;
constexpr double DefaultTheta = 90.0;

} // namespace

Cell2d::Cell2d()
{
    MakeTransforms();
}

Cell2d::Cell2d(Object* parent) : Cell(parent)
{
    MakeTransforms();
}

const PropertyTable& Cell2d::Properties()
{
    static const PropertyTable table(PropertyList<Cell2d>()
                                         .Field<Storage::StorageDouble, &Cell2d::m_u>("Cell2D Length 0")
                                         .Field<Storage::StorageDouble, &Cell2d::m_v>("Cell2D Length 1")
                                         .Field<Storage::StorageDouble, &Cell2d::m_theta>("Cell2D Theta")
                                         .AfterRecord([](Cell2d& cell, Archive& archive, PropertyArchive*) {
                                             if (archive.IsLoading())
                                                 cell.RestoreAfterLoad();
                                         }));
    return table;
}

void Cell2d::RestoreAfterLoad()
{
    if (MakeTransforms())
        return;
    m_u = DefaultLength;
    m_v = DefaultLength;
    m_theta = DefaultTheta;
    MakeTransforms();
}

int Cell2d::GetDimensionality() const
{
    return 2;
}

// ---- Frame and parameters

bool Cell2d::MakeTransforms()
{
    double m[9] = {};
    const double lengths[2] = {m_u, m_v};
    CellUtil::PlaneCellMatrixFromParameters(lengths, m_theta, m, CellUtil::OrientationPlane);
    return SetTransformsFromColumns(m);
}

bool Cell2d::ApplyGeometry(double u, double v, double theta)
{
    const double old[3] = {m_u, m_v, m_theta};
    m_u = u;
    m_v = v;
    m_theta = theta;
    if (MakeTransforms())
        return true;
    m_u = old[0];
    m_v = old[1];
    m_theta = old[2];
    return false;
}

bool Cell2d::IsLength(double value)
{
    return value >= Epsilon;
}

bool Cell2d::IsAngle(double theta)
{
    return theta > Epsilon && theta < 180.0 - Epsilon;
}

bool Cell2d::SetOrientation(CellUtil::CellOrientation orientation)
{
    if (orientation < 0 || orientation >= 14)
        return false;
    StoreOrientation(orientation);
    return true;
}

CellUtil::CellOrientation Cell2d::GetOrientation(bool resolve) const
{
    const CellUtil::CellOrientation stored = GetStoredOrientation();
    return resolve && stored == CellUtil::OrientationDefault ? CellUtil::OrientationPlane : stored;
}

bool Cell2d::SetGeometry(const float* lengths, float theta)
{
    return lengths && SetGeometry(lengths[0], lengths[1], theta);
}

bool Cell2d::SetGeometry(const double* lengths, double theta)
{
    return lengths && SetGeometry(lengths[0], lengths[1], theta);
}

bool Cell2d::SetGeometry(double u, double v, double theta)
{
    return IsLength(u) && IsLength(v) && IsAngle(theta) && ApplyGeometry(u, v, theta);
}

void Cell2d::GetGeometry(double* lengths, double* theta) const
{
    lengths[0] = m_u;
    lengths[1] = m_v;
    *theta = m_theta;
}

bool Cell2d::SetLengths(double u, double v)
{
    return IsLength(u) && IsLength(v) && ApplyGeometry(u, v, m_theta);
}

void Cell2d::GetLengths(double* u, double* v) const
{
    *u = m_u;
    *v = m_v;
}

bool Cell2d::SetU(double u)
{
    return IsLength(u) && ApplyGeometry(u, m_v, m_theta);
}

double Cell2d::GetU() const
{
    return m_u;
}

bool Cell2d::SetV(double v)
{
    return IsLength(v) && ApplyGeometry(m_u, v, m_theta);
}

double Cell2d::GetV() const
{
    return m_v;
}

bool Cell2d::SetTheta(double theta)
{
    return IsAngle(theta) && ApplyGeometry(m_u, m_v, theta);
}

double Cell2d::GetTheta() const
{
    return m_theta;
}

void Cell2d::CopyStaticData(const Cell2d& other)
{
    Cell::CopyStaticData(other);
    m_u = other.m_u;
    m_v = other.m_v;
    m_theta = other.m_theta;
}

void Cell2d::CopyStaticData(const Cell&) {}

} // namespace Tavrel
