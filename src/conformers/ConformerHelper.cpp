#include <tavrel/conformers/ConformerHelper.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformationReference.h>
#include <tavrel/conformers/Conformer.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/conformers/ConformerBond.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/conformers/LiveObjects.h>
#include <tavrel/conformers/MemberList.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/SetCollection.h>

namespace Tavrel {

namespace {

// The objects of a class at or below root, in pre-order, taken before anything changes.
OrdCollection Collect(Object& root, std::uint32_t type, bool includeRoot)
{
    return OrdCollection(DescendentIterator(&root, type, includeRoot));
}

template <class T>
OrdCollection Collected(const std::vector<T*>& objects)
{
    OrdCollection collected;
    for (T* const object : objects)
        collected.Add(object);
    return collected;
}

bool IsMarked(const Conformation& conformation)
{
    return conformation.HasProperty(ConformerHelper::conformerModelMarker);
}

// The Conformations of each reference in the tree of root, in tree order, from one walk.
std::unordered_map<const Object*, std::vector<Conformation*>> ConformationsByReference(Object& root)
{
    std::unordered_map<const Object*, std::vector<Conformation*>> byReference;
    DescendentIterator walk(root.GetRoot(), Conformation::classType, true);
    while (Object* const object = walk.GetNext()) {
        auto* const conformation = static_cast<Conformation*>(object);
        if (const Object* const reference = conformation->GetReference())
            byReference[reference].push_back(conformation);
    }
    return byReference;
}

} // namespace

// ---- Conformer models to Conformations

Object* ConformerHelper::ConformationParent(const ConformerModel& model)
{
    SetCollection atoms;
    model.GetReferenceAtomSet(atoms);
    if (atoms.GetNumItems() == 1) {
        const Object* const atom = atoms.GetFirstItem();
        return atom ? atom->GetParent() : nullptr;
    }
    return atoms.FindCommonAncestor();
}

void ConformerHelper::ConvertAllConformerModels(Object& root, bool deleteAfter)
{
    const OrdCollection models = Collected(ConformerModel::FindBelow(root, false));
    for (ConformerModel* const model : MembersOf<ConformerModel>(models))
        ConvertConformerModel(model, false);
    if (deleteAfter)
        DeleteConformerModels(models);
}

void ConformerHelper::ConvertConformerModel(ConformerModel* model, bool deleteAfter)
{
    if (!model)
        return;
    if (Object* const parent = ConformationParent(*model)) {
        OrdCollection conformers;
        conformers.Add(model->GetReferenceConformer());
        model->GetConformerSet(conformers);
        // Every Conformation starts from the reference's values, read once for all of them.
        std::optional<Conformation::Values> start;
        for (Conformer* const conformer : MembersOf<Conformer>(conformers))
            CreateConformation(*parent, *conformer, start);
    }
    if (deleteAfter)
        DeleteConformerModel(model);
}

void ConformerHelper::ConvertConformerModel(Conformer* conformer, bool deleteAfter)
{
    if (ConformerModel* const model = conformer ? conformer->GetConformerModel() : nullptr)
        ConvertConformerModel(model, deleteAfter);
}

Conformation* ConformerHelper::CreateConformation(Object& parent, Conformer& conformer,
                                                 std::optional<Conformation::Values>& start)
{
    OrdCollection atoms;
    conformer.GetConformerAtomList(atoms);
    const ConformerModel* const model = conformer.GetConformerModel();
    auto* const conformation = start ? new Conformation(&parent, false, *start) : new Conformation(&parent, false);
    if (!start)
        start = conformation->GetValues();
    conformation->SetProperty(conformerModelMarker, conformerModelMarker, 0);
    for (const Atom* const atom : MembersOf<Atom>(atoms)) {
        Atom* const reference = model ? model->GetReferenceAtom(atom) : nullptr;
        if (!reference)
            continue;
        conformation->SetOccupancy(reference, atom->GetOccupancy());
        conformation->SetIsotropicDisplacement(reference, atom->GetIsotropicDisplacement());
        conformation->SetPosition(reference, atom->GetXYZ());
        if (!reference->HasProperty(Conformation::alternatesMarker))
            reference->SetProperty(Conformation::alternatesMarker, Conformation::alternatesMarker, 0);
    }
    return conformation;
}

// ---- Conformations to conformer models

void ConformerHelper::ConvertAllConformationModels(Object& root, bool deleteAfter, bool onlyMarked)
{
    const Keep keep = [onlyMarked](const Conformation& conformation) { return !onlyMarked || IsMarked(conformation); };
    const auto byReference = ConformationsByReference(root);
    const OrdCollection conformations = Collect(root, Conformation::classType, false);
    std::unordered_set<const Object*> done{nullptr};
    OrdCollection converted;
    for (Conformation* const conformation : MembersOf<Conformation>(conformations)) {
        Object* const reference = conformation->GetReference();
        if (!keep(*conformation) || !done.insert(reference).second)
            continue;
        OrdCollection atoms;
        OrdCollection bonds;
        Conformation::GetAlternates(conformation, atoms, bonds);
        if (atoms.GetSize() > 0) {
            CreateConformerModel(*reference, atoms, bonds, converted, keep);
            continue;
        }
        if (const auto found = byReference.find(reference); found != byReference.end()) {
            for (Conformation* const same : found->second) {
                if (keep(*same))
                    converted.Add(same);
            }
        }
    }
    if (deleteAfter)
        DeleteConformations(converted);
}

void ConformerHelper::ConvertConformationModel(Conformation* conformation, bool deleteAfter)
{
    Object* const reference = conformation ? conformation->GetReference() : nullptr;
    if (!reference)
        return;
    OrdCollection atoms;
    OrdCollection bonds;
    Conformation::GetAlternates(conformation, atoms, bonds);
    OrdCollection converted;
    CreateConformerModel(*reference, atoms, bonds, converted, [](const Conformation&) { return true; });
    if (deleteAfter)
        DeleteConformations(converted);
}

// Only the Conformations of this reference: the values of another reference's Conformation below it
// are addressed by that one's atom indices.
void ConformerHelper::CreateConformerModel(Object& reference, const OrdCollection& atoms, const OrdCollection& bonds,
                                           BaseCollection& converted, const Keep& keep)
{
    std::vector<Conformation*> conformations;
    DescendentIterator walk(&reference, Conformation::classType, false);
    while (Object* const object = walk.GetNext()) {
        auto* const conformation = static_cast<Conformation*>(object);
        if (conformation->GetReference() == &reference && keep(*conformation))
            conformations.push_back(conformation);
    }
    auto* const model = new ConformerModel(&reference, atoms, bonds);
    const TreeNode::Watch alive(model);
    for (Conformation* const conformation : conformations) {
        if (!alive.alive)
            return;
        Conformer* const conformer = bonds.GetSize() > 0 ? CreateConformer(*model, *conformation, atoms, bonds)
                                                         : CreateConformerFromAtoms(*model, *conformation, atoms);
        if (!conformer)
            continue;
        conformer->SetLabel(conformation->GetLabel());
        converted.Add(conformation);
    }
}

Conformer* ConformerHelper::CreateConformer(ConformerModel& model, Conformation& conformation,
                                            const OrdCollection& atoms, const OrdCollection& bonds)
{
    std::unordered_set<const Object*> alternates;
    for (const Atom* const atom : MembersOf<Atom>(atoms))
        alternates.insert(atom);
    std::unordered_map<const Bondable*, ConformerAtom*> made;
    OrdCollection newAtoms;
    OrdCollection newBonds;
    const auto alternateOf = [&](Bondable* end) -> Bondable* {
        if (const auto found = made.find(end); found != made.end())
            return found->second;
        auto* const atom = DynCast<Atom>(end);
        if (!atom || !alternates.contains(atom))
            return end;
        auto* const copy = new ConformerAtom(*atom);
        newAtoms.Add(copy);
        copy->SetXYZ(conformation.GetPosition(atom));
        copy->SetOccupancy(static_cast<float>(conformation.GetOccupancy(atom)));
        copy->SetIsotropicDisplacement(static_cast<float>(conformation.GetIsotropicDisplacement(atom)));
        TransferSegmentID(conformation, atom, copy);
        made.emplace(end, copy);
        return copy;
    };
    for (Bond* const bond : MembersOf<Bond>(bonds)) {
        Bondable* const end1 = alternateOf(bond->GetAtom1());
        Bondable* const end2 = alternateOf(bond->GetAtom2());
        if (!end1 || !end2 || end1 == end2)
            continue;
        auto* const copy = new ConformerBond(&model, end1, end2, bond);
        if (copy->GetAtom1() && copy->GetAtom2())
            newBonds.Add(copy);
        else
            delete copy;
    }
    Conformer* const conformer = model.CreateConformer(newAtoms, newBonds);
    if (!conformer) {
        DeleteObjects(newBonds);
        DeleteObjects(newAtoms);
        return nullptr;
    }
    OrdCollection members;
    conformer->GetConformerAtomList(members);
    conformer->GetConformerBondList(newBonds);
    for (Object* const member : MembersOf<Object>(members)) {
        member->SetParent(conformer);
        member->SetVisible(true);
    }
    for (Object* const member : MembersOf<Object>(newBonds)) {
        member->SetParent(conformer);
        member->SetVisible(true);
    }
    return conformer;
}

Conformer* ConformerHelper::CreateConformerFromAtoms(ConformerModel& model, Conformation& conformation,
                                                     const OrdCollection& atoms)
{
    OrdCollection newAtoms;
    for (const Atom* const atom : MembersOf<Atom>(atoms)) {
        auto* const copy = new ConformerAtom(*atom);
        newAtoms.Add(copy);
        copy->SetXYZ(conformation.GetPosition(atom));
        copy->SetOccupancy(static_cast<float>(conformation.GetOccupancy(atom)));
        copy->SetIsotropicDisplacement(static_cast<float>(conformation.GetIsotropicDisplacement(atom)));
    }
    Conformer* const conformer = model.CreateConformer(newAtoms, OrdCollection());
    if (!conformer) {
        DeleteObjects(newAtoms);
        return nullptr;
    }
    OrdCollection members;
    conformer->GetConformerAtomList(members);
    for (Object* const member : MembersOf<Object>(members)) {
        member->SetParent(conformer);
        member->SetVisible(true);
    }
    return conformer;
}

void ConformerHelper::TransferSegmentID(Conformation& conformation, const Atom* reference, ConformerAtom* atom)
{
    const std::string name = StringUtils::Format("_SEGID_%d", conformation.GetAtomIndex(reference));
    const char* text = nullptr;
    if (conformation.GetProperty(name, text)) {
        if (text && *text)
            atom->SetProperty(segmentProperty, text, DataStorage::FlagReadable);
        conformation.RemoveProperty(name);
    } else {
        atom->RemoveProperty(segmentProperty);
    }
}

// ---- Deleting

void ConformerHelper::DeleteObjects(const BaseCollection& objects)
{
    std::vector<std::uint32_t> oids;
    for (const Object* const object : MembersOf<Object>(objects))
        oids.push_back(object->GetOID());
    for (const std::uint32_t oid : oids)
        delete Object::GetObjectA(oid);
}

void ConformerHelper::DeleteConformations(const BaseCollection& conformations)
{
    OrdCollection only;
    for (Conformation* const conformation : MembersOf<Conformation>(conformations))
        only.Add(conformation);
    DeleteObjects(only);
}

// The model lets go of its conformers first, so that deleting their atoms deletes nothing else.
void ConformerHelper::DeleteConformerModel(ConformerModel* model)
{
    if (!model)
        return;
    const std::uint32_t oid = model->GetOID();
    OrdCollection objects;
    FindConformerModelObjects(*model, objects);
    model->ClearAll();
    DeleteObjects(objects);
    delete DynCast<ConformerModel>(Object::GetObjectA(oid));
}

void ConformerHelper::DeleteConformerModels(const BaseCollection& models)
{
    std::vector<std::uint32_t> oids;
    for (const ConformerModel* const model : MembersOf<ConformerModel>(models))
        oids.push_back(model->GetOID());
    for (const std::uint32_t oid : oids)
        DeleteConformerModel(DynCast<ConformerModel>(Object::GetObjectA(oid)));
}

// The marked Conformations of the served references are found through the references' records,
// not by walking the tree; a model without reference atoms serves the Conformations without one,
// which only a walk finds.
void ConformerHelper::DeleteAllConformationModels(Object& root, bool onlyMarked)
{
    if (!onlyMarked) {
        DeleteObjects(Collect(root, Conformation::classType, true));
        return;
    }
    std::unordered_set<Object*> served;
    for (const ConformerModel* const model : ConformerModel::FindBelow(root, true))
        served.insert(ConformationParent(*model));
    const auto doomedHere = [&](const Conformation& conformation) {
        return IsMarked(conformation) && served.contains(conformation.GetReference()) &&
               (&conformation == &root || conformation.HasAncestor(&root));
    };
    std::vector<Conformation*> doomed;
    if (served.contains(nullptr)) {
        for (Conformation* const conformation : MembersOf<Conformation>(Collect(root, Conformation::classType, true))) {
            if (doomedHere(*conformation))
                doomed.push_back(conformation);
        }
    } else {
        for (const Object* const reference : served) {
            for (Conformation* const conformation : ConformationReference::UsersOf(*reference)) {
                if (doomedHere(*conformation))
                    doomed.push_back(conformation);
            }
        }
    }
    DeleteObjects(Collected(InPreOrder(doomed)));
}

void ConformerHelper::DeleteAllConformerModels(Object& root)
{
    DeleteConformerModels(Collected(ConformerModel::FindBelow(root, true)));
}

bool ConformerHelper::DeleteAllConformerModelTokens(Object& root)
{
    const std::vector<ConformerModelToken*> tokens = ConformerModelToken::FindBelow(root, true);
    DeleteObjects(Collected(tokens));
    UnmarkAllConformations(root);
    return !tokens.empty();
}

void ConformerHelper::UnmarkAllConformations(Object& root)
{
    for (Conformation* const conformation : MembersOf<Conformation>(Collect(root, Conformation::classType, true))) {
        if (IsMarked(*conformation))
            conformation->RemoveProperty(conformerModelMarker);
    }
}

// ---- Connecting

void ConformerHelper::DisconnectConformerModel(ConformerModel& model)
{
    model.Disconnect();
}

void ConformerHelper::ReconnectConformerModel(ConformerModel& model)
{
    model.Reconnect();
}

void ConformerHelper::DisconnectAllConformerModels(Object& root)
{
    for (ConformerModel* const model : ConformerModel::FindBelow(root, false))
        model->Disconnect();
}

void ConformerHelper::ReconnectAllConformerModels(Object& root)
{
    for (ConformerModel* const model : ConformerModel::FindBelow(root, false))
        model->Reconnect();
}

void ConformerHelper::FindConformerModelObjects(const Object& model, BaseCollection& out)
{
    const auto* const conformerModel = DynCast<ConformerModel>(&model);
    if (!conformerModel)
        return;
    OrdCollection conformers;
    conformerModel->GetConformerSet(conformers);
    for (Conformer* const conformer : MembersOf<Conformer>(conformers)) {
        FindConformerObjects(*conformer, out);
        out.Add(conformer);
    }
}

void ConformerHelper::FindConformerObjects(const Object& conformer, BaseCollection& out)
{
    if (const auto* const c = DynCast<Conformer>(&conformer)) {
        c->GetConformerAtomSet(out);
        c->GetConformerBondSet(out);
    }
}

// ---- Packaging

void ConformerHelper::PackageConformerModels(Object& root)
{
    auto* const token = new ConformerModelToken(&root);
    token->PackageConformerObjects(root);
    token->Deactivate();
}

bool ConformerHelper::UnpackageConformerModels(Object& root)
{
    const OrdCollection tokens = Collected(ConformerModelToken::FindBelow(root, false));
    if (tokens.GetNumItems() == 0)
        return true;
    int held = 0;
    int restored = 0;
    for (ConformerModelToken* const token : MembersOf<ConformerModelToken>(tokens)) {
        held += token->GetCount();
        restored += token->UnpackageConformerObjects();
    }
    DeleteObjects(tokens);
    return held == 0 || restored > 0;
}

} // namespace Tavrel
