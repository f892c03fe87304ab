// SymmetryTools: equivalent points of a fractional position, and the passes that find which atoms are images of which.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/core/Matrix3x3.h>
#include <tavrel/core/Matrix4x4.h>
#include <tavrel/core/Point3d.h>
#include <tavrel/symmetry_build/IndexLists.h>
#include <tavrel/symmetry_build/SymmetryImageKey.h>

namespace Tavrel {

class CosetLattice;
class PeriodicNeighborGrid;
class SymmetryOperationTable;

// What GenerateEquivalentPoints finds for one point.
struct EquivalentPoints {
    // The image under every operation, in operation order.
    Point3d::Array images;
    // The keys of the operations that leave the point in place, the identity first.
    SymmetryImageKey::Array siteKeys;
    // For every operation, the representative operation of the operations giving the same image.
    IntArray representatives;
    // One operation per distinct image, in increasing order.
    IntArray representativeOperations;
};

// The per-atom lists of the equivalent-atom passes, one entry per atom in the builder's order.
struct EquivalentAtomLists {
    Point3d::Array positions;   // fractional
    IntArray types;             // atoms match only when their types are equal
    IntArray states;            // 0 or 2 free; 1 or 3 claimed as an image; a pass turns 0 into 1, 2 into 3
    IntArray parents;           // the atom each claimed atom is an image of
    SymmetryImageKey::Array keys;  // the key mapping a claimed atom's parent onto it
    IndexLists classes;         // per atom the atoms that are its images, itself first
    IntArray siteNumbers;       // filled by ClaimEquivalentAtoms: symmetry operation table entries
    IntArray cosetNumbers;      // filled by ClaimEquivalentAtoms: coset lattice numbers
};

namespace SymmetryTools {

// (a, b, c) of the key as floats.
Point3d GetKeyTranslation(const SymmetryImageKey& key);
// a, b, c := floor(t + 0.5), the operator index kept. A translation beyond the int range or not a
// number makes the key the default key and gives false.
bool SetKeyTranslation(const Point3d& t, SymmetryImageKey& key);
// The key with operation j that gives the same image of p as k. False when k's operator or j is not
// an operation, or the translation lies beyond the int range.
bool ReexpressKey(const SymmetryImageKey& k, const Point3d& p, const std::vector<Matrix4x4>& operations,
                  std::int32_t j, SymmetryImageKey& out);
// The element-wise mean of the keys' rotation parts with two or more keys; otherwise, or when a key
// names no operation, the identity.
void GetMeanRotation(const std::vector<Matrix4x4>& operations, const SymmetryImageKey::Array& keys,
                     Matrix3x3& mean);

// Applies every operation (operation 0 the identity) to p, finds the operations that leave p in place
// within the cutoff (Cartesian, nearest image, compared in single precision, the cutoff itself
// included) and groups the operations by the image they give. False, with empty lists, for an
// empty operation list or a site translation beyond the int range.
bool GenerateEquivalentPoints(const Point3d& p, const Matrix3x3& fractionalToCartesian, double cutoff,
                              const std::vector<Matrix4x4>& operations, EquivalentPoints& result);

// Walks the atoms in order; each one not yet claimed generates its images and claims every later
// free atom of its type that the grid (holding every atom position with its index as id) finds
// within the cutoff of an image, recording parent, key and class. Resets the table and the lattice
// and fills in each unclaimed atom's site and coset numbers (0 for a general position). Nothing
// happens when the lists disagree in length or there is no atom or operation. An atom whose
// translation from the image lies beyond the int range is not claimed.
void ClaimEquivalentAtoms(EquivalentAtomLists& atoms, const Matrix3x3& fractionalToCartesian, double cutoff,
                          const std::vector<Matrix4x4>& operations, PeriodicNeighborGrid& grid,
                          SymmetryOperationTable& table, CosetLattice& lattice);
// The same walk for one operation without site symmetry: each free atom claims the later free atoms
// of its type that the grid finds within the cutoff of its own position, with key {op, translation}.
void ClaimTranslationEquivalents(EquivalentAtomLists& atoms, std::int32_t op, PeriodicNeighborGrid& grid);

} // namespace SymmetryTools

} // namespace Tavrel
