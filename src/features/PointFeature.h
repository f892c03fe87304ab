// PointFeature: the query-feature interface of features that stand for one point.
#pragma once

#include <tavrel/features/QueryFeature.h>

namespace Tavrel {

// Data-less, like QueryFeature, which it extends: an object that implements it answers IsA for both
// identifiers. A tuple of points accepts point features among its members.
class PointFeature : public QueryFeature {
    TAVREL_DECLARE_INTERFACE(PointFeature, QueryFeature)
public:
    ~PointFeature() override;

protected:
    PointFeature() = default;
    PointFeature(const PointFeature&) = default;
    PointFeature& operator=(const PointFeature&) = default;
};

} // namespace Tavrel
