#include <tavrel/conformers/ConformerModel.h>

namespace Tavrel {

TAVREL_IMPLEMENT_CLASS(ConformerModel, ClassKind::Creatable)

ConformerModel::ConformerModel() = default;

ConformerModel::ConformerModel(Object* reference) : Object(reference)
{
    SetDisplayStyle(1);
}

ConformerModel::ConformerModel(const ConformerModel& other) = default;

} // namespace Tavrel
