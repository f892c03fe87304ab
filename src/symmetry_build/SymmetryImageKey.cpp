#include <tavrel/symmetry_build/SymmetryImageKey.h>

#include <cstdio>
#include <ostream>

namespace Tavrel {

std::ostream& operator<<(std::ostream& os, const SymmetryImageKey& key)
{
    // Formatted here rather than by the stream, so that no imbued locale groups the digits.
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%d[%d,%d,%d]", static_cast<int>(key.op), static_cast<int>(key.a),
                                     static_cast<int>(key.b), static_cast<int>(key.c));
    return os.write(text, length);
}

} // namespace Tavrel
