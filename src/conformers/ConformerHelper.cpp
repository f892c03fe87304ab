#include <tavrel/conformers/ConformerHelper.h>

#include <cstdint>
#include <vector>

#include <tavrel/conformers/Conformation.h>
#include <tavrel/conformers/ConformerModel.h>
#include <tavrel/conformers/ConformerModelToken.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/InstanceCount.h>

namespace Tavrel {

namespace {

// The OIDs of the objects of a class at or below root, in pre-order.
template <class Keep>
std::vector<std::uint32_t> Collect(Object& root, std::uint32_t type, bool includeRoot, Keep&& keep)
{
    std::vector<std::uint32_t> oids;
    DescendentIterator objects(&root, type, includeRoot);
    while (Object* const object = objects.GetNext()) {
        if (keep(*object))
            oids.push_back(object->GetOID());
    }
    return oids;
}

std::vector<std::uint32_t> Collect(Object& root, std::uint32_t type, bool includeRoot)
{
    return Collect(root, type, includeRoot, [](const Object&) { return true; });
}

// Deletes, in order, each object whose OID still names a live object.
void DeleteObjects(const std::vector<std::uint32_t>& oids)
{
    for (const std::uint32_t oid : oids)
        delete Base::GetObjectA(oid);
}

} // namespace

// A model without conformers gives no Conformation; conformers come with the conformer-model subsystem.
void ConformerHelper::ConvertAllConformerModels(Object& root, bool deleteAfter)
{
    const std::vector<std::uint32_t> models = Collect(root, ConformerModel::classType, false);
    if (deleteAfter)
        DeleteObjects(models);
}

// A Conformation without a reference is skipped, and references come with the conformer-model
// subsystem: nothing is converted yet, so nothing is deleted either.
void ConformerHelper::ConvertAllConformationModels(Object&, bool) {}

void ConformerHelper::DeleteAllConformationModels(Object& root, bool onlyMarked)
{
    DeleteObjects(Collect(root, Conformation::classType, true, [onlyMarked](const Object& conformation) {
        return !onlyMarked || conformation.HasProperty(conformerModelMarker);
    }));
}

void ConformerHelper::DeleteAllConformerModelTokens(Object& root)
{
    if (InstanceCount<ConformerModelToken>::Any())
        DeleteObjects(Collect(root, ConformerModelToken::classType, true));
}

// The token is made and deactivated. The models stay where they are, and so are saved in place: moving
// them in needs the token's object and parent lists (to put them back on load) and conformers to
// convert (so that a load which drops the tokens keeps conformations), which models do not have yet.
void ConformerHelper::PackageConformerModels(Object& root)
{
    auto* const token = new ConformerModelToken(&root);
    token->Deactivate();
}

// Tokens hold nothing to put back yet; they are deleted.
bool ConformerHelper::UnpackageConformerModels(Object& root)
{
    if (InstanceCount<ConformerModelToken>::Any())
        DeleteObjects(Collect(root, ConformerModelToken::classType, false));
    return true;
}

} // namespace Tavrel
