#include <tavrel/conformers/ConformerJack.h>

#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(ConformerJack)

ConformerJack::ConformerJack(Bondable* reference, Bondable* conformerAtom)
{
    Link(reference, conformerAtom);
    Listen();
}

ConformerJack::ConformerJack(Object* parent, Bondable* reference, Bondable* conformerAtom) : Bondable(parent)
{
    const ConstructionScope construction(*this);
    Link(reference, conformerAtom);
    Listen();
}

ConformerJack::~ConformerJack()
{
    StopListening();
}

const PropertyTable& ConformerJack::Properties()
{
    static const PropertyTable table(
        PropertyList<ConformerJack>()
            .Reference(
                "Conformer Atom", [](const ConformerJack& jack) { return jack.GetConformerAtom(); },
                [](ConformerJack& jack, Bondable* atom) { jack.Link(jack.GetReferenceAtom(), atom); })
            .StreamOnly()
            .Reference(
                "Reference Atom", [](const ConformerJack& jack) { return jack.GetReferenceAtom(); },
                [](ConformerJack& jack, Bondable* atom) { jack.Link(atom, jack.GetConformerAtom()); })
            .StreamOnly()
            .AfterRecord([](ConformerJack& jack, Archive& archive, PropertyArchive* stream) {
                if (stream && archive.IsLoading())
                    stream->FinishObject(&jack);
            }));
    return table;
}

void ConformerJack::Link(Bondable* reference, Bondable* conformerAtom)
{
    m_referenceAtom = reference;
    m_referenceOID = reference ? reference->GetOID() : 0;
    m_conformerAtom = conformerAtom;
    m_conformerOID = conformerAtom ? conformerAtom->GetOID() : 0;
}

Bondable* ConformerJack::GetReferenceAtom() const
{
    return m_referenceAtom && Base::GetObjectA(m_referenceOID) == m_referenceAtom ? m_referenceAtom : nullptr;
}

Bondable* ConformerJack::GetConformerAtom() const
{
    return m_conformerAtom && Base::GetObjectA(m_conformerOID) == m_conformerAtom ? m_conformerAtom : nullptr;
}

bool ConformerJack::CheckReferenceAtom(const Bondable* atom) const
{
    return atom && atom == GetReferenceAtom();
}

bool ConformerJack::CheckReferenceAtom(const Bond* bond) const
{
    const Bondable* const reference = GetReferenceAtom();
    return reference && bond && (bond->GetAtom1() == reference || bond->GetAtom2() == reference);
}

void ConformerJack::Listen()
{
    for (Bondable* const atom : {GetReferenceAtom(), GetConformerAtom()}) {
        if (atom)
            atom->RegisterEvent(TreeNode::classType, TreeNode::EventDeleted, &LinkDeleted, false, this, nullptr);
    }
}

void ConformerJack::StopListening()
{
    for (Bondable* const atom : {GetReferenceAtom(), GetConformerAtom()}) {
        if (atom)
            atom->UnregisterAllEvents(this);
    }
}

void ConformerJack::LinkDeleted(Event& event)
{
    auto* const self = static_cast<ConformerJack*>(event.GetData());
    if (!::Tavrel::IsA<ConformerJack>(self))
        return;
    // The dying atom is no longer found by its OID: the jack lets go of both links first.
    if (TreeNode* const dying = event.GetTreeNode(false))
        dying->UnregisterAllEvents(self);
    self->StopListening();
    self->Link(nullptr, nullptr);
    Discard(self);
}

void ConformerJack::FinishLoading(std::uint32_t schema)
{
    Bondable::FinishLoading(schema);
    Listen();
}

void ConformerJack::DeepenShallowCopy()
{
    Bondable::DeepenShallowCopy();
    const auto copied = [](Bondable* atom) -> Bondable* {
        if (!IsInsideCopy(atom))
            return atom;
        return DynCast<Bondable>(atom->Copy());
    };
    Link(copied(GetReferenceAtom()), copied(GetConformerAtom()));
    Listen();
}

} // namespace Tavrel
