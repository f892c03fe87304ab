// Writes the fuzz targets' seed corpora and dictionaries from real documents, framework records and
// property-stream records. Usage: make_corpus <fuzz folder>; run it again when the format or the
// registered classes change (scripts/fuzz-corpus).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <pthread.h>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzClasses.h"
#include <tavrel/biopolymers/AminoAcid.h>
#include <tavrel/biopolymers/AminoAcidChain.h>
#include <tavrel/biopolymers/Residue.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Assembly.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Chain.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/chemistry/SubUnit.h>
#include <tavrel/conformers/Animation.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/conformers/ObjectFrame.h>
#include <tavrel/conformers/Trajectory.h>
#include <tavrel/conformers/TrajectoryFrame.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/crystal/Cell2d.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ClassNameTable.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/NamedCollection.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/RuntimeMap.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/TreeRoot.h>
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
#include <tavrel/monitors/NormalMonitor.h>
#include <tavrel/monitors/PlaneMonitor.h>
#include <tavrel/monitors/PositionMonitor.h>
#include <tavrel/monitors/StructureMonitor.h>
#include <tavrel/monitors/TupleMonitor.h>
#include <tavrel/monitors/VectorMonitor.h>
#include <tavrel/platform/Archive.h>
#include "support/BondedDocuments.h"
#include "support/RecordStream.h"
#include "support/StreamValues.h"

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::uint32_t stereoVersion = 0x30000;  // root as a framework object, view block with stereo
constexpr std::uint32_t oldestVersion = 0x10000;  // matrix first, no stereo byte
constexpr std::uint32_t noSchemaVersion = 0x40000;

// ---- Trees

// The example host's document.
void BuildHost(ChemDoc& document)
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
    document.SetViewSize(25.0);
    document.SetBkColor(Color::White());
}

// One user property of every kind the table stores.
void SetEveryUserProperty(Object& object, const Base& target)
{
    const std::int32_t longs[] = {1, -2, 300000};
    const float floats[] = {0.5f, -1.25f};
    const std::uint8_t bytes[] = {0, 1, 0xFF};
    object.SetProperty("Long", 42, DataStorage::FlagReadable | DataStorage::FlagWritable);
    object.SetProperty("Float", 1.5f, DataStorage::FlagReadable);
    object.SetProperty("Longs", 3, longs, DataStorage::FlagReadable);
    object.SetProperty("Floats", 2, floats, DataStorage::FlagWritable);
    object.SetProperty("Text", "text value", DataStorage::FlagReadable);
    object.SetProperty("Bytes", 3, bytes, 0);
    object.SetProperty("Object", &target, DataStorage::FlagReadable);
    object.SetProperty("Pointer", static_cast<void*>(nullptr), DataStorage::FlagReadable);
    object.SetProperty("Scratch", 7, DataStorage::FlagTemporary);
    object.SetProperty("Empty");
}

// A tree holding one object of every creatable registered class, with every kind of value the
// classes persist, collections of each kind and nodes in every selection and visibility state.
void BuildEveryClass(ChemDoc& document)
{
    TreeRoot* const root = document.GetTreeRoot();
    root->SetLabel("every class");
    auto* const holder = new Object(root);
    holder->SetLabel("by name");
    for (const auto& [name, factory] : RuntimeMap::GetRuntimeMap().GetEntries()) {
        auto* const node = dynamic_cast<TreeNode*>(RuntimeMap::CreateObject(name));
        if (!node || IsA<TreeRoot>(node)) {
            delete node;
            continue;
        }
        node->SetParent(holder);
        if (node->GetParent() != holder) {
            delete node;
            continue;
        }
        if (auto* const object = DynCast<Object>(node))
            object->SetLabel(name);
    }

    auto* const model = new Assembly(root);
    model->SetID(7);
    auto* const chain = new Chain(model);
    chain->SetColor(Color(1, 2, 3));
    auto* const residue = new SubUnit(chain);
    residue->SetSubUnitType("TRP");
    residue->SetXYZ(Point3d(1.5, -2.0, 1e6));
    residue->SetDisplayStyle(3);
    SetEveryUserProperty(*residue, *chain);
    auto* const hidden = new SubUnit(chain);
    hidden->SetXYZ(Point3d(-1.0, 0.25, 0.0));
    hidden->SetInvisible(false);
    auto* const clipped = new SubUnit(chain);
    clipped->SetClipped(true);
    clipped->Select(false);
    // Residues typed by template, one of them by a name its type alone does not give.
    Chain* const strand = ResiduePool::GetResiduePool().CreateChain(model, "ADE");
    Residue* const adenosine = ResiduePool::GetResiduePool().CreateResidue(strand, "ADE");
    adenosine->SetRibbonSize(1.5f);
    adenosine->SetInsertionCode("A");
    ResiduePool::GetResiduePool().CreateResidue(strand, "G3'");
    // A protein chain of mixed styles holding external classes, its amino acids with classes and
    // schemes.
    auto* const protein = static_cast<AminoAcidChain*>(ResiduePool::GetResiduePool().CreateChain(model, "ALA"));
    AminoAcid* const helix = ResiduePool::GetResiduePool().CreateAminoAcid(protein, "ALA");
    AminoAcid* const strandResidue = ResiduePool::GetResiduePool().CreateAminoAcid(protein, "V");
    helix->SetExternalEnvironment(AminoAcid::Helix);
    strandResidue->SetExternalEnvironment(AminoAcid::Sheet);
    protein->UseExternalEnvironment();
    protein->SetDisplaySize(1.25f);
    protein->SetSecondaryColors(Color::Black(), Color::Magenta(), Color::Yellow(), Color::Blue());
    protein->SetDisulfideDisplay(false);
    protein->SetDisplayStyle(AminoAcidChain::Tube);
    protein->SetColorScheme("Hydrophobicity");
    strandResidue->SetDisplayStyle(AminoAcidChain::CAlphaWire);

    auto* const cell = new Cell3d(root);
    (new ReplicateAtom(cell))->SetXYZ(Point3d(0.5, 0.5, 0.5));
    // A built crystal: its space group's operators, symmetry and packed periodic replicas.
    auto* const crystal = new Cell3d(root);
    crystal->GetSymmetry()->LoadSpaceGroup(14, "", 0);
    (new Atom3d(crystal, "C"))->SetXYZ(Point3d(1.0, 2.0, 3.0));
    crystal->Build(Cell3d::BuildInfo());
    (new Cell2d(root))->SetGeometry(4.0, 6.0, 60.0);
    // Monitors on bonded atoms, the first listed before its atoms, with their labels.
    auto* const molecule = new Molecule(root);
    auto* const distance = new DistanceMonitor(molecule, nullptr, nullptr);
    Atom3d* const atoms[] = {new Atom3d(molecule, "O"), new Atom3d(molecule, "H"), new Atom3d(molecule, "H")};
    atoms[1]->SetXYZ(Point3d(0.76, 0.59, 0.0));
    atoms[2]->SetXYZ(Point3d(-0.76, 0.59, 0.0));
    atoms[0]->MakeBond(atoms[1], Bond::Single);
    atoms[0]->MakeBond(atoms[2], Bond::Single);
    distance->RegisterTreeEvent(atoms[1], Geometric::classType, Geometric::EventMoved, false, nullptr);
    distance->RegisterTreeEvent(atoms[2], Geometric::classType, Geometric::EventMoved, false, nullptr);
    auto* const angle = new AngleMonitor(molecule, atoms[1], atoms[0], atoms[2]);
    angle->SetMeasuredAngle(AngleMonitor::ThirdAngle);
    auto* const plane = new PlaneMonitor(molecule, atoms[0], atoms[1]);
    (new NormalMonitor(molecule, plane, atoms[2]))->SetNormalLength(1.5f);
    OrdCollection members;
    for (Atom3d* atom : atoms)
        members.Add(atom);
    (new CentroidMonitor(molecule, members))->SetCenterOfMass(true);
    new VectorMonitor(molecule, Point3d(1.0, 2.0, 3.0), atoms[0]);
    (new BumpMonitor(molecule))->SetVDWPercent(0.8);
    (new HBondMonitor(molecule, members, true))->ShowDistanceLabels(true);
    new ChiralityMonitor(molecule);
    (new StructureMonitor(molecule))->SetDisplayLabels(true);
    new PositionMonitor(molecule, atoms[1]);
    (new TupleMonitor(molecule, members))->SetDisplayLines(true);
    new DipoleMomentMonitor(molecule);
    // Restraints with their parentless monitors, written inside their records.
    auto* const fixed = new FixedAtomConstraint(molecule, members);
    fixed->SetLabelFormat("Held %s");
    fixed->Disable();
    (new HarmonicAtomRestraint(molecule, members))->SetForceConstant(2.5);
    auto* const fourth = new Atom3d(molecule, "C");
    fourth->SetXYZ(Point3d(-0.5, 1.5, 0.5));
    (new DihedralRestraint(molecule, atoms[1], atoms[0], atoms[2], fourth))->SetPeriodicity(3);
    OrdCollection hydrogens;
    hydrogens.Add(atoms[1]);
    hydrogens.Add(atoms[2]);
    (new DistanceRestraint(molecule, members, hydrogens))->SetForceMaximum(4.0);
    DisplayList3D labels;
    molecule->DisplayAll(labels, false);

    auto* const annotation = new DecoratedAnnotation(root);
    annotation->SetXY(Point2d(0.25, -0.75));
    (new Geometric2d(root))->SetXY(Point2d(3.0, 4.0));

    auto* const reference = new Object(root);
    reference->SetLabel("reference");
    new Conformation(reference, true);
    new ConformerModelToken(reference);
    new Conformer(reference, OrdCollection(), OrdCollection());
    // A conformer model with two alternates of one atom, packaged into a token by the save.
    auto* const alternated = new Molecule(root);
    auto* const site = new Atom3d(alternated, "N");
    (new Atom3d(alternated, "C"))->SetXYZ(Point3d(1.4, 0.0, 0.0));
    OrdCollection sites;
    sites.Add(site);
    auto* const conformerModel = new ConformerModel(alternated, sites, OrdCollection());
    for (const double y : {0.5, -0.5}) {
        OrdCollection alternates;
        auto* const alternate = new ConformerAtom(*site);
        alternate->SetXYZ(Point3d(0.0, y, 0.0));
        alternate->SetOccupancy(0.5f);
        alternates.Add(alternate);
        alternate->SetParent(conformerModel->CreateConformer(alternates, OrdCollection()));
    }
    new Conformation(alternated, false);

    // An animation over the chain's residues, the second current, and a trajectory of two moments.
    OrdCollection frames;
    for (Object* frame : std::vector<Object*>{residue, hidden, clipped})
        frames.Add(frame);
    (new Animation(chain, frames))->ActivateNextFrame();
    auto* const trajectory = new Trajectory();
    trajectory->SetParent(root);
    for (int i = 0; i < 2; ++i) {
        auto* const moment = new TrajectoryFrame();
        moment->SetParent(trajectory);
        for (Object* object : std::vector<Object*>{residue, hidden}) {
            auto* const frame = new ObjectFrame();
            frame->SetParent(moment);
            moment->AddFrame(object, frame);
        }
        trajectory->AddFrame(moment);
    }
    trajectory->ApplyLastFrame();

    auto* const ordered = new OrdCollection();
    ordered->SetParent(root);
    ordered->Add(residue);
    ordered->Add(hidden);
    ordered->Add(residue);
    auto* const set = new SetCollection();
    set->SetParent(root);
    set->Add(clipped);
    set->Add(model);
    root->CreateNamedCollection("group")->Add(residue);

    document.SetViewSize(40.0);
    document.SetProjection(1);
    document.SetGraphQuality(2);
    document.SetBkColor(Color(10, 20, 30));
    document.SetDepthCue(true);
    document.SetStereo(true);
    Matrix4x4 matrix(Point3d(0.0, 0.0, 1.0), 30.0);
    document.SetMatrix(matrix);
}

// A chain of nested objects, each with a label.
void BuildDeep(ChemDoc& document, int depth)
{
    TreeNode* parent = document.GetTreeRoot();
    for (int i = 0; i < depth; ++i) {
        auto* const node = new Object(parent);
        node->SetLabel(std::to_string(i));
        parent = node;
    }
}

// ---- Document files

Bytes Save(ChemDoc& document)
{
    Archive archive;
    document.Serialize(archive);
    return archive.GetBuffer();
}

void WriteView(Archive& archive, ChemDoc& document, bool withStereo)
{
    archive << static_cast<float>(document.GetViewSize()) << document.GetProjection() << document.GetGraphQuality()
            << (document.GetBkColor().GetValue() & 0x00FFFFFFu) << document.GetDepthCue();
    if (withStereo)
        archive << document.GetStereo();
}

// The current layout with another version and object schema (none for 0x40000).
Bytes SaveRecordForm(ChemDoc& document, std::uint32_t version, std::uint32_t schema)
{
    Archive archive;
    archive << ChemDoc::GetHeader() << version;
    if (version >= ChemDoc::currentVersion)
        archive << schema;
    archive.SetObjectSchema(schema);
    TreeRoot& root = *document.GetTreeRoot();
    {
        CompressedPropertyArchive stream(archive);
        stream.AddOIDMapEntry(root.GetOID(), root.GetOID());
        root.WriteProperties(stream, root.GetOID());
    }
    WriteView(archive, document, true);
    document.GetMatrix()->Serialize(archive);
    return archive.GetBuffer();
}

// The layouts before the property stream: the root as a class-tagged framework record, written by the
// library's own framework Serialize as every record of such a file is; below 0x20000 the matrix first
// and no stereo byte. A copy of the document is written: like a file, it holds no bond without ends,
// which a framework record cannot hold.
Bytes SaveOldForm(ChemDoc& document, std::uint32_t version)
{
    const std::unique_ptr<ChemDoc> copy(document.CreateCheckpoint());
    Archive archive;
    archive << ChemDoc::GetHeader() << version;
    if (version < 0x20000)
        copy->GetMatrix()->Serialize(archive);
    archive.WriteObject(copy->GetTreeRoot());
    WriteView(archive, *copy, version >= 0x20000);
    if (version >= 0x20000)
        copy->GetMatrix()->Serialize(archive);
    return archive.GetBuffer();
}

// ---- Property names, as the stream writes them

class NameCollector : public CompressedPropertyArchive {
public:
    NameCollector(Archive& archive, std::set<std::string>& names) : CompressedPropertyArchive(archive), m_names(names)
    {
    }
    void WriteClassHierarchy(const ClassHierarchy& hierarchy) override
    {
        m_names.insert(hierarchy.GetNames().begin(), hierarchy.GetNames().end());
        CompressedPropertyArchive::WriteClassHierarchy(hierarchy);
    }
    void WritePropertyName(std::string_view className, std::string_view propertyName, bool isArray) override
    {
        m_names.emplace(propertyName);
        CompressedPropertyArchive::WritePropertyName(className, propertyName, isArray);
    }

private:
    std::set<std::string>& m_names;
};

void CollectNames(Base& record, std::set<std::string>& names)
{
    Archive archive;
    NameCollector stream(archive, names);
    stream.AddOIDMapEntry(record.GetOID(), record.GetOID());
    record.WriteProperties(stream, record.GetOID());
}

// ---- Output

class Output {
public:
    explicit Output(fs::path folder) : m_folder(std::move(folder)) {}

    void Seed(const std::string& target, const std::string& name, const Bytes& bytes)
    {
        const fs::path folder = m_folder / "seeds" / target;
        if (!m_cleared.contains(target)) {
            fs::remove_all(folder);
            fs::create_directories(folder);
            m_cleared.insert(target);
        }
        Put(folder / name, bytes);
    }

    void Dictionary(const std::string& target, const std::set<std::string>& entries)
    {
        std::string text = "# Generated by make_corpus: tags, versions, class and property names.\n";
        for (const std::string& entry : entries)
            text += "\"" + Escape(entry) + "\"\n";
        Put(m_folder / (target + ".dict"), Bytes(text.begin(), text.end()));
    }

private:
    static std::string Escape(std::string_view bytes)
    {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
                text += c;
            } else {
                text += "\\x";
                text += digits[byte >> 4];
                text += digits[byte & 0xF];
            }
        }
        return text;
    }

    static void Put(const fs::path& path, const Bytes& bytes)
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!file)
            throw std::runtime_error("cannot write " + path.string());
    }

    fs::path m_folder;
    std::set<std::string> m_cleared;
};

std::string Raw(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

template <class T>
std::string Raw(T value)
{
    Archive archive;
    archive << value;
    return Raw(archive.GetBuffer());
}

// The name alone, as an archive string and as a framework new-class tag.
void AddName(std::set<std::string>& entries, std::string_view name, bool asClassTag)
{
    entries.emplace(name);
    Archive text;
    text << name;
    entries.insert(Raw(text.GetBuffer()));
    if (asClassTag)
        entries.insert(Raw(std::uint16_t{0xFFFF}) + Raw(std::uint16_t{13}) +
                       Raw(static_cast<std::uint16_t>(name.size())) + std::string(name));
}

// ---- Seeds of each target

// The example host's document, the every-class document and a bonded document of each subsystem,
// built before the targets' test classes are registered, so that they hold library classes only.
struct Documents {
    ChemDoc host;
    ChemDoc every;
    // By seed name.
    std::vector<std::pair<std::string, std::unique_ptr<ChemDoc>>> bonded;

    void BuildBonded()
    {
        for (const test::BondedDocument& kind : test::BondedDocuments()) {
            std::string name = std::string("bonded_") + kind.name;
            std::replace(name.begin(), name.end(), ' ', '_');
            auto document = std::make_unique<ChemDoc>();
            kind.build(*document);
            bonded.emplace_back(std::move(name), std::move(document));
        }
    }
};

void DocumentSeeds(Output& out, Documents& documents, std::set<std::string>& propertyNames)
{
    {
        ChemDoc& host = documents.host;
        out.Seed("fuzz_document", "host", Save(host));
        out.Seed("fuzz_document", "host_v30000", SaveOldForm(host, stereoVersion));
        out.Seed("fuzz_document", "host_v10000", SaveOldForm(host, oldestVersion));
        CollectNames(*host.GetTreeRoot(), propertyNames);
    }
    {
        ChemDoc& every = documents.every;
        out.Seed("fuzz_document", "every", Save(every));
        out.Seed("fuzz_document", "every_v40000", SaveRecordForm(every, noSchemaVersion, 0));
        out.Seed("fuzz_document", "every_schema7", SaveRecordForm(every, ChemDoc::currentVersion, 7));
        out.Seed("fuzz_document", "every_v30000", SaveOldForm(every, stereoVersion));
        out.Seed("fuzz_document", "every_v10000", SaveOldForm(every, oldestVersion));
        CollectNames(*every.GetTreeRoot(), propertyNames);
    }
    for (const auto& [name, bonded] : documents.bonded) {
        out.Seed("fuzz_document", name, Save(*bonded));
        CollectNames(*bonded->GetTreeRoot(), propertyNames);
    }
    // As deep as the reader takes a framework-record tree, and twice as deep as it takes.
    for (const auto& [name, depth] : {std::pair{"deep_v30000", 990}, std::pair{"deeper_v30000", 2000}}) {
        ChemDoc deep;
        BuildDeep(deep, depth);
        out.Seed("fuzz_document", name, SaveOldForm(deep, stereoVersion));
    }
    {
        ChemDoc deep;
        BuildDeep(deep, 1200);
        out.Seed("fuzz_document", "deep", Save(deep));
    }
}

void ArchiveSeeds(Output& out, Documents& documents)
{
    ChemDoc& host = documents.host;
    ChemDoc& every = documents.every;
    const auto frameworkRecord = [](TreeNode& root) {
        Archive archive;
        archive.WriteObject(&root);
        return archive.GetBuffer();
    };
    out.Seed("fuzz_archive", "host_tree", frameworkRecord(*host.GetTreeRoot()));
    // The every-class tree as the older document forms hold it: a copy, without the bonds that have
    // no ends.
    const std::unique_ptr<ChemDoc> everyCopy(every.CreateCheckpoint());
    out.Seed("fuzz_archive", "every_tree", frameworkRecord(*everyCopy->GetTreeRoot()));
    for (const auto& [name, bonded] : documents.bonded)
        out.Seed("fuzz_archive", name, frameworkRecord(*bonded->GetTreeRoot()));

    // Records referring to each other and to a model object, then the same objects by back-reference.
    auto* const node = new Object(nullptr);
    const std::unique_ptr<Object> owner(node);
    node->SetLabel("held by a record");
    FuzzRecord inner;
    inner.value = -5;
    inner.text = "inner";
    inner.references = {node, nullptr};
    FuzzRecord outer;
    outer.value = 1 << 20;
    outer.text = std::string(300, 'x');
    outer.references = {&inner, node};
    Archive records;
    records.WriteObject(&outer);
    records.WriteObject(&inner);
    records.WriteObject(node);
    records.WriteObject(nullptr);
    out.Seed("fuzz_archive", "records", records.GetBuffer());

    // A whole document as a framework record.
    Archive document;
    document.WriteObject(&host);
    out.Seed("fuzz_archive", "document_record", document.GetBuffer());
}

void StreamSeeds(Output& out, Documents& documents, std::set<std::string>& propertyNames)
{
    using RecordStream::Form;
    TreeRoot& root = *documents.every.GetTreeRoot();

    // Every storage type, referring to nodes of a test tree that the record also carries inline.
    const std::unique_ptr<FuzzTree> tree(FuzzTree::Make(nullptr));
    FuzzTree* const child = FuzzTree::Make(tree.get());
    FuzzTree::Make(child)->extra = tree.get();
    tree->extra = child;
    const std::unique_ptr<StreamValues> values(StreamValues::Make());
    values->c = -3;
    values->uc = 250;
    values->s = -30000;
    values->us = 60000;
    values->i = 254;
    values->ui = 70000;
    values->l = -1;
    values->ul = 0xFFFFFFFFu;
    values->f = 0.5f;
    values->d = -1e300;
    values->b = true;
    values->text = std::string(260, 't');
    values->point = Point3d(1.0, 2.0, 3.0);
    values->mode = StreamValues::Mode::On;
    values->object = tree.get();
    values->first = child;
    values->second = nullptr;
    values->ints = {0, 255, -7};
    values->texts = {"a", ""};
    values->points = {Point3d(), Point3d(-1.0, 0.0, 1.0)};
    values->objects = {child, tree.get(), nullptr};
    values->floats = {1.0f, -0.0f};

    for (const Form form : {Form::Compressed, Form::Plain}) {
        const std::string suffix = form == Form::Compressed ? "_compressed" : "_plain";
        out.Seed("fuzz_property_stream", "values" + suffix, RecordStream::Save(*values, form));
        out.Seed("fuzz_property_stream", "tree" + suffix, RecordStream::Save(*tree, form));
        out.Seed("fuzz_property_stream", "every" + suffix, RecordStream::Save(root, form));
        for (const auto& [name, bonded] : documents.bonded)
            out.Seed("fuzz_property_stream", name + suffix, RecordStream::Save(*bonded->GetTreeRoot(), form));
        // Several records in one stream: later ones refer to earlier ones by OID.
        Archive archive;
        {
            const std::unique_ptr<PropertyArchive> stream = RecordStream::Open(archive, form);
            for (Base* record : std::initializer_list<Base*>{tree.get(), values.get(), child}) {
                stream->AddOIDMapEntry(record->GetOID(), record->GetOID());
                record->WriteProperties(*stream, record->GetOID());
            }
        }
        out.Seed("fuzz_property_stream", "sequence" + suffix, archive.GetBuffer());
    }
    CollectNames(*values, propertyNames);
    CollectNames(*tree, propertyNames);
}

std::set<std::string> FormatTokens(bool document)
{
    std::set<std::string> entries{
        Raw(std::uint16_t{0xFFFF}),   // new class; count escape
        Raw(std::uint16_t{0x7FFF}),   // big index
        Raw(std::uint16_t{0x8001}),   // first class again
        Raw(std::uint16_t{0x0002}),   // first object again
        Raw(std::uint32_t{0x80000001}),
        Raw(std::uint16_t{0}) + Raw(std::uint16_t{8}) + "CObArray",
    };
    AddName(entries, "CObArray", false);
    if (document) {
        AddName(entries, ChemDoc::GetHeader(), false);
        for (const std::uint32_t version : {ChemDoc::currentVersion, noSchemaVersion, stereoVersion, 0x20000u, oldestVersion})
            entries.insert(Raw(version));
        entries.insert(Raw(ChemDoc::objectSchema));
    }
    return entries;
}

int Generate(const fs::path& folder)
{
    AttachDataModelDLL();
    try {
        Output out{folder};
        std::set<std::string> propertyNames;
        Documents documents;
        BuildHost(documents.host);
        BuildEveryClass(documents.every);
        documents.BuildBonded();
        DocumentSeeds(out, documents, propertyNames);
        RuntimeClass::Register(FuzzRecord::GetThisClass());
        ArchiveSeeds(out, documents);
        ClassRegistry::Register<StreamValues>();
        ClassRegistry::Register<FuzzTree>();
        StreamSeeds(out, documents, propertyNames);

        std::set<std::string> classNames{"FuzzRecord", "XXChemDoc", "XXProperty"};
        for (const auto& [name, factory] : RuntimeMap::GetRuntimeMap().GetEntries())
            classNames.insert("XX" + name);

        std::set<std::string> archive = FormatTokens(false);
        std::set<std::string> document = FormatTokens(true);
        std::set<std::string> stream = FormatTokens(false);
        for (const std::string& name : classNames) {
            AddName(archive, name, true);
            AddName(document, name, true);
            AddName(stream, name.substr(name.starts_with("XX") ? 2 : 0), false);
        }
        for (const std::string& name : propertyNames) {
            AddName(document, name, false);
            AddName(stream, name, false);
        }
        out.Dictionary("fuzz_archive", archive);
        out.Dictionary("fuzz_document", document);
        out.Dictionary("fuzz_property_stream", stream);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_corpus: %s\n", error.what());
        return 1;
    }
}

} // namespace

// The framework archive writes nested records recursively, so the deep seeds need a large stack.
int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <fuzz folder>\n");
        return 2;
    }
    struct Job {
        fs::path folder;
        int result = 1;
    } job{argv[1]};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, std::size_t{1} << 30);
    pthread_t thread;
    const auto run = [](void* data) -> void* {
        auto* const work = static_cast<Job*>(data);
        work->result = Generate(work->folder);
        return nullptr;
    };
    if (pthread_create(&thread, &attributes, run, &job) != 0 || pthread_join(thread, nullptr) != 0)
        return 1;
    return job.result;
}
