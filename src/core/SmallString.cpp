#include <tavrel/core/SmallString.h>

#include <cstring>
#include <limits>
#include <stdexcept>

namespace Tavrel {

namespace {

struct Block {
    char* data;
    std::uint32_t size;
};

Block ReadBlock(const unsigned char* bytes) noexcept
{
    Block block;
    std::memcpy(&block.data, bytes, sizeof block.data);
    std::memcpy(&block.size, bytes + sizeof block.data, sizeof block.size);
    return block;
}

} // namespace

SmallString::SmallString(SmallString&& other) noexcept
{
    std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
    other.SetInPlace(0);
}

SmallString& SmallString::operator=(const SmallString& other)
{
    if (this != &other)
        Assign(other.View());
    return *this;
}

SmallString& SmallString::operator=(SmallString&& other) noexcept
{
    if (this != &other) {
        Release();
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        other.SetInPlace(0);
    }
    return *this;
}

std::size_t SmallString::Size() const noexcept
{
    return InBlock() ? ReadBlock(m_bytes).size : InPlace - m_bytes[InPlace];
}

const char* SmallString::Data() const noexcept
{
    return InBlock() ? ReadBlock(m_bytes).data : reinterpret_cast<const char*>(m_bytes);
}

void SmallString::AssignElsewhere(std::string_view text)
{
    if (text.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("SmallString: text too long");
    // The text may lie in this string's own block, so it is copied before that block goes.
    if (text.size() <= InPlace) {
        char copy[InPlace + 1];
        if (!text.empty())
            std::memcpy(copy, text.data(), text.size());
        Release();
        if (!text.empty())
            std::memcpy(m_bytes, copy, text.size());
        SetInPlace(text.size());
        return;
    }
    char* const data = new char[text.size() + 1];
    std::memcpy(data, text.data(), text.size());
    data[text.size()] = 0;
    Release();
    const auto size = static_cast<std::uint32_t>(text.size());
    std::memcpy(m_bytes, &data, sizeof data);
    std::memcpy(m_bytes + sizeof data, &size, sizeof size);
    m_bytes[InPlace] = BlockTag;
}

void SmallString::Release() noexcept
{
    if (InBlock())
        delete[] ReadBlock(m_bytes).data;
    SetInPlace(0);
}

} // namespace Tavrel
