// DocumentFile: saves a document to the bytes of its file and loads it back, as a host does.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <tavrel/document/ChemDoc.h>
#include <tavrel/platform/Archive.h>

namespace DocumentFile {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Save(Tavrel::ChemDoc& document)
{
    Tavrel::Archive archive;
    document.Serialize(archive);
    return archive.GetBuffer();
}

inline void Load(Tavrel::ChemDoc& document, const Bytes& bytes)
{
    Tavrel::Archive archive{std::span<const std::uint8_t>(bytes)};
    document.Serialize(archive);
}

} // namespace DocumentFile
