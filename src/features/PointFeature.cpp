#include <tavrel/features/PointFeature.h>

namespace Tavrel {

PointFeature::~PointFeature() = default;

} // namespace Tavrel
