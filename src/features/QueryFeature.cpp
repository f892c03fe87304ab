#include <tavrel/features/QueryFeature.h>

namespace Tavrel {

QueryFeature::~QueryFeature() = default;

} // namespace Tavrel
