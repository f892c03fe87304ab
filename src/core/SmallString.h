// SmallString: text in 16 bytes, held in place up to 15 bytes and in a block of its own beyond.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace Tavrel {

// The last byte tells the forms apart: 15 minus the length for text held in place (so a 15-byte
// text ends on its own zero), all ones for a block, whose address and length fill the first bytes.
class SmallString {
public:
    static constexpr std::size_t InPlace = 15;

    SmallString() noexcept { SetInPlace(0); }
    explicit SmallString(std::string_view text) : SmallString() { Assign(text); }
    SmallString(const SmallString& other) : SmallString() { Assign(other.View()); }
    SmallString(SmallString&& other) noexcept;
    SmallString& operator=(const SmallString& other);
    SmallString& operator=(SmallString&& other) noexcept;
    SmallString& operator=(std::string_view text)
    {
        Assign(text);
        return *this;
    }
    ~SmallString() { Release(); }

    std::string_view View() const noexcept
    {
        if (!InBlock())
            return {reinterpret_cast<const char*>(m_bytes), InPlace - m_bytes[InPlace]};
        return {Data(), Size()};
    }
    operator std::string_view() const noexcept { return View(); }
    const char* c_str() const noexcept { return Data(); }
    std::size_t Size() const noexcept;
    bool Empty() const noexcept { return Size() == 0; }

    friend bool operator==(const SmallString& a, const SmallString& b) { return a.View() == b.View(); }
    friend bool operator==(const SmallString& a, std::string_view b) { return a.View() == b; }

private:
    static constexpr unsigned char BlockTag = 0xFF;

    bool InBlock() const noexcept { return m_bytes[InPlace] == BlockTag; }
    const char* Data() const noexcept;
    // Moves a text of at most 15 bytes by moves of a fixed width that may overlap, without a call:
    // every part is read before any is written, so the text may lie in the destination.
    static void MoveShort(unsigned char* out, const char* text, std::size_t size) noexcept
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
    // Moves size bytes, Word <= size <= 2 Word, as a head and a tail word that may overlap: both are
    // read before either is written, so the bytes may lie in the destination.
    template <typename Word>
    static void MoveHeadAndTail(unsigned char* out, const char* text, std::size_t size) noexcept
    {
        Word head = 0;
        Word tail = 0;
        std::memcpy(&head, text, sizeof head);
        std::memcpy(&tail, text + size - sizeof tail, sizeof tail);
        std::memcpy(out, &head, sizeof head);
        std::memcpy(out + size - sizeof tail, &tail, sizeof tail);
    }
    void SetInPlace(std::size_t size) noexcept
    {
        m_bytes[size] = 0;
        m_bytes[InPlace] = static_cast<unsigned char>(InPlace - size);
    }
    // Copies the text; a text of 4 GiB or more is refused (std::length_error). A short text into an
    // in-place string (a field read on load) moves without a call.
    void Assign(std::string_view text)
    {
        if (text.size() <= InPlace && !InBlock()) [[likely]] {
            MoveShort(m_bytes, text.data(), text.size());
            SetInPlace(text.size());
        } else {
            AssignElsewhere(text);
        }
    }
    // Assign's other cases: a block taken or given up.
    [[gnu::noinline]] void AssignElsewhere(std::string_view text);
    void Release() noexcept;

    alignas(8) unsigned char m_bytes[InPlace + 1];
};

} // namespace Tavrel
