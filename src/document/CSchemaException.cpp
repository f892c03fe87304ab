#include <tavrel/document/CSchemaException.h>

#include <algorithm>
#include <cstring>

namespace Tavrel {

CSchemaException::CSchemaException(Cause cause, std::string fileName)
    : ArchiveException(cause, std::move(fileName), message)
{
}

const RuntimeClass& CSchemaException::GetThisClass() noexcept
{
    static const RuntimeClass record{"XXCSchemaException", RuntimeClass::DynamicOnly, nullptr, nullptr};
    return record;
}

bool CSchemaException::GetErrorMessage(char* buffer, std::uint32_t maxLength, std::uint32_t* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    if (!buffer || maxLength == 0)
        return false;
    const std::size_t length = std::min<std::size_t>(std::strlen(message), maxLength - 1);
    std::memcpy(buffer, message, length);
    buffer[length] = '\0';
    return true;
}

} // namespace Tavrel
