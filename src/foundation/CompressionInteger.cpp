#include <tavrel/foundation/CompressionInteger.h>

#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {
constexpr std::uint8_t Escape = 0xFF;
} // namespace

void CompressionInteger::Write(std::int32_t value, Archive& archive)
{
    if (value >= 0 && value < Escape)
        archive << static_cast<std::uint8_t>(value);
    else
        archive << Escape << value;
}

void CompressionInteger::Write(std::uint32_t value, Archive& archive)
{
    if (value < Escape)
        archive << static_cast<std::uint8_t>(value);
    else
        archive << Escape << value;
}

std::int32_t CompressionInteger::ReadInteger(Archive& archive)
{
    return static_cast<std::int32_t>(ReadUnsignedInteger(archive));
}

std::uint32_t CompressionInteger::ReadUnsignedInteger(Archive& archive)
{
    std::uint8_t byte = 0;
    archive >> byte;
    if (byte != Escape)
        return byte;
    std::uint32_t value = 0;
    archive >> value;
    return value;
}

} // namespace Tavrel
