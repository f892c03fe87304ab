#include <tavrel/symmetry_build/SymmetryImageKey.h>

#include <charconv>
#include <ostream>

namespace Tavrel {

std::ostream& operator<<(std::ostream& os, const SymmetryImageKey& key)
{
    // Formatted here rather than by the stream, so that no imbued locale groups the digits.
    char text[64];
    char* end = text;
    const auto put = [&](std::int32_t value, char after) {
        end = std::to_chars(end, text + sizeof text, value).ptr;
        if (after)
            *end++ = after;
    };
    put(key.op, '[');
    put(key.a, ',');
    put(key.b, ',');
    put(key.c, ']');
    return os.write(text, end - text);
}

} // namespace Tavrel
