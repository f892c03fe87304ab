// ConformerHelper: converts between conformer models and conformations, and packages models for saving.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <tavrel/conformers/Conformation.h>

namespace Tavrel {

class Atom;
class BaseCollection;
class Conformer;
class ConformerAtom;
class ConformerModel;
class Object;
class OrdCollection;
class SetCollection;

// Without state; callers make a temporary one. "Below" a node means its descendants in pre-order,
// the node excluded; "at or below" includes it. Deletions survive objects that an earlier deletion
// (or a listener) has already destroyed. A document stores each conformer model twice: as one
// Conformation per conformer, marked as made from the model, and packaged in a token; after a load
// the token puts the models back and the marked Conformations of their references go.
class ConformerHelper {
public:
    // Every ConformerModel below root into Conformations; with deleteAfter the models are deleted.
    void ConvertAllConformerModels(Object& root, bool deleteAfter);
    // One Conformation per conformer (the reference conformer's first) under the parent of the
    // single reference atom, else the reference atoms' common ancestor; every reference atom is
    // marked as having alternates. Nothing for null.
    void ConvertConformerModel(ConformerModel* model, bool deleteAfter);
    void ConvertConformerModel(Conformer* conformer, bool deleteAfter);

    // Every Conformation below root (only the marked ones with onlyMarked), by distinct reference,
    // into a ConformerModel of the reference atoms marked as having alternates; with deleteAfter the
    // Conformations of each reference are deleted, also when none of them named an alternate.
    void ConvertAllConformationModels(Object& root, bool deleteAfter, bool onlyMarked = false);
    void ConvertConformationModel(Conformation* conformation, bool deleteAfter);

    // Every Conformation at or below root; with onlyMarked only the marked ones whose reference has
    // a conformer model at or below root again. Unmarked Conformations stay when onlyMarked.
    void DeleteAllConformationModels(Object& root, bool onlyMarked);
    // Every ConformerModel at or below root, with its conformers and their atoms and bonds.
    void DeleteAllConformerModels(Object& root);
    // Every ConformerModelToken at or below root, with what it holds; the marked Conformations at or
    // below root lose their mark, as they are all that is left of the models. Whether any token was
    // deleted.
    bool DeleteAllConformerModelTokens(Object& root);
    // The marked Conformations at or below root lose their mark: they stay Conformations.
    void UnmarkAllConformations(Object& root);
    // The model's conformers' atoms, bonds and the conformers, then the model; nothing for null.
    void DeleteConformerModel(ConformerModel* model);

    void DisconnectConformerModel(ConformerModel& model);
    void ReconnectConformerModel(ConformerModel& model);
    void DisconnectAllConformerModels(Object& root);
    void ReconnectAllConformerModels(Object& root);

    // For each conformer of the model: its atoms, its bonds, then the conformer.
    void FindConformerModelObjects(const Object& model, BaseCollection& out);
    // The conformer's atoms, then its bonds.
    void FindConformerObjects(const Object& conformer, BaseCollection& out);

    // A new, deactivated ConformerModelToken under root takes the conformer-model objects out of the tree.
    void PackageConformerModels(Object& root);
    // Every ConformerModelToken below root puts its objects back; the tokens are then deleted.
    // False only when the tokens held objects and none came back.
    bool UnpackageConformerModels(Object& root);

    // The user property that marks a Conformation made from a conformer model.
    static constexpr const char* conformerModelMarker = "_~_ALM_~_";
    // The conformer atom's segment identifier, and the Conformation's per atom index ("_SEGID_%d").
    static constexpr const char* segmentProperty = "Segment ID";

private:
    using Keep = std::function<bool(const Conformation&)>;

    // A marked Conformation with the conformer's values at its atoms' reference atoms, over start (the
    // reference's values, taken from the first one made when empty).
    Conformation* CreateConformation(Object& parent, Conformer& conformer, std::optional<Conformation::Values>& start);
    Conformer* CreateConformer(ConformerModel& model, Conformation& conformation, const OrdCollection& atoms,
                               const OrdCollection& bonds);
    Conformer* CreateConformerFromAtoms(ConformerModel& model, Conformation& conformation,
                                        const OrdCollection& atoms);
    void CreateConformerModel(Object& reference, const OrdCollection& atoms, const OrdCollection& bonds,
                              BaseCollection& converted, const Keep& keep);
    void TransferSegmentID(Conformation& conformation, const Atom* reference, ConformerAtom* atom);
    void DeleteConformations(const BaseCollection& conformations);
    void DeleteConformerModels(const BaseCollection& models);
    // Deletes each member that still lives, in order.
    void DeleteObjects(const BaseCollection& objects);
    // The node under which a model's Conformations go.
    static Object* ConformationParent(const ConformerModel& model);
};

} // namespace Tavrel
