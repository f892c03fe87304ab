#include <tavrel/conformers/ConformerAtom.h>

#include <vector>

#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/conformers/ConformerJack.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(ConformerAtom)

namespace {

// A bond a maker built that listeners left without ends is deleted; null then.
Bond* Linked(Bond* bond)
{
    if (bond && bond->GetAtom1() && bond->GetAtom2())
        return bond;
    delete bond;
    return nullptr;
}

// The objects' OIDs, so that each can be found again after listeners ran.
std::vector<std::uint32_t> OIDsOf(const OrdCollection& objects)
{
    std::vector<std::uint32_t> oids;
    for (int i = 0; i < objects.GetSize(); ++i)
        oids.push_back(objects.GetAt(i)->GetOID());
    return oids;
}

} // namespace

ConformerAtom::ConformerAtom()
{
    static const bool named = (SetCommonName(GetCommonName()), true);
    static_cast<void>(named);
    SetColorSchemeHint(0);
}

ConformerAtom::ConformerAtom(Object* parent, const char* symbol) : Atom3d(parent, symbol)
{
    SetColorSchemeHint(0);
}

ConformerAtom::ConformerAtom(Object* parent, ElementType type) : Atom3d(parent, type)
{
    SetColorSchemeHint(0);
}

ConformerAtom::ConformerAtom(Object* parent, const Element* element) : Atom3d(parent, element)
{
    SetColorSchemeHint(0);
}

ConformerAtom::ConformerAtom(const Atom& atom) : ConformerAtom(nullptr, atom) {}

ConformerAtom::ConformerAtom(Object* parent, const Atom& atom) : Atom3d(parent, atom.GetElement())
{
    const ConstructionScope construction(*this);
    SetColorSchemeHint(0);
    CopyAtom(*this, atom, true);
}

std::string ConformerAtom::GetCommonName() const
{
    return "Conformer Atom";
}

Atom* ConformerAtom::CreateNewAtom(Object* parent, ElementType type)
{
    return new ConformerAtom(parent, type);
}

// ---- Bonds

Bond* ConformerAtom::MakeBond(Object* parent, Bondable* other, Bond::BondType type)
{
    if (!other)
        return nullptr;
    if (Bond* const existing = FindBond(other))
        return existing;
    if (::Tavrel::IsA<ConformerAtom>(other) && other != this)
        return Linked(parent ? new ConformerBond(parent, this, other, type) : new ConformerBond(this, other, type));
    return Atom3d::MakeBond(parent, other, type);
}

Bond* ConformerAtom::MakeBond(Bondable* other, Bond::BondType type)
{
    return MakeBond(nullptr, other, type);
}

Bondable* ConformerAtom::FindBondedAtom(const Bond* bond) const
{
    if (!bond)
        return nullptr;
    if (bond->GetAtom1() == this)
        return bond->GetAtom2();
    if (bond->GetAtom2() == this)
        return bond->GetAtom1();
    return nullptr;
}

bool ConformerAtom::FindSingleOccupancyBonds(BaseCollection& out) const
{
    bool found = false;
    for (Bond* const bond : GetBonds()) {
        if (bond && !::Tavrel::IsA<ConformerBond>(bond)) {
            out.Add(bond);
            found = true;
        }
    }
    return found;
}

int ConformerAtom::FindConformerJacks(BaseCollection& out) const
{
    int count = 0;
    for (const Bond* const bond : GetBonds()) {
        if (auto* const jack = DynCast<ConformerJack>(FindBondedAtom(bond))) {
            out.Add(jack);
            ++count;
        }
    }
    return count;
}

ConformerJack* ConformerAtom::FindConformerJack(const Bondable* reference) const
{
    if (!reference)
        return nullptr;
    for (const Bond* const bond : GetBonds()) {
        auto* const jack = DynCast<ConformerJack>(FindBondedAtom(bond));
        if (jack && jack->CheckReferenceAtom(reference))
            return jack;
    }
    return nullptr;
}

// Listeners may delete atoms and bonds on the way: each step works on what still lives.
void ConformerAtom::Disconnect()
{
    OrdCollection found;
    FindSingleOccupancyBonds(found);
    const Watch self(this);
    for (const std::uint32_t oid : OIDsOf(found)) {
        auto* const bond = DynCast<Bond>(Base::GetObjectA(oid));
        if (!self.alive)
            return;
        if (!bond)
            continue;
        Bondable* const neighbour = FindBondedAtom(bond);
        Object* const parent = GetParent();
        if (!neighbour)
            continue;
        auto* const jack = new ConformerJack(parent, neighbour, this);
        const Watch jackAlive(jack);
        if (self.alive && jackAlive.alive)
            Linked(new ConformerBond(parent, this, jack, bond));
        delete DynCast<Bond>(Base::GetObjectA(oid));
    }
}

void ConformerAtom::Reconnect()
{
    OrdCollection found;
    FindConformerJacks(found);
    const Watch self(this);
    for (const std::uint32_t oid : OIDsOf(found)) {
        auto* const jack = DynCast<ConformerJack>(Base::GetObjectA(oid));
        if (!self.alive)
            return;
        if (!jack)
            continue;
        Bond* const toJack = FindBond(jack);
        Bondable* const reference = jack->GetReferenceAtom();
        if (toJack && reference) {
            const std::uint32_t toJackOID = toJack->GetOID();
            Bond* const bond = MakeBond(GetParent(), reference, toJack->GetType());
            if (bond && Base::GetObjectA(toJackOID) == toJack && ::Tavrel::IsA<ConformerBond>(toJack))
                ConformerBond::CopyBond(*bond, *toJack);
        }
        delete DynCast<ConformerJack>(Base::GetObjectA(oid));
    }
}

// ---- Values

void ConformerAtom::CopyAtom(Atom& destination, const Atom& source, bool full)
{
    if (&destination == &source)
        return;
    if (full) {
        destination.SetBallSize(source.GetBallSize());
        destination.SetColor(source.GetColor());
        destination.SetColorScheme(source.GetColorScheme());
        destination.SetCPKScale(source.GetCPKScale());
        destination.SetDisplayStyle(source.GetDisplayStyle());
        destination.SetStickRadius(source.GetStickRadius());
    }
    if (source.HasAnisotropicDisplacement())
        destination.SetAnisotropicDisplacement(source.GetAnisotropicDisplacement());
    else
        destination.RemoveAnisotropicDisplacement();
    if (source.HasIsotropicDisplacement())
        destination.SetIsotropicDisplacement(source.GetIsotropicDisplacement());
    else
        destination.RemoveIsotropicDisplacement();
    destination.SetCharge(source.GetCharge());
    destination.SetXYZ(source.GetXYZ());
    destination.CopyProperties(&source);
    if (!full)
        return;
    if (source.Object::IsVisible())
        destination.SetVisible(false);
    else
        destination.SetInvisible(false);
    destination.SetLabel(source.Object::GetLabel());
    destination.SetID(source.GetID());
    destination.SetElement(source.GetElementType());
    const Rational charge = source.GetFormalCharge();
    if (charge.GetNumerator() == 0)
        destination.SetFormalCharge(0, 0);
    else
        destination.SetFormalCharge(charge);
    destination.SetHybridization(source.GetHybridization());
}

void ConformerAtom::Exchange(Atom& first, Atom& second)
{
    ConformerAtom held;
    CopyAtom(held, first, false);
    CopyAtom(first, second, false);
    CopyAtom(second, held, false);
}

void ConformerAtom::ApplyConformerToReference(Atom* alternate, Atom* reference)
{
    if (alternate && reference && alternate != reference)
        Exchange(*alternate, *reference);
}

void ConformerAtom::ApplyReferenceToConformer(Atom* reference, Atom* alternate)
{
    if (alternate && reference && alternate != reference)
        Exchange(*alternate, *reference);
}

} // namespace Tavrel
