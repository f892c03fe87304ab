#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/ConformerJack.h>
#include <tavrel/conformers/ExcludeConformerAtoms.h>
#include <tavrel/conformers/ExcludeConformerBonds.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/TypedObjectSet.h>
#include "support/Alternates.h"
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

bool Alive(std::uint32_t oid)
{
    return Base::GetObjectA(oid) != nullptr;
}

std::vector<Atom*> AlternatesOf(const ConformerModel& model, const Atom* atom)
{
    OrdCollection found;
    model.FindAlternateAtoms(atom, found);
    std::vector<Atom*> atoms;
    for (int i = 0; i < found.GetSize(); ++i)
        atoms.push_back(static_cast<Atom*>(found.GetAt(i)));
    return atoms;
}

std::vector<Conformer*> ConformersOf(const ConformerModel& model)
{
    OrdCollection found;
    model.GetConformerSet(found);
    std::vector<Conformer*> conformers;
    for (int i = 0; i < found.GetSize(); ++i)
        conformers.push_back(static_cast<Conformer*>(found.GetAt(i)));
    return conformers;
}

// A chain A-B-C-D whose atoms B and C (and the bond between them) have alternates in two conformers,
// moved by +1 and -1 in y.
class ConformerModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    ConformerModelTest()
        : m_chain(test::MakeChain(&m_molecule, 4)),
          m_model(test::MakeModel(&m_molecule, {m_chain.atoms[1], m_chain.atoms[2]}, {m_chain.bonds[1]},
                                  {Point3d(0.0, 1.0, 0.0), Point3d(0.0, -1.0, 0.0)})),
          m_conformers(ConformersOf(*m_model))
    {
    }

    Atom* Alternate(int conformer, int site) const
    {
        return m_conformers[static_cast<std::size_t>(conformer)]->GetAlternateAtom(m_chain.atoms[static_cast<std::size_t>(site)]);
    }

    Molecule m_molecule{nullptr};
    test::Chain m_chain;
    ConformerModel* m_model;
    std::vector<Conformer*> m_conformers;
};

} // namespace

// ---- Alternate atoms, bonds and jacks

TEST_F(ConformerModelTest, ApplyingAnAlternateSwapsItsValuesWithTheReferenceAndLeavesTheLooks)
{
    Atom3d* const reference = m_chain.atoms[0];  // no site: nothing listens
    reference->SetLabel("CA");
    auto* const alternate = new ConformerAtom(&m_molecule, *reference);
    EXPECT_EQ(alternate->Object::GetLabel(), "CA");
    alternate->SetLabel("CA'");
    alternate->SetXYZ(Point3d(0.0, 2.0, 0.0));
    alternate->SetOccupancy(0.25f);
    alternate->SetIsotropicDisplacement(30.0f);
    alternate->SetElement("N");
    alternate->SetColor(Color::Red());
    reference->SetProperty(Conformer::tagProperty, m_model, DataStorage::FlagTemporary);
    alternate->SetProperty(Conformer::tagProperty, m_conformers[0], DataStorage::FlagTemporary);

    ConformerAtom::ApplyConformerToReference(alternate, reference);
    EXPECT_EQ(reference->GetXYZ(), Point3d(0.0, 2.0, 0.0));
    EXPECT_FLOAT_EQ(reference->GetOccupancy(), 0.25f);
    EXPECT_FLOAT_EQ(reference->GetIsotropicDisplacement(), 30.0f);
    EXPECT_EQ(alternate->GetXYZ(), Point3d::origin);
    EXPECT_FLOAT_EQ(alternate->GetOccupancy(), 1.0f);
    EXPECT_FALSE(alternate->HasIsotropicDisplacement());
    EXPECT_EQ(reference->Object::GetLabel(), "CA");
    EXPECT_EQ(reference->GetElementSymbol(), "C");
    EXPECT_EQ(alternate->GetElementSymbol(), "N");
    EXPECT_EQ(alternate->GetColor(), Color::Red());
    EXPECT_EQ(Conformer::FindAtomConformer(reference), m_conformers[0]);

    ConformerAtom::ApplyReferenceToConformer(reference, alternate);
    EXPECT_EQ(reference->GetXYZ(), Point3d::origin);
    EXPECT_EQ(alternate->GetXYZ(), Point3d(0.0, 2.0, 0.0));
    EXPECT_FLOAT_EQ(alternate->GetOccupancy(), 0.25f);
    EXPECT_EQ(Conformer::FindAtomConformer(alternate), m_conformers[0]);
    Base* tag = nullptr;
    EXPECT_TRUE(reference->GetProperty(Conformer::tagProperty, tag));
    EXPECT_EQ(tag, m_model);

    ConformerAtom::ApplyConformerToReference(nullptr, reference);
    EXPECT_EQ(reference->GetXYZ(), Point3d::origin);
}

TEST_F(ConformerModelTest, AlternatesBondToAlternatesByConformerBondsAndToOrdinaryAtomsByBonds)
{
    auto* const first = new ConformerAtom(&m_molecule, "C");
    auto* const second = new ConformerAtom(&m_molecule, "C");
    Bond* const between = first->MakeBond(second, Bond::Double);
    EXPECT_TRUE(IsA<ConformerBond>(between));
    EXPECT_EQ(first->MakeBond(second, Bond::Single), between);
    EXPECT_EQ(between->GetType(), Bond::Double);
    Bond* const ordinary = first->MakeBond(m_chain.atoms[0], Bond::Single);
    ASSERT_NE(ordinary, nullptr);
    EXPECT_FALSE(IsA<ConformerBond>(ordinary));
    EXPECT_EQ(first->FindBondedAtom(ordinary), m_chain.atoms[0]);
    EXPECT_EQ(first->FindBondedAtom(m_chain.bonds[0]), nullptr);
    EXPECT_EQ(first->MakeBond(nullptr, Bond::Single), nullptr);
    EXPECT_EQ(first->GetCommonName(), "Conformer Atom");
    EXPECT_EQ(Base::GetCommonName("Conformer Atom"), "Conformer Atom");
}

TEST_F(ConformerModelTest, DisconnectingAndReconnectingGivesBackTheOrdinaryBondsWithTheirValues)
{
    ConformerAtom* const alternate = static_cast<ConformerAtom*>(Alternate(0, 1));
    Atom3d* const neighbour = m_chain.atoms[0];
    Bond* const bond = alternate->MakeBond(neighbour, Bond::Double);
    bond->SetWedge(2);
    bond->SetLabel("kept");
    bond->SetProperty("Note", "kept too", 0);
    const std::uint32_t bondOID = bond->GetOID();

    alternate->Disconnect();
    EXPECT_FALSE(Alive(bondOID));
    EXPECT_FALSE(alternate->IsBonded(neighbour));
    ConformerJack* const jack = alternate->FindConformerJack(neighbour);
    ASSERT_NE(jack, nullptr);
    EXPECT_EQ(jack->GetParent(), alternate->GetParent());
    EXPECT_EQ(jack->GetConformerAtom(), alternate);
    EXPECT_TRUE(jack->CheckReferenceAtom(static_cast<const Bondable*>(neighbour)));
    EXPECT_TRUE(IsA<ConformerBond>(alternate->FindBond(jack)));
    EXPECT_EQ(alternate->FindBond(jack)->GetType(), Bond::Double);
    // Its partner is bonded only to alternates: no jack.
    auto* const partner = static_cast<ConformerAtom*>(Alternate(0, 2));
    const int partnerBonds = partner->GetNumBonds();
    partner->Disconnect();
    EXPECT_EQ(partner->GetNumBonds(), partnerBonds);

    alternate->Reconnect();
    Bond* const back = alternate->FindBond(neighbour);
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(IsA<ConformerBond>(back));
    EXPECT_EQ(back->GetType(), Bond::Double);
    EXPECT_EQ(back->GetWedge(), 2);
    EXPECT_EQ(back->Object::GetLabel(), "kept");
    EXPECT_TRUE(back->HasProperty("Note"));
    EXPECT_EQ(alternate->FindConformerJack(neighbour), nullptr);

    // A jack goes with the atom it stands for, and its bond with it.
    alternate->Disconnect();
    const std::uint32_t jackOID = alternate->FindConformerJack(neighbour)->GetOID();
    const int bonds = alternate->GetNumBonds();
    delete neighbour;
    EXPECT_FALSE(Alive(jackOID));
    EXPECT_EQ(alternate->GetNumBonds(), bonds - 1);
}

TEST_F(ConformerModelTest, ExclusionFiltersLeaveOutAlternatesAndTheirBonds)
{
    const std::unique_ptr<Filter> atoms = ExcludeConformerAtoms::CreateFilter();
    const std::unique_ptr<Filter> bonds = ExcludeConformerBonds::CreateFilter();
    EXPECT_TRUE((*atoms)(m_chain.atoms[0]));
    EXPECT_TRUE((*atoms)(&m_molecule));
    EXPECT_FALSE((*atoms)(Alternate(0, 1)));
    EXPECT_TRUE((*bonds)(m_chain.bonds[0]));
    EXPECT_FALSE((*bonds)(m_conformers[0]->GetAlternateBond(m_chain.bonds[1])));
    EXPECT_FALSE((*bonds)(Alternate(0, 1)->MakeBond(m_chain.atoms[0], Bond::Single)));
    EXPECT_FALSE((*bonds)(m_chain.atoms[0]));
}

// ---- Conformers

TEST_F(ConformerModelTest, ConformersTagTheirMembersOnceAndAnswerByConformerIndex)
{
    Conformer empty{OrdCollection(), OrdCollection()};
    EXPECT_EQ(empty.GetXYZ(), Point3d::origin);
    EXPECT_EQ(empty.GetDisplayStyle(), 1);
    EXPECT_EQ(Conformer::FindAtomConformer(m_chain.atoms[0]), nullptr);
    EXPECT_EQ(Conformer::FindAtomConformer(nullptr), nullptr);
    // Already tagged by the reference conformer, the atom keeps that tag.
    empty.AddConformerAtom(m_chain.atoms[1]);
    EXPECT_TRUE(empty.IsMember(m_chain.atoms[1]));
    EXPECT_EQ(Conformer::FindAtomConformer(m_chain.atoms[1]), m_model->GetReferenceConformer());
    empty.RemoveConformerAtom(m_chain.atoms[1]);
    EXPECT_EQ(Conformer::FindAtomConformer(m_chain.atoms[1]), m_model->GetReferenceConformer());

    Conformer* const conformer = m_conformers[1];
    EXPECT_EQ(conformer->GetConformerModel(), m_model);
    EXPECT_EQ(conformer->GetParent(), m_model);
    EXPECT_EQ(conformer->GetXYZ(), Point3d(2.25, -1.0, 0.0));
    EXPECT_EQ(conformer->GetColor(), Color::Cyan());
    OrdCollection list;
    conformer->GetConformerAtomList(list);
    ASSERT_EQ(list.GetSize(), 2);
    EXPECT_EQ(static_cast<Atom*>(list.GetAt(1))->GetConformerIndex(), 1);
    EXPECT_EQ(conformer->GetAlternateAtom(m_chain.atoms[2]), list.GetAt(1));
    conformer->SetColor(Color::Red());
    EXPECT_EQ(static_cast<Atom*>(list.GetAt(0))->GetColor(), Color::Red());
    OrdCollection alternates;
    Conformer::FindAlternateAtomSet(static_cast<Atom*>(list.GetAt(0)), alternates);
    EXPECT_EQ(alternates.GetSize(), 3);
}

TEST_F(ConformerModelTest, HydrogensAddedToEachAlternateOfASiteBecomeOneSite)
{
    static int forwarded = 0;
    forwarded = 0;
    m_conformers[0]->RegisterEvent(
        Conformer::classType, Conformer::EventAtomChanged, [](Event&) { ++forwarded; }, false, nullptr, nullptr);
    const int sites = m_model->GetAtomSetCount();
    // A carbon is no alternate: the change is forwarded.
    auto* const carbon = new ConformerAtom(m_conformers[0], "C");
    Alternate(0, 1)->MakeBond(carbon, Bond::Single);
    EXPECT_EQ(forwarded, 1);
    EXPECT_EQ(m_model->GetAtomSetCount(), sites);

    std::vector<Atom*> hydrogens;
    for (int c = -1; c < 2; ++c) {
        Atom* const site = c < 0 ? m_chain.atoms[1] : Alternate(c, 1);
        auto* const hydrogen = new Atom3d(site->GetParent(), "H");
        site->MakeBond(hydrogen, Bond::Single);
        hydrogens.push_back(hydrogen);
    }
    ASSERT_EQ(m_model->GetAtomSetCount(), sites + 1);
    EXPECT_EQ(AlternatesOf(*m_model, hydrogens[0]).size(), 3u);
    EXPECT_EQ(hydrogens[2]->GetConformerIndex(), sites);
    EXPECT_FALSE(hydrogens[1]->HasProperty(Conformer::pairingProperty));
    // Complete: every alternate took the reference hydrogen's label.
    EXPECT_EQ(hydrogens[2]->Object::GetLabel(), hydrogens[0]->GetLabel());
    EXPECT_EQ(m_model->GetBondSetCount(), 2);
}

// ---- The model

TEST_F(ConformerModelTest, AConformerNeedsOneAlternatePerSite)
{
    const int children = m_model->GetNumChildren();
    OrdCollection atoms;
    atoms.Add(new ConformerAtom(*m_chain.atoms[1]));
    EXPECT_EQ(m_model->CreateConformer(atoms, OrdCollection()), nullptr);
    EXPECT_EQ(m_model->GetNumChildren(), children);
    EXPECT_EQ(m_model->GetConformerCount(), 2);
    delete atoms.GetAt(0);
}

TEST_F(ConformerModelTest, ApplyingAConformerTwiceAppliesItOnceAndNullGivesTheReferenceBack)
{
    m_model->ApplyConformerToReference(m_conformers[0]);
    m_model->ApplyConformerToReference(m_conformers[0]);
    EXPECT_EQ(m_model->GetOccupant(), m_conformers[0]);
    EXPECT_EQ(m_chain.atoms[1]->GetXYZ(), Point3d(1.5, 1.0, 0.0));
    EXPECT_EQ(Conformer::FindAtomConformer(m_chain.atoms[1]), m_conformers[0]);
    m_model->ApplyConformerToReference(m_conformers[1]);
    EXPECT_EQ(m_chain.atoms[2]->GetXYZ(), Point3d(3.0, -1.0, 0.0));
    m_model->ApplyConformerToReference(nullptr);
    EXPECT_EQ(m_model->GetOccupant(), nullptr);
    EXPECT_EQ(m_chain.atoms[1]->GetXYZ(), Point3d(1.5, 0.0, 0.0));
    EXPECT_EQ(m_chain.atoms[2]->GetXYZ(), Point3d(3.0, 0.0, 0.0));
    EXPECT_EQ(Alternate(0, 1)->GetXYZ(), Point3d(1.5, 1.0, 0.0));
}

TEST_F(ConformerModelTest, EditsOfOneMemberReachTheOtherMembersOfItsSite)
{
    m_chain.atoms[1]->ChangeElement("N");
    EXPECT_EQ(Alternate(0, 1)->GetElementSymbol(), "N");
    EXPECT_EQ(Alternate(1, 1)->GetElementSymbol(), "N");
    Alternate(1, 2)->SetFormalCharge(1, 1);
    EXPECT_EQ(m_chain.atoms[2]->GetFormalCharge().GetNumerator(), 1);
    EXPECT_EQ(Alternate(0, 2)->GetFormalCharge().GetNumerator(), 1);
    Alternate(0, 2)->SetLabel("CG");
    EXPECT_EQ(m_chain.atoms[2]->Object::GetLabel(), "CG");
    EXPECT_EQ(Alternate(1, 2)->Object::GetLabel(), "CG");

    Bond* const alternateBond = m_conformers[0]->GetAlternateBond(m_chain.bonds[1]);
    alternateBond->SetLabel("rotor");
    EXPECT_EQ(m_chain.bonds[1]->Object::GetLabel(), "rotor");
    EXPECT_EQ(m_conformers[1]->GetAlternateBond(m_chain.bonds[1])->Object::GetLabel(), "rotor");
    m_chain.bonds[1]->SetType(Bond::Double);
    EXPECT_EQ(alternateBond->GetType(), Bond::Double);
    // Atoms outside the sites are left alone.
    EXPECT_EQ(m_chain.atoms[0]->Object::GetLabel(), "");
}

TEST_F(ConformerModelTest, RemovingOneAlternateOfASiteDeletesTheRestOfTheSite)
{
    const std::uint32_t reference = m_chain.atoms[1]->GetOID();
    const std::uint32_t other = Alternate(1, 1)->GetOID();
    Atom* const removed = Alternate(0, 1);
    const int site = removed->GetConformerIndex();
    m_conformers[0]->RemoveConformerAtom(removed);
    EXPECT_FALSE(Alive(reference));
    EXPECT_FALSE(Alive(other));
    EXPECT_TRUE(Alive(removed->GetOID()));
    EXPECT_EQ(removed->GetConformerIndex(), -1);
    EXPECT_EQ(m_model->GetAtomSet(site)->GetSize(), 0);
    EXPECT_EQ(AlternatesOf(*m_model, m_chain.atoms[2]).size(), 3u);
    EXPECT_TRUE(AlternatesOf(*m_model, m_chain.atoms[0]).empty());
    EXPECT_EQ(m_model->GetAtomSet(-1), nullptr);
    EXPECT_EQ(m_model->GetAtomSet(m_model->GetAtomSetCount()), nullptr);
}

TEST_F(ConformerModelTest, DeletingTheModelKeepsTheStructureAndDropsItsMarks)
{
    const std::uint32_t alternate = Alternate(0, 1)->GetOID();
    delete m_model;
    EXPECT_FALSE(Alive(alternate));
    EXPECT_EQ(m_molecule.GetNumChildren(Atom::classType), 4);
    EXPECT_EQ(m_chain.atoms[1]->GetConformerIndex(), -1);
    EXPECT_EQ(Conformer::FindAtomConformer(m_chain.atoms[1]), nullptr);
    m_chain.atoms[1]->SetLabel("free");  // heard by no one
}

TEST_F(ConformerModelTest, ALoadedModelRenumbersItsSitesToTheReferenceOrder)
{
    for (int site = 1; site <= 2; ++site) {
        for (Atom* const member : AlternatesOf(*m_model, m_chain.atoms[static_cast<std::size_t>(site)]))
            member->SetConformerIndex(10 * site);
    }
    const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(RecordStream::Save(m_molecule));
    ASSERT_NE(loaded, nullptr);
    ConformerModel* model = nullptr;
    for (int i = 0; i < loaded->GetNumChildren(); ++i)
        model = model ? model : DynCast<ConformerModel>(loaded->GetChild(i));
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->GetConformerCount(), 2);
    auto* const second = static_cast<Atom*>(loaded->GetChild(m_chain.atoms[2]->GetIndex()));
    const std::vector<Atom*> members = AlternatesOf(*model, second);
    ASSERT_EQ(members.size(), 3u);
    for (const Atom* const member : members)
        EXPECT_EQ(member->GetConformerIndex(), 1);
    EXPECT_EQ(members[2]->GetXYZ(), Point3d(3.0, -1.0, 0.0));
    EXPECT_EQ(Conformer::FindAtomConformer(members[1])->GetConformerModel(), model);
    second->SetLabel("CD");
    EXPECT_EQ(members[1]->Object::GetLabel(), "CD");
}

TEST_F(ConformerModelTest, ATreeCopyHoldsACopiedModelOverTheCopiedAtoms)
{
    const std::unique_ptr<Object> copy(m_molecule.TreeCopy());
    ASSERT_NE(copy, nullptr);
    auto* const model = DynCast<ConformerModel>(copy->GetChild(m_model->GetIndex()));
    ASSERT_NE(model, nullptr);
    auto* const site = static_cast<Atom*>(copy->GetChild(m_chain.atoms[1]->GetIndex()));
    const std::vector<Atom*> members = AlternatesOf(*model, site);
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0], site);
    EXPECT_TRUE(members[1]->HasAncestor(model));
    EXPECT_EQ(model->GetReferenceAtom(members[2]), site);
    EXPECT_EQ(Conformer::FindAtomConformer(site), model->GetReferenceConformer());
    site->SetLabel("copied");
    EXPECT_EQ(members[2]->Object::GetLabel(), "copied");
    EXPECT_EQ(Alternate(0, 1)->Object::GetLabel(), "");
    EXPECT_EQ(Conformer::FindAtomConformer(m_chain.atoms[1]), m_model->GetReferenceConformer());
}
