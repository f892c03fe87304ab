// QueryFeature: the data-less interface of everything a pharmacophore query can hold as a feature.
#pragma once

#include <cstdint>

#include <tavrel/foundation/ClassIdentity.h>

namespace Tavrel {

// A model class takes it as a further base and declares itself with
// TAVREL_CLASS_WITH_INTERFACE(Class, Base, QueryFeature, Kind): its identity members then answer
// these as well, and its IsA accepts QueryFeature's identifier. Deleting a feature through this
// interface deletes the whole object.
class QueryFeature {
    TAVREL_DECLARE_INTERFACE(QueryFeature, NoInterface)
public:
    virtual ~QueryFeature();

    virtual const char* GetClassNameA() const = 0;
    virtual std::uint32_t GetClassType() const = 0;
    virtual bool IsA(std::uint32_t type) const = 0;

protected:
    QueryFeature() = default;
    QueryFeature(const QueryFeature&) = default;
    QueryFeature& operator=(const QueryFeature&) = default;
};

} // namespace Tavrel
