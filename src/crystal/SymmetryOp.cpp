#include <tavrel/crystal/SymmetryOp.h>

#include <utility>

#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(SymmetryOp, ClassKind::Creatable)

SymmetryOp::SymmetryOp() = default;

SymmetryOp::SymmetryOp(const SymmetryOp& other) : Base(other), m_matrix(other.m_matrix), m_opName(other.m_opName) {}

SymmetryOp& SymmetryOp::operator=(const SymmetryOp& other)
{
    if (this != &other) {
        m_matrix = other.m_matrix;
        m_opName = other.m_opName;
    }
    return *this;
}

const PropertyTable& SymmetryOp::Properties()
{
    static const PropertyTable table(nullptr, PropertyList<SymmetryOp>()
                                                  .Field<Storage::StorageString, &SymmetryOp::m_opName>("SymmetryOp Op Name")
                                                  .Archived<&SymmetryOp::m_matrix>("SymmetryOp Matrix"));
    return table;
}

void SymmetryOp::GetSetObjectProperties(PropertyArchive& archive)
{
    PropertyPass(archive, *this).Table(Properties());
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

void SymmetryOp::Serialize(Archive& archive)
{
    Base::Serialize(archive);
    if (archive.IsStoring()) {
        archive << m_opName << m_matrix;
        return;
    }
    std::string name;
    Matrix4x4 matrix;
    archive >> name >> matrix;
    m_opName = std::move(name);
    m_matrix = matrix;
}

} // namespace Tavrel
