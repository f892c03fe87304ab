// TemplateBonding: the bonding methods of the residue templates, one per residue kind.
#pragma once

namespace Tavrel {

class Residue;

// Each connects the residue's atoms by their labels with the bond types of its template (through
// ResiduePool::MakeBond), bonds the hydrogens by distance, then sets the formal charges and bond types
// that depend on the hydrogens present. The result is false when a template atom is missing; the pool
// then bonds the residue by distance. A null residue gives false.

// The unknown residue (and a residue without a template): proximity bonding, C=O made double, hydrogens.
bool BondNull(Residue* residue);

// Amino acids: the backbone N-CA, CA-C, C=O, then the side chain.
bool BondAla(Residue* residue);
bool BondArg(Residue* residue);
bool BondAsn(Residue* residue);
bool BondAsp(Residue* residue);
bool BondCys(Residue* residue);
bool BondGln(Residue* residue);
bool BondGlu(Residue* residue);
bool BondGly(Residue* residue);
bool BondHis(Residue* residue);
bool BondIle(Residue* residue);
bool BondLeu(Residue* residue);
bool BondLys(Residue* residue);
bool BondMet(Residue* residue);
bool BondPhe(Residue* residue);
bool BondPro(Residue* residue);
bool BondSer(Residue* residue);
bool BondThr(Residue* residue);
bool BondTrp(Residue* residue);
bool BondTyr(Residue* residue);
bool BondVal(Residue* residue);

// Modified amino acids and caps.
bool BondPca(Residue* residue);
bool BondAib(Residue* residue);
bool BondMse(Residue* residue);
bool BondSep(Residue* residue);
bool BondTys(Residue* residue);
bool BondPtr(Residue* residue);
bool BondTpo(Residue* residue);
bool BondCse(Residue* residue);
bool BondAsx(Residue* residue);
bool BondGlx(Residue* residue);
bool BondOrn(Residue* residue);
bool BondAce(Residue* residue);

// Nucleotides: sugar and phosphate (sugar atoms named with ' or, when an "O5*" child exists, with *),
// then the base.
bool BondAde(Residue* residue);
bool BondGua(Residue* residue);
bool BondThy(Residue* residue);
bool BondCyt(Residue* residue);
bool BondUrd(Residue* residue);
bool BondH2U(Residue* residue);
bool BondPSU(Residue* residue);

} // namespace Tavrel
