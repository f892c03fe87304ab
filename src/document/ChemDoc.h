// ChemDoc: the document — the object tree's root, the view matrix and options, commands and the document file.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include <tavrel/core/Color.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsAttributes.h>
#include <tavrel/core/LightSource.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/document/DataModelOptions.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/platform/PersistentObject.h>

namespace Tavrel {

class Archive;
class Command;
class TreeRoot;

// A document always has a root and a view matrix. The document file (little-endian):
//   the header text as an archive string, the version (u32), the object schema (u32, from 0x40001),
//   the root's record in the compressed property stream, then the view block: view size (float),
//   projection mode (i32), graphics quality (i32), background colour (u32, top byte cleared), depth
//   cue (byte), stereo (byte), and the view matrix (Matrix4x4::Serialize: sixteen doubles).
// Older files are read too: 0x40000 has no schema field; below 0x40000 the root is a class-tagged
// framework object; below 0x20000 the matrix comes first and the stereo byte is missing. A stored
// view size that is not finite loads as the default size, and a matrix with such an entry as the identity.
class ChemDoc : public PersistentObject {
public:
    static constexpr const char* className = "XXChemDoc";
    static constexpr std::uint32_t currentVersion = 0x40001;
    static constexpr std::uint32_t objectSchema = 13;

    // An empty root, the identity matrix and a copy of the default options.
    ChemDoc();
    ~ChemDoc() override;
    ChemDoc& operator=(const ChemDoc&) = delete;

    static const RuntimeClass& GetThisClass() noexcept;
    static PersistentObject* CreateObject();
    const RuntimeClass* GetRuntimeClass() const override { return &GetThisClass(); }

    // "Halvex Viewer Version: ".
    static std::string_view GetHeader();
    static std::uint32_t GetVersion();
    // Reads up to and including the header text; returns the number of bytes before the text (1, the
    // length byte, in a file this class wrote), or -1 when the data ends first.
    static std::int32_t FindAndReadHeader(Archive& archive);

    // Saves or loads the whole document. A load that fails raises ArchiveException (CSchemaException
    // for a newer version) and leaves the document as it was. A save never changes the document's tree.
    void Serialize(Archive& archive) override;

    TreeRoot* GetTreeRoot() const { return m_root.get(); }
    Matrix4x4* GetMatrix() const { return m_matrix.get(); }
    void SetMatrix(const Matrix4x4& matrix);

    // The root's DisplayAll / DisplayAllExtents.
    void Display(DisplayList3D& list, bool selectedOnly);
    void DisplayExtents(DisplayList3D& list, bool selectedOnly);

    // The extents of the tree as seen through the view matrix: fills minimum and maximum and returns
    // the mean of the extent points; the origin everywhere when there is none.
    Point3d GetBoundingBox(Point3d& minimum, Point3d& maximum, bool selectedOnly);
    Point3d GetCenterOfGeometry();
    // Moves the view so that the bounding-box centre is at the origin.
    void Center(bool selectedOnly);
    // Centres the box's midpoint and sets the view size to its largest side plus 5 (10 under 1).
    void FitToScreen(bool selectedOnly);
    // Moves every Geometric below the root by the view matrix, then resets the matrix to the identity.
    void ApplyMatrix();

    // A new document with a copy of this one's tree, matrix and options.
    virtual ChemDoc* CreateCheckpoint();
    // Takes a copy of the other document's tree, matrix and options; false, with nothing changed,
    // when it has no root or matrix or its tree cannot be copied.
    virtual bool ReplaceChemDoc(ChemDoc* other);
    // A copy of the tree replaces the root; nothing for null or the current root.
    virtual void ReplaceTreeRoot(TreeRoot* root);
    // Takes a copy of the checkpoint's tree, matrix and options; nothing for null or this document.
    // Always true.
    virtual bool RestoreCheckpoint(ChemDoc* checkpoint);
    // Runs the command's Do; on success broadcasts its update hint from the root and returns true.
    virtual bool ApplyCommand(Command& command);

    // Registers (add) or removes the callback for the selection event of every object of the class
    // below the root, as a plain registration with the user data.
    void SetSelectCallBack(std::uint32_t classType, bool add, Event::Callback callback, void* userData);

    // Whether loading turns packaged conformer models back into models (off at start).
    static bool CheckConvertConformations();
    // Returns the previous value.
    static bool SetConvertConformations(bool convert);

    // The document's options, with the view matrix as model matrix and the process-wide
    // synchronised-views flag.
    void GetOptions(DataModelOptions& options) const;
    // Takes the options; their model matrix becomes the view matrix and their synchronised-views
    // flag the process-wide one.
    void SetOptions(const DataModelOptions& options);
    // The process-wide defaults every new document copies.
    static void GetDefaultOptions(DataModelOptions& options);
    static void SetDefaultOptions(const DataModelOptions& options);
    // The options as graphics attributes, with the view matrix.
    void GetGraphAttr(GraphicsAttributes& attributes) const;
    static void SetDefGraphAttr(const GraphicsAttributes& attributes);
    static void GetDefGraphAttr(GraphicsAttributes& attributes);

    // Forwarding accessors to the document's options.
    bool GetAutoClean() const { return m_options.GetAutomaticallyCleanMolecules(); }
    void SetAutoClean(bool on) { m_options.SetAutomaticallyCleanMolecules(on); }
    bool GetPerceiveAromaticity() const { return m_options.GetPerceiveAndUpdateAromaticity(); }
    void SetPerceiveAromaticity(bool on) { m_options.SetPerceiveAndUpdateAromaticity(on); }
    bool GetUpdateHydrogens() const { return m_options.GetAddAndUpdateHydrogens(); }
    void SetUpdateHydrogens(bool on) { m_options.SetAddAndUpdateHydrogens(on); }
    bool GetHideHydrogens() const { return m_options.GetHideHydrogens(); }
    void SetHideHydrogens(bool on) { m_options.SetHideHydrogens(on); }
    bool GetIncludeIntermolecularForces() const { return m_options.GetIncludeIntermolecularForces(); }
    void SetIncludeIntermolecularForces(bool on) { m_options.SetIncludeIntermolecularForces(on); }
    bool GetCleanSelectedAtoms() const { return m_options.GetCleanSelectedAtoms(); }
    void SetCleanSelectedAtoms(bool on) { m_options.SetCleanSelectedAtoms(on); }
    bool GetStereo() const { return m_options.GetUseStereo(); }
    void SetStereo(bool on) { m_options.SetUseStereo(on); }
    bool GetDepthCue() const { return m_options.GetDepthCue(); }
    void SetDepthCue(bool on) { m_options.SetDepthCue(on); }
    std::int32_t GetGraphQuality() const { return m_options.GetGraphicsQuality(); }
    void SetGraphQuality(std::int32_t quality) { m_options.SetGraphicsQuality(quality); }
    std::int32_t GetProjection() const { return m_options.GetProjectionMode(); }
    void SetProjection(std::int32_t mode) { m_options.SetProjectionMode(mode); }
    bool GetUpdateView() const { return m_options.GetUpdateViews(); }
    void SetUpdateView(bool on) { m_options.SetUpdateViews(on); }
    double GetViewSize() const { return m_options.GetViewSize(); }
    void SetViewSize(double size) { m_options.SetViewSize(size); }
    float GetZFarAdj() const { return m_options.GetZFarAdj(); }
    void SetZFarAdj(float adjustment) { m_options.SetZFarAdj(adjustment); }
    float GetZNearAdj() const { return m_options.GetZNearAdj(); }
    void SetZNearAdj(float adjustment) { m_options.SetZNearAdj(adjustment); }
    double GetStereoAngle() const { return m_options.GetStereoAngle(); }
    void SetStereoAngle(double degrees) { m_options.SetStereoAngle(degrees); }
    double GetStereoSeparationFactor() const { return m_options.GetStereoSeparationFactor(); }
    void SetStereoSeparationFactor(double factor) { m_options.SetStereoSeparationFactor(factor); }
    double GetStereoSkewFactor() const { return m_options.GetStereoSkewFactor(); }
    void SetStereoSkewFactor(double factor) { m_options.SetStereoSkewFactor(factor); }
    double GetLineWidth() const { return m_options.GetLineWidth(); }
    void SetLineWidth(double width) { m_options.SetLineWidth(width); }
    double GetFontScale() const { return m_options.GetFontScale(); }
    void SetFontScale(double scale) { m_options.SetFontScale(scale); }
    double GetPerspectiveAngle() const { return m_options.GetPerspectiveAngle(); }
    void SetPerspectiveAngle(double degrees) { m_options.SetPerspectiveAngle(degrees); }
    bool GetFastRender() const { return m_options.GetFastRenderOnMove(); }
    void SetFastRender(bool on) { m_options.SetFastRenderOnMove(on); }
    Color GetBkColor() const { return m_options.GetBackgroundColor(); }
    void SetBkColor(const Color& color) { m_options.SetBackgroundColor(color); }
    // The flag of the process-wide defaults, shared by every document.
    static bool GetSyncronizedViews();
    static void SetSyncronizedViews(bool on);
    // Light index of the options; outside 0..3 a switched-off light with direction and colour 0.
    LightSource GetLightSource(int index) const;
    // Outside 0..3 nothing.
    void SetLightSource(int index, const LightSource& light);

protected:
    // Copies of the other's options, tree (when it has one) and matrix (when it has one).
    ChemDoc(const ChemDoc& other);

    // Before a save, on the tree being written: converts and packages its conformer models.
    virtual void PreProcess(Archive& archive, TreeRoot& root);
    // After a load, on the new root before it replaces the document's: rebuilds crystal symmetry maps,
    // scales the decorated annotations of files of object schema 7 or less by the loaded view size, and
    // unpackages or drops conformer models.
    virtual void PostProcess(Archive& archive, TreeRoot& root, double viewSize);

private:
    struct View;
    // The document's tree. While the document holds it, its OID is entered in OwnedObjects, so that
    // the clean-up after a refused read around the document's record never frees it. Destroyed with the
    // document, it gives the object pool's emptied blocks back to the system.
    class HeldRoot {
    public:
        explicit HeldRoot(std::unique_ptr<TreeRoot> root);
        ~HeldRoot();
        HeldRoot(const HeldRoot&) = delete;
        HeldRoot& operator=(const HeldRoot&) = delete;

        TreeRoot* get() const { return m_root.get(); }
        TreeRoot& operator*() const { return *m_root; }
        TreeRoot* operator->() const { return m_root.get(); }
        explicit operator bool() const { return static_cast<bool>(m_root); }
        // Holds the other tree and hands back the one it held.
        void swap(std::unique_ptr<TreeRoot>& other);

    private:
        void Hold(bool held) const;

        std::unique_ptr<TreeRoot> m_root;
    };

    void Store(Archive& archive);
    void Load(Archive& archive);
    // Takes copies of the other's tree, matrix and options; false, with nothing changed, when a copy
    // cannot be made.
    bool TakeCopyOf(const ChemDoc& other, const DataModelOptions& options);

    HeldRoot m_root;
    std::unique_ptr<Matrix4x4> m_matrix;
    DataModelOptions m_options;
};

} // namespace Tavrel
