#include <tavrel/conformers/Conformer.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyArchive.h>
#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS(Conformer)

namespace {

// The events of a member atom and of a member bond that a conformer hears.
struct Heard {
    std::uint32_t type;
    std::uint16_t code;
};

std::vector<Heard> AtomEvents()
{
    return {{Atom::classType, Atom::EventDestroyed},
            {Object::classType, Object::EventLabelSet},
            {Atom3d::classType, Atom3d::EventElementSet},
            {Atom3d::classType, Atom3d::EventFormalChargeSet},
            {Bondable::classType, Bondable::EventBondAdded}};
}

std::vector<Heard> BondEvents()
{
    return {{Bond::classType, Bond::EventDeleted}, {Object::classType, Object::EventLabelSet},
            {Bond::classType, Bond::EventTypeSet}};
}

// The members by ascending conformer index.
template <class T>
void ListByIndex(const MemberList<T>& list, OrdCollection& out)
{
    std::vector<std::pair<std::int32_t, T*>> members;
    for (T* const member : list.Members())
        members.emplace_back(member->GetConformerIndex(), member);
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    out.RemoveAll();
    for (const auto& entry : members)
        out.Add(entry.second);
}

template <class T>
void IndexByConformerIndex(const MemberList<T>& members, std::unordered_map<std::int32_t, T*>& index)
{
    index.clear();
    for (T* const member : members.Members()) {
        if (const std::int32_t at = member->GetConformerIndex(); at >= 0)
            index[at] = member;
    }
}

template <class T>
void Forget(std::unordered_map<std::int32_t, T*>& index, T* member)
{
    const auto found = index.find(member->GetConformerIndex());
    if (found != index.end() && found->second == member) {
        index.erase(found);
        return;
    }
    std::erase_if(index, [member](const auto& entry) { return entry.second == member; });
}

} // namespace

Conformer::Conformer()
{
    Object::SetDisplayStyle(1);
}

Conformer::Conformer(const BaseCollection& atoms, const BaseCollection& bonds)
{
    Object::SetDisplayStyle(1);
    for (const BaseCollection* objects : {&atoms, &bonds}) {
        for (Object* const object : MembersOf<Object>(*objects))
            object->RemoveProperty(tagProperty);
    }
    AddConformerAtomSet(atoms);
    AddConformerBondSet(bonds);
}

Conformer::Conformer(Object* parent, const BaseCollection& atoms, const BaseCollection& bonds) : Geometric(parent)
{
    const ConstructionScope construction(*this);
    // As in Geometric: tree registrations above reach this level's mask byte.
    SetMaskFromParents();
    Object::SetDisplayStyle(1);
    for (const BaseCollection* objects : {&atoms, &bonds}) {
        for (Object* const object : MembersOf<Object>(*objects))
            object->RemoveProperty(tagProperty);
    }
    AddConformerAtomSet(atoms);
    AddConformerBondSet(bonds);
}

Conformer::~Conformer()
{
    DoNotify(classType, EventDestroyed, nullptr, nullptr);
    RemoveAll();
    ConformerModel::DetachConformerModel(this, nullptr);
}

const PropertyTable& Conformer::Properties()
{
    using Self = Conformer;
    static const PropertyTable table(
        PropertyList<Self>()
            .References(
                "Conformer Atom List", [](const Self& self) { return self.m_atoms.Size(); },
                [](const Self& self, std::size_t index) -> Base* { return self.m_atoms.At(index); },
                [](Self& self, std::size_t, Base* read) {
                    Atom* const atom = DynCast<Atom>(read);
                    self.m_atoms.Add(atom);
                    return atom || !read;
                })
            .StreamOnly()
            .ReferenceOrArray(
                "Conformer Bond List", [](const Self& self) { return self.m_storedBonds.Get(); },
                [](Self& self, std::size_t) { self.m_storedBonds.ReadingArray(); },
                [](Self& self, std::size_t index, Base* read) {
                    return self.m_storedBonds.Read(index, read, [&self](std::size_t, Object* object) {
                        Bond* const bond = DynCast<Bond>(object);
                        self.m_bonds.Add(bond);
                        return bond != nullptr;
                    });
                })
            .Reference(
                "Conformer Model", [](const Self& self) { return self.GetConformerModel(); },
                [](Self& self, ConformerModel* model) { self.SetConformerModel(model); })
            .StreamOnly()
            .BeforeRecord([](Self& self, Archive& archive, PropertyArchive* stream) {
                if (stream && archive.IsStoring())
                    self.m_storedBonds.Make(self.m_bonds.Members());
            })
            .AfterRecord([](Self& self, Archive& archive, PropertyArchive* stream) {
                if (stream && archive.IsLoading())
                    stream->FinishObject(&self);
                else if (stream)
                    self.m_storedBonds.Drop();
            }));
    return table;
}

// ---- Members

bool Conformer::IsMember(const Atom* atom) const
{
    return m_atoms.Contains(atom);
}

bool Conformer::IsMember(const Bond* bond) const
{
    return m_bonds.Contains(bond);
}

void Conformer::Listen(Atom& atom)
{
    for (const Heard& heard : AtomEvents())
        atom.RegisterEvent(heard.type, heard.code, &AtomEvent, false, this, nullptr);
}

void Conformer::Listen(Bond& bond)
{
    for (const Heard& heard : BondEvents())
        bond.RegisterEvent(heard.type, heard.code, &BondEvent, false, this, nullptr);
}

template <class T>
void Conformer::Join(T& object, MemberList<T>& members, std::unordered_map<std::int32_t, T*>& index)
{
    m_joined = true;
    Listen(object);
    AttachObject(object);
    members.Add(&object);
    if (const std::int32_t at = object.GetConformerIndex(); at >= 0)
        index[at] = &object;
}

template <class T>
void Conformer::Leave(T& object, MemberList<T>& members, std::unordered_map<std::int32_t, T*>& index)
{
    DetachObject(object);
    object.UnregisterAllEvents(this);
    members.Remove(&object);
    Forget(index, &object);
}

void Conformer::AddConformerAtom(Atom* atom)
{
    if (atom)
        Join(*atom, m_atoms, m_atomIndex.Get());
}

void Conformer::AddConformerAtomSet(const BaseCollection& atoms)
{
    for (Atom* const atom : MembersOf<Atom>(atoms))
        AddConformerAtom(atom);
}

void Conformer::AddConformerBond(Bond* bond)
{
    if (bond)
        Join(*bond, m_bonds, m_bondIndex.Get());
}

void Conformer::AddConformerBondSet(const BaseCollection& bonds)
{
    for (Bond* const bond : MembersOf<Bond>(bonds))
        AddConformerBond(bond);
}

void Conformer::RemoveConformerAtom(Atom* atom)
{
    if (!atom || !IsMember(atom))
        return;
    Leave(*atom, m_atoms, m_atomIndex.Get());
    DoNotify(classType, EventAtomRemoved, nullptr, atom);
}

void Conformer::RemoveConformerBond(Bond* bond)
{
    if (!bond || !IsMember(bond))
        return;
    Leave(*bond, m_bonds, m_bondIndex.Get());
    DoNotify(classType, EventBondRemoved, nullptr, bond);
}

void Conformer::RemoveAll()
{
    if (!m_joined) {
        m_atoms.Clear();
        m_bonds.Clear();
        return;
    }
    for (Atom* const atom : m_atoms.Members())
        RemoveConformerAtom(atom);
    for (Bond* const bond : m_bonds.Members())
        RemoveConformerBond(bond);
}

void Conformer::RemoveAtomEvents(TreeNode& node)
{
    node.UnregisterAllEvents(this);
}

void Conformer::RemoveBondEvents(TreeNode& node)
{
    node.UnregisterAllEvents(this);
}

void Conformer::AttachObject(Object& object)
{
    if (!object.HasProperty(tagProperty))
        object.SetProperty(tagProperty, static_cast<const Base*>(this), DataStorage::FlagTemporary);
}

void Conformer::DetachObject(Object& object)
{
    Base* tag = nullptr;
    if (object.GetProperty(tagProperty, tag) && tag == this)
        object.RemoveProperty(tagProperty);
}

void Conformer::DeepCopyAtomSet(const BaseCollection& atoms)
{
    for (Atom* const atom : MembersOf<Atom>(atoms)) {
        if (auto* const copy = DynCast<Atom>(atom->Copy())) {
            copy->RemoveProperty(tagProperty);
            AddConformerAtom(copy);
        }
    }
}

void Conformer::DeepCopyBondSet(const BaseCollection& bonds)
{
    for (Bond* const bond : MembersOf<Bond>(bonds)) {
        if (auto* const copy = DynCast<Bond>(bond->Copy())) {
            copy->RemoveProperty(tagProperty);
            AddConformerBond(copy);
        }
    }
}

void Conformer::UpdateChemistry() {}

void Conformer::Reindex()
{
    IndexByConformerIndex(m_atoms, m_atomIndex.Get());
    IndexByConformerIndex(m_bonds, m_bondIndex.Get());
}

void Conformer::Rebuild()
{
    m_joined = true;
    for (Atom* const atom : m_atoms.Members()) {
        Listen(*atom);
        AttachObject(*atom);
    }
    for (Bond* const bond : m_bonds.Members()) {
        Listen(*bond);
        AttachObject(*bond);
    }
    Reindex();
}

void Conformer::FinishLoading(std::uint32_t schema)
{
    Geometric::FinishLoading(schema);
    Rebuild();
}

// ---- Queries

Atom* Conformer::GetAlternateAtom(const Atom* atom) const
{
    if (!atom)
        return nullptr;
    const auto found = m_atomIndex.Get().find(atom->GetConformerIndex());
    return found == m_atomIndex.Get().end() ? nullptr : found->second;
}

Bond* Conformer::GetAlternateBond(const Bond* bond) const
{
    if (!bond)
        return nullptr;
    const auto found = m_bondIndex.Get().find(bond->GetConformerIndex());
    return found == m_bondIndex.Get().end() ? nullptr : found->second;
}

void Conformer::GetConformerAtomList(OrdCollection& out) const
{
    ListByIndex<Atom>(m_atoms, out);
}

void Conformer::GetConformerBondList(OrdCollection& out) const
{
    ListByIndex<Bond>(m_bonds, out);
}

void Conformer::GetConformerAtomSet(BaseCollection& out) const
{
    for (Atom* const atom : m_atoms.Members())
        out.Add(atom);
}

void Conformer::GetConformerBondSet(BaseCollection& out) const
{
    for (Bond* const bond : m_bonds.Members())
        out.Add(bond);
}

int Conformer::GetConformerAtomCount() const
{
    return static_cast<int>(m_atoms.Members().size());
}

int Conformer::GetConformerBondCount() const
{
    return static_cast<int>(m_bonds.Members().size());
}

ConformerModel* Conformer::GetConformerModel() const
{
    return ConformerModel::GetConformerModel(this);
}

void Conformer::SetConformerModel(ConformerModel* model)
{
    ConformerModel::AttachConformerModel(this, model);
}

Conformer* Conformer::FindAtomConformer(const Atom* atom)
{
    Base* tag = nullptr;
    return atom && atom->GetProperty(tagProperty, tag) ? DynCast<Conformer>(tag) : nullptr;
}

Conformer* Conformer::FindBondConformer(const Bond* bond)
{
    Base* tag = nullptr;
    return bond && bond->GetProperty(tagProperty, tag) ? DynCast<Conformer>(tag) : nullptr;
}

bool Conformer::CheckAtomConformer(const Conformer* conformer, const Atom* atom)
{
    return conformer && atom && FindAtomConformer(atom) == conformer;
}

bool Conformer::CheckBondConformer(const Conformer* conformer, const Bond* bond)
{
    return conformer && bond && FindBondConformer(bond) == conformer;
}

void Conformer::FindAlternateAtomSet(const Atom* atom, BaseCollection& out)
{
    const Conformer* const conformer = FindAtomConformer(atom);
    if (ConformerModel* const model = conformer ? conformer->GetConformerModel() : nullptr)
        model->FindAlternateAtoms(atom, out);
}

void Conformer::FindAlternateBondSet(const Bond* bond, BaseCollection& out)
{
    const Conformer* const conformer = FindBondConformer(bond);
    if (ConformerModel* const model = conformer ? conformer->GetConformerModel() : nullptr)
        model->FindAlternateBonds(bond, out);
}

// ---- Applying

void Conformer::ApplyConformerToReference(Conformer* reference)
{
    if (!reference || reference == this)
        return;
    for (Atom* const atom : m_atoms.Members())
        ConformerAtom::ApplyConformerToReference(atom, reference->GetAlternateAtom(atom));
}

void Conformer::ApplyReferenceToConformer(Conformer* reference)
{
    if (!reference || reference == this)
        return;
    for (Atom* const atom : m_atoms.Members())
        ConformerAtom::ApplyReferenceToConformer(reference->GetAlternateAtom(atom), atom);
}

void Conformer::Disconnect()
{
    for (Atom* const atom : m_atoms.Members()) {
        if (auto* const alternate = DynCast<ConformerAtom>(atom))
            alternate->Disconnect();
    }
}

void Conformer::Reconnect()
{
    for (Atom* const atom : m_atoms.Members()) {
        if (auto* const alternate = DynCast<ConformerAtom>(atom))
            alternate->Reconnect();
    }
}

// ---- Position and colour

Point3d Conformer::GetXYZ() const
{
    const std::vector<Atom*> atoms = m_atoms.Members();
    if (atoms.empty())
        return Point3d::origin;
    double sum[3] = {0.0, 0.0, 0.0};
    for (const Atom* const atom : atoms) {
        const Point3d position = atom->GetXYZ();
        sum[0] += position.x;
        sum[1] += position.y;
        sum[2] += position.z;
    }
    const auto count = static_cast<double>(atoms.size());
    return Point3d(sum[0] / count, sum[1] / count, sum[2] / count);
}

void Conformer::SetXYZ(const Point3d&) {}

void Conformer::SetColor(const Color& color)
{
    for (Atom* const atom : m_atoms.Members())
        atom->SetColor(color);
    Geometric::SetColor(color);
}

// ---- Copies

void Conformer::DeepenShallowCopy()
{
    Geometric::DeepenShallowCopy();
    const auto* const source = static_cast<const Conformer*>(GetCopySource());
    const auto inside = [](const OrdCollection& members) { return IsInsideCopy(members.FindCommonAncestor()); };
    OrdCollection atoms;
    source->GetConformerAtomSet(atoms);
    if (inside(atoms))
        DeepCopyAtomSet(atoms);
    OrdCollection bonds;
    source->GetConformerBondSet(bonds);
    if (inside(bonds))
        DeepCopyBondSet(bonds);
}

// ---- Listening

void Conformer::AtomEvent(Event& event)
{
    auto* const conformer = static_cast<Conformer*>(event.GetData());
    auto* const atom = DynCast<Atom>(event.GetTreeNode(false));
    if (!::Tavrel::IsA<Conformer>(conformer) || !atom)
        return;
    if (event.CheckType(Atom::classType, Atom::EventDestroyed)) {
        conformer->RemoveConformerAtom(atom);
        return;
    }
    if (event.CheckType(Bondable::classType, Bondable::EventBondAdded)) {
        auto* const bond = static_cast<Bond*>(event.GetExtraData());
        if (bond && conformer->PairHydrogen(*atom, *bond))
            return;
    }
    Event copy(event);
    conformer->DoNotify(classType, EventAtomChanged, nullptr, &copy);
}

void Conformer::BondEvent(Event& event)
{
    auto* const conformer = static_cast<Conformer*>(event.GetData());
    auto* const bond = DynCast<Bond>(event.GetTreeNode(false));
    if (!::Tavrel::IsA<Conformer>(conformer) || !bond)
        return;
    if (event.CheckType(Bond::classType, Bond::EventDeleted)) {
        conformer->RemoveConformerBond(bond);
        return;
    }
    Event copy(event);
    conformer->DoNotify(classType, EventBondChanged, nullptr, &copy);
}

bool Conformer::PairHydrogen(Atom& atom, Bond& bond)
{
    auto* const hydrogen = DynCast<Atom>(bond.GetAtom2() == &atom ? bond.GetAtom1() : bond.GetAtom2());
    ConformerModel* const model = GetConformerModel();
    if (!hydrogen || hydrogen->GetElementType() != 1 || !model)
        return false;
    const std::string key =
        StringUtils::Format("H - %d - %d", atom.GetConformerIndex(), atom.GetNumHydrogens());
    // Listeners of the steps below may delete any of the objects: each step needs them alive.
    const Watch self(this);
    const Watch hydrogenAlive(hydrogen);
    const Watch bondAlive(&bond);
    const Watch modelAlive(model);
    const auto alive = [&] { return self.alive && hydrogenAlive.alive && modelAlive.alive; };
    hydrogen->SetProperty(pairingProperty, key.c_str(), 0);
    if (alive())
        model->AddConformerAtom(hydrogen, this);
    if (alive()) {
        hydrogen->RemoveProperty(pairingProperty);
        model->UpdateAlternateAtomLabels(hydrogen, hydrogen->GetLabel());
    }
    if (!alive() || !bondAlive.alive)
        return true;
    bond.SetProperty(pairingProperty, key.c_str(), 0);
    if (alive() && bondAlive.alive)
        model->AddConformerBond(&bond, this);
    if (alive() && bondAlive.alive) {
        bond.RemoveProperty(pairingProperty);
        model->UpdateAlternateBondLabels(&bond, bond.GetLabel());
    }
    return true;
}

} // namespace Tavrel
