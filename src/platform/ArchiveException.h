// Exception raised by archives on bad or truncated input; thrown by value.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace Tavrel {

class ArchiveException : public std::runtime_error {
public:
    // The framework's archive failure causes; the numbers are part of the public interface.
    enum Cause : int {
        none = 0,
        genericException = 1,
        readOnly = 2,
        endOfFile = 3,
        writeOnly = 4,
        badIndex = 5,
        badClass = 6,
        badSchema = 7,
    };

    explicit ArchiveException(Cause cause, std::string fileName = {});
    ArchiveException(Cause cause, std::string fileName, const std::string& message);

    Cause GetCause() const noexcept { return m_cause; }
    const std::string& GetFileName() const noexcept { return m_fileName; }

    static const char* Describe(Cause cause) noexcept;

    // A refusal of the bytes at an offset of the input: the cause's text, the offset and what was
    // wrong, as in: bad class in archive at offset 12: class "XY\xff" is not registered.
    static ArchiveException At(Cause cause, std::size_t offset, std::string_view what);
    // The bytes in double quotes; quotes, backslashes and bytes that are not printable ASCII are
    // written as \xNN.
    static std::string Quote(std::string_view bytes);

private:
    Cause m_cause;
    std::string m_fileName;
};

} // namespace Tavrel
