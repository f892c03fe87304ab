// Geometric2d: the screen-plane counterpart of Geometric3d, a two-dimensional position (annotations).
#pragma once

#include <tavrel/core/Point2d.h>
#include <tavrel/foundation/Geometric.h>

namespace Tavrel {

class Archive;
class PropertyArchive;

class Geometric2d : public Geometric {
    TAVREL_DECLARE_CLASS(Geometric2d, Geometric)
    // Persisted as "XY" (two doubles).
    TAVREL_DECLARE_PROPERTIES()
public:
    explicit Geometric2d(Object* parent);

    virtual Point2d GetXY() const;
    virtual void SetXY(const Point2d& position);

    // Object's part, then the position.
    void Serialize(Archive& archive) override;

protected:
    Geometric2d();
    Geometric2d(const Geometric2d& other) = default;

private:
    Point2d m_xy;
};

} // namespace Tavrel
