// Geometric: the Object level of everything placed in model space — position interface, rigid motions, centre and extents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tavrel/core/Color.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Object.h>

namespace Tavrel {

// Stores no position itself: GetXYZ answers the origin and SetXYZ only announces the move.
class Geometric : public Object {
    // Persists nothing; adds the text properties "XYZ" ("%.4f %.4f %.4f", described and listed), "X",
    // "Y" and "Z" ("%.4f") to Object's.
    TAVREL_CLASS(Geometric, Object, Creatable)
    TAVREL_EVENT_MASK_LEVEL()
public:
    // Event codes of the Geometric level.
    static constexpr std::uint16_t EventMoved = 1;  // every SetXYZ, also without a change

    virtual Point3d GetXYZ() const;
    virtual void SetXYZ(const Point3d& position);
    // Rotation by angle degrees about the axis through a and b.
    virtual void Rotate(const Point3d& a, const Point3d& b, double angle);
    // Rotation by angle degrees about the axis through the origin.
    virtual void Rotate(const Point3d& axis, double angle);
    virtual void Transform(const Matrix4x4& matrix);
    virtual void Translate(const Point3d& offset);
    // The motion of this object, then of each Geometric descendant in pre-order, each once.
    virtual void RotateTree(const Point3d& a, const Point3d& b, double angle);
    virtual void TranslateTree(const Point3d& offset);
    virtual void TransformTree(const Matrix4x4& matrix);
    // The mean position of the Geometric descendants (this object excluded); the origin without any.
    virtual Point3d CalculateCenter() const;
    // Maximum corner into first, minimum corner into second, over the Geometric descendants (this
    // object excluded); this object's own position in both without any.
    virtual void CalculateExtents(Point3d& first, Point3d& second) const;
    // The maximum corner of CalculateExtents.
    virtual Point3d GetAnnotationXYZ() const;

    // A small cross of three lines of width 1 and a dot tagged with pickId at GetXYZ; nothing when the
    // list's mode is 0.
    void DisplayJack(const Color& color, std::uint32_t pickId, DisplayList3D& list) const;

protected:
    explicit Geometric(Object* parent);
};

} // namespace Tavrel
