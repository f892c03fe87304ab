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

// Moves size bytes, Word <= size <= 2 Word, as a head and a tail word that may overlap: both are read
// before either is written, so the bytes may lie in the destination.
template <typename Word>
void MoveHeadAndTail(unsigned char* out, const char* text, std::size_t size) noexcept
{
    Word head = 0;
    Word tail = 0;
    std::memcpy(&head, text, sizeof head);
    std::memcpy(&tail, text + size - sizeof tail, sizeof tail);
    std::memcpy(out, &head, sizeof head);
    std::memcpy(out + size - sizeof tail, &tail, sizeof tail);
}

// Moves a text of at most 15 bytes by moves of a fixed width that may overlap, without a call: every
// part is read before any is written, so the text may lie in the destination.
void MoveShort(unsigned char* out, const char* text, std::size_t size) noexcept
{
    if (size >= sizeof(std::uint64_t)) {
        MoveHeadAndTail<std::uint64_t>(out, text, size);
    } else if (size >= sizeof(std::uint32_t)) {
        MoveHeadAndTail<std::uint32_t>(out, text, size);
    } else if (size > 0) {
        const char first = text[0];
        const char middle = text[size / 2];
        const char last = text[size - 1];
        out[0] = static_cast<unsigned char>(first);
        out[size / 2] = static_cast<unsigned char>(middle);
        out[size - 1] = static_cast<unsigned char>(last);
    }
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

void SmallString::Assign(std::string_view text)
{
    // A short text replacing an in-place one (possibly a part of it) moves straight in, without a
    // register to save.
    if (text.size() <= InPlace && !InBlock()) [[likely]] {
        MoveShort(m_bytes, text.data(), text.size());
        SetInPlace(text.size());
        return;
    }
    AssignElsewhere(text);
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
