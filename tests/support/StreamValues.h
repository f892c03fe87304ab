// Test support: a record with one property of every storage type, scalars and arrays. Shared by the
// property-stream tests and the property-stream fuzz target; include it in one source per program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tavrel/core/Point3d.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/PropertyPass.h>

namespace Tavrel {

class StreamValues : public Base {
    TAVREL_DECLARE_CLASS(StreamValues, Base)
public:
    enum class Mode : std::int32_t { Off = 0, On = 3 };

    static StreamValues* Make() { return ClassAccess::New<StreamValues>(); }

    void GetSetObjectProperties(PropertyArchive& archive) override
    {
        PropertyPass pass(archive, *this);
        pass.Value<Storage::StorageChar>("Values Char", c);
        pass.Value<Storage::StorageUnsignedChar>("Values UChar", uc);
        pass.Value<Storage::StorageShort>("Values Short", s);
        pass.Value<Storage::StorageUnsignedShort>("Values UShort", us);
        pass.Value<Storage::StorageInt>("Values Int", i);
        pass.Value<Storage::StorageUnsignedInt>("Values UInt", ui);
        pass.Value<Storage::StorageLong>("Values Long", l);
        pass.Value<Storage::StorageUnsignedLong>("Values ULong", ul);
        pass.Value<Storage::StorageFloat>("Values Float", f);
        pass.Value<Storage::StorageDouble>("Values Double", d);
        pass.Value<Storage::StorageBool>("Values Bool", b);
        pass.Value<Storage::StorageString>("Values Text", text);
        pass.Archived("Values Point", point);
        pass.Value<Storage::StorageInt>("Values Mode", mode);
        pass.Object("Values Object", object);
        pass.Pair("Values Pair", first, second);
        pass.Array<Storage::StorageInt>("Values Ints", ints);
        pass.Array<Storage::StorageString>("Values Texts", texts);
        pass.Array<Storage::StorageArchive>("Values Points", points);
        pass.Array<Storage::StorageObject>("Values Objects", objects);
        pass.Array<Storage::StorageFloat>("Values Floats", floats);
        if (onTake && archive.GetMethodType() == PropertyArchive::MethodRead) {
            for (Base* reference : {object, first, second})
                onTake(reference);
            for (Base* reference : objects)
                onTake(reference);
        }
    }

    // Told of every reference after each value read, for a reader that must free what records took.
    static inline void (*onTake)(Base*) = nullptr;

    std::int8_t c = 0;
    std::uint8_t uc = 0;
    std::int16_t s = 0;
    std::uint16_t us = 0;
    std::int32_t i = 0;
    std::uint32_t ui = 0;
    std::int32_t l = 0;
    std::uint32_t ul = 0;
    float f = 0.0f;
    double d = 0.0;
    bool b = false;
    std::string text;
    Point3d point;
    Mode mode = Mode::Off;
    Base* object = nullptr;
    Base* first = nullptr;
    Base* second = nullptr;
    std::vector<std::int32_t> ints;
    std::vector<std::string> texts;
    std::vector<Point3d> points;
    std::vector<Base*> objects;
    std::vector<float> floats;

protected:
    StreamValues() = default;
    StreamValues(const StreamValues&) = default;
};
TAVREL_IMPLEMENT_CLASS(StreamValues, ClassKind::Creatable)

} // namespace Tavrel
