// HierarchyData: the engine of a symmetry map: classifies a cell's atoms and objects into asymmetric-unit parents and images, and builds the images.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/symmetry_build/OIDIndexMap.h>
#include <tavrel/symmetry_build/HierarchyItem.h>
#include <tavrel/symmetry_build/ImageNode.h>
#include <tavrel/symmetry_build/IndexLists.h>
#include <tavrel/symmetry_build/Matrix4x4Group.h>
#include <tavrel/symmetry_build/ReplicateBond.h>
#include <tavrel/symmetry_build/ReplicateList.h>
#include <tavrel/symmetry_build/SymmetryAtoms.h>
#include <tavrel/symmetry_build/SymmetryBonds.h>
#include <tavrel/symmetry_build/SymmetryObjects.h>
#include <tavrel/symmetry_build/SymmetryTree.h>

namespace Tavrel {

class AsymmetricUnit;
class Atom;
class BaseCollection;
class BuildResults;
class Cell3d;
class CellBuildTree;
class CosetLattice;
class Object;
class SymmetryImageKeySet;
class SymmetryOperationTable;

// One Update runs a fixed pipeline of named steps over the atoms and objects below the cell: the
// space group, the atoms in a fixed order with every enclosing object as an item (atoms first, the
// cell the root object item), equivalent atoms and objects grouped into replicate lists, the bonds
// across images, the image graph and its components, the symmetry tree, and finally the build tree
// that creates and marks the images. A failing step records its name in HierarchyDataErrorList and
// leaves the data empty and dirty. Replicas are named by OID, never by pointer.
class HierarchyData {
public:
    HierarchyData(Cell3d* cell, std::unique_ptr<SymmetryImageKeySet> keys);
    // A copy without cell, dirty, not computing bonds.
    HierarchyData(const HierarchyData& other);
    HierarchyData& operator=(const HierarchyData&) = delete;
    ~HierarchyData();

    Cell3d* GetCell() const { return m_cell; }
    void SetCellParameters(const Matrix3x3& fractionalToCartesian, const Matrix3x3& cartesianToFractional);
    // Turning it on marks the data dirty; one build reads and clears it.
    void SetComputeBonds(bool computeBonds);
    bool GetComputeBonds() const { return m_computeBonds; }
    void SetBuildFullMolecules(bool buildFullMolecules);
    bool HasSymmetry() const { return !m_operations.empty(); }
    bool IsDirty() const { return m_dirty; }
    // With removeMarkers every descendant of the cell loses "_ASU", "_REP" and "_RMI", and the image
    // keys their numbers; else the keys keep their numbers through every rebuild (those a loaded
    // cell handed over included), so the images keep their "_RMI".
    void MarkDirty(bool removeMarkers);
    // Rebuilds when dirty; clean afterwards unless the build failed.
    void Update();
    void Rebuild();
    void Reset();

    // A clone for a copied cell with the old and new OIDs of its atoms, objects and bonds; null when
    // a list does not match.
    std::unique_ptr<HierarchyData> Paste(Cell3d* cell, const OIDArray& oldAtoms, const OIDArray& newAtoms,
                                         const OIDArray& oldObjects, const OIDArray& newObjects,
                                         const OIDArray& oldBonds, const OIDArray& newBonds) const;

    // Queries of the map.
    void GetAtomOIDs(OIDArray& out) const;
    void GetObjectOIDs(OIDArray& out) const;
    void GetBondOIDs(OIDArray& out) const;
    void GetOperationIndexList(IntArray& out) const;
    // The image key of the OID's atom or object item; false when not found.
    bool FindImageKey(std::uint32_t oid, SymmetryImageKey& key) const;
    // The OID of the asymmetric-unit parent that holds the OID's item; 0 when not found.
    std::uint32_t GetSymmetryParentOID(std::uint32_t oid) const;
    bool GetAsymmetricUnitObjects(const Object* start, std::uint32_t classType, BaseCollection& out) const;
    bool GetSymmetryReplicates(const Object* object, BaseCollection& out, bool includeSelf) const;
    void GetAsymmetricUnit(AsymmetricUnit& unit) const;
    bool DisplayBuildResults(const BuildResults& results);

    // Edits below the cell, named by OID, as the map's listeners hand them on. Each ignores an OID it
    // cannot resolve and costs the size of the edited family: a property, label or element set on one
    // member is copied to the others, a moved atom re-places its family, deleting any member deletes
    // the family, and structural changes only mark the data dirty.
    void OnAtomAdded(std::uint32_t oid);
    void OnAtomDeleted(std::uint32_t oid);
    void OnObjectAdded(std::uint32_t oid);
    void OnObjectDeleted(std::uint32_t oid);
    void OnObjectMoved(std::uint32_t oid);
    void OnBondDeleted(std::uint32_t oid);
    void OnBondTypeChanged(std::uint32_t oid);
    void OnAtomTypeChanged(std::uint32_t oid);
    void OnAtomFormalChargeChanged(std::uint32_t oid);
    void OnAtomHybridizationChanged(std::uint32_t oid);
    void OnAtomPartialChargeChanged(std::uint32_t oid);
    void OnAtomCPKScaleChanged(std::uint32_t oid);
    void OnAtomBallSizeChanged(std::uint32_t oid);
    void OnAtomStickRadiusChanged(std::uint32_t oid);
    void OnLabelChanged(std::uint32_t oid);
    void OnAtomXYZChanged(std::uint32_t oid);

    // Read-only views for tests and the listeners.
    const std::vector<AtomItem>& GetAtomItems() const { return m_atomItems; }
    const std::vector<ObjectItem>& GetObjectItems() const { return m_objectItems; }
    const std::vector<ReplicateAtomList>& GetAtomLists() const { return m_atomLists; }
    const std::vector<ReplicateObjectList>& GetObjectLists() const { return m_objectLists; }
    const std::vector<Matrix4x4>& GetOperations() const { return m_operations; }
    const SymmetryTree& GetSymmetryTree() const { return m_tree; }

private:
    // Per-build working data of the steps; none of it outlives Create.
    struct Work;
    // A link between two nodes of the graph, with its bond type.
    struct GraphLink {
        std::int32_t u;
        std::int32_t v;
        std::int32_t type;
    };

    void Create();
    void ClearGraph();
    [[noreturn]] static void Fail(std::string_view step);
    static void Check(bool passed, std::string_view step);

    // Space group and atoms.
    bool GetSymmetryInformation();
    bool CreateLookupTables();
    bool GetAtomList(Work& work) const;
    bool GetHierarchyInformation(Work& work) const;
    bool InitializeItems(const Work& work);
    bool GetAtomInformation(Work& work) const;
    bool ComputeAtomTypes(Work& work) const;
    // Equivalent atoms and lists.
    bool FindEquivalentAtoms(const Work& work);
    bool EquivalenceTest(const Work& work, const struct EquivalentAtomLists& lists);
    bool FindSymmetryParents(Work& work) const;
    bool SetSymmetryParent(const Work& work);
    bool FindEquivalentObjects(const Work& work);
    bool FindListMembership(Work& work) const;
    bool VerifyListMembership(const Work& work) const;
    void SetListMembership(const Work& work);
    bool FindListParents(Work& work) const;
    bool SetListParents(const Work& work);
    bool UpdateItemParents(const Work& work);
    bool ValidateItemsAndLists() const;
    // Bonds.
    bool GetBondsFromHierarchy(Work& work) const;
    bool FindEquivalentBonds(const Work& work, std::vector<ReplicateBondList>& out) const;
    bool SymmetrizeBonds(std::vector<ReplicateBondList>& lists);
    bool ReduceSymmetryBonds(std::vector<ReplicateBondList>& lists);
    bool GetCosetRepresentativeKey(std::int32_t partner, SymmetryImageKey& key);
    bool ReplaceWithCosetRepresentatives(ReplicateBondList& list);
    void ReplaceWithSymmetryEquivalentBonds(std::int32_t k, ReplicateBondList& list);
    bool ExpandSymmetryBonds(std::vector<ReplicateBondList>& lists);
    // Bonds by distance to every image of every atom within reach, at any lattice translation.
    bool FindNeighbors(std::vector<ReplicateBondList>& out);
    // The level at which the two lists' parent chains meet; 0 when they never do.
    std::int32_t ComputedBondType(const ReplicateAtomList& list, const ReplicateAtomList& other) const;
    static void SortAndUniqueBonds(ReplicateBondList& list);
    bool MergeBonds(const std::vector<ReplicateBondList>& specified, const std::vector<ReplicateBondList>& computed,
                    std::vector<ReplicateBondList>& merged);
    // Image graph, components and the symmetry tree.
    bool DetermineChemistry(const std::vector<ReplicateBondList>& bonds, std::int32_t bondTypes);
    // The asymmetric-unit steps: each list is represented by its first node in the first unique
    // component that holds it; a list whose representative is an image is re-based onto it.
    bool FindAsymmetricUnitAtoms(IntArray& representatives) const;
    void GetAsymmetricUnitOperations(const IntArray& representatives, SymmetryImageKey::Array& keys) const;
    void TransformCellAtomOperations(const SymmetryImageKey::Array& keys);
    IndexLists ComponentsAtLevel(std::int32_t level);
    // The operations a component accounts for, in increasing order: the operation of each of its
    // nodes, or every operation of its class where the node's list has a site symmetry.
    void ComponentOperations(const IntArray& component, std::vector<bool>& marked, IntArray& operations) const;
    // Without the coset check's uniqueness tests: each object list's partition merges the
    // operations of its components, whichever of their atoms comes first.
    bool SortComponents(std::int32_t level, const IndexLists& ancestry, const IndexLists& components);
    bool CheckCosetDecomposition(std::int32_t level, const IndexLists& ancestry, const IndexLists& components);
    void PropagateCosetDecomposition(const IntArray& representatives, std::int32_t start);
    // One operator per class of the partition (every operator for partition 0 or none).
    void ClassRepresentatives(std::int32_t decomposition, IntArray& representatives) const;
    // The representative of the operator in the object list's partition (the finest one when unset).
    std::int32_t ObjectRepresentative(std::int32_t list, std::int32_t op) const;
    bool DetermineSymmetryTree();
    // Steps 29 to 35: the build tree made from the key lists and built into the cell.
    bool BuildImages(const std::vector<SymmetryImageKey::Array>& keys, bool show, bool withGroups,
                     bool computeBonds);
    void FillSymmetryTables();
    bool RebuildItems(const CellBuildTree& build);

    std::int32_t FindAtomItem(std::uint32_t oid) const;
    std::int32_t FindObjectItem(std::uint32_t oid) const;
    // The live object of the OID below the cell (an Atom when atom is set); null otherwise.
    Object* FindBelowCell(std::uint32_t oid, bool atom) const;
    // The list of the OID's family with the OID's member index, or -1 when the OID is not the
    // member its item names.
    std::int32_t FindAtomFamily(std::uint32_t oid, std::int32_t& member) const;
    std::int32_t FindObjectFamily(std::uint32_t oid, std::int32_t& member) const;
    // Visits every member of the list but the OID that lives below the cell (and is an Atom when
    // atoms is set); by index, as a visit may raise events.
    template <class Lists, class Visit>
    void ForOtherMembers(const Lists& lists, std::int32_t list, std::uint32_t oid, bool atoms, Visit visit) const;
    // Reads the value from the atom of the OID and writes it to every other served atom of its family.
    template <class Read, class Write>
    void CopyToAtomFamily(std::uint32_t oid, Read read, Write write);
    template <class Items, class Lists>
    void DeleteFamily(std::uint32_t oid, std::int32_t index, Items& items, Lists& lists, bool atoms);

    Cell3d* m_cell;
    Matrix3x3 m_fractionalToCartesian;
    Matrix3x3 m_cartesianToFractional;
    std::vector<Matrix4x4> m_operations;
    Matrix4x4Group m_operationGroup;
    double m_tolerance = 0.001;
    std::vector<AtomItem> m_atomItems;
    std::vector<ObjectItem> m_objectItems;
    std::int32_t m_itemCount = 0;
    std::int32_t m_atomCount = 0;
    std::int32_t m_objectCount = 0;
    std::vector<ReplicateAtomList> m_atomLists;
    std::vector<ReplicateObjectList> m_objectLists;
    OIDIndexMap m_atomIndexByOID;
    OIDIndexMap m_objectIndexByOID;
    std::unique_ptr<CosetLattice> m_cosetLattice;
    std::unique_ptr<SymmetryOperationTable> m_operationTable;
    std::unique_ptr<SymmetryImageKeySet> m_imageKeys;
    SymmetryAtoms m_atoms;
    SymmetryObjects m_objects;
    SymmetryBonds m_bonds;
    SymmetryTree m_tree;
    // The image graph of one build: each node's atom list and key (those of list k from
    // m_nodeOffsets[k]; the two arrays move into the tree once it is laid out).
    IntArray m_nodeLists;
    SymmetryImageKey::Array m_nodeKeys;
    IntArray m_nodeOffsets;
    // The links the walk followed: each node's first one as the node it came from (-1: none) and
    // its type, those of a node linked more than once in the list; and each node's bond records
    // (bond list index, node, translation difference) for the symmetry tree, node by node: those
    // of node u lie in [offsets[u], offsets[u + 1]).
    IntArray m_linkFrom;
    IntArray m_linkTypes;
    std::vector<GraphLink> m_links;
    SymmetryTree::BondEdges m_records;
    IntArray m_recordOffsets;
    IndexLists m_components;
    bool m_dirty = true;
    bool m_computeBonds = false;
    // Whether the last build computed bonds.
    bool m_bondsComputed = false;
    bool m_buildFullMolecules = false;
};

} // namespace Tavrel
