// A document of each subsystem saved, loaded, saved and loaded again: every load gives back the tree
// that was saved, and the second save repeats the first's bytes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/NucleicAcidChain.h>
#include <tavrel/biopolymers/ProteinSequence.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/GasteigerCharge.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/Animation.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ObjectFrame.h>
#include <tavrel/conformers/Trajectory.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/Annotation.h>
#include <tavrel/graphics/AnnotationProperty.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/monitors/AngleMonitor.h>
#include <tavrel/monitors/BumpMonitor.h>
#include <tavrel/monitors/CentroidMonitor.h>
#include <tavrel/monitors/ChiralityMonitor.h>
#include <tavrel/monitors/DihedralRestraint.h>
#include <tavrel/monitors/DipoleMomentMonitor.h>
#include <tavrel/monitors/DistanceMonitor.h>
#include <tavrel/monitors/DistanceRestraint.h>
#include <tavrel/monitors/FixedAtomConstraint.h>
#include <tavrel/monitors/HBondMonitor.h>
#include <tavrel/monitors/HarmonicAtomRestraint.h>
#include <tavrel/monitors/LineMonitor.h>
#include <tavrel/monitors/NormalMonitor.h>
#include <tavrel/monitors/PlaneMonitor.h>
#include <tavrel/monitors/PositionMonitor.h>
#include <tavrel/monitors/RotatableBondMonitor.h>
#include <tavrel/monitors/StructureMonitor.h>
#include <tavrel/monitors/TupleMonitor.h>
#include <tavrel/monitors/VectorMonitor.h>
#include "biopolymers/BackboneBuilder.h"
#include "biopolymers/NucleotideBuilder.h"
#include "support/Alternates.h"
#include "support/DocumentFile.h"
#include "support/SameTree.h"
#include "support/TreeDescription.h"

using namespace Tavrel;
using test::SameTree;

namespace {

using Bytes = DocumentFile::Bytes;
using Fields = std::vector<std::string>;

constexpr std::uint32_t ReadWrite = DataStorage::FlagReadable | DataStorage::FlagWritable;

// What the work returns, made in a child process. Children forked from one state hand out the same
// OIDs, and a file holds its objects' OIDs: two loads in two children from one state save the same
// bytes when they load the same tree.
Bytes InChild(const std::function<Bytes()>& work)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        int status = 1;
        try {
            const Bytes bytes = work();
            status = write(pipeEnds[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) ? 0 : 1;
        } catch (...) {
        }
        _exit(status);
    }
    close(pipeEnds[1]);
    Bytes bytes;
    std::uint8_t buffer[1 << 16];
    for (ssize_t n = 0; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    close(pipeEnds[0]);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child failed";
    return bytes;
}

Bytes Resaved(const Bytes& bytes)
{
    ChemDoc document;
    DocumentFile::Load(document, bytes);
    return DocumentFile::Save(document);
}

Bytes DataFile(const char* name)
{
    std::ifstream file(std::string(TAVREL_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

Fields LoadedTree(const Bytes& bytes)
{
    ChemDoc document;
    DocumentFile::Load(document, bytes);
    return DescribeTree(*document.GetTreeRoot(), true);
}

// A stored document loaded and saved again and again, each round in a fresh process. Load k is of the
// file (k = 0) or of save k. From load `kept` - 1 on the loads hold one tree, and from save `kept` + 1
// on the saves repeat each other's bytes.
void ExpectSettles(const Bytes& file, std::size_t kept)
{
    ASSERT_FALSE(file.empty());
    std::vector<Bytes> loaded{file};
    for (std::size_t round = 0; round < kept + 2; ++round) {
        const Bytes& last = loaded.back();
        loaded.push_back(InChild([&last] { return Resaved(last); }));
        ASSERT_FALSE(loaded.back().empty()) << "save " << round + 1;
    }
    const Fields settled = LoadedTree(loaded[kept]);
    EXPECT_TRUE(SameTree(LoadedTree(loaded[kept - 1]), settled)) << "load " << kept - 1;
    EXPECT_TRUE(SameTree(settled, LoadedTree(loaded[kept + 1]))) << "load " << kept + 1;
    const Bytes& second = loaded[kept + 1];
    const Bytes& third = loaded[kept + 2];
    EXPECT_EQ(second.size(), third.size());
    EXPECT_TRUE(second == third) << "the bytes differ from offset "
                                 << std::mismatch(second.begin(), second.end(), third.begin(), third.end()).first -
                                        second.begin();
}

class RoundTripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    // Conformer models come back from a file only with conversion on.
    RoundTripTest() : m_convert(ChemDoc::SetConvertConformations(true)) {}
    ~RoundTripTest() override { ChemDoc::SetConvertConformations(m_convert); }

    TreeRoot* Root() { return m_source.GetTreeRoot(); }

    // Saves the document, loads it, saves and loads again: both loads hold the tree that was saved,
    // and the second save gives the bytes of the first save of a loaded tree.
    void ExpectRoundTrip()
    {
        const Bytes first = DocumentFile::Save(m_source);
        ChemDoc once;
        DocumentFile::Load(once, first);
        const Bytes second = InChild([&first] { return Resaved(first); });
        const Bytes third = InChild([&second] { return Resaved(second); });
        ChemDoc twice;
        DocumentFile::Load(twice, second);
        const Fields saved = DescribeTree(*Root(), true);
        const Fields loaded = DescribeTree(*once.GetTreeRoot(), true);
        EXPECT_TRUE(SameTree(saved, loaded)) << "first load";
        EXPECT_TRUE(SameTree(loaded, DescribeTree(*twice.GetTreeRoot(), true))) << "second load";
        ASSERT_FALSE(second.empty());
        EXPECT_EQ(second.size(), third.size());
        EXPECT_TRUE(second == third) << "the bytes differ from offset "
                                     << std::mismatch(second.begin(), second.end(), third.begin(), third.end()).first -
                                            second.begin();
    }

    ChemDoc m_source;

private:
    bool m_convert;
};

Atom3d* AddAtom(Object* parent, const char* symbol, const Point3d& at, const char* label = "")
{
    auto* const atom = new Atom3d(parent, symbol);
    atom->SetXYZ(at);
    atom->SetLabel(label);
    return atom;
}

OrdCollection Selection(std::initializer_list<Object*> objects)
{
    OrdCollection selection;
    for (Object* const object : objects)
        selection.Add(object);
    return selection;
}

// Ethanol from its heavy atoms: bonds perceived, hydrogens added, partial charges computed; a formal
// charge on its oxygen and a user property on its carbon.
Molecule* Ethanol(Object* parent, const Point3d& at = Point3d::origin)
{
    auto* const molecule = new Molecule(parent);
    molecule->SetLabel("ethanol");
    AddAtom(molecule, "C", at, "C1")->SetProperty("B-factor", 12.5f, ReadWrite);
    AddAtom(molecule, "C", at + Point3d(1.52, 0.0, 0.0), "C2");
    AddAtom(molecule, "O", at + Point3d(2.04, 1.35, 0.0), "O1");
    Atom::ConstructBonds(molecule);
    molecule->AddHydrogens(Atom::AllHydrogens);
    const GasteigerCharge charges(molecule, true);
    test::ChildrenOf<Atom3d>(*molecule)[2]->SetFormalCharge(-1, 1);
    return molecule;
}

} // namespace

TEST_F(RoundTripTest, SmallMoleculesWithBondsAndCharges)
{
    Root()->SetLabel("small");
    Ethanol(Root());
    Molecule* const second = Ethanol(Root(), Point3d(0.0, 5.0, 0.0));
    second->GetChild(0)->Select(false);
    second->GetChild(1)->SetInvisible(false);
    Root()->CreateNamedCollection("selected");
    ExpectRoundTrip();
}

TEST_F(RoundTripTest, ProteinAndDnaBuiltFromResidueTemplates)
{
    const ResiduePool& pool = ResiduePool::GetResiduePool();
    auto* const protein = new Molecule(Root());
    protein->SetLabel("protein");
    auto* const chain = static_cast<AminoAcidChain*>(pool.CreateChain(protein, "ALA"));
    chain->SetLabel("A");
    const std::vector<AminoAcid*> residues =
        BackboneBuilder::AddResidues(chain, BackboneBuilder::Build(BackboneBuilder::AlphaHelix, 8), "ALA");
    auto* const dna = new Molecule(Root());
    dna->SetLabel("dna");
    auto* const strand = new NucleicAcidChain(dna);
    strand->SetLabel("B");
    const std::vector<NucleicAcid*> bases = NucleotideBuilder::AddResidues(strand, "ACGT");
    pool.ConstructResidueBonds(Root());
    // A cross-link under the root: the protein's records reach the strand's atoms through it before
    // the strand's own records come, so those are read nested in the protein's.
    test::ChildrenOf<Atom3d>(*residues[3]).back()->MakeBond(test::ChildrenOf<Atom3d>(*bases[2])[4], Bond::Single);
    chain->CalcSecondaryStructure();
    new ProteinSequence(protein);
    chain->GetChild(2)->Select(true);
    Root()->CreateNamedCollection("helix");
    ExpectRoundTrip();
}

// A saved protein and DNA, cross-linked: the records of the strand's atoms come nested in the
// protein's, and each holds its stored number. The file numbers its nodes 1 to n.
TEST_F(RoundTripTest, AFileReadNestedKeepsEveryStoredNumber)
{
    const Bytes bytes = DataFile("protein-and-dna-numbered-one-to-n.tvr");
    ASSERT_FALSE(bytes.empty());
    DocumentFile::Load(m_source, bytes);
    std::vector<std::uint32_t> lids{Root()->GetLID()};
    DescendentIterator nodes(Root(), false);
    while (const Object* const node = nodes.GetNext())
        lids.push_back(node->GetLID());
    std::sort(lids.begin(), lids.end());
    for (std::uint32_t lid = 1; lid <= lids.size() + 1; ++lid) {
        EXPECT_EQ(Root()->GetLogicalObject(lid) != nullptr, lid <= lids.size()) << lid;
        EXPECT_TRUE(lid > lids.size() || lids[lid - 1] == lid) << lid;
    }
    ExpectRoundTrip();
}

TEST_F(RoundTripTest, ConformationsConformerModelsAnimationsAndTrajectories)
{
    auto* const molecule = new Molecule(Root());
    const test::Chain chain = test::MakeChain(molecule, 4);
    auto* const conformation = new Conformation(molecule, false);
    conformation->SetPosition(3, Point3d(0.0, 0.0, 9.0));
    new Conformation(molecule, true);
    test::MakeModel(molecule, {chain.atoms[1], chain.atoms[2]}, {chain.bonds[1]},
                    {Point3d(0.0, 1.0, 0.0), Point3d(0.0, -1.0, 0.0)});

    auto* const frames = new Object(Root());
    std::vector<Object*> shown;
    for (const char* label : {"one", "two", "three"}) {
        shown.push_back(new Object(frames));
        shown.back()->SetLabel(label);
    }
    new Animation(frames, Selection({shown[0], shown[1], shown[2]}));

    auto* const trajectory = new Trajectory();
    trajectory->SetParent(Root());
    for (int step = 0; step < 2; ++step) {
        auto* const moment = new TrajectoryFrame();
        moment->SetParent(trajectory);
        for (Object* const object : {static_cast<Object*>(chain.atoms[0]), static_cast<Object*>(chain.atoms[3])}) {
            auto* const frame = new ObjectFrame();
            frame->SetParent(moment);
            moment->AddFrame(object, frame);
        }
        trajectory->AddFrame(moment);
    }
    trajectory->ApplyFirstFrame();
    ExpectRoundTrip();
}

TEST_F(RoundTripTest, CrystalCellNotBuilt)
{
    const double angles[] = {90.0, 101.5, 90.0};
    const double lengths[] = {7.0, 9.0, 11.0};
    auto* const cell = new Cell3d(Root(), angles, lengths, 14, "", 0);
    cell->SetLabel("cell");
    Ethanol(cell, Point3d(1.0, 1.0, 1.0));
    ExpectRoundTrip();
}

TEST_F(RoundTripTest, MonitorsAndRestraintsOfEveryKind)
{
    Molecule* const molecule = Ethanol(Root());
    Molecule* const other = Ethanol(Root(), Point3d(0.0, 6.0, 0.0));
    const auto atom = [](Molecule* of, int i) { return test::ChildrenOf<Atom3d>(*of)[static_cast<std::size_t>(i)]; };
    Atom3d* const a = atom(molecule, 0);
    Atom3d* const b = atom(molecule, 1);
    Atom3d* const c = atom(molecule, 2);
    Atom3d* const d = atom(molecule, 3);
    new DistanceMonitor(molecule, a, c);
    new AngleMonitor(molecule, a, b, c);
    new DihedralMonitor(molecule, d, a, b, c);
    new TorsionMonitor(molecule, d, a, b, c);
    new RotatableBondMonitor(molecule, d, a, b, c);
    auto* const centroid = new CentroidMonitor(molecule, Selection({a, b, c}));
    new LineMonitor(molecule, Selection({a, b, c}));
    auto* const plane = new PlaneMonitor(molecule, Selection({a, b, c}));
    new NormalMonitor(molecule, plane, centroid);
    new VectorMonitor(molecule, a, c);
    new PositionMonitor(molecule, b);
    new TupleMonitor(Root(), Selection({c, atom(other, 2)}));
    new DipoleMomentMonitor(molecule);
    new BumpMonitor(Root());
    new HBondMonitor(Root());
    new ChiralityMonitor(molecule);
    new StructureMonitor(Root());
    AddAtom(Root(), "C", Point3d(9.0, 9.0, 9.0), "bare");
    new FixedAtomConstraint(molecule, Selection({a}));
    (new HarmonicAtomRestraint(molecule, Selection({b, c})))->SetForceConstant(7.5);
    (new DihedralRestraint(molecule, d, a, b, c))->SetPeriodicity(3);
    (new DistanceRestraint(Root(), Selection({a}), Selection({atom(other, 0)})))->SetThreshold(2.0, 4.0);
    ExpectRoundTrip();
}

TEST_F(RoundTripTest, Annotations)
{
    Molecule* const molecule = Ethanol(Root());
    auto* const label = new Annotation(Root());
    label->SetLabel("model-space note");
    label->SetXYZ(Point3d(1.0, 2.0, 3.0));
    new AnnotationProperty(molecule, "Molecular Formula");
    auto* const note = new DecoratedAnnotation(Root());
    note->SetLabel("screen note");
    note->SetXY(Point2d(0.25, 0.5));
    ExpectRoundTrip();
}

// The load maps the cell: its replica atoms become plain atoms, clipped as they were, and the bonds
// made between them are clipped where both ends are, as a save would store them.
TEST_F(RoundTripTest, ACellOfReplicaAtomsBesideConformersLoadsAsItSaves)
{
    ExpectSettles(DataFile("conformers-beside-a-cell-of-replica-atoms.tvr"), 1);
}

// Conformers outside any model make each save write a token, which the load deletes: the next save's
// token takes the same number, with and without conversion.
TEST_F(RoundTripTest, ATokenEachSaveWritesTakesTheNumberOfTheOneTheLoadDeleted)
{
    for (const bool convert : {false, true}) {
        SCOPED_TRACE(convert ? "converting" : "not converting");
        ChemDoc::SetConvertConformations(convert);
        ExpectSettles(DataFile("every-class-with-conformers-outside-a-model.tvr"), 1);
    }
}

// Conformer models in the tree of an old file are packaged by the first save. With conversion they
// come back; without it the first reload keeps only the Conformations made of them, and the tree
// settles from there.
TEST_F(RoundTripTest, ConformerModelsInTheTreeOfAnOldFileSettleAfterTheirFirstSave)
{
    const Bytes file = DataFile("every-class-schema7-with-conformer-models-in-the-tree.tvr");
    ExpectSettles(file, 1);
    ChemDoc::SetConvertConformations(false);
    ExpectSettles(file, 2);
}
