#include <tavrel/conformers/ConformerModel.h>

#include <tavrel/foundation/PropertyTable.h>

namespace Tavrel {

TAVREL_DEFINE_CLASS_WITHOUT_PROPERTIES(ConformerModel)

ConformerModel::ConformerModel() = default;

ConformerModel::ConformerModel(Object* reference) : Object(reference)
{
    SetDisplayStyle(1);
}

} // namespace Tavrel
