#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/ClassHierarchy.h>
#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/foundation/Storage.h>
#include <tavrel/platform/Archive.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

using RecordStream::Bytes;
using RecordStream::Form;

// One stored value of a record written by hand: a number for the plain codes and the byte block, a text
// for code 1.
struct Forged {
    std::string name;
    Storage::StorageType code;
    double number = 0.0;
    std::string text;
};

void WritePayload(Archive& archive, const Forged& value)
{
    switch (value.code) {
    case Storage::StorageString: archive << value.text; break;
    case Storage::StorageChar: archive << static_cast<std::int8_t>(value.number); break;
    case Storage::StorageUnsignedChar: archive << static_cast<std::uint8_t>(value.number); break;
    case Storage::StorageShort: archive << static_cast<std::int16_t>(value.number); break;
    case Storage::StorageUnsignedShort: archive << static_cast<std::uint16_t>(value.number); break;
    case Storage::StorageInt: CompressionInteger::Write(static_cast<std::int32_t>(value.number), archive); break;
    case Storage::StorageUnsignedInt: CompressionInteger::Write(static_cast<std::uint32_t>(value.number), archive); break;
    case Storage::StorageLong: archive << static_cast<std::int32_t>(value.number); break;
    case Storage::StorageUnsignedLong: archive << static_cast<std::uint32_t>(value.number); break;
    case Storage::StorageFloat: archive << static_cast<float>(value.number); break;
    case Storage::StorageDouble: archive << value.number; break;
    case Storage::StorageBool: archive << static_cast<std::uint8_t>(value.number != 0.0 ? 1 : 0); break;
    case Storage::StorageArchive: {
        // Sixteen reals: a matrix, a point, or the first bytes of any other value.
        Archive block;
        for (int i = 0; i < 16; ++i)
            block << value.number;
        archive << static_cast<std::int32_t>(block.GetBuffer().size());
        archive.Write(block.GetBuffer().data(), block.GetBuffer().size());
        break;
    }
    default: FAIL() << "no payload for code " << value.code;
    }
}

// The first record of a stream, in either form, holding the given scalar values.
Bytes Forge(const std::vector<std::string>& hierarchy, const std::vector<Forged>& values, Form form)
{
    Archive archive;
    const bool compressed = form == Form::Compressed;
    CompressionInteger::Write(std::uint32_t{1}, archive);
    if (compressed) {
        CompressionInteger::Write(std::uint32_t{0}, archive);
        CompressionInteger::Write(std::int32_t{1}, archive);
    }
    archive << static_cast<std::int32_t>(hierarchy.size());
    for (const std::string& name : hierarchy)
        archive << name;
    const auto count = static_cast<std::int32_t>(values.size());
    if (compressed)
        CompressionInteger::Write(count, archive);
    else
        archive << count;
    for (const Forged& value : values) {
        archive << value.name;
        if (compressed) {
            CompressionInteger::Write(std::int32_t{0}, archive);
            CompressionInteger::Write(static_cast<std::int32_t>(value.code), archive);
        } else {
            archive << std::int32_t{0} << static_cast<std::int32_t>(value.code);
        }
        WritePayload(archive, value);
    }
    return archive.GetBuffer();
}

// A property stream writer that notes the scalar values a record of the class stores: name and code.
class NameRecorder : public PropertyArchive {
public:
    NameRecorder(Archive& archive, std::string className) : PropertyArchive(archive), m_className(std::move(className)) {}

    void WritePropertyName(std::string_view className, std::string_view name, bool isArray) override
    {
        PropertyArchive::WritePropertyName(className, name, isArray);
        if (className == m_className && isArray)
            m_arrays.emplace(name);
    }
    void WritePropertyType(std::string_view className, std::string_view name, std::int32_t type) override
    {
        PropertyArchive::WritePropertyType(className, name, type);
        if (className == m_className && !m_arrays.contains(std::string(name)))
            m_codes.emplace(std::string(name), static_cast<Storage::StorageType>(type));
    }

    std::map<std::string, Storage::StorageType> m_codes;
    std::set<std::string> m_arrays;

private:
    std::string m_className;
};

// The record of a loaded object written again under a fixed OID, so two objects of one class compare
// by their values alone.
Bytes Rewrite(Base& object)
{
    Archive archive;
    {
        PropertyArchive stream(archive);
        stream.AddOIDMapEntry(1, 1);
        object.WriteProperties(stream, 1);
    }
    return archive.GetBuffer();
}

// What a forged record loads as, written again; empty when it loads as nothing.
Bytes LoadAndRewrite(const Bytes& forged, Form form)
{
    std::unique_ptr<Base> loaded(RecordStream::Load(forged, form));
    return loaded ? Rewrite(*loaded) : Bytes();
}

std::vector<std::string> OtherCases(const std::string& name)
{
    std::string lower = name;
    std::string upper = name;
    std::string swapped = name;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        lower[i] = static_cast<char>(std::tolower(c));
        upper[i] = static_cast<char>(std::toupper(c));
        swapped[i] = static_cast<char>(std::islower(c) ? std::toupper(c) : std::tolower(c));
    }
    std::vector<std::string> cases;
    for (const std::string& other : {lower, upper, swapped}) {
        if (other != name && std::find(cases.begin(), cases.end(), other) == cases.end())
            cases.push_back(other);
    }
    return cases;
}

class PropertyNameCaseTest : public ::testing::TestWithParam<Form> {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

// The first records this process reads: the levels have seen no pass of their own before.
TEST_P(PropertyNameCaseTest, ANameInAnotherLetterCaseIsDropped)
{
    const std::vector<std::string> hierarchy{"Object", "TreeNode", "Base"};
    const std::unique_ptr<Base> loaded(RecordStream::Load(
        Forge(hierarchy, {{"label", Storage::StorageString, 0, "lower"}, {"SELECTED", Storage::StorageBool, 1, ""}}, GetParam()),
        GetParam()));
    const auto* object = DynCast<Object>(loaded.get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetLabel(), "");
    EXPECT_FALSE(object->IsSelected());

    const std::unique_ptr<Base> own(RecordStream::Load(
        Forge(hierarchy, {{"Label", Storage::StorageString, 0, "own"}, {"Selected", Storage::StorageBool, 1, ""}}, GetParam()),
        GetParam()));
    object = DynCast<Object>(own.get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetLabel(), "own");
    EXPECT_TRUE(object->IsSelected());
}

// Every scalar value of every creatable class: a record that stores it under its own name changes the
// object (for a value the level accepts), the same record with the name in another letter case loads as
// a record without it.
TEST_P(PropertyNameCaseTest, EveryLevelOfEveryClassRoutesOnlyItsOwnLetterCase)
{
    const Form form = GetParam();
    int checked = 0;
    for (const auto& [className, factory] : RuntimeMap::GetRuntimeMap().GetEntries()) {
        SCOPED_TRACE(className);
        std::unique_ptr<Base> prototype(dynamic_cast<Base*>(RuntimeMap::CreateObject(className)));
        if (!prototype || prototype->GetClassHierarchyName() != className)
            continue;
        ClassHierarchy classes;
        prototype->BuildClassHierarchy(classes);
        Archive scratch;
        auto recorder = std::make_unique<NameRecorder>(scratch, className);
        prototype->WriteProperties(*recorder, prototype->GetOID());
        const std::map<std::string, Storage::StorageType> codes = std::move(recorder->m_codes);
        const std::set<std::string> arrays = std::move(recorder->m_arrays);
        recorder.reset();
        prototype.reset();

        // A record that loads as nothing alone (a bond without ends) cannot show its values, nor one
        // that writes objects of its own, new with every load (a cell's space group): the crystal tests
        // check the letter case of those.
        const Bytes bare = LoadAndRewrite(Forge(classes.GetNames(), {}, form), form);
        if (bare.empty() || LoadAndRewrite(Forge(classes.GetNames(), {}, form), form) != bare)
            continue;
        for (const auto& [name, code] : codes) {
            if (code == Storage::StorageObject || code == Storage::StoragePair)
                continue;
            SCOPED_TRACE(name);
            // A value the level takes: the first candidate that changes the record.
            Forged value{name, code, 0.0, ""};
            bool taken = false;
            for (const double number : {5.0, 1.0, 0.0, 2.0}) {
                value.number = number;
                value.text = number == 5.0 ? "forged" : "";
                if (LoadAndRewrite(Forge(classes.GetNames(), {value}, form), form) != bare) {
                    taken = true;
                    break;
                }
            }
            if (!taken)
                continue;
            ++checked;
            // A class-wide value a record sets (a replica's coordinate tolerance) stays set: compare with
            // a bare record read now.
            const Bytes now = LoadAndRewrite(Forge(classes.GetNames(), {}, form), form);
            for (const std::string& other : OtherCases(name)) {
                if (codes.contains(other) || arrays.contains(other))
                    continue;
                value.name = other;
                EXPECT_TRUE(LoadAndRewrite(Forge(classes.GetNames(), {value}, form), form) == now) << "stored as " << other;
            }
        }
    }
    EXPECT_GT(checked, 50);
}

INSTANTIATE_TEST_SUITE_P(BothForms, PropertyNameCaseTest, ::testing::Values(Form::Plain, Form::Compressed),
                         [](const ::testing::TestParamInfo<Form>& form) {
                             return form.param == Form::Plain ? "Plain" : "Compressed";
                         });

} // namespace
