#include "platform/ArchiveException.h"

namespace Tavrel {

namespace {
std::string Compose(ArchiveException::Cause cause, const std::string& fileName)
{
    std::string text = ArchiveException::Describe(cause);
    if (!fileName.empty())
        text += ": " + fileName;
    return text;
}
} // namespace

ArchiveException::ArchiveException(Cause cause, std::string fileName)
    : std::runtime_error(Compose(cause, fileName)), m_cause(cause), m_fileName(std::move(fileName))
{
}

ArchiveException::ArchiveException(Cause cause, std::string fileName, const std::string& message)
    : std::runtime_error(message), m_cause(cause), m_fileName(std::move(fileName))
{
}

const char* ArchiveException::Describe(Cause cause) noexcept
{
    switch (cause) {
    case none: return "no error";
    case genericException: return "archive error";
    case readOnly: return "archive is read-only";
    case endOfFile: return "unexpected end of archive";
    case writeOnly: return "archive is write-only";
    case badIndex: return "bad object index in archive";
    case badClass: return "bad class in archive";
    case badSchema: return "bad schema in archive";
    }
    return "archive error";
}

} // namespace Tavrel
