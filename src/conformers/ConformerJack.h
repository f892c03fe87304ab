// ConformerJack: stands, among a disconnected alternate's bonds, for the ordinary atom it was bonded to.
#pragma once

#include <cstdint>

#include <tavrel/chemistry/Bondable.h>

namespace Tavrel {

class Event;

// Links the alternate atom it hangs on and the ordinary atom it replaces, neither owned; it deletes
// itself (with its bonds) when either is deleted. Persisted as "Conformer Atom" and "Reference Atom".
class ConformerJack : public Bondable {
    TAVREL_CLASS(ConformerJack, Bondable, Creatable)
public:
    ConformerJack(Bondable* reference, Bondable* conformerAtom);
    ConformerJack(Object* parent, Bondable* reference, Bondable* conformerAtom);
    ~ConformerJack() override;

    // Null once the atom is gone.
    Bondable* GetReferenceAtom() const;
    Bondable* GetConformerAtom() const;
    // Both non-null and the same atom.
    bool CheckReferenceAtom(const Bondable* atom) const;
    // The reference atom is set and ends the bond.
    bool CheckReferenceAtom(const Bond* bond) const;

    void FinishLoading(std::uint32_t schema) override;

protected:
    // Links the copies of the atoms inside the copied subtree (others stay as they are) and listens
    // to them.
    void DeepenShallowCopy() override;

private:
    static void LinkDeleted(Event& event);
    void Link(Bondable* reference, Bondable* conformerAtom);
    void Listen();
    void StopListening();

    Bondable* m_conformerAtom = nullptr;
    Bondable* m_referenceAtom = nullptr;
    std::uint32_t m_conformerOID = 0;
    std::uint32_t m_referenceOID = 0;
};

} // namespace Tavrel
