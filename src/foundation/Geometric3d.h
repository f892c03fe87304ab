// Geometric3d: a Geometric with a stored position, persisted as "XYZ".
#pragma once

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

class Archive;
class PropertyArchive;

class Geometric3d : public Geometric {
    TAVREL_CLASS(Geometric3d, Geometric, Creatable)
public:
    Point3d GetXYZ() const override;
    // Stores the point, then announces the move.
    void SetXYZ(const Point3d& position) override;

protected:
    explicit Geometric3d(Object* parent);
    // For a node that IsAlone: the position stored as SetXYZ stores it, its event (which would only
    // mark the node modified) left to the caller.
    void StoreXYZ(const Point3d& position) { m_xyz = position; }

private:
    Point3d m_xyz;
};

} // namespace Tavrel
