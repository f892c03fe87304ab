// Assembly: a plain grouping object of the chemical tree, with no data of its own.
#pragma once

#include <tavrel/foundation/Object.h>

namespace Tavrel {

class Assembly : public Object {
    TAVREL_DECLARE_CLASS(Assembly, Object)
public:
    explicit Assembly(Object* parent);

protected:
    Assembly();
    Assembly(const Assembly& other);
};

} // namespace Tavrel
