// Geometric2d: the screen-plane counterpart of Geometric3d, a two-dimensional position (annotations).
#pragma once

#include <tavrel/core/Point2d.h>
#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

class Archive;
class PropertyArchive;

class Geometric2d : public Geometric {
    // Persisted as "XY" (two doubles).
    TAVREL_CLASS(Geometric2d, Geometric, Creatable)
public:
    explicit Geometric2d(Object* parent);

    virtual Point2d GetXY() const;
    virtual void SetXY(const Point2d& position);

private:
    Point2d m_xy;
};

} // namespace Tavrel
