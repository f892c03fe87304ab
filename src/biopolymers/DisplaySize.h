// DisplaySize: the rule every size of the biopolymer displays keeps (ribbon sizes, display sizes, tube radii).
#pragma once

#include <cmath>

namespace Tavrel {

// A size is taken when it is finite and above 0; setters and loads keep the value they have for any
// other (a load keeps the default).
inline bool IsDisplaySize(float size)
{
    return std::isfinite(size) && size > 0.0f;
}

} // namespace Tavrel
