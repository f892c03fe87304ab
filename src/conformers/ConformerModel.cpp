#include <tavrel/conformers/ConformerModel.h>

#include <algorithm>
#include <type_traits>
#include <utility>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/LiveObjects.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/Geometric.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/OwnedObjects.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>
#include <tavrel/foundation/TypedObjectSet.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(ConformerModel)

// Old conformer index to new while a load finishes.
struct ConformerModel::Remap {
    std::unordered_map<std::int32_t, std::int32_t> atoms;
    std::unordered_map<std::int32_t, std::int32_t> bonds;
};

namespace {

struct ModelEntry {
    ConformerModel* model;
    std::uint32_t oid;
};

// The conformer-to-model map. A model is checked by its OID before it is handed out. Never
// destroyed: conformers may outlive the other statics.
std::unordered_map<const Conformer*, ModelEntry>& Models()
{
    static auto* const models = new std::unordered_map<const Conformer*, ModelEntry>();
    return *models;
}

constexpr std::uint16_t ModelHears[] = {Conformer::EventDestroyed, Conformer::EventAtomChanged,
                                        Conformer::EventAtomRemoved, Conformer::EventBondChanged,
                                        Conformer::EventBondRemoved};

template <class T>
T* Live(T* object, std::uint32_t oid)
{
    return object && Base::GetObjectA(oid) == object ? object : nullptr;
}

// Opens a new site for each object in order: its index is the site's, and an index it had before
// is remembered (while a load finishes) so that its alternates can follow.
template <class T>
void OpenSites(const BaseCollection& objects, std::vector<std::unique_ptr<TypedObjectSet>>& sites,
               std::unordered_map<std::int32_t, std::int32_t>* remap)
{
    for (T* const object : MembersOf<T>(objects)) {
        const auto index = static_cast<std::int32_t>(sites.size());
        if (const std::int32_t old = object->GetConformerIndex(); old >= 0 && remap)
            (*remap)[old] = index;
        if (object->GetConformerIndex() != index)
            object->SetConformerIndex(index);
        sites.push_back(std::make_unique<TypedObjectSet>(T::classType));
        sites.back()->Add(object);
    }
}

// Each object joins the site of its index, renumbered first while a load finishes.
template <class T>
void JoinSites(const BaseCollection& objects, std::vector<std::unique_ptr<TypedObjectSet>>& sites,
               const std::unordered_map<std::int32_t, std::int32_t>* remap)
{
    for (T* const object : MembersOf<T>(objects)) {
        std::int32_t index = object->GetConformerIndex();
        if (remap) {
            if (const auto found = remap->find(index); found != remap->end() && found->second != index) {
                index = found->second;
                object->SetConformerIndex(index);
            }
        }
        if (index >= 0 && static_cast<std::size_t>(index) < sites.size())
            sites[static_cast<std::size_t>(index)]->Add(object);
    }
}

template <class T>
void LeaveSites(const BaseCollection& objects, std::vector<std::unique_ptr<TypedObjectSet>>& sites)
{
    for (T* const object : MembersOf<T>(objects)) {
        const std::int32_t index = object->GetConformerIndex();
        if (index >= 0 && static_cast<std::size_t>(index) < sites.size())
            sites[static_cast<std::size_t>(index)]->Remove(object);
        object->ClearConformerIndex();
    }
}

TypedObjectSet* SiteAt(const std::vector<std::unique_ptr<TypedObjectSet>>& sites, std::int32_t index)
{
    return index >= 0 && static_cast<std::size_t>(index) < sites.size() ? sites[static_cast<std::size_t>(index)].get()
                                                                         : nullptr;
}

// The members of a site other than the object, with their OIDs.
template <class T>
std::vector<std::pair<T*, std::uint32_t>> OthersOf(const TypedObjectSet& site, const T* object)
{
    std::vector<std::pair<T*, std::uint32_t>> others;
    for (POSITION position = site.GetStartPosition(); position;) {
        T* const member = DynCast<T>(site.GetNext(position));
        if (member && member != object)
            others.emplace_back(member, member->GetOID());
    }
    return others;
}

// Every other member of the object's site whose value differs from the object's takes it.
template <class T, class Value, class Take>
void Spread(const TypedObjectSet* site, T* object, Value value, Take take)
{
    if (!site || !object)
        return;
    const auto own = value(*object);
    for (const auto& [other, oid] : OthersOf<T>(*site, object)) {
        if (Live(other, oid) && !(value(*other) == own))
            take(*other, own);
    }
}

} // namespace

ConformerModel::ConformerModel()
{
    Object::SetDisplayStyle(1);
    LiveObjects<ConformerModel>::Enter(this);
}

ConformerModel::ConformerModel(const BaseCollection& atoms, const BaseCollection& bonds)
{
    Object::SetDisplayStyle(1);
    CreateReference(atoms, bonds);
    LiveObjects<ConformerModel>::Enter(this);
}

ConformerModel::ConformerModel(Object* parent, const BaseCollection& atoms, const BaseCollection& bonds)
    : Object(parent)
{
    const ConstructionScope construction(*this);
    Object::SetDisplayStyle(1);
    CreateReference(atoms, bonds);
    LiveObjects<ConformerModel>::Enter(this);
}

ConformerModel::~ConformerModel()
{
    LiveObjects<ConformerModel>::Leave(this);
    RemoveAll();
    if (Conformer* const reference = Live(m_reference.Get(), m_referenceOID.Get())) {
        OwnedObjects::Leave(m_referenceOID.Get());
        if (!reference->GetParent())
            delete reference;
    } else if (m_reference.Get()) {
        OwnedObjects::Leave(m_referenceOID.Get());
    }
}

const PropertyTable& ConformerModel::Properties()
{
    using Self = ConformerModel;
    static const PropertyTable table(
        PropertyList<Self>()
            .Reference(
                "Conformer Model Reference", [](const Self& self) { return self.GetReferenceConformer(); },
                [](Self& self, Conformer* reference) {
                    self.TakeReference(reference);
                    return true;
                })
            .StreamOnly()
            .References(
                "Conformer Model Conformer List", [](const Self& self) { return self.m_conformers.Size(); },
                [](const Self& self, std::size_t index) -> Base* { return self.m_conformers.At(index); },
                [](Self& self, std::size_t, Base* read) {
                    Conformer* const conformer = DynCast<Conformer>(read);
                    self.m_conformers.Add(conformer);
                    return conformer || !read;
                })
            .StreamOnly()
            .Reference(
                "Conformer Model Occupant", [](const Self& self) { return self.GetOccupant(); },
                [](Self& self, Conformer* occupant) {
                    self.m_occupant.Get() = occupant;
                    self.m_occupantOID.Get() = occupant ? occupant->GetOID() : 0;
                })
            .StreamOnly()
            .AfterRecord([](Self& self, Archive& archive, PropertyArchive* stream) {
                if (stream && archive.IsLoading())
                    stream->FinishObject(&self);
            }));
    return table;
}

// ---- The conformer-to-model map

ConformerModel* ConformerModel::GetConformerModel(const Conformer* conformer)
{
    if (!conformer)
        return nullptr;
    const auto found = Models().find(conformer);
    return found == Models().end() ? nullptr : Live(found->second.model, found->second.oid);
}

void ConformerModel::AttachConformerModel(const Conformer* conformer, ConformerModel* model)
{
    if (!conformer)
        return;
    if (model)
        Models()[conformer] = {model, model->GetOID()};
    else
        Models().erase(conformer);
}

void ConformerModel::DetachConformerModel(const Conformer* conformer, const ConformerModel* model)
{
    const auto found = Models().find(conformer);
    if (found != Models().end() && (!model || found->second.model == model))
        Models().erase(found);
}

std::vector<ConformerModel*> ConformerModel::FindBelow(const Object& root, bool includeRoot)
{
    return LiveObjects<ConformerModel>::Below(root, includeRoot);
}

// ---- Reference and conformers

void ConformerModel::TakeReference(Conformer* reference)
{
    if (reference == m_reference.Get() && (!reference || reference->GetOID() == m_referenceOID.Get()))
        return;
    if (Conformer* const former = Live(m_reference.Get(), m_referenceOID.Get())) {
        RemoveConformerEvents(*former);
        DetachConformerModel(former, this);
        OwnedObjects::Leave(m_referenceOID.Get());
        if (!former->GetParent())
            delete former;
    }
    m_reference.Get() = reference;
    m_referenceOID.Get() = reference ? reference->GetOID() : 0;
    if (reference)
        OwnedObjects::Enter(m_referenceOID.Get());
}

void ConformerModel::CreateReference(const BaseCollection& atoms, const BaseCollection& bonds)
{
    if (GetReferenceConformer())
        return;
    AddReferenceAtomSet(atoms);
    AddReferenceBondSet(bonds);
    TakeReference(new Conformer(atoms, bonds));
    Listen(*m_reference.Get());
    AttachConformerModel(m_reference.Get(), this);
}

Conformer* ConformerModel::GetReferenceConformer() const
{
    return Live(m_reference.Get(), m_referenceOID.Get());
}

Conformer* ConformerModel::GetOccupant() const
{
    return Live(m_occupant.Get(), m_occupantOID.Get());
}

std::vector<Conformer*> ConformerModel::AllConformers() const
{
    std::vector<Conformer*> all = m_conformers.Members();
    if (Conformer* const reference = GetReferenceConformer())
        all.insert(all.begin(), reference);
    return all;
}

void ConformerModel::Listen(Conformer& c)
{
    for (const std::uint16_t code : ModelHears)
        c.RegisterEvent(Conformer::classType, code, &ConformerEvent, false, this, nullptr);
}

void ConformerModel::RemoveConformerEvents(TreeNode& node)
{
    node.UnregisterAllEvents(this);
}

Conformer* ConformerModel::CreateConformer(const BaseCollection& atoms, const BaseCollection& bonds)
{
    if (MembersOf<Atom>(atoms).size() != m_atomSets.Get().size() || MembersOf<Bond>(bonds).size() != m_bondSets.Get().size())
        return nullptr;
    auto* const conformer = new Conformer(this, atoms, bonds);
    const Watch alive(conformer);
    m_conformers.Add(conformer);
    AddConformerAtomSet(atoms);
    AddConformerBondSet(bonds);
    Listen(*conformer);
    AttachConformerModel(conformer, this);
    if (alive.alive)
        conformer->SetColor(Color::Cyan());
    return alive.alive ? conformer : nullptr;
}

Conformer* ConformerModel::CreateConformerCopy(Conformer* c)
{
    if (!c || !m_conformers.Contains(c))
        return nullptr;
    auto* const copy = DynCast<Conformer>(c->TreeCopy());
    if (!copy)
        return nullptr;
    copy->SetParent(this);
    OrdCollection atoms;
    copy->GetConformerAtomSet(atoms);
    OffsetObjectPositions(atoms);
    AddConformer(copy, true);
    return copy;
}

Conformer* ConformerModel::CreateNewConformer()
{
    Conformer* const reference = GetReferenceConformer();
    auto* const copy = reference ? DynCast<Conformer>(reference->TreeCopy()) : nullptr;
    if (!copy)
        return nullptr;
    copy->SetParent(this);
    OrdCollection atoms;
    copy->GetConformerAtomSet(atoms);
    OffsetObjectPositions(atoms);
    AddConformer(copy, true);
    return copy;
}

void ConformerModel::AddConformer(Conformer* c, bool addToSet)
{
    if (!c || m_conformers.Contains(c))
        return;
    OrdCollection atoms;
    c->GetConformerAtomSet(atoms);
    AddConformerAtomSet(atoms);
    OrdCollection bonds;
    c->GetConformerBondSet(bonds);
    AddConformerBondSet(bonds);
    Listen(*c);
    AttachConformerModel(c, this);
    if (addToSet)
        m_conformers.Add(c);
}

void ConformerModel::RemoveConformer(Conformer* c)
{
    if (!c || !m_conformers.Contains(c))
        return;
    RemoveConformerEvents(*c);
    OrdCollection atoms;
    c->GetConformerAtomSet(atoms);
    RemoveConformerAtomSet(atoms);
    OrdCollection bonds;
    c->GetConformerBondSet(bonds);
    RemoveConformerBondSet(bonds);
    m_conformers.Remove(c);
    DetachConformerModel(c, this);
    if (GetOccupant() == c)
        m_occupant.Get() = nullptr;
}

void ConformerModel::RemoveAll()
{
    if (Conformer* const reference = GetReferenceConformer()) {
        m_conformers.Add(reference);
        DetachConformerModel(reference, this);
    }
    for (Conformer* const conformer : m_conformers.Members())
        RemoveConformer(conformer);
}

void ConformerModel::ClearAll()
{
    for (Conformer* const conformer : AllConformers())
        RemoveConformerEvents(*conformer);
    m_conformers.Clear();
}

void ConformerModel::Disconnect()
{
    for (Conformer* const conformer : m_conformers.Members())
        conformer->Disconnect();
}

void ConformerModel::Reconnect()
{
    for (Conformer* const conformer : m_conformers.Members())
        conformer->Reconnect();
}

void ConformerModel::UpdateChemistry(Conformer*, const BaseCollection&, const BaseCollection&) {}

void ConformerModel::ApplyConformerToReference(Conformer* c)
{
    if (!m_guard.Get().CheckOutAllEvent())
        return;
    Conformer* const reference = GetReferenceConformer();
    if (Conformer* const occupant = GetOccupant()) {
        occupant->ApplyReferenceToConformer(reference);
        m_occupant.Get() = nullptr;
    }
    if (c && reference) {
        c->ApplyConformerToReference(reference);
        m_occupant.Get() = c;
        m_occupantOID.Get() = c->GetOID();
    }
    m_guard.Get().CheckInAllEvent();
}

// ---- Sites

void ConformerModel::AddReferenceAtomSet(const BaseCollection& atoms)
{
    OpenSites<Atom>(atoms, m_atomSets.Get(), m_loading.Get() ? &m_loading.Get()->atoms : nullptr);
}

void ConformerModel::AddReferenceBondSet(const BaseCollection& bonds)
{
    OpenSites<Bond>(bonds, m_bondSets.Get(), m_loading.Get() ? &m_loading.Get()->bonds : nullptr);
}

void ConformerModel::AddConformerAtomSet(const BaseCollection& atoms)
{
    JoinSites<Atom>(atoms, m_atomSets.Get(), m_loading.Get() ? &m_loading.Get()->atoms : nullptr);
}

void ConformerModel::AddConformerBondSet(const BaseCollection& bonds)
{
    JoinSites<Bond>(bonds, m_bondSets.Get(), m_loading.Get() ? &m_loading.Get()->bonds : nullptr);
}

void ConformerModel::RemoveConformerAtomSet(const BaseCollection& atoms)
{
    LeaveSites<Atom>(atoms, m_atomSets.Get());
}

void ConformerModel::RemoveConformerBondSet(const BaseCollection& bonds)
{
    LeaveSites<Bond>(bonds, m_bondSets.Get());
}

TypedObjectSet* ConformerModel::GetAtomSet(std::int32_t index) const
{
    return SiteAt(m_atomSets.Get(), index);
}

TypedObjectSet* ConformerModel::GetBondSet(std::int32_t index) const
{
    return SiteAt(m_bondSets.Get(), index);
}

void ConformerModel::UpdateIndexMap(std::unordered_map<std::string, std::int32_t>& map, const std::string& key,
                                    std::int32_t index)
{
    if (!key.empty())
        map[key] = index;
    for (auto entry = map.begin(); entry != map.end(); ++entry) {
        if (entry->second == index && entry->first != key) {
            map.erase(entry);
            return;
        }
    }
}

namespace {

// The pairing key is taken only by an object without a site; a new site enters a non-empty key.
template <class T>
std::int32_t SiteOf(T& object, std::unordered_map<std::string, std::int32_t>& labels,
                           std::vector<std::unique_ptr<TypedObjectSet>>& sites)
{
    const char* text = nullptr;
    std::string key = object.GetProperty(Conformer::pairingProperty, text) && text ? text : "";
    std::int32_t index = object.GetConformerIndex();
    if (!SiteAt(sites, index))
        index = -1;
    if (index < 0) {
        if (const auto found = labels.find(key); !key.empty() && found != labels.end() && SiteAt(sites, found->second)) {
            index = found->second;
            key.clear();
        }
    }
    if (index < 0) {
        index = static_cast<std::int32_t>(sites.size());
        sites.push_back(std::make_unique<TypedObjectSet>(T::classType));
        if (!key.empty())
            labels[key] = index;
    }
    if (object.GetConformerIndex() != index)
        object.SetConformerIndex(index);
    return index;
}

// Labels the object once with the relabelling mark, unheard by the model, so that the label event
// that follows always reaches the other members.
template <class T>
void Relabel(EventSet& guard, T* object, const std::string& label)
{
    const TreeNode::Watch alive(object);
    const bool checkedOut = guard.CheckOutEvent(Object::classType, Object::EventLabelSet);
    object->SetLabel(ConformerModel::relabelMarker);
    if (checkedOut)
        guard.CheckInEvent(Object::classType, Object::EventLabelSet);
    if (alive.alive)
        object->SetLabel(label);
}

} // namespace

void ConformerModel::AddConformerAtom(Atom* atom, Conformer* c)
{
    if (!atom || !c || c->IsMember(atom))
        return;
    const std::int32_t index = SiteOf(*atom, m_atomLabels, m_atomSets.Get());
    m_atomSets.Get()[static_cast<std::size_t>(index)]->Add(atom);
    if (c != GetReferenceConformer())
        atom->SetColor(c->GetColor());
    c->AddConformerAtom(atom);
}

void ConformerModel::AddConformerBond(Bond* bond, Conformer* c)
{
    if (!bond || !c || c->IsMember(bond))
        return;
    const std::int32_t index = SiteOf(*bond, m_bondLabels, m_bondSets.Get());
    m_bondSets.Get()[static_cast<std::size_t>(index)]->Add(bond);
    c->AddConformerBond(bond);
}

void ConformerModel::FindAlternateAtoms(const Atom* atom, BaseCollection& out) const
{
    if (const TypedObjectSet* const site = atom ? GetAtomSet(atom->GetConformerIndex()) : nullptr)
        site->GetObjects(out);
}

void ConformerModel::FindAlternateBonds(const Bond* bond, BaseCollection& out) const
{
    if (const TypedObjectSet* const site = bond ? GetBondSet(bond->GetConformerIndex()) : nullptr)
        site->GetObjects(out);
}

Conformer* ConformerModel::GetAtomConformer(const Atom* atom) const
{
    return Conformer::FindAtomConformer(atom);
}

Conformer* ConformerModel::GetBondConformer(const Bond* bond) const
{
    return Conformer::FindBondConformer(bond);
}

Conformer* ConformerModel::FindAtomConformer(const Atom* atom)
{
    return Conformer::FindAtomConformer(atom);
}

Conformer* ConformerModel::FindBondConformer(const Bond* bond)
{
    return Conformer::FindBondConformer(bond);
}

bool ConformerModel::CheckConformerAtomComplete(const Atom* atom) const
{
    const std::vector<Conformer*> all = AllConformers();
    return atom && GetReferenceConformer() &&
           std::all_of(all.begin(), all.end(), [atom](const Conformer* c) { return c->GetAlternateAtom(atom); });
}

bool ConformerModel::CheckConformerBondComplete(const Bond* bond) const
{
    const std::vector<Conformer*> all = AllConformers();
    return bond && GetReferenceConformer() &&
           std::all_of(all.begin(), all.end(), [bond](const Conformer* c) { return c->GetAlternateBond(bond); });
}

Atom* ConformerModel::GetReferenceAtom(const Atom* atom) const
{
    const Conformer* const reference = GetReferenceConformer();
    return reference ? reference->GetAlternateAtom(atom) : nullptr;
}

Bond* ConformerModel::GetReferenceBond(const Bond* bond) const
{
    const Conformer* const reference = GetReferenceConformer();
    return reference ? reference->GetAlternateBond(bond) : nullptr;
}

void ConformerModel::GetReferenceAtomList(OrdCollection& out) const
{
    if (const Conformer* const reference = GetReferenceConformer())
        reference->GetConformerAtomList(out);
}

void ConformerModel::GetReferenceAtomSet(BaseCollection& out) const
{
    if (const Conformer* const reference = GetReferenceConformer())
        reference->GetConformerAtomSet(out);
}

void ConformerModel::GetReferenceBondList(OrdCollection& out) const
{
    if (const Conformer* const reference = GetReferenceConformer())
        reference->GetConformerBondList(out);
}

void ConformerModel::GetReferenceBondSet(BaseCollection& out) const
{
    if (const Conformer* const reference = GetReferenceConformer())
        reference->GetConformerBondSet(out);
}

void ConformerModel::GetConformerSet(BaseCollection& out) const
{
    for (Conformer* const conformer : m_conformers.Members())
        out.Add(conformer);
}

int ConformerModel::GetConformerCount() const
{
    return static_cast<int>(m_conformers.Members().size());
}

Conformer* ConformerModel::HolderOf(const Atom* atom) const
{
    for (Conformer* const conformer : AllConformers()) {
        if (conformer->IsMember(atom))
            return conformer;
    }
    return nullptr;
}

Conformer* ConformerModel::HolderOf(const Bond* bond) const
{
    for (Conformer* const conformer : AllConformers()) {
        if (conformer->IsMember(bond))
            return conformer;
    }
    return nullptr;
}

void ConformerModel::OffsetObjectPositions(const BaseCollection& objects)
{
    Point3d offset;
    offset.Randomize();
    offset = offset * 0.5;
    for (Geometric* const object : MembersOf<Geometric>(objects))
        object->SetXYZ(object->GetXYZ() + offset);
}

// ---- Keeping the sites consistent

void ConformerModel::UpdateAtomElement(Atom* atom)
{
    Spread(GetAtomSet(atom ? atom->GetConformerIndex() : -1), atom,
           [](const Atom& member) { return member.GetElementSymbol(); },
           [](Atom& member, const std::string& symbol) { member.ChangeElement(symbol); });
}

void ConformerModel::UpdateAtomFormalCharge(Atom* atom)
{
    Spread(GetAtomSet(atom ? atom->GetConformerIndex() : -1), atom,
           [](const Atom& member) { return member.GetFormalCharge(); },
           [](Atom& member, const Rational& charge) { member.SetFormalCharge(charge); });
}

void ConformerModel::UpdateAtomLabel(Atom* atom)
{
    Spread(GetAtomSet(atom ? atom->GetConformerIndex() : -1), atom,
           [](const Atom& member) { return member.Object::GetLabel(); },
           [](Atom& member, const std::string& label) { member.SetLabel(label); });
}

void ConformerModel::UpdateBondLabel(Bond* bond)
{
    Spread(GetBondSet(bond ? bond->GetConformerIndex() : -1), bond,
           [](const Bond& member) { return member.Object::GetLabel(); },
           [](Bond& member, const std::string& label) { member.SetLabel(label); });
}

void ConformerModel::UpdateBondType(Bond* bond)
{
    Spread(GetBondSet(bond ? bond->GetConformerIndex() : -1), bond,
           [](const Bond& member) { return member.GetType(); },
           [](Bond& member, Bond::BondType type) { member.SetType(type); });
}

template <class T>
void ConformerModel::RemoveSite(TypedObjectSet& site, T* object)
{
    const std::vector<std::pair<T*, std::uint32_t>> others = OthersOf<T>(site, object);
    for (const auto& [other, oid] : others) {
        if (!Live(other, oid))
            continue;
        site.Remove(other);
        other->ClearConformerIndex();
        if (Conformer* const holder = HolderOf(other)) {
            if constexpr (std::is_same_v<T, Atom>)
                holder->RemoveConformerAtom(other);
            else
                holder->RemoveConformerBond(other);
        }
    }
    site.Remove(object);
    object->ClearConformerIndex();
    for (const auto& [other, oid] : others)
        delete Live(other, oid);
}

void ConformerModel::UpdateAtomRemoved(Atom* atom)
{
    TypedObjectSet* const site = atom ? GetAtomSet(atom->GetConformerIndex()) : nullptr;
    if (site && site->CheckMember(atom))
        RemoveSite(*site, atom);
}

void ConformerModel::UpdateBondRemoved(Bond* bond)
{
    TypedObjectSet* const site = bond ? GetBondSet(bond->GetConformerIndex()) : nullptr;
    if (site && site->CheckMember(bond))
        RemoveSite(*site, bond);
}

void ConformerModel::UpdateAlternateAtomLabels(Atom* atom, std::string_view label)
{
    if (!CheckConformerAtomComplete(atom))
        return;
    UpdateIndexMap(m_atomLabels, {}, atom->GetConformerIndex());
    const Atom* const reference = GetReferenceAtom(atom);
    const std::string own = reference ? reference->Object::GetLabel() : std::string();
    Relabel(m_guard.Get(), atom, own.empty() ? std::string(label) : own);
}

void ConformerModel::UpdateAlternateBondLabels(Bond* bond, std::string_view label)
{
    if (!CheckConformerBondComplete(bond))
        return;
    UpdateIndexMap(m_bondLabels, {}, bond->GetConformerIndex());
    const Bond* const reference = GetReferenceBond(bond);
    const std::string own = reference ? reference->Object::GetLabel() : std::string();
    Relabel(m_guard.Get(), bond, own.empty() ? std::string(label) : own);
}

// ---- Events

void ConformerModel::ConformerEvent(Event& event)
{
    auto* const model = static_cast<ConformerModel*>(event.GetData());
    if (::Tavrel::IsA<ConformerModel>(model))
        model->OnConformerEvent(event);
}

void ConformerModel::OnConformerEvent(Event& event)
{
    auto* const conformer = DynCast<Conformer>(event.GetTreeNode(false));
    if (!conformer)
        return;
    switch (event.GetEventType()) {
    case Conformer::EventDestroyed:
        if (conformer == m_reference.Get()) {
            RemoveConformerEvents(*conformer);
            OrdCollection atoms;
            conformer->GetConformerAtomSet(atoms);
            RemoveConformerAtomSet(atoms);
            OrdCollection bonds;
            conformer->GetConformerBondSet(bonds);
            RemoveConformerBondSet(bonds);
            DetachConformerModel(conformer, this);
            OwnedObjects::Leave(m_referenceOID.Get());
            m_reference.Get() = nullptr;
            m_referenceOID.Get() = 0;
        } else {
            RemoveConformer(conformer);
        }
        return;
    case Conformer::EventAtomRemoved:
        UpdateAtomRemoved(static_cast<Atom*>(event.GetExtraData()));
        return;
    case Conformer::EventBondRemoved:
        UpdateBondRemoved(static_cast<Bond*>(event.GetExtraData()));
        return;
    case Conformer::EventAtomChanged:
    case Conformer::EventBondChanged:
        break;
    default:
        return;
    }
    const auto* const changed = static_cast<const Event*>(event.GetExtraData());
    if (!changed || !m_guard.Get().CheckOutEvent(*changed))
        return;
    const Watch self(this);
    TreeNode* const source = changed->GetTreeNode(true);
    if (auto* const atom = DynCast<Atom>(source); atom && event.GetEventType() == Conformer::EventAtomChanged) {
        if (changed->CheckType(Atom3d::classType, Atom3d::EventElementSet))
            UpdateAtomElement(atom);
        else if (changed->CheckType(Atom3d::classType, Atom3d::EventFormalChargeSet))
            UpdateAtomFormalCharge(atom);
        else if (changed->CheckType(Object::classType, Object::EventLabelSet))
            UpdateAtomLabel(atom);
    } else if (auto* const bond = DynCast<Bond>(source)) {
        if (changed->CheckType(Bond::classType, Bond::EventTypeSet))
            UpdateBondType(bond);
        else if (changed->CheckType(Object::classType, Object::EventLabelSet))
            UpdateBondLabel(bond);
    }
    if (self.alive)
        m_guard.Get().CheckInEvent(*changed);
}

// ---- Loading and copying

void ConformerModel::FinishLoading(std::uint32_t schema)
{
    Object::FinishLoading(schema);
    Remap remap;
    m_loading.Get() = &remap;
    m_atomSets.Get().clear();
    m_bondSets.Get().clear();
    if (Conformer* const reference = GetReferenceConformer()) {
        OrdCollection atoms;
        reference->GetConformerAtomList(atoms);
        AddReferenceAtomSet(atoms);
        OrdCollection bonds;
        reference->GetConformerBondList(bonds);
        AddReferenceBondSet(bonds);
        reference->Reindex();
        Listen(*reference);
        AttachConformerModel(reference, this);
    }
    for (Conformer* const conformer : m_conformers.Members()) {
        OrdCollection atoms;
        conformer->GetConformerAtomList(atoms);
        AddConformerAtomSet(atoms);
        OrdCollection bonds;
        conformer->GetConformerBondList(bonds);
        AddConformerBondSet(bonds);
        conformer->Reindex();
        Listen(*conformer);
        AttachConformerModel(conformer, this);
    }
    m_loading.Get() = nullptr;
}

void ConformerModel::DeepCopyAtomSets(const TreeNode* copyRoot)
{
    for (const auto& site : m_atomSets.Get())
        site->DeepenShallowCopy(copyRoot);
}

void ConformerModel::DeepCopyBondSets(const TreeNode* copyRoot)
{
    for (const auto& site : m_bondSets.Get())
        site->DeepenShallowCopy(copyRoot);
}

void ConformerModel::DeepenShallowCopy()
{
    LiveObjects<ConformerModel>::Enter(this);
    const auto* const source = static_cast<const ConformerModel*>(GetCopySource());
    ClearAll();
    Object::DeepenShallowCopy();
    for (const auto& site : source->m_atomSets.Get())
        m_atomSets.Get().push_back(std::make_unique<TypedObjectSet>(*site));
    for (const auto& site : source->m_bondSets.Get())
        m_bondSets.Get().push_back(std::make_unique<TypedObjectSet>(*site));
    const TreeNode* const root = GetCopyRoot();
    DeepCopyAtomSets(root);
    DeepCopyBondSets(root);
    if (Conformer* const reference = source->GetReferenceConformer()) {
        TakeReference(DynCast<Conformer>(reference->Copy()));
        if (m_reference.Get()) {
            Listen(*m_reference.Get());
            AttachConformerModel(m_reference.Get(), this);
        }
    }
    for (Conformer* const conformer : source->m_conformers.Members()) {
        auto* const copy = IsInsideCopy(conformer) ? DynCast<Conformer>(conformer->Copy()) : nullptr;
        if (!copy)
            continue;
        Listen(*copy);
        m_conformers.Add(copy);
        AttachConformerModel(copy, this);
    }
    Conformer* const occupant = source->GetOccupant();
    m_occupant.Get() = IsInsideCopy(occupant) ? DynCast<Conformer>(occupant->Copy()) : nullptr;
    m_occupantOID.Get() = m_occupant.Get() ? m_occupant.Get()->GetOID() : 0;
}

} // namespace Tavrel
