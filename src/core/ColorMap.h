// ColorMap: a table of colours spread evenly over a value range, for colouring by a number.
#pragma once

#include <cstddef>
#include <vector>

#include <tavrel/core/Color.h>

namespace Tavrel {

// Entry i stands for the value begin + i (end - begin) / (n - 1); a single entry stands for the whole
// range. Values outside the range are clamped to its ends.
class ColorMap {
public:
    // At least one entry; every entry starts as the packed colour 0. The range starts as 0 to 1.
    explicit ColorMap(int entries = 2);

    int GetSize() const { return static_cast<int>(m_entries.size()); }
    // Out of range: the packed colour 0.
    Color GetEntry(int index) const;
    // Out of range: nothing.
    void SetEntry(int index, const Color& color);

    // The value range; begin may exceed end (the map then runs backwards).
    void SetBeginEnd(double begin, double end);
    double GetBegin() const { return m_begin; }
    double GetEnd() const { return m_end; }

    // Fills the entries with a linear ramp from first (entry 0) through middle (the centre of the
    // table) to last (the final entry); all four bytes are interpolated. With interpolate true,
    // ColorAtValue blends the two entries around a value; false gives the nearest entry (bands).
    void Ramp(const Color& first, const Color& middle, const Color& last, bool interpolate);
    bool GetInterpolate() const { return m_interpolate; }

    // The colour for a value: clamped to the range; a NaN value, or a range of zero width, gives
    // entry 0.
    Color ColorAtValue(double value) const;

private:
    std::vector<Color> m_entries;
    double m_begin = 0.0;
    double m_end = 1.0;
    bool m_interpolate = true;
};

} // namespace Tavrel
