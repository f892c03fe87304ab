// ConformerModelToken: holds the objects of conformer models out of the tree while a document is saved, and puts them back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <tavrel/conformers/StoredList.h>
#include <tavrel/foundation/InstanceCount.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class PropertyArchive;

// Three lists of one length: each packaged object, its parent when it was packaged, and the child of
// that parent just before it (the object itself when it was the first child). Ordinary atoms and
// bonds are never moved. While it holds objects the token owns them (OwnedObjects, so a load's
// clean-up leaves them) and deletes them with itself.
class ConformerModelToken : public Object {
    // Persisted as "Object List", "Parent List" and "Sibling List", each a reference to the record of
    // an OrdCollection (made for the write) holding the list in order, nulls included; records that
    // hold them as arrays of object references read too. A copy starts with empty lists.
    TAVREL_CLASS_CONSTRUCTED(ConformerModelToken, Object, Creatable)
public:
    explicit ConformerModelToken(Object* parent);
    // Deletes what it still holds, each object once and only while it lives, conformer models first.
    ~ConformerModelToken() override;

    // Takes the objects of every conformer model below root (FindConformerModelObjects, then the
    // model) out of the tree, deepest first and, at equal depth, in tree order; all places are
    // recorded before the first object leaves.
    void PackageConformerObjects(Object& root);
    // Puts every held object back at its place, in list order, then empties the lists; returns how
    // many came back into a tree (not under an object that stays out). The objects going under one parent are placed together, in time linear in
    // that parent's children. An object whose parent is gone is deleted.
    int UnpackageConformerObjects();

    int GetCount() const { return static_cast<int>(m_places.Get().size()); }
    // Null for an index out of range or an object that is gone.
    Object* GetObjectAt(int index) const;

    // The tokens below root (root too with includeRoot), in pre-order, without walking the tree.
    static std::vector<ConformerModelToken*> FindBelow(const Object& root, bool includeRoot);

protected:
    void DeepenShallowCopy() override;

private:
    // Ordinary atoms and bonds stay in the tree.
    static bool IsMoved(const Object* object);
    // Enters (or leaves) the held objects as owned.
    void Hold();
    void LetGo();
    // Deletes the held objects that still live and empties the lists.
    void DeleteHeld();
    // Whether a held object out of the tree is deleted with the token.
    bool IsUnplaced(const Object* object) const;
    // Empties the list and deletes the objects of these OIDs that are still out of the tree.
    void DeleteUnplaced(std::vector<std::uint32_t> unplaced);

    // An object kept by its OID: null once it is gone.
    struct Link {
        Object* object = nullptr;
        std::uint32_t oid = 0;

        Object* Get() const;
        void Set(Object* to);
    };
    struct Place {
        Link object;
        Link parent;
        Link sibling;
    };
    // The place at index, the list grown to it (a stored list is read element by element).
    Place& PlaceAt(std::size_t index);
    // The stored lists, in their stored order, and the link of a place each one holds.
    static constexpr std::size_t ListCount = 3;
    static constexpr Link Place::* listLinks[ListCount] = {&Place::object, &Place::parent, &Place::sibling};
    // Before a write: each list as a collection; after it, they go.
    void MakeLists();
    // Takes the list's objects from what was read for it; false when the reader is to free that.
    bool ReadList(std::size_t list, std::size_t index, Base* read);
    // Puts the objects of these places back under parent, each after its recorded sibling.
    void PutBack(TreeNode& parent, const std::vector<std::size_t>& going);

    Uncopied<std::vector<Place>> m_places;
    Uncopied<std::vector<std::uint32_t>> m_held;  // the OIDs entered as owned
    std::array<StoredList<OrdCollection>, ListCount> m_lists;
    [[no_unique_address]] InstanceCount<ConformerModelToken> m_instances;
};

} // namespace Tavrel
