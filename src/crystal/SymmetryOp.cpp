#include <tavrel/crystal/SymmetryOp.h>


#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(SymmetryOp)

const PropertyTable& SymmetryOp::Properties()
{
    static const PropertyTable table(PropertyList<SymmetryOp>()
                                         .Field<&SymmetryOp::m_opName>("SymmetryOp Op Name")
                                         .Archived<&SymmetryOp::m_matrix>("SymmetryOp Matrix"));
    return table;
}

void SymmetryOp::SetMatrix(const std::array<float, 16>& values)
{
    double wide[16];
    for (std::size_t i = 0; i < values.size(); ++i)
        wide[i] = values[i];
    m_matrix.Set(wide);
}

void SymmetryOp::GetComponents(Matrix3x3& rotation, Point3d& translation) const
{
    rotation = m_matrix.GetMatrix3x3();
    translation = m_matrix.GetTranslation();
}

std::string SymmetryOp::GetOpText(bool withName) const
{
    return withName ? m_opName : std::string();
}

void SymmetryOp::TransformPoint(const Point3d& in, Point3d& out) const
{
    out = in * m_matrix;
}

} // namespace Tavrel
