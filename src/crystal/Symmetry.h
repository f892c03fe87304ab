// Symmetry: the space group of a cell, loaded from the built-in tables, with its owned operator list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/crystal/SymmetryOp.h>
#include <tavrel/foundation/Base.h>
#include <tavrel/foundation/Uncopied.h>

namespace Tavrel {

class Archive;
class Cell;
class PropertyArchive;
class SymTableEntry;

// Loading replaces the number, names, setting and operators; the lattice and centre types, the
// changed flag and the cell stay. Operator 0 of a loaded group is the identity and stays in place.
//
// Persisted as "Symmetry Cell" (the owning cell's reference, which the cell sets again after every
// read), "Symmetry Table Number", "Symmetry Qualifier", "Symmetry Choice", "Symmetry Lattice Method",
// "Symmetry Center Method", "Symmetry Symmetry Changed", "Symmetry Array" (the three names) and
// "Symmetry Ops"; the framework archive holds the cell reference, six 32-bit integers (the changed
// flag as one), the three names and the operator count and records. A copy copies the static data
// only: its operator list starts empty.
class Symmetry : public Base {
    TAVREL_CLASS(Symmetry, Base, Creatable, public, public)
public:
    // Kept and persisted for the host; nothing here interprets them.
    using LatticeType = std::int32_t;
    using SymCenterType = std::int32_t;
    enum SymNameType : std::int32_t { Name = 0, LongName = 1, AltName = 2 };
    // Listings: SpaceGroups, or any other value for the plane groups.
    enum SymType : std::int32_t { PlaneGroups = 0, SpaceGroups = 3 };

    // Static data and operators.
    Symmetry& operator=(const Symmetry& other) = default;
    ~Symmetry() override;

    // The qualifier names, by qualifier index: "Origin-1", "Origin-2", "A-Unique", "B-Unique",
    // "C-Unique", "Hexagonal", "Rhombohedral".
    static constexpr int NumQualifiers = 7;
    static std::string_view QualifierName(int qualifier);

    // 1 to 230; 0 while nothing is loaded.
    int GetTableNumber() const { return m_tableNumber; }
    int GetQualifier() const { return m_qualifier; }
    int GetChoice() const { return m_choice; }

    // Short Hermann-Mauguin symbol, full symbol and Schoenflies symbol.
    void SetSymmetryName(SymNameType type, std::string_view name);
    // The empty text for a type outside 0 to 2.
    const std::string& GetSymmetryName(SymNameType type) const;
    void SetName(std::string_view name) { SetSymmetryName(Name, name); }
    void SetLongName(std::string_view name) { SetSymmetryName(LongName, name); }
    void SetAltName(std::string_view name) { SetSymmetryName(AltName, name); }
    std::string GetName() const { return GetSymmetryName(Name); }
    std::string GetLongName() const { return GetSymmetryName(LongName); }
    std::string GetAltName() const { return GetSymmetryName(AltName); }
    // Name, long name, alternative name.
    void GetAllSymmetryNames(std::string (&names)[3]) const;

    void SetLatticeType(LatticeType type) { m_latticeType = type; }
    LatticeType GetLatticeType() const { return m_latticeType; }
    void SetCenterType(SymCenterType type) { m_centerType = type; }
    SymCenterType GetCenterType() const { return m_centerType; }
    bool IsSymmetryChanged() const { return m_symmetryChanged; }
    // The cell that set itself as the symmetry's cell; null for none.
    Cell* GetCell() const { return m_cell; }

    // The qualifier's name, with withChoice "<name> Choice: <choice>".
    std::string QualifierString(bool withChoice) const;
    // Reads a qualifier name, a second word and an integer from the text ("Origin-2 Choice: 2" or a
    // bare "Hexagonal"): the qualifier becomes the index of the name (exact case; 0 when unknown), the
    // choice the integer when one greater than 1 is read.
    void EncodeQualifiers(std::string_view text);

    // Each load returns false, leaving the object unchanged, when no group is found.
    // By number 1 to 230, qualifier and choice (see SpaceGroupLookup.h).
    bool LoadSpaceGroup(int number, std::string_view qualifier, int choice);
    // A text starting with a number loads by that number with choice 0; otherwise the whole text
    // (blanks allowed) is a symbol. A text without a word loads "P1".
    bool LoadSpaceGroup(std::string_view symbol, std::string_view qualifier, int choice);
    // The group text's leading number, else its first word as a symbol; the setting text is a
    // qualifier alone, or "<qualifier> Choice: <choice>". An empty group text fails.
    bool LoadSpaceGroup(std::string_view group, std::string_view setting);

    int GetNumSymmetryOps() const { return static_cast<int>(m_ops.list.size()); }
    // Null outside 0 to count-1.
    SymmetryOp* GetSymmetryOp(int index) const;
    // Appends and takes ownership; false (nothing taken) for null or an operator another list holds.
    bool AddSymmetryOp(SymmetryOp* op);
    // Deletes operator index and sets the changed flag; false for index 0 (the identity) or an index
    // outside the list.
    bool RemoveSymmetryOp(int index);
    // Copies the name and matrix of op (which stays the caller's) into operator index and sets the
    // changed flag; false for index 0, an index outside the list or null.
    bool ReplaceSymmetryOp(int index, const SymmetryOp* op);
    // Deletes every operator; the changed flag stays.
    void ClearSymmetryOps();

    // "Table Name: <name> ", "Shoenflies: <alt name> ", "Number of Positions <count> ", each ending in
    // CR LF. The flag is not used.
    std::string InfoText(bool full) const;
    // One line per operator: its 1-based number left-justified in three columns, the text, a blank, CR LF.
    std::string OperatorText() const;

    // Number, names, lattice and centre types, changed flag, cell, qualifier and choice.
    void CopyStaticData(const Symmetry& other);
    // Replaces the own operators by copies of the other's.
    void CopyOperatorData(const Symmetry& other);

    // "%-4d %s" of number and short symbol for the 230 space groups, or "%-2d %s" for the 17 plane
    // groups; the list is resized to the count, which is returned.
    static int GetSymmetryIndex(std::vector<std::string>& list, SymType type);
    // The settings of the group a text names (leading number, else first word as a symbol) as
    // "<qualifier> Choice: <choice>", set from element 0 on (growing the list); returns how many were
    // set, 0 when the text names no group.
    static int GetSymmetryQualifiers(std::string_view group, std::vector<std::string>& list);

    // While a cell owns it, so that an archive abandoning a half-read record leaves it to the cell.
    bool HasOwner() const override { return m_owner.Get() != nullptr; }

private:
    friend class Cell;

    void SetQualifier(int qualifier) { m_qualifier = qualifier; }
    // Set by the owning cell; not owned.
    void SetCell(Cell* cell) { m_cell = cell; }
    // False for the stub entry or one without operators.
    bool LoadTableEntry(const SymTableEntry& entry);
    // Appends an operator read from a file (nothing for null); one a list already holds, or one the
    // reader does not give away (owned false), is copied.
    static void TakeLoadedOp(std::vector<std::unique_ptr<SymmetryOp>>& ops, SymmetryOp* op, bool owned);

    int m_tableNumber = 0;
    std::string m_names[3];
    LatticeType m_latticeType = 0;
    SymCenterType m_centerType = 0;
    int m_qualifier = 0;
    int m_choice = 1;
    // The owned operators: a copy of the symmetry starts without any, an assignment copies them.
    struct Operators {
        Operators() = default;
        Operators(const Operators&) noexcept {}
        Operators& operator=(const Operators& other);
        std::vector<std::unique_ptr<SymmetryOp>> list;
    };
    Operators m_ops;
    bool m_symmetryChanged = false;
    Cell* m_cell = nullptr;
    // The cell that owns the object; never copied, so that no two cells own one symmetry.
    Uncopied<Cell*> m_owner;
};

} // namespace Tavrel
