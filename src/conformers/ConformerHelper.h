// ConformerHelper: converts between conformer models and conformations, and packages models for saving.
#pragma once

namespace Tavrel {

class Object;

// Without state; callers make a temporary one. "Below" a node means its descendants in pre-order,
// the node excluded; "at or below" includes it. Deletions survive objects that an earlier deletion
// (or a listener) has already destroyed.
class ConformerHelper {
public:
    // Every ConformerModel below root into Conformations; with deleteAfter the models are deleted.
    void ConvertAllConformerModels(Object& root, bool deleteAfter);
    // Every Conformation below root, by distinct reference, into a ConformerModel; with deleteAfter
    // the converted Conformations are deleted.
    void ConvertAllConformationModels(Object& root, bool deleteAfter);
    // Every Conformation at or below root; with onlyMarked only those made from a conformer model.
    void DeleteAllConformationModels(Object& root, bool onlyMarked);
    // Every ConformerModelToken at or below root, with what it holds.
    void DeleteAllConformerModelTokens(Object& root);
    // A new, deactivated ConformerModelToken under root takes the conformer-model objects out of the tree.
    void PackageConformerModels(Object& root);
    // Every ConformerModelToken below root puts its objects back; the tokens are then deleted.
    // Always true.
    bool UnpackageConformerModels(Object& root);

    // The user property that marks a Conformation made from a conformer model.
    static constexpr const char* conformerModelMarker = "_~_ALM_~_";
};

} // namespace Tavrel
