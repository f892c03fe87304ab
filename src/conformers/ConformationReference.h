// ConformationReference: the record one reference object's Conformations share, numbering its atoms and bonds.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/FlatHashMap.h>

namespace Tavrel {

class Atom;
class Conformation;
class Element;
class Event;
class Object;

// One record per reference object, kept in a process-wide registry by the reference's OID while some
// Conformation uses it. Atom and bond indices run from 0 in the pre-order of the reference's
// descendants; alternate atoms and the bonds that touch them (conformer models below the reference)
// are not numbered. The lists are built on the first query after construction or SetStale, and each
// numbered atom and bond then carries the record's deletion registration (a 2-D record also hears
// element and bond-type changes): deleting the reference or one of them, or changing the element or
// bond type under a 2-D record, deletes every Conformation of the record, and with the last one the
// record. Not an Object, not persisted.
class ConformationReference {
public:
    ConformationReference(const ConformationReference&) = delete;
    ConformationReference& operator=(const ConformationReference&) = delete;
    ~ConformationReference();

    // Null when either is null. Creates the reference's record on first use (2-D as the user is),
    // gives the user the readable text property "Reference Name" (the reference's label) and lists it.
    static ConformationReference* Acquire(Object* reference, Conformation* user);
    // Drops every listing of the user; the record goes with its last user. Nothing for null.
    static void Release(ConformationReference* record, Conformation* user);
    // During a tree copy: the record of the reference's copy for the Conformation's copy, made from
    // this record's lists when the copy has none yet; the copy is released from this record. Null
    // (copy released) when the reference is gone or has no copy.
    ConformationReference* Clone(Conformation* copy);

    // Null once the reference is gone.
    Object* GetReference() const;
    int GetAtomCount();
    // std::out_of_range outside 0..count-1; null for an atom deleted meanwhile with events off.
    Atom* GetAtom(int index);
    // -1 for null or an atom that is not numbered.
    int GetAtomIndex(const Atom* atom);
    int GetBondCount();
    Bond* GetBond(int index);
    int GetBondIndex(const Bond* bond);

    // The moving side of a rotatable bond: its atom count (0 for a bond that is not rotatable), and
    // its k-th atom, the bond's end on that side first. A bond is rotatable when it is not in a ring
    // of the whole bonded graph, neither end is terminal there, and a side lies wholly in the
    // reference; the smaller such side moves (a tie: atom 1's). std::out_of_range for a bond or k
    // outside the counts. All sides come from one bridge search of the graph, in linear time.
    int GetSideCount(int bond);
    int GetSideAtomIndex(int bond, int k);
    Atom* GetSideAtom(int bond, int k);

    // The atoms a record of the reference numbers.
    static int CountAtoms(Object& reference);
    // The Conformations that use the reference's record, in the order they took it; none without one.
    static std::vector<Conformation*> UsersOf(const Object& reference);

    bool Is2D() const { return m_twoD; }
    // The lists are rebuilt before the next query.
    void SetStale() { m_stale = true; }

private:
    // Positions of the depth-first preorder of the bonded graph that make up one moving side: the
    // subtree below a bond, or its complement within the component, listed from the bond's end.
    struct Side {
        std::int32_t count = 0;
        std::int32_t end = 0;        // the moving end's atom index
        std::int32_t cutBegin = 0;   // preorder range of the subtree below the bond
        std::int32_t cutEnd = 0;
        std::int32_t compBegin = 0;  // preorder range of the component (complement sides only)
        std::int32_t compEnd = 0;
        std::int32_t endAt = 0;      // preorder position of the end (complement sides only)
        bool complement = false;
    };

    // Numbered objects: index to object and back, with OIDs to tell the live ones.
    template <class T>
    struct Numbered {
        std::vector<T*> objects;
        std::vector<std::uint32_t> oids;
        FlatHashMap<const T*, int, PointerHash> index{nullptr};

        std::size_t Size() const { return objects.size(); }
        void Add(T* object);
        void Clear();
        bool IsLive(std::size_t at) const;
        // std::out_of_range outside the list; null for an object gone unnoticed.
        T* At(int at) const;
        int IndexOf(const T* object) const;
        // The same, trying the places next to hint first: bonded atoms and their bonds are mostly
        // numbered close together, and the list is read where the hash table would be missed.
        int IndexNear(const T* object, std::size_t hint) const;
    };

    ConformationReference(Object* reference, bool twoD);

    static void ReferenceDeleted(Event& event);
    static void ReferenceChanged(Event& event);
    // Deletes every user once, each only while it lives.
    void DeleteUsers();
    // Whether the element or bond type of the event's source differs from what the record noted.
    bool Changed(const Event& event) const;

    void Update();
    void Unregister();
    void Number(Atom* atom);
    void Number(Bond* bond);
    // Lists the copies of this record's atoms and bonds into the record of the reference's copy.
    void CopyListsTo(ConformationReference& copy) const;
    void BuildSides();
    const Side& GetSide(int bond);

    std::vector<Conformation*> m_users;
    Object* m_reference;
    std::uint32_t m_referenceOID;
    Numbered<Atom> m_atoms;
    Numbered<Bond> m_bonds;
    // 2-D records: the element and bond type each numbered object had, so that only a change acts.
    std::vector<const Element*> m_elements;
    std::vector<Bond::BondType> m_bondTypes;
    std::vector<Side> m_sides;
    std::vector<std::int32_t> m_preorder;  // atom index at each position of the search
    bool m_sidesBuilt = false;
    bool m_stale = true;
    bool m_listed = false;  // registrations are on the listed atoms and bonds
    bool m_twoD;
};

} // namespace Tavrel
