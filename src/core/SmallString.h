// SmallString: text in 16 bytes, held in place up to 15 bytes and in a block of its own beyond.
#pragma once

#include <cstddef>
#include <cstdint>
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
    void SetInPlace(std::size_t size) noexcept
    {
        m_bytes[size] = 0;
        m_bytes[InPlace] = static_cast<unsigned char>(InPlace - size);
    }
    // Copies the text; a text of 4 GiB or more is refused (std::length_error).
    void Assign(std::string_view text);
    // Assign's other cases: a block taken or given up.
    [[gnu::noinline]] void AssignElsewhere(std::string_view text);
    void Release() noexcept;

    alignas(8) unsigned char m_bytes[InPlace + 1];
};

} // namespace Tavrel
