// A small host: builds a tree of objects, a small molecule from coordinates and an ideal protein helix
// from residue templates, saves it as a document file, loads it back and prints it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/ProteinSequence.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Assembly.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/GasteigerCharge.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

// Ethanol from the coordinates of its heavy atoms: bonds perceived from the distances, hydrogens
// added, partial charges computed and stored on the atoms.
void BuildMolecule(Object* parent)
{
    auto* const molecule = new Molecule(parent);
    molecule->SetLabel("ethanol");
    const struct {
        const char* symbol;
        Point3d position;
    } heavyAtoms[] = {{"C", Point3d(0.0, 0.0, 0.0)}, {"C", Point3d(1.52, 0.0, 0.0)}, {"O", Point3d(2.04, 1.35, 0.0)}};
    for (const auto& [symbol, position] : heavyAtoms)
        (new Atom3d(molecule, symbol))->SetXYZ(position);
    const int bonds = Atom::ConstructBonds(molecule);
    const int heavy = molecule->GetNumChildren(Atom::classType);
    molecule->AddHydrogens(Atom::AllHydrogens);
    const GasteigerCharge charges(molecule, true);
    std::printf("%s: %d bonds perceived, %d hydrogens added, charges %s\n", molecule->GetLabel().c_str(), bonds,
                molecule->GetNumChildren(Atom::classType) - heavy, charges.IsCalculated() ? "computed" : "refused");
}

// The sequence of a molecule's protein chains and, under it, each residue's secondary structure as
// the first letter of its word ("Helix", "Coil", ...).
void PrintSequence(const ProteinSequence& sequence)
{
    OrdCollection residues;
    sequence.GetResidues(residues);
    std::string secondary;
    for (int i = 0; i < residues.GetSize(); ++i)
        secondary.push_back(residues.GetAt(i)->GetPropertyAsString("Secondary").front());
    std::printf("  sequence  %s (%s residues)\n  secondary %s\n", sequence.GetSequence().c_str(),
                sequence.GetPropertyAsString("Number of Residues").c_str(), secondary.c_str());
}

// The point d at `length` from c, with the angle b-c-d and the torsion a-b-c-d in degrees.
Point3d Place(const Point3d& a, const Point3d& b, const Point3d& c, double length, double angle, double torsion)
{
    constexpr double degree = std::numbers::pi / 180.0;
    const Point3d bc = ChangeLength(c - b, 1.0);
    const Point3d normal = ChangeLength(CrossProduct(b - a, bc), 1.0);
    const Point3d inPlane = CrossProduct(normal, bc);
    return c + bc * (-length * std::cos(angle * degree)) +
           inPlane * (length * std::sin(angle * degree) * std::cos(torsion * degree)) +
           normal * (length * std::sin(angle * degree) * std::sin(torsion * degree));
}

// An ideal alpha helix of a dozen residues: only the backbone atoms placed from the peptide's bond lengths
// and angles and the helix's torsions (phi -57, psi -47, omega 180), the residues typed by their
// templates, the molecule bonded by template and its secondary structure predicted.
void BuildHelix(Object* parent)
{
    constexpr double phi = -57.0, psi = -47.0, omega = 180.0;
    const char* const names[] = {"MET", "ALA", "GLU", "LEU", "LYS", "LYS", "ALA", "LEU", "GLU", "GLU", "LEU", "LYS"};
    auto* const molecule = new Molecule(parent);
    molecule->SetLabel("helix");
    const ResiduePool& pool = ResiduePool::GetResiduePool();
    auto* const chain = static_cast<AminoAcidChain*>(pool.CreateChain(molecule, names[0]));
    chain->SetLabel("H");
    Point3d n(0.0, 0.0, 0.0);
    Point3d ca(1.458, 0.0, 0.0);
    Point3d c = Place(Point3d(0.0, 1.0, 0.0), n, ca, 1.525, 111.2, 0.0);
    for (int i = 0; i < static_cast<int>(std::size(names)); ++i) {
        Residue* const residue = pool.CreateResidue(chain, names[i]);
        residue->SetLabel(std::string(names[i]) + " " + std::to_string(i + 1));
        residue->SetID(i + 1);
        const Point3d nextN = Place(n, ca, c, 1.329, 116.2, psi);
        const Point3d o = Place(nextN, ca, c, 1.231, 120.5, 180.0);
        for (const auto& [label, symbol, at] : {std::tuple{"N", "N", n}, std::tuple{"CA", "C", ca},
                                                std::tuple{"C", "C", c}, std::tuple{"O", "O", o}}) {
            auto* const atom = new Atom3d(residue, symbol);
            atom->SetLabel(label);
            atom->SetXYZ(at);
        }
        const Point3d nextCA = Place(ca, c, nextN, 1.458, 121.7, omega);
        const Point3d nextC = Place(c, nextN, nextCA, 1.525, 111.2, phi);
        n = nextN;
        ca = nextCA;
        c = nextC;
    }
    pool.ConstructResidueBonds(molecule);
    chain->CalcSecondaryStructure();
    const auto* const sequence = new ProteinSequence(molecule);
    int bonds = 0;
    DescendentIterator atoms(molecule, Atom::classType, false);
    while (const Object* const atom = atoms.GetNext())
        bonds += static_cast<const Atom*>(atom)->GetNumBonds();
    std::printf("%s: %d residues built from templates, %d bonds made\n", molecule->GetLabel().c_str(),
                chain->GetNumChildren(AminoAcid::classType), bonds / 2);
    PrintSequence(*sequence);
}

// A protein here holds only its backbone atoms (N, CA, C, O of each residue), so its formula and weight
// are the backbone's, not the sequence's.
void PrintMolecule(const Molecule& molecule)
{
    bool backboneOnly = false;
    for (int i = 0; i < molecule.GetNumChildren(); ++i)
        backboneOnly = backboneOnly || IsA<ProteinSequence>(molecule.GetChild(i));
    std::printf("Molecule \"%s\": %sformula %s, weight %.3f%s\n", molecule.GetLabel().c_str(),
                backboneOnly ? "backbone " : "", molecule.CalculateMolFormula().c_str(), molecule.CalculateMolWeight(),
                backboneOnly ? " (only the backbone atoms N, CA, C, O are placed)" : "");
    for (int i = 0; i < molecule.GetNumChildren(); ++i) {
        if (const auto* const atom = DynCast<Atom3d>(molecule.GetChild(i)))
            std::printf("  %-4s %2d bonds  charge %+.3f\n", atom->GetLabel().c_str(), atom->GetNumBonds(),
                        atom->GetCharge());
        else if (const auto* const sequence = DynCast<ProteinSequence>(molecule.GetChild(i)))
            PrintSequence(*sequence);
    }
}

void Build(ChemDoc& document)
{
    TreeRoot* const root = document.GetTreeRoot();
    root->SetLabel("example");
    auto* const model = new Assembly(root);
    model->SetLabel("model 1");
    model->SetProperty("Source", "built by the example host", DataStorage::FlagReadable);
    auto* const chain = new Chain(model);
    chain->SetLabel("A");
    chain->SetColor(Color::Cyan());
    const char* const residues[] = {"GLY", "ALA", "SER"};
    for (int i = 0; i < 3; ++i) {
        auto* const residue = new SubUnit(chain);
        residue->SetLabel(std::string(residues[i]) + " " + std::to_string(i + 1));
        residue->SetSubUnitType(residues[i]);
        residue->SetColor(Color(60 * i, 200, 255 - 60 * i));
        residue->SetProperty("B-factor", 10.0f + 2.5f * static_cast<float>(i),
                             DataStorage::FlagReadable | DataStorage::FlagWritable);
        if (i != 1)
            residue->Select(false);
    }
    root->CreateNamedCollection("selected residues");
    BuildMolecule(root);
    BuildHelix(root);
    document.SetViewSize(25.0);
    document.SetBkColor(Color::White());
}

void Print(ChemDoc& document)
{
    TreeRoot* const root = document.GetTreeRoot();
    std::printf("Root \"%s\", view size %.1f, background %s\n", root->GetLabel().c_str(), document.GetViewSize(),
                document.GetBkColor().GetRGBString().c_str());
    // Residues are listed without their atoms.
    class NotIntoResidues : public DescendentIterator {
    public:
        using DescendentIterator::DescendentIterator;

    protected:
        bool Continue(Object* node) override { return !IsA<Residue>(node) && DescendentIterator::Continue(node); }
    };
    NotIntoResidues objects(root, false);
    while (Object* const object = objects.GetNext()) {
        std::printf("%*s%s \"%s\" LID %u colour %s%s\n", 2 * object->GetNumAncestors(), "",
                    object->GetCommonName().c_str(), object->GetLabel().c_str(), object->GetLID(),
                    object->GetColor().GetRGBString().c_str(), object->IsObjectSelected() ? " selected" : "");
        for (const char* name : {"Source", "B-factor"}) {
            if (object->HasProperty(name))
                std::printf("%*s%s = %s\n", 2 * object->GetNumAncestors() + 4, "", name,
                            object->GetPropertyAsString(name).c_str());
        }
    }
    if (NamedCollection* const group = root->FindNamedCollection("selected residues"))
        std::printf("Group \"%s\" holds %d objects\n", group->GetLabel().c_str(), group->GetSize());
    for (int i = 0; i < root->GetNumChildren(); ++i) {
        if (const auto* const molecule = DynCast<Molecule>(root->GetChild(i)))
            PrintMolecule(*molecule);
    }
}

} // namespace

// Usage: tavrel-example [file]; without a file the document goes to the temporary directory.
int main(int argc, char** argv)
{
    AttachDataModelDLL();
    try {
        const std::filesystem::path path =
            argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "tavrel-example.doc";

        ChemDoc original;
        Build(original);
        Archive out;
        original.Serialize(out);
        std::ofstream saved(path, std::ios::binary);
        saved.write(reinterpret_cast<const char*>(out.GetBuffer().data()),
                    static_cast<std::streamsize>(out.GetBuffer().size()));
        saved.close();
        if (!saved)
            throw std::runtime_error("cannot write " + path.string());
        std::printf("Saved %zu bytes to %s\n", out.GetBuffer().size(), path.string().c_str());

        std::ifstream file(path, std::ios::binary);
        if (!file)
            throw std::runtime_error("cannot read " + path.string());
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ChemDoc loaded;
        Archive in(std::move(bytes));
        loaded.Serialize(in);
        std::printf("Loaded it back:\n");
        Print(loaded);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavrel-example: %s\n", error.what());
        return 1;
    }
}
