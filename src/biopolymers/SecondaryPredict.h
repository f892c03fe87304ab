// SecondaryPredict: assigns coil, helix, sheet or turn to every amino acid of a protein chain from its backbone.
#pragma once

#include <string>

#include <tavrel/core/Point3d.h>

namespace Tavrel {

class AminoAcidChain;
class Atom3d;

// Method 0 (KSPredict) follows the hydrogen-bond energy model: n-turns, helices, bridges, ladders and
// bulges from the electrostatic energy of every NH donor and CO acceptor within 8 of each other.
// Method 1 (TVRPredict) applies rules on backbone torsions and O-H distances. Both write their result
// through AminoAcid::SetEnvironment and take time in proportion to the chain's length.
class SecondaryPredict {
public:
    SecondaryPredict() = default;
    virtual ~SecondaryPredict() = default;

    // Method 0 or 1; another method (or a null chain) returns false and changes nothing.
    virtual bool Predict(AminoAcidChain* chain);

    // Whether method 1 predicts turns (method 0 always does).
    virtual bool GetPredictTurns() const { return m_predictTurns; }
    virtual void SetPredictTurns(bool predictTurns) { m_predictTurns = predictTurns; }
    virtual int GetMethod() const { return m_method; }
    virtual void SetMethod(int method) { m_method = method; }

protected:
    // Whether the oxygen lies closer than 3.6 to the hydrogen position; false for a null oxygen.
    virtual bool AreHBonded(const Atom3d* oxygen, const Point3d& hydrogen) const;

private:
    // The amino acids below the chain, in tree order. An NH donor whose hydrogen cannot be placed
    // takes no part; a residue without a C-alpha has no neighbours. Always true.
    bool KSPredict(AminoAcidChain& chain);
    // The amino-acid children of the chain; false, with nothing changed, for fewer than 4. Residues
    // without a placed hydrogen are never hydrogen-bond donors.
    bool TVRPredict(AminoAcidChain& chain);

    bool m_predictTurns = false;
    int m_method = 0;
};

} // namespace Tavrel
