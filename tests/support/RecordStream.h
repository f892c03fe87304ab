// RecordStream: writes one record to a property stream as a document does, and reads it back.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/Catalog.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/platform/Archive.h>

namespace RecordStream {

using Bytes = std::vector<std::uint8_t>;

enum class Form { Plain, Compressed };

inline std::unique_ptr<Tavrel::PropertyArchive> Open(Tavrel::Archive& archive, Form form)
{
    if (form == Form::Compressed)
        return std::make_unique<Tavrel::CompressedPropertyArchive>(archive);
    return std::make_unique<Tavrel::PropertyArchive>(archive);
}

// The root's own OID is in the map first.
inline Bytes Save(Tavrel::Base& root, Form form = Form::Compressed)
{
    Tavrel::Archive archive;
    {
        const std::unique_ptr<Tavrel::PropertyArchive> stream = Open(archive, form);
        stream->AddOIDMapEntry(root.GetOID(), root.GetOID());
        root.WriteProperties(*stream, root.GetOID());
    }
    return archive.GetBuffer();
}

// Null when the record holds no object, or its object deleted itself when the stream finished (a
// bond without two ends).
inline Tavrel::Base* Load(const Bytes& bytes, Form form = Form::Compressed)
{
    std::uint32_t oid = 0;
    {
        Tavrel::Archive archive(bytes);
        const std::unique_ptr<Tavrel::PropertyArchive> stream = Open(archive, form);
        if (const Tavrel::Base* object = Tavrel::Catalog::ReadProperties(*stream))
            oid = object->GetOID();
    }
    return oid != 0 ? Tavrel::Base::GetObjectA(oid) : nullptr;
}

// The record read back, owned; null when it holds no object or one of another class.
template <class T>
std::unique_ptr<T> LoadAs(const Bytes& bytes, Form form = Form::Compressed)
{
    std::unique_ptr<Tavrel::Base> loaded(Load(bytes, form));
    if (!Tavrel::IsA<T>(loaded.get()))
        return nullptr;
    return std::unique_ptr<T>(static_cast<T*>(loaded.release()));
}

// The object written to the framework archive and read back as T, owned; null when the read gives
// another class.
template <class T>
std::unique_ptr<T> ArchiveCopy(Tavrel::Base& object)
{
    Tavrel::Archive out;
    out.WriteObject(&object);
    Tavrel::Archive in(out.GetBuffer());
    std::unique_ptr<Tavrel::Base> read(static_cast<Tavrel::Base*>(in.ReadObject(&T::GetThisClass())));
    if (!Tavrel::IsA<T>(read.get()))
        return nullptr;
    return std::unique_ptr<T>(static_cast<T*>(read.release()));
}

} // namespace RecordStream
