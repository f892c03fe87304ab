#include <tavrel/platform/ArchiveException.h>

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

ArchiveException ArchiveException::At(Cause cause, std::size_t offset, std::string_view what)
{
    std::string text = Describe(cause);
    text.append(" at offset ").append(std::to_string(offset)).append(": ").append(what);
    return ArchiveException(cause, {}, text);
}

std::string ArchiveException::Quote(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (const char character : bytes) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x20 || byte > 0x7E || byte == '"' || byte == '\\') {
            quoted.append("\\x").push_back(digits[byte >> 4]);
            quoted.push_back(digits[byte & 0xF]);
        } else {
            quoted.push_back(character);
        }
    }
    quoted.push_back('"');
    return quoted;
}

} // namespace Tavrel
