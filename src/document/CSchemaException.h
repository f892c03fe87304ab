// CSchemaException: the archive exception raised for a document file written by a newer version.
#pragma once

#include <cstdint>
#include <string>

#include <tavrel/platform/ArchiveException.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

// what() and GetErrorMessage give the fixed message, whatever the cause.
class CSchemaException : public ArchiveException {
public:
    static constexpr const char* message =
        "Unable to read this file saved from a newer version of the Brenmor Halvex Viewer!";

    explicit CSchemaException(Cause cause, std::string fileName = {});

    // Run-time class "XXCSchemaException": dynamic-only, never created by name nor archived.
    static const RuntimeClass& GetThisClass() noexcept;

    // Copies as much of the message as fits in maxLength - 1 characters and terminates it; false for
    // a null buffer or a maximum length of 0. The help context, when given, is set to 0.
    bool GetErrorMessage(char* buffer, std::uint32_t maxLength, std::uint32_t* helpContext = nullptr) const;
};

} // namespace Tavrel
