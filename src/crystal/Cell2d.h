// Cell2d: the periodic cell of a layer: two edge lengths and the angle between them, laid into the XY plane.
#pragma once

#include <tavrel/crystal/Cell.h>
#include <tavrel/crystal/CellUtil.h>

namespace Tavrel {

// Lengths U and V (10 by default) and the angle Theta between them (degrees, 90 by default); a
// fractional (x, y) lies at x A + y B with A = (U, 0, 0) and B = (V cos Theta, V sin Theta, 0), and
// the position tests examine x and y only. Every accepted change checks all its values first, then
// stores them and recomputes the transforms (refused, with nothing changed, when they would be
// singular or not finite); a refused call changes nothing. No setter marks the cell dirty.
//
// Persisted after Cell's properties as "Cell2D Length 0" (U), "Cell2D Length 1" (V) and "Cell2D
// Theta", all doubles (the framework record: Cell's part, then the three doubles); a loaded cell
// makes its transforms.
class Cell2d : public Cell {
    TAVREL_CLASS_CONSTRUCTED(Cell2d, Cell, Creatable)
public:
    // A 10 x 10 square cell with its transforms.
    explicit Cell2d(Object* parent);

    // 0 to 13 are kept (every one laid out in the plane frame, OrientationPlane); others are refused.
    virtual bool SetOrientation(CellUtil::CellOrientation orientation);
    // The stored value; 0 reads OrientationPlane when resolve is set.
    virtual CellUtil::CellOrientation GetOrientation(bool resolve) const;

    // Lengths must be at least FLT_EPSILON; Theta must lie strictly between FLT_EPSILON and
    // 180 - FLT_EPSILON.
    virtual bool SetGeometry(const float* lengths, float theta);
    virtual bool SetGeometry(const double* lengths, double theta);
    virtual bool SetGeometry(double u, double v, double theta);
    // U and V into lengths, Theta into theta.
    virtual void GetGeometry(double* lengths, double* theta) const;
    virtual bool SetLengths(double u, double v);
    virtual void GetLengths(double* u, double* v) const;
    virtual bool SetU(double u);
    virtual double GetU() const;
    virtual bool SetV(double v);
    virtual double GetV() const;
    virtual bool SetTheta(double theta);
    virtual double GetTheta() const;

    // U, V and Theta, with the transforms they give.
    virtual void CopyStaticData(const Cell2d& other);
    // A 2-D cell copies its static data only from another 2-D cell.
    void CopyStaticData(const Cell& other) override;
    int GetDimensionality() const override;

private:
    // Computes both transforms from the parameters; false, with nothing changed, when the matrix is
    // singular or not finite.
    bool MakeTransforms();
    // Stores the parameters when their transforms are usable.
    bool ApplyGeometry(double u, double v, double theta);
    static bool IsLength(double value);
    static bool IsAngle(double theta);
    // After a record or a framework read: the transforms, from the defaults when the parameters read
    // give none.
    void RestoreAfterLoad();

    double m_u = 10.0;
    double m_v = 10.0;
    double m_theta = 90.0;
};

} // namespace Tavrel
