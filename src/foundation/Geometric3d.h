// Geometric3d: a Geometric with a stored position, persisted as "XYZ".
#pragma once

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

class Archive;
class PropertyArchive;

class Geometric3d : public Geometric {
    TAVREL_DECLARE_CLASS(Geometric3d, Geometric)
    TAVREL_DECLARE_PROPERTIES()
public:
    Point3d GetXYZ() const override;
    // Stores the point, then announces the move.
    void SetXYZ(const Point3d& position) override;

    // Object's part, then the position.
    void Serialize(Archive& archive) override;

protected:
    Geometric3d();
    explicit Geometric3d(Object* parent);
    Geometric3d(const Geometric3d& other) = default;

private:
    Point3d m_xyz;
};

} // namespace Tavrel
