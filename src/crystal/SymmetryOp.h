// SymmetryOp: one symmetry operator of a space group, a 4x4 transform of fractional coordinates and its text.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Archive;
class PropertyArchive;

// The matrix acts on row vectors: the transposed rotation in its upper 3x3, the translation (in
// fractions of the cell edges) in its fourth row. Persisted as "SymmetryOp Op Name" and "SymmetryOp
// Matrix" (the matrix's archive form in a byte block); the framework archive holds the name as a
// framework string, then the matrix.
class SymmetryOp : public Base {
    TAVREL_CLASS(SymmetryOp, Base, Creatable, public, public)
    // Both the copy and the assignment take the name and the matrix only: a copy is held by no list,
    // and an operator a list holds stays held when another is assigned to it.
    SymmetryOp& operator=(const SymmetryOp& other) = default;

    // Sixteen values row by row, widened to double.
    void SetMatrix(const std::array<float, 16>& values);
    void SetMatrix(const Matrix4x4& matrix) { m_matrix = matrix; }
    const Matrix4x4& GetMatrix() const { return m_matrix; }
    // The rotation (upper 3x3) and the translation (fourth row).
    void GetComponents(Matrix3x3& rotation, Point3d& translation) const;

    void SetOpName(std::string_view name) { m_opName = name; }
    const std::string& GetOpName() const { return m_opName; }
    // The name when withName is set, else the empty text.
    std::string GetOpText(bool withName) const;

    // out := in transformed by the operator.
    void TransformPoint(const Point3d& in, Point3d& out) const;

    // While a Symmetry holds it, so that an archive abandoning a half-read record leaves it alone.
    bool HasOwner() const override { return m_held.Get(); }

private:
    friend class Symmetry;

    Matrix4x4 m_matrix;
    std::string m_opName;
    // Set while a Symmetry holds the operator, so that no two lists ever own it.
    Uncopied<bool> m_held;
};

} // namespace Tavrel
