#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/document/DataModelLibrary.h>
#include "support/RecordStream.h"
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

class SymmetryTest : public ::testing::Test {
protected:
    void SetUp() override { AttachDataModelDLL(); }
};

std::vector<std::string> OpTexts(const Symmetry& symmetry)
{
    std::vector<std::string> texts;
    for (int i = 0; i < symmetry.GetNumSymmetryOps(); ++i)
        texts.push_back(symmetry.GetSymmetryOp(i)->GetOpText(true));
    return texts;
}

// Number, names, setting and operator texts in one comparable line.
std::string Describe(const Symmetry& symmetry)
{
    std::string text = std::to_string(symmetry.GetTableNumber()) + " " + symmetry.GetName() + " " +
                       symmetry.GetLongName() + " " + symmetry.GetAltName() + " " + symmetry.QualifierString(true);
    for (const std::string& op : OpTexts(symmetry))
        text += " | " + op;
    return text;
}

TEST_F(SymmetryTest, LoadsGroup14WithNamesSettingOperatorsAndTexts)
{
    Symmetry symmetry;
    EXPECT_EQ(symmetry.GetNumSymmetryOps(), 0);
    EXPECT_EQ(symmetry.GetTableNumber(), 0);
    EXPECT_EQ(symmetry.QualifierString(true), "Origin-1 Choice: 1");

    ASSERT_TRUE(symmetry.LoadSpaceGroup(14, "", 0));
    EXPECT_EQ(symmetry.GetName(), "P21/C");
    EXPECT_EQ(symmetry.GetLongName(), "P121/C1");
    EXPECT_EQ(symmetry.GetAltName(), "C2H-5");
    EXPECT_EQ(symmetry.GetQualifier(), 3);
    EXPECT_EQ(symmetry.QualifierString(false), "B-Unique");
    EXPECT_EQ(symmetry.GetChoice(), 1);
    EXPECT_EQ(OpTexts(symmetry), (std::vector<std::string>{"x,y,z", "-x,y+1/2,-z+1/2", "-x,-y,-z", "x,-y+1/2,z+1/2"}));
    EXPECT_EQ(symmetry.InfoText(true), "Table Name: P21/C \r\nShoenflies: C2H-5 \r\nNumber of Positions 4 \r\n");

    // Operators act on fractional row vectors: rotation transposed, translation in the fourth row.
    Point3d moved;
    symmetry.GetSymmetryOp(3)->TransformPoint(Point3d(0.1, 0.2, 0.3), moved);
    EXPECT_TRUE(moved.Compare(Point3d(0.1, 0.3, 0.8), 1e-6));
    Matrix3x3 rotation;
    Point3d translation;
    symmetry.GetSymmetryOp(1)->GetComponents(rotation, translation);
    EXPECT_EQ(rotation, Matrix3x3(-1, 0, 0, 0, 1, 0, 0, 0, -1));
    EXPECT_TRUE(translation.Compare(Point3d(0, 0.5, 0.5), 1e-7));

    ASSERT_TRUE(symmetry.LoadSpaceGroup(4, "", 0));
    symmetry.GetSymmetryOp(1)->TransformPoint(Point3d(0.1, 0.2, 0.3), moved);
    EXPECT_EQ(symmetry.GetSymmetryOp(1)->GetOpName(), "-x,y+1/2,-z");
    EXPECT_TRUE(moved.Compare(Point3d(-0.1, 0.7, -0.3), 1e-6));

    ASSERT_TRUE(symmetry.LoadSpaceGroup(2, "", 0));
    EXPECT_EQ(symmetry.OperatorText(), "1   x,y,z \r\n2   -x,-y,-z \r\n");
}

TEST_F(SymmetryTest, TextFormsLoadByNumberOrSymbolAndFailuresChangeNothing)
{
    Symmetry symmetry;
    ASSERT_TRUE(symmetry.LoadSpaceGroup("14", "C-Unique", 3));
    EXPECT_EQ(symmetry.GetName(), "P21/A");
    ASSERT_TRUE(symmetry.LoadSpaceGroup(" 50 ", "Origin-2 Choice: 2"));
    EXPECT_EQ(symmetry.GetName(), "PCNA");
    EXPECT_EQ(symmetry.QualifierString(true), "Origin-2 Choice: 2");
    ASSERT_TRUE(symmetry.LoadSpaceGroup("fd-3m", "Origin-2"));
    EXPECT_EQ(symmetry.QualifierString(true), "Origin-2 Choice: 2");
    EXPECT_EQ(symmetry.GetNumSymmetryOps(), 192);
    ASSERT_TRUE(symmetry.LoadSpaceGroup("   ", "", 0));
    EXPECT_EQ(symmetry.GetName(), "P1");
    ASSERT_TRUE(symmetry.LoadSpaceGroup("P 21/c", "", 0));
    const std::string loaded = Describe(symmetry);
    EXPECT_EQ(symmetry.GetTableNumber(), 14);

    // Unknown symbols and numbers outside 1 to 230 report failure through every form.
    EXPECT_FALSE(symmetry.LoadSpaceGroup(500, "", 0));
    EXPECT_FALSE(symmetry.LoadSpaceGroup(0, "", 0));
    EXPECT_FALSE(symmetry.LoadSpaceGroup(-3, "Origin-1", 1));
    EXPECT_FALSE(symmetry.LoadSpaceGroup("Q42", "", 0));
    EXPECT_FALSE(symmetry.LoadSpaceGroup("231", "", 0));
    EXPECT_FALSE(symmetry.LoadSpaceGroup("P 21/c", ""));  // only the first word, "P", is a symbol
    EXPECT_FALSE(symmetry.LoadSpaceGroup("0", "Origin-1 Choice: 1"));
    EXPECT_FALSE(symmetry.LoadSpaceGroup("", "Origin-1"));
    EXPECT_FALSE(symmetry.LoadSpaceGroup(" ", "Origin-1"));
    EXPECT_EQ(Describe(symmetry), loaded);
}

TEST_F(SymmetryTest, QualifierTextsEncodeAndListTheSettings)
{
    Symmetry symmetry;
    symmetry.EncodeQualifiers("Hexagonal");
    EXPECT_EQ(symmetry.GetQualifier(), 5);
    EXPECT_EQ(symmetry.GetChoice(), 1);
    symmetry.EncodeQualifiers("Origin-2 Choice: 2");
    EXPECT_EQ(symmetry.QualifierString(true), "Origin-2 Choice: 2");
    symmetry.EncodeQualifiers("hexagonal");
    EXPECT_EQ(symmetry.GetQualifier(), 0);
    EXPECT_EQ(symmetry.GetChoice(), 2);

    std::vector<std::string> list;
    ASSERT_EQ(Symmetry::GetSymmetryQualifiers("50", list), 6);
    EXPECT_EQ(list, (std::vector<std::string>{"Origin-1 Choice: 1", "Origin-2 Choice: 1", "Origin-1 Choice: 2",
                                              "Origin-2 Choice: 2", "Origin-1 Choice: 3", "Origin-2 Choice: 3"}));
    // Elements are set from the start; the rest of a longer list stays.
    EXPECT_EQ(Symmetry::GetSymmetryQualifiers("P1", list), 1);
    EXPECT_EQ(list.size(), 6u);
    EXPECT_EQ(list[0], "Origin-1 Choice: 1");
    EXPECT_EQ(list[1], "Origin-2 Choice: 1");
    EXPECT_EQ(Symmetry::GetSymmetryQualifiers("", list), 0);
    EXPECT_EQ(Symmetry::GetSymmetryQualifiers("Q42", list), 0);
    EXPECT_EQ(Symmetry::GetSymmetryQualifiers("300", list), 0);
    EXPECT_EQ(list.size(), 6u);

    // Every listed setting loads back through the two-text form.
    ASSERT_EQ(Symmetry::GetSymmetryQualifiers("r-3m", list), 2);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(symmetry.LoadSpaceGroup("166", list[static_cast<std::size_t>(i)]));
        EXPECT_EQ(symmetry.QualifierString(true), list[static_cast<std::size_t>(i)]);
        EXPECT_EQ(symmetry.GetNumSymmetryOps(), i == 0 ? 36 : 12);
    }

    ASSERT_EQ(Symmetry::GetSymmetryIndex(list, Symmetry::SpaceGroups), 230);
    EXPECT_EQ(list[13], "14   P21/C");
    EXPECT_EQ(list[229], "230  IA-3D");
    ASSERT_EQ(Symmetry::GetSymmetryIndex(list, Symmetry::PlaneGroups), 17);
    EXPECT_EQ(list[0], "1  P1");
    EXPECT_EQ(list[16], "17 P6MM");
}

// Copying or assigning an operator copies its name and matrix only, never whether a list holds it: a
// listed operator that a free one was assigned to is still refused, a copy of a listed one is taken.
TEST_F(SymmetryTest, OperatorCopiesAreFreeAndAssignedOperatorsStayListed)
{
    Symmetry symmetry;
    ASSERT_TRUE(symmetry.LoadSpaceGroup(14, "", 0));
    SymmetryOp free;
    free.SetOpName("x,y,z+1/2");
    ASSERT_TRUE(symmetry.ReplaceSymmetryOp(2, &free));
    EXPECT_EQ(symmetry.GetSymmetryOp(2)->GetOpName(), "x,y,z+1/2");
    EXPECT_FALSE(symmetry.AddSymmetryOp(symmetry.GetSymmetryOp(2)));
    EXPECT_EQ(symmetry.GetNumSymmetryOps(), 4);

    auto copy = std::make_unique<SymmetryOp>(*symmetry.GetSymmetryOp(1));
    EXPECT_EQ(copy->GetOpName(), symmetry.GetSymmetryOp(1)->GetOpName());
    EXPECT_EQ(copy->GetMatrix(), symmetry.GetSymmetryOp(1)->GetMatrix());
    ASSERT_TRUE(symmetry.AddSymmetryOp(copy.get()));
    copy.release();
    EXPECT_EQ(symmetry.GetNumSymmetryOps(), 5);

    // Assigning a listed operator to a free one leaves the free one free, and itself unchanged.
    SymmetryOp assigned;
    assigned = *symmetry.GetSymmetryOp(3);
    EXPECT_EQ(assigned.GetOpName(), symmetry.GetSymmetryOp(3)->GetOpName());
    Symmetry other;
    ASSERT_TRUE(other.LoadSpaceGroup(2, "", 0));
    const auto* const listed = other.GetSymmetryOp(1);
    *other.GetSymmetryOp(1) = *other.GetSymmetryOp(1);
    EXPECT_EQ(other.GetSymmetryOp(1), listed);
    EXPECT_EQ(listed->GetOpName(), "-x,-y,-z");
    auto* const taken = new SymmetryOp(assigned);
    EXPECT_TRUE(other.AddSymmetryOp(taken));
}

TEST_F(SymmetryTest, EditingOperatorsKeepsTheIdentityFirstAndMarksTheChange)
{
    Symmetry symmetry;
    symmetry.SetLatticeType(2);
    symmetry.SetCenterType(5);
    ASSERT_TRUE(symmetry.LoadSpaceGroup(14, "", 0));

    EXPECT_FALSE(symmetry.RemoveSymmetryOp(0));
    EXPECT_FALSE(symmetry.RemoveSymmetryOp(4));
    EXPECT_FALSE(symmetry.RemoveSymmetryOp(-1));
    SymmetryOp replacement;
    replacement.SetOpName("x,y+1/2,z");
    Matrix4x4 shift;
    shift.SetTranslation(Point3d(0, 0.5, 0));
    replacement.SetMatrix(shift);
    EXPECT_FALSE(symmetry.ReplaceSymmetryOp(0, &replacement));
    EXPECT_FALSE(symmetry.ReplaceSymmetryOp(4, &replacement));
    EXPECT_FALSE(symmetry.ReplaceSymmetryOp(1, nullptr));
    EXPECT_FALSE(symmetry.IsSymmetryChanged());

    ASSERT_TRUE(symmetry.ReplaceSymmetryOp(1, &replacement));
    EXPECT_TRUE(symmetry.IsSymmetryChanged());
    EXPECT_EQ(symmetry.GetSymmetryOp(1)->GetMatrix(), shift);
    ASSERT_TRUE(symmetry.RemoveSymmetryOp(3));
    EXPECT_EQ(OpTexts(symmetry), (std::vector<std::string>{"x,y,z", "x,y+1/2,z", "-x,-y,-z"}));
    EXPECT_EQ(symmetry.GetSymmetryOp(3), nullptr);

    // An operator another list holds is not taken.
    Symmetry other;
    ASSERT_TRUE(other.LoadSpaceGroup(2, "", 0));
    EXPECT_FALSE(symmetry.AddSymmetryOp(other.GetSymmetryOp(1)));
    EXPECT_FALSE(symmetry.AddSymmetryOp(nullptr));
    ASSERT_TRUE(symmetry.AddSymmetryOp(new SymmetryOp(replacement)));
    EXPECT_EQ(symmetry.GetNumSymmetryOps(), 4);

    // Copies: the copy constructor takes the static data only, assignment the operators too.
    const Symmetry copied(symmetry);
    EXPECT_EQ(copied.GetNumSymmetryOps(), 0);
    EXPECT_EQ(copied.GetName(), "P21/C");
    EXPECT_TRUE(copied.IsSymmetryChanged());
    other = symmetry;
    EXPECT_EQ(Describe(other), Describe(symmetry));
    EXPECT_NE(other.GetSymmetryOp(1), symmetry.GetSymmetryOp(1));
    EXPECT_EQ(other.GetLatticeType(), 2);

    // Loading keeps the lattice and centre types and the changed flag.
    ASSERT_TRUE(symmetry.LoadSpaceGroup(2, "", 0));
    EXPECT_TRUE(symmetry.IsSymmetryChanged());
    EXPECT_EQ(symmetry.GetLatticeType(), 2);
    EXPECT_EQ(symmetry.GetCenterType(), 5);
    EXPECT_EQ(symmetry.GetNumSymmetryOps(), 2);
}

TEST_F(SymmetryTest, PersistsThroughThePropertyStreamAndTheFrameworkArchive)
{
    Symmetry symmetry;
    symmetry.SetLatticeType(3);
    symmetry.SetCenterType(4);
    ASSERT_TRUE(symmetry.LoadSpaceGroup("P4b2c", "", 0));
    ASSERT_TRUE(symmetry.RemoveSymmetryOp(7));
    const std::string expected = Describe(symmetry);

    const auto same = [&](const Symmetry& loaded) {
        EXPECT_EQ(Describe(loaded), expected);
        EXPECT_EQ(loaded.GetLatticeType(), 3);
        EXPECT_EQ(loaded.GetCenterType(), 4);
        EXPECT_TRUE(loaded.IsSymmetryChanged());
        for (int i = 0; i < symmetry.GetNumSymmetryOps(); ++i)
            EXPECT_EQ(loaded.GetSymmetryOp(i)->GetMatrix(), symmetry.GetSymmetryOp(i)->GetMatrix());
    };
    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<Base> loaded(RecordStream::Load(RecordStream::Save(symmetry, form), form));
        ASSERT_TRUE(IsA<Symmetry>(loaded.get()));
        same(static_cast<const Symmetry&>(*loaded));
    }

    Archive out;
    out.WriteObject(&symmetry);
    Archive in(out.GetBuffer());
    const std::unique_ptr<Symmetry> loaded(static_cast<Symmetry*>(in.ReadObject(&Symmetry::GetThisClass())));
    same(*loaded);
}

// The start of a Symmetry record in the framework archive, up to its operator count.
void WriteSymmetryHead(Archive& out, bool cellIsNewObject)
{
    const std::string_view name = "XXSymmetry";
    out << std::uint16_t{0xFFFF} << std::uint16_t{13} << static_cast<std::uint16_t>(name.size());
    out.Write(name.data(), name.size());
    if (cellIsNewObject) {
        const SymmetryOp stray;
        out.WriteObject(&stray);
    } else {
        out << std::uint16_t{0};
    }
    for (const std::int32_t value : {1, 0, 1, 0, 0, 0})
        out << value;
    out << "P1" << "P1" << "C1-1";
}

TEST_F(SymmetryTest, ArchiveRecordsThatShareOperatorsOrCarryANewCellAreHandledSafely)
{
    // The same operator twice in the array: the second becomes a copy, never a second owner.
    Archive out;
    WriteSymmetryHead(out, false);
    out.WriteCount(3);
    SymmetryOp identity;
    identity.SetOpName("x,y,z");
    out.WriteObject(&identity);  // class index 3, object index 4
    out << std::uint16_t{4};
    out << std::uint16_t{0};
    Archive in(out.GetBuffer());
    const std::unique_ptr<Symmetry> loaded(static_cast<Symmetry*>(in.ReadObject(&Symmetry::GetThisClass())));
    ASSERT_EQ(loaded->GetNumSymmetryOps(), 2);
    EXPECT_NE(loaded->GetSymmetryOp(0), loaded->GetSymmetryOp(1));
    EXPECT_EQ(loaded->GetSymmetryOp(1)->GetOpName(), "x,y,z");

    // A new object where the owning cell's back-reference belongs is refused.
    Archive bad;
    WriteSymmetryHead(bad, true);
    bad.WriteCount(0);
    Archive badIn(bad.GetBuffer());
    EXPECT_THROW(badIn.ReadObject(&Symmetry::GetThisClass()), ArchiveException);

    // A truncated record fails without leaking what was read.
    const std::vector<std::uint8_t>& bytes = out.GetBuffer();
    Archive cut(std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 3));
    EXPECT_THROW(cut.ReadObject(&Symmetry::GetThisClass()), ArchiveException);

    // An operator the reader was handed before stays the reader's: the symmetry takes a copy.
    Symmetry written;
    ASSERT_TRUE(written.LoadSpaceGroup(2, "", 0));
    Archive shared;
    shared.WriteObject(written.GetSymmetryOp(1));
    shared.WriteObject(&written);
    Archive sharedIn(shared.GetBuffer());
    const std::unique_ptr<SymmetryOp> handed(static_cast<SymmetryOp*>(sharedIn.ReadObject(&SymmetryOp::GetThisClass())));
    const std::unique_ptr<Symmetry> holder(static_cast<Symmetry*>(sharedIn.ReadObject(&Symmetry::GetThisClass())));
    ASSERT_EQ(holder->GetNumSymmetryOps(), 2);
    EXPECT_NE(holder->GetSymmetryOp(1), handed.get());
    EXPECT_EQ(holder->GetSymmetryOp(1)->GetOpName(), handed->GetOpName());
    EXPECT_FALSE(handed->HasOwner());
    EXPECT_TRUE(holder->GetSymmetryOp(0)->HasOwner());
}

} // namespace
