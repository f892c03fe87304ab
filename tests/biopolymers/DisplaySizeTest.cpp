#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/document/DataModelLibrary.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

constexpr float Marker = 1.234375f;

const std::vector<float> BadSizes = {0.0f, -0.0f, -1.5f, std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity()};

// One size of the biopolymer displays: its object, getter and setter.
struct Size {
    const char* name;
    std::function<std::unique_ptr<Object>()> make;
    std::function<float(const Object&)> get;
    std::function<void(Object&, float)> set;
    float initial;
};

template <class T, float (T::*Get)() const, void (T::*Set)(float)>
Size SizeOf(const char* name, float initial)
{
    return {name, [] { return std::make_unique<T>(nullptr); },
            [](const Object& object) { return (static_cast<const T&>(object).*Get)(); },
            [](Object& object, float size) { (static_cast<T&>(object).*Set)(size); }, initial};
}

std::vector<Size> Sizes()
{
    return {SizeOf<Residue, &Residue::GetRibbonSize, &Residue::SetRibbonSize>("Ribbon Size", 1.0f),
            SizeOf<AminoAcidChain, &AminoAcidChain::GetDisplaySize, &AminoAcidChain::SetDisplaySize>(
                "AminoAcid Display Size", 1.0f),
            SizeOf<NucleicAcidChain, &NucleicAcidChain::GetTubeRadius, &NucleicAcidChain::SetTubeRadius>(
                "NA Tube Radius", 0.7f)};
}

// The record with the stored marker replaced by the value.
RecordStream::Bytes Patched(RecordStream::Bytes bytes, float value)
{
    std::uint8_t marker[4];
    std::uint8_t replacement[4];
    std::memcpy(marker, &Marker, 4);
    std::memcpy(replacement, &value, 4);
    const auto at = std::search(bytes.begin(), bytes.end(), marker, marker + 4);
    EXPECT_NE(at, bytes.end());
    if (at != bytes.end())
        std::copy(replacement, replacement + 4, at);
    return bytes;
}

} // namespace

TEST(DisplaySizeTest, OnlyFiniteSizesAboveZeroAreTakenFromSettersAndFiles)
{
    AttachDataModelDLL();
    for (const Size& size : Sizes()) {
        const std::unique_ptr<Object> object = size.make();
        EXPECT_EQ(size.get(*object), size.initial) << size.name;
        size.set(*object, 2.5f);
        for (const float bad : BadSizes) {
            size.set(*object, bad);
            EXPECT_EQ(size.get(*object), 2.5f) << size.name << " set to " << bad;
        }
        size.set(*object, 1e-3f);
        EXPECT_EQ(size.get(*object), 1e-3f) << size.name;

        // A file holding a bad size loads the default.
        size.set(*object, Marker);
        const RecordStream::Bytes saved = RecordStream::Save(*object, RecordStream::Form::Plain);
        const auto good = RecordStream::LoadAs<Object>(saved, RecordStream::Form::Plain);
        ASSERT_NE(good, nullptr) << size.name;
        EXPECT_EQ(size.get(*good), Marker) << size.name;
        for (const float bad : BadSizes) {
            const auto loaded = RecordStream::LoadAs<Object>(Patched(saved, bad), RecordStream::Form::Plain);
            ASSERT_NE(loaded, nullptr) << size.name;
            EXPECT_EQ(size.get(*loaded), size.initial) << size.name << " stored as " << bad;
        }
    }

    // The text form of the ribbon size keeps the same rule.
    Residue residue(nullptr);
    for (const char* text : {"0", "-2", "nan", "inf"})
        EXPECT_FALSE(residue.SetPropertyFromString("Ribbon Size", text)) << text;
    EXPECT_EQ(residue.GetRibbonSize(), 1.0f);
    EXPECT_TRUE(residue.SetPropertyFromString("Ribbon Size", "0.5"));
    EXPECT_EQ(residue.GetRibbonSize(), 0.5f);
}

TEST(DisplaySizeTest, AnArchivedDisplaySizeThatIsNotAboveZeroLoadsTheDefault)
{
    AttachDataModelDLL();
    AminoAcidChain chain(nullptr);
    chain.SetDisplaySize(Marker);
    Archive out;
    out.WriteObject(&chain);
    for (const float bad : BadSizes) {
        Archive in(Patched(out.GetBuffer(), bad));
        const std::unique_ptr<PersistentObject> read(in.ReadObject(&AminoAcidChain::GetThisClass()));
        ASSERT_TRUE(IsA<AminoAcidChain>(static_cast<Base*>(read.get())));
        EXPECT_EQ(static_cast<AminoAcidChain*>(read.get())->GetDisplaySize(), 1.0f) << bad;
    }
}
