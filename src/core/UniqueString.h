// UniqueString: interned text, one shared string per distinct byte sequence for the whole process.
#pragma once

#include <string>
#include <string_view>

namespace Tavrel {

// Equal texts (compared byte for byte, letter case included) give the same StringPtr, so pointers
// can be compared and hashed in place of the texts. The shared strings live until the process ends:
// a StringPtr stays valid after every UniqueString holding it is gone. Interning is thread-safe.
class UniqueString {
public:
    using StringPtr = const std::string*;

    // The empty text.
    UniqueString();
    explicit UniqueString(std::string_view text);

    // The shared string of a text, without making a handle.
    static StringPtr Intern(std::string_view text);

    StringPtr GetStringPtr() const { return m_string; }
    const std::string& GetString() const { return *m_string; }
    operator const std::string&() const { return *m_string; }

    friend bool operator==(const UniqueString& a, const UniqueString& b) { return a.m_string == b.m_string; }

private:
    StringPtr m_string;
};

} // namespace Tavrel
