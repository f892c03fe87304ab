// TreeRoot: the top of a document's object tree — logical identifiers, tree-wide queries, named collections, change broadcasts.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/foundation/ClassNameEnumerator.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/LogicalIdentifierList.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class BaseCollection;
class Filter;
class NamedCollection;

// The root numbers the nodes below it with logical identifiers (LIDs): a node attached below it takes
// the next number, or keeps the one it carries (copied or loaded) when that is free here; a detached
// node loses its number, so a subtree moved within the root is numbered again. A tree read into the
// root is numbered as by one pre-order pass once the root's record ends; the numbers its nodes carry
// are collected as their records end, while the nodes are in the cache, and entered at once instead
// of the pass when they are free and distinct and no node moved or left the tree meanwhile. The queries walk every
// descendant (the root excluded) in pre-order; selection is a node's own selected flag and visibility
// its own visible flag.
class TreeRoot : public Object {
    // Stores and shows nothing of its own. The default constructor makes an empty root holding LID 1;
    // a copy copies the Object state and the source's LID list.
    TAVREL_CLASS_CONSTRUCTED(TreeRoot, Object, Creatable, public, protected)
    TAVREL_EVENT_MASK_LEVEL()
public:
    // Event codes of the TreeRoot level.
    static constexpr std::uint16_t EventChangeBroadcast = 1;  // data: pointer to the int hint
    static constexpr std::uint16_t EventCopyComplete = 2;     // a copied root is complete

    // Which objects of a selection (or of the visible set) a query takes: every one, or only those
    // whose parent is not selected (not visible).
    enum class SelectionSetType : std::int32_t {
        All = 0,
        TopMost = 1,
    };

    ~TreeRoot() override;

    // Selects every node below the root; the root itself ends unselected. The argument is ignored.
    void Select(bool recursive) override;
    // Makes every node below the root visible; the root itself ends invisible. The argument is ignored.
    void SetVisible(bool recursive) override;

    // The objects a command applies to: the selected descendants when any is selected (the whole
    // tree decides), else the visible ones. The class and filter forms take, of those, only visible
    // objects of the class (accepted by the filter). Each returns the collection's item count.
    virtual int GetApplicableObjects(BaseCollection& collection, const Filter& filter);
    virtual int GetApplicableObjects(BaseCollection& collection, std::uint32_t type);
    virtual int GetApplicableObjects(BaseCollection& collection);
    // A new collection under the root holding the current selection. Names need not be unique.
    virtual NamedCollection* CreateNamedCollection(std::string_view name);
    // The first collection below the root, in pre-order, whose label equals the name exactly; null
    // when none.
    virtual NamedCollection* FindNamedCollection(std::string_view name) const;
    // The live Object holding the LID in this root; null for 0, an unknown LID or a deleted object.
    virtual Object* GetLogicalObject(std::uint32_t lid) const;

    // The first applicable object (filter form) when there is one, else the first descendant the
    // filter accepts; null when none.
    Object* GetFirstOneOf(const Filter& filter);
    // With nothing selected, whether any descendant passes the filter; else IsAnySelected (filter).
    bool CheckForObjects(const Filter& filter) const;

    // Selection queries. The class forms take objects that IsA the class (one of the classes; an
    // empty list takes every class); the filter forms objects the filter accepts too.
    bool IsAnySelected() const;  // a selected object whose parent is not selected
    bool IsAnySelected(const Filter& filter) const;
    int GetNumSelected(SelectionSetType setType) const;
    int GetNumSelected(std::uint32_t type, SelectionSetType setType) const;
    int GetNumSelected(const Filter& filter, SelectionSetType setType) const;
    // Each adds the objects to the collection and returns true.
    bool GetSelectionSet(BaseCollection& collection, SelectionSetType setType) const;
    bool GetSelectionSet(BaseCollection& collection, const ClassTypeArray& classTypes, SelectionSetType setType) const;
    bool GetSelectionSet(BaseCollection& collection, std::uint32_t type, SelectionSetType setType) const;
    bool GetSelectionSet(BaseCollection& collection, const Filter& filter, SelectionSetType setType) const;
    // Every descendant the class-list form of GetSelectionSet rejects, other classes included.
    bool GetUnselectedSet(BaseCollection& collection, const ClassTypeArray& classTypes, SelectionSetType setType) const;
    // The OIDs of every selected descendant, replacing the array's contents.
    void GetSelectionSetOIDArray(OIDArray& oids) const;

    // Visibility queries, the same way.
    bool IsAnyVisible() const;
    bool IsAnyVisible(const Filter& filter) const;
    int GetNumVisible(SelectionSetType setType) const;
    int GetNumVisible(std::uint32_t type, SelectionSetType setType) const;
    int GetNumVisible(const Filter& filter, SelectionSetType setType) const;
    bool GetVisibleSet(BaseCollection& collection, SelectionSetType setType) const;
    bool GetVisibleSet(BaseCollection& collection, std::uint32_t type, SelectionSetType setType) const;
    bool GetVisibleSet(BaseCollection& collection, const Filter& filter, SelectionSetType setType) const;
    bool GetInvisibleSet(BaseCollection& collection, const ClassTypeArray& classTypes, SelectionSetType setType) const;
    void GetVisibleSetOIDArray(OIDArray& oids) const;

    // Class queries: the distinct classes of the descendants (the root too with includeRoot), or of
    // the selected descendants, in the order first met, replacing the array's contents. A filter
    // restricts the objects counted.
    void GetClasses(ClassTypeArray& classes, bool includeRoot) const;
    void GetClasses(ClassTypeArray& classes, const Filter& filter, bool includeRoot) const;
    void GetClassNames(ClassNameArray& names, bool includeRoot) const;
    void GetClassNames(ClassNameArray& names, const Filter& filter, bool includeRoot) const;
    void GetCommonClassNames(ClassNameArray& names, bool includeRoot) const;
    void GetCommonClassNames(ClassNameArray& names, const Filter& filter, bool includeRoot) const;
    void GetSelectedClasses(ClassTypeArray& classes) const;
    void GetSelectedClasses(ClassTypeArray& classes, const Filter& filter) const;
    void GetSelectedClassNames(ClassNameArray& names) const;
    void GetSelectedClassNames(ClassNameArray& names, const Filter& filter) const;
    void GetSelectedCommonClassNames(ClassNameArray& names) const;
    void GetSelectedCommonClassNames(ClassNameArray& names, const Filter& filter) const;

    // Whether the tree, as the root's record ended in the last load, held every object made from
    // the one after `after` to `last`, the root first: true only when the load's numbering was
    // entered from the nodes collected and no node has left the tree since. A load's sweep for
    // parentless nodes then has nothing to free.
    bool HeldEveryObjectIn(std::uint32_t after, std::uint32_t last) const;

    // Moves the LID counter back to just past the largest LID held, when every held LID is below it:
    // numbers only nodes that are gone again had are handed out again. A load calls it once it has
    // taken out what the save added, so that the next save numbers those additions alike.
    void RewindLidCounter();
    // Deletes every child, first to last. The LID counter is not reset; the root keeps its LID.
    void Empty();
    // Delivers (TreeRoot, EventChangeBroadcast) with a pointer to the hint to the root's own
    // registrations, whatever the event masks and the global event switch say.
    void BroadcastChange(int hint);

protected:
    // Numbers the copied nodes again (each keeps its LID), then raises EventCopyComplete. The copy's
    // own LID is not entered again.
    void DeepenShallowCopy() override;

    // Enter (leave) the LID list: the node alone, or with recursive its whole subtree in pre-order.
    void NodeInserted(TreeNode* node, bool recursive) override;
    void NodeRemoved(TreeNode* node, bool recursive) override;
    void NodeLoaded(TreeNode* node, const PropertyArchive* stream) override;
    void LoadedTreeChanged() override;

    // A node without LID takes a new number; a node with one keeps it when free (AddObjectLidCopy).
    virtual void AddObjectLid(TreeNode* node);
    // Keeps the node's LID when it is free or already the node's own, else gives it a new number.
    virtual void AddObjectLidCopy(TreeNode* node);
    // Drops the node's entry and sets its LID to 0.
    virtual void RemoveObjectLid(TreeNode* node);

private:
    // Numbering of a tree being read into the root: the numbers its nodes carried as their records
    // ended (Collecting), entered at once as the root's record ends when that gives what the pass
    // would; else (Walking) the pass alone.
    enum class LoadNumbering : std::uint8_t { Idle, Collecting, Walking };
    using LoadedNode = LogicalIdentifierList::Entry;
    // The collected numbers are kept apart from their OIDs: the numbers in chunks, filled in turn, and
    // the OIDs as runs that step by a constant (records end one after another, so a run holds many).
    static constexpr std::size_t LoadedChunkSize = std::size_t{1} << 14;
    // OIDs from the entry at `start` on: oid, oid + step, ... up to the next run's start.
    struct LoadedRun {
        std::size_t start;
        std::uint32_t oid;
        std::uint32_t step;
    };
    class LoadedReader;

    // NodeLoaded past its common case (a record ending while collecting, with room in the chunk, its
    // OID continuing the run).
    [[gnu::noinline]] void TakeLoaded(TreeNode* node, const PropertyArchive* stream);
    // Appends a collected number and its OID.
    void AppendLoaded(std::uint32_t lid, std::uint32_t oid);
    std::size_t LoadedCount() const;
    // Enters the collected numbers when the pre-order pass would keep each; false, changing nothing,
    // otherwise.
    bool EnterLoadedNumbers();
    // Whether the collected OIDs are those made right after the root, each once.
    bool LoadedFillRoot(std::size_t count) const;
    // Drops what was collected.
    void StopCollecting(LoadNumbering next);

    LogicalIdentifierList m_lids;
    Uncopied<LoadNumbering> m_loadNumbering;
    // The numbers collected; the last chunk is filled up to the cursor. Cursor and end are equal
    // (null) unless collecting.
    Uncopied<std::vector<std::unique_ptr<std::uint32_t[]>>> m_loadedChunks;
    Uncopied<std::uint32_t*> m_loadedCursor;
    Uncopied<std::uint32_t*> m_loadedEnd;
    Uncopied<std::vector<LoadedRun>> m_loadedRuns;
    // The OID that continues the last run, and its step.
    Uncopied<std::uint32_t> m_loadedNextOid;
    Uncopied<std::uint32_t> m_loadedStep;
    // Nodes read parentless that joined through a children list: their numbers are read at the end.
    Uncopied<std::vector<TreeNode*>> m_joined;
    // The last OID of the run from the root's own that the collected nodes filled; 0 when unknown.
    Uncopied<std::uint32_t> m_loadedThrough;
};

} // namespace Tavrel
