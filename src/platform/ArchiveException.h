// Exception raised by archives on bad or truncated input; thrown by value.
#pragma once

#include <stdexcept>
#include <string>

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

private:
    Cause m_cause;
    std::string m_fileName;
};

} // namespace Tavrel
