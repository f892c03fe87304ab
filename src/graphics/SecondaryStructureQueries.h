// SecondaryStructureQueries: what the secondary-structure colouring asks of protein chains, answered by a higher folder.
#pragma once

#include <cstdint>

namespace Tavrel {

class Object;

// The biopolymers folder installs the answers at start-up; the answers given here are those of
// objects that are neither protein chains nor amino acids.
class SecondaryStructureQueries {
public:
    virtual ~SecondaryStructureQueries() = default;

    // Whether the chain's residues hold a valid secondary structure.
    virtual bool HasSecondaryStructure(const Object& chain) const;
    // Predicts the chain's secondary structure.
    virtual void CalcSecondaryStructure(Object& chain) const;
    // False when the object is no amino acid; else its secondary-structure code (0 coil, 1 helix,
    // 2 sheet, 3 turn; a stored code may lie outside them).
    virtual bool GetEnvironment(const Object& residue, std::int32_t& environment) const;

    // The installed answers.
    static const SecondaryStructureQueries& Installed();
    // Installs the answers (null: those given here) and returns the ones replaced; they must outlive
    // their installation.
    static const SecondaryStructureQueries* Install(const SecondaryStructureQueries* queries);
};

} // namespace Tavrel
