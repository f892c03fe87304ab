#include <tavrel/document/ChemDoc.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerHelper.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/core/ObjectPool.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/document/CSchemaException.h>
#include <tavrel/document/Command.h>
#include <tavrel/foundation/CompressedPropertyArchive.h>
#include <tavrel/foundation/BaseCollection.h>
#include <tavrel/foundation/DataStorage.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/InstanceCount.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/OwnedObjects.h>
#include <tavrel/foundation/TreeRoot.h>
#include <tavrel/graphics/DecoratedAnnotation.h>
#include <tavrel/platform/Archive.h>

namespace Tavrel {

namespace {

constexpr std::string_view headerText = "Halvex Viewer Version: ";
// From this version on the root is a record of the compressed property stream.
constexpr std::uint32_t firstPropertyStreamVersion = 0x40000;
// From this version on the matrix follows the view block, which ends with the stereo byte.
constexpr std::uint32_t firstStereoVersion = 0x20000;
// Files of this object schema or lower kept decorated-annotation positions in units of the view size.
constexpr std::uint32_t lastViewUnitSchema = 7;

DataModelOptions& DefaultOptions()
{
    static DataModelOptions options;
    return options;
}

bool g_convertConformations = false;

// The OIDs of the objects of a class below the root (the root excluded), in pre-order; taken before
// anything is changed, and checked again before each use.
std::vector<std::uint32_t> CollectBelow(TreeRoot& root, std::uint32_t type)
{
    std::vector<std::uint32_t> oids;
    DescendentIterator objects(&root, type, false);
    while (Object* const object = objects.GetNext())
        oids.push_back(object->GetOID());
    return oids;
}

template <class T>
T* Live(std::uint32_t oid)
{
    return DynCast<T>(Base::GetObjectA(oid));
}

// Conformer models and their conformers have to be converted and packaged before a save.
bool HoldsConformerModels(const TreeRoot& root)
{
    return (InstanceCount<Conformer>::Any() && root.HasDescendent(Conformer::classType)) ||
           (InstanceCount<ConformerModel>::Any() && root.HasDescendent(ConformerModel::classType));
}

// A parentless copy of the tree, or null when it cannot be made.
std::unique_ptr<TreeRoot> CopyTree(TreeRoot& root)
{
    std::unique_ptr<TreeNode> copy(root.TreeCopy());
    if (!IsA<TreeRoot>(copy.get()))
        return nullptr;
    return std::unique_ptr<TreeRoot>(static_cast<TreeRoot*>(copy.release()));
}

// The archive's object schema, left in place (reading it through GetObjectSchema resets it).
std::uint32_t PeekObjectSchema(Archive& archive)
{
    const std::uint32_t schema = archive.GetObjectSchema();
    archive.SetObjectSchema(schema);
    return schema;
}

// The view matrix; one with an entry that is not finite loads as the identity.
Matrix4x4 ReadMatrix(Archive& archive)
{
    Matrix4x4 matrix;
    archive >> matrix;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            if (!std::isfinite(matrix(i, j)))
                return Matrix4x4();
        }
    }
    return matrix;
}

// The root's record of the compressed property stream; the finishing pass has run when it returns.
// lastRead is the last OID the reading itself handed out.
std::unique_ptr<TreeRoot> ReadRootRecord(Archive& archive, std::uint32_t& lastRead)
{
    std::unique_ptr<TreeRoot> root;
    const std::size_t at = archive.GetPosition();
    {
        CompressedPropertyArchive stream(archive);
        std::unique_ptr<Base> record(Catalog::ReadProperties(stream));
        lastRead = Base::GetLastOID();
        if (!record)
            archive.Refuse(ArchiveException::badClass, "the root record is of no class known here", at);
        if (!IsA<TreeRoot>(record.get()))
            archive.Refuse(ArchiveException::badClass,
                           "the root record is of class " + ArchiveException::Quote(record->GetRuntimeClass()->className) +
                               ", not a tree root",
                           at);
        // A hostile stream can make the record a child of a node read inside it: refuse that too.
        if (static_cast<TreeRoot*>(record.get())->GetParent())
            archive.Refuse(ArchiveException::badClass, "the root record is the child of a record inside it", at);
        root.reset(static_cast<TreeRoot*>(record.release()));
    }
    return root;
}

// The root as a class-tagged framework object; the tree then counts as unmodified, as one read from
// the property stream does.
std::unique_ptr<TreeRoot> ReadRootObject(Archive& archive)
{
    const std::size_t at = archive.GetPosition();
    PersistentObject* const object = archive.ReadObject(&TreeRoot::GetThisClass());
    if (!object)
        archive.Refuse(ArchiveException::badClass, "the root is a null reference", at);
    std::unique_ptr<TreeRoot> root(static_cast<TreeRoot*>(object));
    root->ClearModified();
    return root;
}

} // namespace

// The view block of the document file.
struct ChemDoc::View {
    float viewSize = 0.0f;
    std::int32_t projection = 0;
    std::int32_t quality = 0;
    Color background;
    bool depthCue = false;
    bool stereo = false;

    static View Of(const ChemDoc& document)
    {
        return {static_cast<float>(document.GetViewSize()), document.GetProjection(), document.GetGraphQuality(),
                document.GetBkColor(), document.GetDepthCue(), document.GetStereo()};
    }

    void Write(Archive& archive) const
    {
        archive << viewSize << projection << quality << (background.GetValue() & 0x00FFFFFFu) << depthCue << stereo;
    }

    // Without the stereo byte the stereo setting stays as it was. A view size that is not finite
    // loads as the default.
    void Read(Archive& archive, bool withStereo)
    {
        std::uint32_t color = 0;
        archive >> viewSize >> projection >> quality >> color >> depthCue;
        if (!std::isfinite(viewSize))
            viewSize = static_cast<float>(DataModelOptions().GetViewSize());
        background = Color(color);
        if (withStereo)
            archive >> stereo;
    }

    void ApplyTo(ChemDoc& document) const
    {
        document.SetViewSize(viewSize);
        document.SetProjection(projection);
        document.SetGraphQuality(quality);
        document.SetBkColor(background);
        document.SetDepthCue(depthCue);
        document.SetStereo(stereo);
    }
};

// ---- Construction

ChemDoc::HeldRoot::HeldRoot(std::unique_ptr<TreeRoot> root) : m_root(std::move(root))
{
    Hold(true);
}

// The document's tree goes with it, and the pool's blocks it emptied go back to the system; a tree
// that a read or a copy replaces leaves its blocks as spares for what the document makes next.
ChemDoc::HeldRoot::~HeldRoot()
{
    Hold(false);
    m_root.reset();
    if constexpr (ObjectPool::ServesObjects)
        ObjectPool::Objects().ReleaseSpareBlocks();
}

void ChemDoc::HeldRoot::swap(std::unique_ptr<TreeRoot>& other)
{
    Hold(false);
    m_root.swap(other);
    Hold(true);
}

void ChemDoc::HeldRoot::Hold(bool held) const
{
    if (!m_root)
        return;
    if (held)
        OwnedObjects::Enter(m_root->GetOID());
    else
        OwnedObjects::Leave(m_root->GetOID());
}

ChemDoc::ChemDoc()
    : m_root(std::make_unique<TreeRoot>()), m_matrix(std::make_unique<Matrix4x4>()), m_options(DefaultOptions())
{
}

ChemDoc::ChemDoc(const ChemDoc& other)
    : PersistentObject(other), m_root(CopyTree(*other.m_root)), m_matrix(std::make_unique<Matrix4x4>(*other.m_matrix)),
      m_options(other.m_options)
{
    if (!m_root)
        throw std::runtime_error("the document's tree cannot be copied");
}

ChemDoc::~ChemDoc() = default;

const RuntimeClass& ChemDoc::GetThisClass() noexcept
{
    static const RuntimeClass record{className, RuntimeClass::VersionableSchema | objectSchema, &ChemDoc::CreateObject,
                                     &PersistentObject::GetThisClass()};
    return record;
}

PersistentObject* ChemDoc::CreateObject()
{
    return new ChemDoc();
}

// ---- The document file

std::string_view ChemDoc::GetHeader()
{
    return headerText;
}

std::uint32_t ChemDoc::GetVersion()
{
    return currentVersion;
}

std::int32_t ChemDoc::FindAndReadHeader(Archive& archive)
{
    std::size_t matched = 0;
    std::size_t read = 0;
    while (matched < headerText.size()) {
        if (archive.GetRemaining() == 0)
            return -1;
        char byte = 0;
        archive >> byte;
        ++read;
        if (byte == headerText[matched])
            ++matched;
        else
            matched = byte == headerText[0] ? 1 : 0;
    }
    return static_cast<std::int32_t>(
        std::min<std::size_t>(read - headerText.size(), std::numeric_limits<std::int32_t>::max()));
}

void ChemDoc::Serialize(Archive& archive)
{
    if (archive.IsStoring())
        Store(archive);
    else
        Load(archive);
}

// A tree with conformer models is written from a copy, so the document's own tree is never changed,
// whatever happens during the save; its ordered collections keep every entry's index.
void ChemDoc::Store(Archive& archive)
{
    std::unique_ptr<TreeRoot> copy;
    if (HoldsConformerModels(*m_root)) {
        const OrdCollection::KeepIndicesScope keepIndices;
        copy = CopyTree(*m_root);
        if (!copy)
            archive.Refuse(ArchiveException::genericException, "the tree with conformer models cannot be copied for the save");
    }
    TreeRoot& root = copy ? *copy : *m_root;
    PreProcess(archive, root);

    archive << headerText << currentVersion << objectSchema;
    archive.SetObjectSchema(objectSchema);
    {
        CompressedPropertyArchive stream(archive);
        stream.AddOIDMapEntry(root.GetOID(), root.GetOID());
        root.WriteProperties(stream, root.GetOID());
    }
    View::Of(*this).Write(archive);
    m_matrix->Serialize(archive);
}

// Everything is read into temporaries; the document changes only once the whole file has been read.
void ChemDoc::Load(Archive& archive)
{
    const std::size_t start = archive.GetPosition();
    if (FindAndReadHeader(archive) < 0)
        archive.Refuse(ArchiveException::badSchema, "no header " + ArchiveException::Quote(headerText), start);
    std::uint32_t version = 0;
    archive >> version;
    if (version > currentVersion)
        throw CSchemaException(ArchiveException::badSchema);

    std::uint32_t schema = PeekObjectSchema(archive);
    std::unique_ptr<TreeRoot> root;
    Matrix4x4 matrix = *m_matrix;
    View view = View::Of(*this);
    const std::uint32_t lastOIDBefore = Base::GetLastOID();
    try {
        std::uint32_t lastRead = 0;
        if (version >= firstPropertyStreamVersion) {
            if (version >= currentVersion) {
                archive >> schema;
                archive.SetObjectSchema(schema);
            }
            root = ReadRootRecord(archive, lastRead);
        }
        if (version < firstStereoVersion) {
            matrix = ReadMatrix(archive);
            root = ReadRootObject(archive);
            lastRead = Base::GetLastOID();
            view.Read(archive, false);
        } else {
            if (version < firstPropertyStreamVersion) {
                root = ReadRootObject(archive);
                lastRead = Base::GetLastOID();
            }
            view.Read(archive, true);
            matrix = ReadMatrix(archive);
        }
        // Collections never own their members: a member that no node of the tree holds is freed,
        // and the collections of the tree forget it. A tree that held every object read has
        // none to free.
        if (!root->HeldEveryObjectIn(lastOIDBefore, lastRead) &&
            TreeNode::DeleteParentlessSince(lastOIDBefore, lastRead, root.get()) > 0) {
            for (const std::uint32_t oid : CollectBelow(*root, BaseCollection::classType)) {
                if (BaseCollection* const collection = Live<BaseCollection>(oid))
                    collection->DropDeleted();
            }
        }
        archive.SetObjectSchema(schema);
        PostProcess(archive, *root, view.viewSize);
    } catch (...) {
        root.reset();
        TreeNode::DeleteParentlessSince(lastOIDBefore, Base::GetLastOID());
        throw;
    }

    m_root.swap(root);
    root.reset();
    *m_matrix = matrix;
    view.ApplyTo(*this);
}

void ChemDoc::PreProcess(Archive&, TreeRoot& root)
{
    if (!HoldsConformerModels(root))
        return;
    ConformerHelper helper;
    helper.ConvertAllConformerModels(root, false);
    helper.PackageConformerModels(root);
}

// Every decorated annotation of an old file is scaled, whatever its selection and visibility.
void ChemDoc::PostProcess(Archive& archive, TreeRoot& root, double viewSize)
{
    for (const std::uint32_t oid : InstanceCount<Cell3d>::Any() ? CollectBelow(root, Cell3d::classType)
                                                                 : std::vector<std::uint32_t>()) {
        Cell3d* cell = Live<Cell3d>(oid);
        // A cell read from a framework record with its asymmetric unit alone makes its replicas.
        if (cell && cell->IsDirty()) {
            cell->Build(cell->GetBuildInfo());
            cell = Live<Cell3d>(oid);
        }
        if (!cell)
            continue;
        if (cell->HasDescendent(ReplicateAtom::classType))
            cell->EnableSymmetryMap(true);
        cell->CreateSymmetryMap(false);
    }

    if (PeekObjectSchema(archive) <= lastViewUnitSchema) {
        for (const std::uint32_t oid : CollectBelow(root, DecoratedAnnotation::classType)) {
            if (Geometric2d* const annotation = Live<Geometric2d>(oid))
                annotation->SetXY(annotation->GetXY() * viewSize);
        }
    }

    // Only Conformations made from conformer models are ever deleted or converted here: those whose
    // models came back go, and when the models were lost they become models again. What the save
    // added and the load takes out (its tokens; with conversion also its Conformations) hands its
    // numbers out again, so that the next save numbers its additions alike. Without conversion the
    // packaged objects go too, but the Conformations made from them stay and hold numbers above
    // theirs, so none of theirs is handed out again.
    ConformerHelper helper;
    if (!g_convertConformations) {
        if ((InstanceCount<ConformerModelToken>::Any() || InstanceCount<Conformation>::Any()) &&
            helper.DeleteAllConformerModelTokens(root))
            root.RewindLidCounter();
    }
    else if (helper.UnpackageConformerModels(root)) {
        helper.DeleteAllConformationModels(root, true);
        root.RewindLidCounter();
    } else
        helper.ConvertAllConformationModels(root, true, true);
    // A marked Conformation left now is not one the next save makes: it is kept as it is.
    if (g_convertConformations && InstanceCount<Conformation>::Any())
        helper.UnmarkAllConformations(root);

    // Putting conformer objects back may take atoms from a Conformation's reference after its values
    // were fitted to them: fitted again, each is saved as it is held.
    if (InstanceCount<Conformation>::Any()) {
        for (const std::uint32_t oid : CollectBelow(root, Conformation::classType)) {
            if (Conformation* const conformation = Live<Conformation>(oid))
                conformation->DropValuesPastReference();
        }
    }
}

// ---- View

void ChemDoc::SetMatrix(const Matrix4x4& matrix)
{
    *m_matrix = matrix;
}

void ChemDoc::Display(DisplayList3D& list, bool selectedOnly)
{
    m_root->DisplayAll(list, selectedOnly);
}

void ChemDoc::DisplayExtents(DisplayList3D& list, bool selectedOnly)
{
    m_root->DisplayAllExtents(list, selectedOnly);
}

Point3d ChemDoc::GetBoundingBox(Point3d& minimum, Point3d& maximum, bool selectedOnly)
{
    DisplayList3D list(2);
    DisplayExtents(list, selectedOnly);
    const std::vector<PickDot> dots = list.GetPickDots();
    if (dots.empty()) {
        minimum = Point3d::origin;
        maximum = Point3d::origin;
        return Point3d::origin;
    }
    minimum = Point3d::maximum;
    maximum = Point3d::minimum;
    double sum[3] = {0.0, 0.0, 0.0};
    for (const PickDot& dot : dots) {
        const Point3d position = dot.position * *m_matrix;
        minimum.Minimum(position);
        maximum.Maximum(position);
        sum[0] += position.x;
        sum[1] += position.y;
        sum[2] += position.z;
    }
    const auto count = static_cast<double>(dots.size());
    return Point3d(sum[0] / count, sum[1] / count, sum[2] / count);
}

Point3d ChemDoc::GetCenterOfGeometry()
{
    Point3d minimum;
    Point3d maximum;
    return GetBoundingBox(minimum, maximum, false);
}

void ChemDoc::Center(bool selectedOnly)
{
    Point3d minimum;
    Point3d maximum;
    const Point3d centre = GetBoundingBox(minimum, maximum, selectedOnly);
    Matrix4x4 translation;
    translation.SetTranslation(-centre);
    *m_matrix *= translation;
}

void ChemDoc::FitToScreen(bool selectedOnly)
{
    Point3d minimum;
    Point3d maximum;
    GetBoundingBox(minimum, maximum, selectedOnly);
    Matrix4x4 translation;
    translation.SetTranslation(-((minimum + maximum) * 0.5));
    *m_matrix *= translation;
    const Point3d sides = maximum - minimum;
    const double extent = std::max({double(sides.x), double(sides.y), double(sides.z)});
    SetViewSize(extent < 1.0 ? 10.0 : extent + 5.0);
}

void ChemDoc::ApplyMatrix()
{
    for (const std::uint32_t oid : CollectBelow(*m_root, Geometric::classType)) {
        if (Geometric* const object = Live<Geometric>(oid)) {
            Point3d position = object->GetXYZ();
            m_matrix->Transform(position);
            object->SetXYZ(position);
        }
    }
    m_matrix->SetIdentity();
}

// ---- Checkpoints and commands

ChemDoc* ChemDoc::CreateCheckpoint()
{
    return new ChemDoc(*this);
}

bool ChemDoc::TakeCopyOf(const ChemDoc& other, const DataModelOptions& options)
{
    std::unique_ptr<TreeRoot> copy = CopyTree(*other.m_root);
    if (!copy)
        return false;
    const Matrix4x4 matrix = *other.m_matrix;
    m_root.swap(copy);
    copy.reset();
    *m_matrix = matrix;
    m_options = options;
    return true;
}

bool ChemDoc::ReplaceChemDoc(ChemDoc* other)
{
    if (!other)
        return false;
    DataModelOptions options;
    other->GetOptions(options);
    return TakeCopyOf(*other, options);
}

void ChemDoc::ReplaceTreeRoot(TreeRoot* root)
{
    if (!root || root == m_root.get())
        return;
    if (std::unique_ptr<TreeRoot> copy = CopyTree(*root)) {
        m_root.swap(copy);
        copy.reset();
    }
}

bool ChemDoc::RestoreCheckpoint(ChemDoc* checkpoint)
{
    if (checkpoint && checkpoint != this)
        TakeCopyOf(*checkpoint, checkpoint->m_options);
    return true;
}

bool ChemDoc::ApplyCommand(Command& command)
{
    if (!m_root || !command.Do(this))
        return false;
    m_root->BroadcastChange(command.GetUpdateHint());
    return true;
}

void ChemDoc::SetSelectCallBack(std::uint32_t classType, bool add, Event::Callback callback, void* userData)
{
    DescendentIterator objects(m_root.get(), classType, false);
    while (Object* const object = objects.GetNext()) {
        if (add)
            object->RegisterEvent(TreeNode::classType, TreeNode::EventSelectionChanged, callback, false, userData, nullptr);
        else
            object->UnregisterEvent(TreeNode::classType, TreeNode::EventSelectionChanged, callback, false, userData,
                                    nullptr);
    }
}

bool ChemDoc::CheckConvertConformations()
{
    return g_convertConformations;
}

bool ChemDoc::SetConvertConformations(bool convert)
{
    return std::exchange(g_convertConformations, convert);
}

// ---- Options

void ChemDoc::GetOptions(DataModelOptions& options) const
{
    options = m_options;
    options.SetModelMatrix(*m_matrix);
    options.SetSyncronizeViews(DefaultOptions().GetSyncronizeViews());
}

void ChemDoc::SetOptions(const DataModelOptions& options)
{
    m_options = options;
    *m_matrix = options.GetModelMatrix();
    DefaultOptions().SetSyncronizeViews(options.GetSyncronizeViews());
}

void ChemDoc::GetDefaultOptions(DataModelOptions& options)
{
    options = DefaultOptions();
}

void ChemDoc::SetDefaultOptions(const DataModelOptions& options)
{
    DefaultOptions() = options;
}

void ChemDoc::GetGraphAttr(GraphicsAttributes& attributes) const
{
    m_options.GetGraphicsAttributes(attributes);
    attributes.SetModelMatrix(*m_matrix);
}

void ChemDoc::SetDefGraphAttr(const GraphicsAttributes& attributes)
{
    DefaultOptions().SetGraphicsAttributes(attributes);
}

void ChemDoc::GetDefGraphAttr(GraphicsAttributes& attributes)
{
    DefaultOptions().GetGraphicsAttributes(attributes);
}

bool ChemDoc::GetSyncronizedViews()
{
    return DefaultOptions().GetSyncronizeViews();
}

void ChemDoc::SetSyncronizedViews(bool on)
{
    DefaultOptions().SetSyncronizeViews(on);
}

LightSource ChemDoc::GetLightSource(int index) const
{
    return LightSource(m_options.GetLightingDirection(index), m_options.GetLightingColor(index),
                       m_options.GetLightEnabled(index));
}

void ChemDoc::SetLightSource(int index, const LightSource& light)
{
    m_options.SetLightEnabled(index, light.IsEnabled());
    m_options.SetLightingColor(index, light.GetColor());
    m_options.SetLightingDirection(index, light.GetDirection());
}

} // namespace Tavrel
