// CompressionInteger: the property stream's variable-length integers (one byte below 255, else 0xFF and 32 bits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

// Inline: every record and most values of the stream carry one.
class CompressionInteger {
public:
    // 0 to 254 take one byte; every other value (255 and above, every negative one) 0xFF and 32 bits.
    static void Write(std::int32_t value, Archive& archive)
    {
        if (value >= 0 && value < Escape)
            archive << static_cast<std::uint8_t>(value);
        else
            archive << Escape << value;
    }
    // Below 255 one byte; else 0xFF and 32 bits.
    static void Write(std::uint32_t value, Archive& archive)
    {
        if (value < Escape)
            archive << static_cast<std::uint8_t>(value);
        else
            archive << Escape << value;
    }
    // The form of Write at out, in room reserved for its at most five bytes; returns the end. A value
    // of either sign takes its 32 bits (a negative one's are 255 and above).
    static std::uint8_t* Put(std::uint32_t value, std::uint8_t* out)
    {
        if (value < Escape) {
            *out = static_cast<std::uint8_t>(value);
            return out + 1;
        }
        *out = Escape;
        std::memcpy(out + 1, &value, sizeof value);
        return out + 1 + sizeof value;
    }
    static constexpr std::size_t MostBytes = 1 + sizeof(std::uint32_t);
    // The form of Write read from input held up to end: the position after it, or null, with value
    // unchanged, when the input does not hold it all.
    static const std::uint8_t* Get(const std::uint8_t* at, const std::uint8_t* end, std::uint32_t& value)
    {
        if (at == end)
            return nullptr;
        if (*at != Escape) {
            value = *at;
            return at + 1;
        }
        if (static_cast<std::size_t>(end - at) < MostBytes)
            return nullptr;
        std::memcpy(&value, at + 1, sizeof value);
        return at + MostBytes;
    }
    // Both read one byte; a byte below 255 is the value, 0xFF is followed by the 32-bit value.
    static std::int32_t ReadInteger(Archive& archive) { return static_cast<std::int32_t>(ReadUnsignedInteger(archive)); }
    static std::uint32_t ReadUnsignedInteger(Archive& archive)
    {
        std::uint8_t byte = 0;
        archive >> byte;
        if (byte != Escape)
            return byte;
        std::uint32_t value = 0;
        archive >> value;
        return value;
    }
    // The same taken in place where the input holds the value whole, as a record's head is read.
    static std::uint32_t TakeUnsignedInteger(Archive& archive)
    {
        std::uint32_t value = 0;
        if (const std::uint8_t* const next = Get(archive.GetCursor(), archive.GetEnd(), value)) {
            archive.MoveTo(next);
            return value;
        }
        return ReadUnsignedInteger(archive);
    }

private:
    static constexpr std::uint8_t Escape = 0xFF;
};

} // namespace Tavrel
