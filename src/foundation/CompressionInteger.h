// CompressionInteger: the property stream's variable-length integers (one byte below 255, else 0xFF and 32 bits).
#pragma once

#include <cstdint>

namespace Tavrel {

class Archive;

class CompressionInteger {
public:
    // 0 to 254 take one byte; every other value (255 and above, every negative one) 0xFF and 32 bits.
    static void Write(std::int32_t value, Archive& archive);
    // Below 255 one byte; else 0xFF and 32 bits.
    static void Write(std::uint32_t value, Archive& archive);
    // Both read one byte; a byte below 255 is the value, 0xFF is followed by the 32-bit value.
    static std::int32_t ReadInteger(Archive& archive);
    static std::uint32_t ReadUnsignedInteger(Archive& archive);
};

} // namespace Tavrel
